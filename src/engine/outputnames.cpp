#include "outputnames.h"

#include <algorithm>

namespace vorpel {

namespace {
OutputNames* active = nullptr;

// Every name up to here is in use: give up rather than scan a folder without end.
constexpr int kLastNumber = 9999;

std::string join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}
} // namespace

OutputNames::OutputNames(PathTest queued, PathTest exists)
    : queued_(std::move(queued)), exists_(std::move(exists)) {}

bool OutputNames::taken(const std::string& path, const std::string& source) const {
    return claimed_.count(path) > 0 || (path != source && queued_ && queued_(path));
}

std::string OutputNames::claim(const std::string& source, const std::string& folder,
                               const std::string& stem, const std::string& extension) {
    std::string name = stem + extension;
    const std::string wanted = join(folder, name);
    if (taken(wanted, source)) {
        name.clear();
        // Numbers passed over stay in use for the rest of the batch: go on from the last one.
        int& n = nextNumber_[wanted];
        for (n = std::max(n, 2); n <= kLastNumber && name.empty(); ++n) {
            const std::string candidate = numberedName(stem, extension, n);
            const std::string path = join(folder, candidate);
            // A numbered name is ours, not the user's: it must not replace anything on disk.
            if (!taken(path, source) && !(exists_ && exists_(path))) name = candidate;
        }
        if (name.empty()) return {};
    }
    claimed_.insert(join(folder, name));
    return name;
}

OutputNames* OutputNames::current() { return active; }

OutputNames::Scope::Scope(OutputNames& names) : previous_(active) { active = &names; }
OutputNames::Scope::~Scope() { active = previous_; }

std::string numberedName(const std::string& stem, const std::string& extension, int n) {
    // A name of only an extension stays visible and keeps its extension: "2.jpeg".
    return (stem.empty() ? "" : stem + " ") + std::to_string(n) + extension;
}

std::string documentStem(const std::string& sourceName) {
    // As the tool replaces the extension: the last dot, unless it opens the name.
    const size_t dot = sourceName.rfind('.');
    if (dot == std::string::npos || dot == 0 || sourceName == "..") return sourceName;
    return sourceName.substr(0, dot);
}

} // namespace vorpel
