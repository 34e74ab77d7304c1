#include "commandline.h"

#include "platform/toolerror.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return vorpel::runTool("textutil", [&] { return textutil::runCommandLine(args); });
}
