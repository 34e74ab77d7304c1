#include "audioformat.h"

#include "platform/toolerror.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <sndfile.h>

namespace say {
namespace {

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

int containerFor(const std::filesystem::path& output, const std::string& fileFormat) {
    if (!fileFormat.empty()) {
        const std::string f = upper(fileFormat);
        if (f == "AIFF" || f == "AIFC") return SF_FORMAT_AIFF;
        if (f == "WAVE" || f == "WAV") return SF_FORMAT_WAV;
        throw vorpel::ToolError({}, "file format `" + fileFormat + "' not supported (AIFF or WAVE)",
                                vorpel::ExitUsage);
    }
    // A name that is only an extension (".wav", left by an empty typed name) still counts as one.
    const std::string name = output.filename().string();
    const std::string ext = upper(name.starts_with('.') && output.extension().empty() ? name : output.extension().string());
    if (ext == ".WAV" || ext == ".WAVE") return SF_FORMAT_WAV;
    return SF_FORMAT_AIFF;
}

// "[LE|BE](I8|UI8|I16|I24|I32|F32|F64)[@RATE]"
void applyDataFormat(const std::string& dataFormat, int container, AudioFormat& fmt) {
    const auto bad = [&] {
        return vorpel::ToolError({}, "data format `" + dataFormat + "' not supported",
                                 vorpel::ExitUsage);
    };
    std::string token = upper(dataFormat);
    int endian = SF_ENDIAN_FILE;
    if (token.starts_with("LE")) {
        endian = SF_ENDIAN_LITTLE;
        token.erase(0, 2);
    } else if (token.starts_with("BE")) {
        endian = SF_ENDIAN_BIG;
        token.erase(0, 2);
    }
    const size_t at = token.find('@');
    const std::string sample = token.substr(0, at);
    if (at != std::string::npos) {
        const std::string rate = token.substr(at + 1);
        int value = 0;
        const auto [end, ec] = std::from_chars(rate.data(), rate.data() + rate.size(), value);
        if (ec != std::errc() || end != rate.data() + rate.size() || value < 1000 || value > 384000) {
            throw bad();
        }
        fmt.sampleRate = value;
    }
    int subtype;
    if (sample == "I16" || sample.empty()) subtype = SF_FORMAT_PCM_16;
    else if (sample == "I8") subtype = container == SF_FORMAT_WAV ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
    else if (sample == "UI8") subtype = SF_FORMAT_PCM_U8;
    else if (sample == "I24") subtype = SF_FORMAT_PCM_24;
    else if (sample == "I32") subtype = SF_FORMAT_PCM_32;
    else if (sample == "F32") subtype = SF_FORMAT_FLOAT;
    else if (sample == "F64") subtype = SF_FORMAT_DOUBLE;
    else throw bad();
    // The container's own byte order is written as "file" order: libsndfile turns an explicit
    // big-endian AIFF into AIFF-C, which some players refuse.
    if ((container == SF_FORMAT_AIFF && endian == SF_ENDIAN_BIG) ||
        (container == SF_FORMAT_WAV && endian == SF_ENDIAN_LITTLE)) {
        endian = SF_ENDIAN_FILE;
    }
    fmt.sndfileFormat = container | subtype | endian;
}

} // namespace

int bytesPerSample(const AudioFormat& fmt) {
    switch (fmt.sndfileFormat & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 1;
    case SF_FORMAT_PCM_24: return 3;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT: return 4;
    case SF_FORMAT_DOUBLE: return 8;
    default: return 2;
    }
}

const char* containerName(const AudioFormat& fmt) {
    return (fmt.sndfileFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV ? "WAVE" : "AIFF";
}

AudioFormat chooseFormat(const std::filesystem::path& output, const std::string& fileFormat,
                         const std::string& dataFormat) {
    const int container = containerFor(output, fileFormat);
    AudioFormat fmt;
    fmt.sndfileFormat = container | SF_FORMAT_PCM_16;
    if (!dataFormat.empty()) applyDataFormat(dataFormat, container, fmt);

    SF_INFO probe{};
    probe.channels = 1;
    probe.samplerate = fmt.sampleRate ? fmt.sampleRate : 22050;
    probe.format = fmt.sndfileFormat;
    if (!sf_format_check(&probe)) {
        throw vorpel::ToolError({}, "data format `" + dataFormat + "' cannot be stored in this file format",
                                vorpel::ExitUsage);
    }
    return fmt;
}

} // namespace say
