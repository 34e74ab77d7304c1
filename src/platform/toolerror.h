#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace vorpel {

// Exit statuses of the stand-in tools.
enum ExitStatus : int {
    ExitOk = 0,
    ExitFailure = 1, // unreadable input, failed conversion, output not writable
    ExitUsage = 2,   // bad command line
};

// The one error type of the tools: rendered as "TOOL: PATH: reason" on standard error.
class ToolError : public std::runtime_error {
public:
    ToolError(std::string path, const std::string& reason, int status = ExitFailure)
        : std::runtime_error(reason), path_(std::move(path)), status_(status) {}

    const std::string& path() const { return path_; }
    int status() const { return status_; }
    // "PATH: reason", or just the reason when no path is concerned.
    std::string render() const;

private:
    std::string path_;
    int status_;
};

// Runs a tool's body, turning any error into one message on standard error and an exit status.
int runTool(const char* toolName, const std::function<int()>& body);

// "reason" text for the current errno, e.g. "No such file or directory".
std::string errnoText(int err);

} // namespace vorpel
