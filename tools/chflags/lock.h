#pragma once

#include <stdexcept>
#include <string>
#include <sys/types.h>

namespace chflags {

// Name of the user extended attribute that keeps an item's mode from before it was locked.
inline constexpr const char* kModeAttr = "user.vorpelconverter.mode";

// Raised (with the item's path) when the file system cannot keep the record: locking there
// would lose the mode.
class NoXattrSupport : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Locks one file or folder (never a symbolic link): records its mode unless a record is
// already there, then clears every write bit. Throws vorpel::ToolError or NoXattrSupport.
void lockItem(const std::string& path);

// Unlocks one file or folder: restores the recorded mode exactly and drops the record;
// without a record, gives the owner write permission back.
void unlockItem(const std::string& path);

// "0640"-style text for the record, and back (nullopt-like -1 for anything malformed).
std::string modeText(mode_t mode);
long parseModeText(const std::string& text);

} // namespace chflags
