#pragma once

#include <functional>
#include <string>

namespace vorpel {

struct ShellOutcome {
    int errorCode = 0;
    std::string result;
};

// Runs one command through /bin/sh, synchronously. One instance per command.
class Shell {
public:
    // Standard input from /dev/null; standard output and error together in Result (the first
    // 64 MiB of them; the rest is read and dropped).
    void Execute(const std::string& command);

    int ErrorCode = 0;
    std::string Result;

    // Test seam: replaces the real runner; an empty function restores it.
    using Runner = std::function<ShellOutcome(const std::string& command)>;
    static void setRunner(Runner runner);

    // Called repeatedly while a command runs, so the user interface can repaint.
    static void setIdleHook(std::function<void()> hook);

    // True while a command runs (the interface holds drops and refuses closes meanwhile).
    static bool running();

    // Folder of the stand-in tools, put first in PATH for every command; empty for none.
    static void setToolDir(std::string dir);
    static const std::string& toolDir();

    // The real runner, without the seam.
    static ShellOutcome runDirect(const std::string& command);
};

} // namespace vorpel
