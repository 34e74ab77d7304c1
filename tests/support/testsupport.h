#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vorpeltest {

// A fresh folder under the system temp dir, removed (after making it writable) on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct ProcessResult {
    int status = -1;    // exit status, or 128 + signal
    std::string out;    // standard output
    std::string err;    // standard error
};

// Runs a program directly (no shell) with the given arguments and optional standard input.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = {});

// Full path of a built stand-in tool ("sips", "textutil", ...).
std::filesystem::path toolPath(const std::string& tool);

// Folder of the shared real-world corpus, or empty when this checkout has none.
std::filesystem::path corpusDir();

std::string readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::string& data);

// Names of all entries in a folder, sorted (to check that nothing stray was left behind).
std::vector<std::string> listDir(const std::filesystem::path& dir);

// True when a program is on PATH.
bool haveProgram(const std::string& name);

} // namespace vorpeltest

// Skips the current test with a message when the shared corpus is absent.
#define VORPEL_REQUIRE_CORPUS()                                                        \
    do {                                                                               \
        if (vorpeltest::corpusDir().empty())                                           \
            GTEST_SKIP() << "shared corpus folder not found; skipping corpus test";    \
    } while (0)
