#include "failures.h"

#include <sstream>

namespace vorpel::Failures {
namespace {
std::vector<Entry>& entries() {
    static std::vector<Entry> e;
    return e;
}

constexpr int kMaxLines = 3;
constexpr size_t kMaxChars = 400;

// A tool may print megabytes: keep its first few lines only.
std::string firstLines(const std::string& text) {
    std::istringstream in(text);
    std::string line, out;
    int n = 0;
    while (n < kMaxLines && std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        if (!out.empty()) out += "\n";
        out += line;
        ++n;
        if (out.size() > kMaxChars) {
            out.resize(kMaxChars);
            out += "...";
            break;
        }
    }
    return out;
}
} // namespace

void record(const std::string& itemName, const std::string& toolOutput, int exitStatus) {
    std::string msg = firstLines(toolOutput);
    if (msg.empty()) msg = "failed with exit status " + std::to_string(exitStatus);
    entries().push_back({itemName, msg});
}

const std::vector<Entry>& list() { return entries(); }
bool empty() { return entries().empty(); }
void clear() { entries().clear(); }

std::string report() {
    std::string out;
    for (const Entry& e : entries()) {
        if (!out.empty()) out += "\n";
        out += e.item + ": " + e.message;
    }
    return out;
}

} // namespace vorpel::Failures
