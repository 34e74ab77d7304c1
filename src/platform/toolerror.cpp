#include "toolerror.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace vorpel {

std::string ToolError::render() const {
    return path_.empty() ? std::string(what()) : path_ + ": " + what();
}

int runTool(const char* toolName, const std::function<int()>& body) {
    try {
        return body();
    } catch (const ToolError& e) {
        std::fprintf(stderr, "%s: %s\n", toolName, e.render().c_str());
        return e.status();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: out of memory\n", toolName);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", toolName, e.what());
    }
    return ExitFailure;
}

std::string errnoText(int err) {
    return std::strerror(err);
}

} // namespace vorpel
