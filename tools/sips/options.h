#pragma once

#include "formats.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sips {

struct Options {
    bool help = false;
    std::optional<Format> format;                 // --setProperty format
    std::optional<FormatOptions> formatOptions;   // --setProperty formatOptions
    std::vector<std::string> getProperties;       // --getProperty, in order, "all" expanded
    std::optional<int> maxSide;                   // --resampleHeightWidthMax
    std::optional<std::pair<int, int>> exactSize; // --resampleHeightWidth: height, width
    std::optional<std::filesystem::path> out;
    std::vector<std::filesystem::path> sources;

    // Anything asked of the pixels or the file, as opposed to a mere query.
    bool converts() const { return format || formatOptions || maxSide || exactSize || out; }
};

// Throws ToolError with status ExitUsage on a bad command line.
Options parseArguments(int argc, char** argv);

const char* usageText();

} // namespace sips
