#pragma once

#include <filesystem>
#include <functional>
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

// A program started in the background with standard input, output and error on /dev/null,
// for tests that interrupt it. Killed and reaped on destruction if still running.
class BackgroundProcess {
public:
    // `env` entries ("NAME=value") are added to the test's own environment.
    explicit BackgroundProcess(const std::vector<std::string>& argv,
                               const std::vector<std::string>& env = {});
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    int pid() const { return pid_; }
    void signal(int sig) const;
    // Waits until the program has stopped (SIGSTOP); false when it ended instead.
    bool waitStopped();
    // Waits for the end: the exit status, or 128 + signal as in ProcessResult.
    int wait();

private:
    int pid_ = -1;
    int status_ = -1;
};

// Waits up to `seconds` for an entry of `dir` whose name starts with `prefix`; its name, or
// empty when none appeared.
std::string waitForEntry(const std::filesystem::path& dir, const std::string& prefix,
                         double seconds);

// Environment that makes a tool stop itself (SIGSTOP) each time it syncs a file: with its
// temporary output written and not yet renamed into place.
std::vector<std::string> stopAtFsyncEnv();

// Runs a tool in that environment up to its `stop`-th fsync, calls `whileStopped`, sends `sig`
// and lets the tool go on. How it ended, as in ProcessResult; -1 when it ended before.
int signalAtFsync(const std::vector<std::string>& argv, int sig, int stop,
                  const std::function<void()>& whileStopped);

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
