#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace say {

// What the output file looks like, in libsndfile's terms.
struct AudioFormat {
    int sndfileFormat = 0; // container | sample encoding | endianness
    int sampleRate = 0;    // 0: the synthesizer's own rate
};

// AIFF and WAVE keep their sizes in 32 bits: the most sample data one file can hold, with room
// to spare for the header (libsndfile's take at most 96 bytes).
inline constexpr std::uint64_t kMaxSampleBytes = 0xFFFFFFFFull - 4096;

// Bytes one mono sample takes in the file.
int bytesPerSample(const AudioFormat& fmt);

// "AIFF" or "WAVE", for messages.
const char* containerName(const AudioFormat& fmt);

// Builds the output format from --file-format (may be empty: then from the output's
// extension, AIFF when unknown) and --data-format such as "BEI16", "LEF32@44100" or "I16".
// Throws ToolError with the usage status when a value is not understood.
AudioFormat chooseFormat(const std::filesystem::path& output, const std::string& fileFormat,
                         const std::string& dataFormat);

} // namespace say
