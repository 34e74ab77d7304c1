#include "failures.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace vorpel::Failures {
namespace {
std::vector<Entry>& entries() {
    static std::vector<Entry> e;
    return e;
}

constexpr size_t kMaxLines = 3;
constexpr size_t kMaxChars = 400;
constexpr int kScannedLines = 200;
constexpr size_t kMaxListed = 25;
// The whole report must fit a message box on a small screen, however much each tool said.
constexpr size_t kMaxReportLines = 30;
constexpr size_t kMaxReportChars = 2000;

bool mentionsError(const std::string& line) {
    std::string lower(line);
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("error") != std::string::npos;
}

// A tool may print megabytes: keep a few lines, those naming an error first (tidy prints
// its warnings ahead of the error that made it fail).
std::string firstLines(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> errors, others;
    for (int n = 0; n < kScannedLines && std::getline(in, line); ++n) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        (mentionsError(line) ? errors : others).push_back(line);
    }
    std::vector<std::string> kept(errors.begin(), errors.begin() + std::min(errors.size(), kMaxLines));
    for (size_t i = 0; kept.size() < kMaxLines && i < others.size(); ++i) kept.push_back(others[i]);
    std::string out;
    for (const std::string& l : kept) {
        if (!out.empty()) out += "\n";
        out += l;
    }
    if (out.size() > kMaxChars) {
        out.resize(kMaxChars);
        out += "...";
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
    const auto& all = entries();
    size_t listed = 0, lines = 0;
    for (; listed < all.size() && listed < kMaxListed; ++listed) {
        const std::string line = all[listed].item + ": " + all[listed].message;
        const size_t lineCount = 1 + size_t(std::count(line.begin(), line.end(), '\n'));
        // The first failure is always shown; the others while they fit.
        if (listed > 0 && (lines + lineCount > kMaxReportLines || out.size() + 1 + line.size() > kMaxReportChars)) break;
        if (!out.empty()) out += "\n";
        out += line;
        lines += lineCount;
    }
    // A batch where everything failed must still fit a message box on screen.
    if (all.size() > listed) out += "\n... and " + std::to_string(all.size() - listed) + " more";
    return out;
}

} // namespace vorpel::Failures
