#pragma once

#include "document.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Compound files (libgsf) for the Word binary format: streams and the summary property sets.
namespace textutil::ole {

bool isCompoundFile(std::string_view bytes);

// Windows code page of a language id (0x0419 Russian -> 1251), 1252 when unknown.
int codePageForLanguage(unsigned lid);

class Storage {
public:
    // Throws std::runtime_error when the bytes are not a readable compound file.
    explicit Storage(std::string_view bytes);
    ~Storage();
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    bool has(const char* name) const;
    // The whole stream at the top level, or nothing when absent.
    std::optional<std::string> stream(const char* name) const;
    // Title, author and the rest from SummaryInformation and DocumentSummaryInformation.
    void readMetadata(Metadata& m) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Builds a compound file with these top-level streams, the class id of its root and,
// when `meta` is given, the two summary property sets.
std::string build(const std::vector<std::pair<std::string, std::string>>& streams,
                  const std::array<uint8_t, 16>& classId, const Metadata* meta);

} // namespace textutil::ole
