#pragma once

#include <string>
#include <vector>

namespace textutil {

// The whole tool: parses the arguments (without the program name), converts, returns the
// exit status. Usage errors throw vorpel::ToolError with ExitUsage; a file that fails is
// reported on standard error and the others are still converted.
int runCommandLine(const std::vector<std::string>& args);

std::string usageText();

} // namespace textutil
