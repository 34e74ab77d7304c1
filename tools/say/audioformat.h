#pragma once

#include <filesystem>
#include <string>

namespace say {

// What the output file looks like, in libsndfile's terms.
struct AudioFormat {
    int sndfileFormat = 0; // container | sample encoding | endianness
    int sampleRate = 0;    // 0: the synthesizer's own rate
};

// Builds the output format from --file-format (may be empty: then from the output's
// extension, AIFF when unknown) and --data-format such as "BEI16", "LEF32@44100" or "I16".
// Throws ToolError with the usage status when a value is not understood.
AudioFormat chooseFormat(const std::filesystem::path& output, const std::string& fileFormat,
                         const std::string& dataFormat);

} // namespace say
