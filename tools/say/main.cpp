// say: speaks text into an audio file (AIFF by default) with espeak-ng and libsndfile.

#include "audioformat.h"
#include "text.h"
#include "voices.h"

#include "platform/atomicfile.h"
#include "platform/toolerror.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <getopt.h>
#include <optional>
#include <sndfile.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using vorpel::ExitUsage;
using vorpel::ToolError;

constexpr const char* kUsage =
    "usage: say [-v VOICE] [-r RATE] [-o OUTFILE [--file-format=FORMAT] [--data-format=FORMAT]]\n"
    "           [-f FILE | TEXT...]\n"
    "\n"
    "Speaks TEXT, the contents of FILE (\"-\" for standard input) or standard input.\n"
    "\n"
    "  -v, --voice=VOICE        voice to use (default Alex); -v '?' lists the voices\n"
    "  -r, --rate=RATE          speaking rate in words per minute (80 to 1000)\n"
    "  -o, --output-file=FILE   write the speech to FILE instead of playing it\n"
    "  -f, --input-file=FILE    read the text from FILE\n"
    "      --file-format=FMT    AIFF or WAVE (default: from the extension, else AIFF)\n"
    "      --data-format=FMT    [LE|BE]I8|UI8|I16|I24|I32|F32|F64[@RATE], default I16\n"
    "  -h, --help               show this help\n"
    "\n"
    "Text that is not valid UTF-8 is read as Latin-1.\n";
constexpr const char* kTryHelp = "Try 'say --help' for more information.";
// espeak-ng floors the rate at 80; past 450 it speeds up with sonic, which stays clear to about here.
constexpr int kRateMaximum = 1000;

struct Options {
    std::string voice{say::kDefaultVoice};
    std::string output;
    std::string inputFile;
    std::optional<int> rate;
    std::string fileFormat;
    std::string dataFormat;
    std::vector<std::string> words;
    std::uint64_t sizeLimit = say::kMaxSampleBytes;
    bool help = false;
    bool showVoice = false;
};

int parseRate(const std::string& text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value <= 0) {
        throw ToolError({}, "invalid rate `" + text + "'", ExitUsage);
    }
    return static_cast<int>(std::lround(std::min(value, 100000.0)));
}

// Only ever lowers the format's own limit.
std::uint64_t parseSizeLimit(const std::string& text) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        throw ToolError({}, "invalid size limit `" + text + "'", ExitUsage);
    }
    return std::min(value, say::kMaxSampleBytes);
}

Options parseOptions(int argc, char** argv) {
    enum { OptFileFormat = 256, OptDataFormat, OptShowVoice, OptSizeLimit };
    static const option longOptions[] = {
        {"voice", required_argument, nullptr, 'v'},
        {"rate", required_argument, nullptr, 'r'},
        {"output-file", required_argument, nullptr, 'o'},
        {"input-file", required_argument, nullptr, 'f'},
        {"file-format", required_argument, nullptr, OptFileFormat},
        {"data-format", required_argument, nullptr, OptDataFormat},
        {"help", no_argument, nullptr, 'h'},
        // Not in the help: prints the espeak-ng voice really loaded, for checking the voice table.
        {"show-voice", no_argument, nullptr, OptShowVoice},
        // Not in the help either: a smaller size limit, so tests need not write gigabytes.
        {"size-limit", required_argument, nullptr, OptSizeLimit},
        {nullptr, 0, nullptr, 0},
    };
    Options o;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":v:r:o:f:h", longOptions, nullptr)) != -1) {
        switch (c) {
        case 'v': o.voice = optarg; break;
        case 'r': o.rate = parseRate(optarg); break;
        case 'o': o.output = optarg; break;
        case 'f': o.inputFile = optarg; break;
        case OptFileFormat: o.fileFormat = optarg; break;
        case OptDataFormat: o.dataFormat = optarg; break;
        case OptShowVoice: o.showVoice = true; break;
        case OptSizeLimit: o.sizeLimit = parseSizeLimit(optarg); break;
        case 'h': o.help = true; break;
        default: {
            // Long options are named by their word; a short one may sit inside a cluster like -xv.
            const std::string last = argv[optind - 1];
            const std::string opt =
                optopt > 0 && optopt < 128 && !last.starts_with("--") ? std::string("-") + char(optopt) : last;
            throw ToolError({}, (c == ':' ? "option " + opt + " needs a value" : "unknown option " + opt) + "\n" +
                                    kTryHelp,
                            ExitUsage);
        }
        }
    }
    for (int i = optind; i < argc; ++i) o.words.emplace_back(argv[i]);
    if (!o.words.empty() && !o.inputFile.empty()) {
        throw ToolError({}, "give the text either as arguments or with -f, not both", ExitUsage);
    }
    return o;
}

void listVoices() {
    for (const say::Voice& v : say::voices()) {
        std::printf("%-20s %-8s # %.*s\n", std::string(v.name).c_str(), std::string(say::kLanguage).c_str(),
                    int(v.sample.size()), v.sample.data());
    }
}

std::string readAll(int fd, const std::string& name) {
    std::string data;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ToolError(name, vorpel::errnoText(errno));
        }
        data.append(buf, size_t(n));
    }
    return data;
}

std::pair<std::string, std::string> readText(const Options& o) {
    if (!o.words.empty()) {
        std::string text;
        for (const auto& w : o.words) {
            if (!text.empty()) text += ' ';
            text += w;
        }
        return {text, "arguments"};
    }
    if (o.inputFile.empty() || o.inputFile == "-") return {readAll(0, "standard input"), "standard input"};
    const int fd = ::open(o.inputFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw ToolError(o.inputFile, vorpel::errnoText(errno));
    try {
        std::string text = readAll(fd, o.inputFile);
        ::close(fd);
        return {text, o.inputFile};
    } catch (...) {
        ::close(fd);
        throw;
    }
}

// Receives the synthesizer's 16-bit samples and writes them, resampled when asked, up to a
// number of frames the file can hold.
class SampleSink {
public:
    SampleSink(SNDFILE* file, int inRate, int outRate, std::uint64_t maxFrames)
        : file_(file), step_(double(inRate) / outRate), resample_(inRate != outRate),
          maxFrames_(maxFrames) {
        buffer_.reserve(kFlushAt + 8192);
    }

    bool push(const short* samples, int count) {
        if (!resample_) {
            buffer_.insert(buffer_.end(), samples, samples + count);
        } else {
            // Linear interpolation: output sample k sits at input position k * step.
            for (int i = 0; i < count; ++i) {
                const double x = samples[i];
                const double pos = double(received_);
                while (next_ < pos) {
                    const double frac = next_ - (pos - 1);
                    buffer_.push_back(short(std::lround(prev_ + (x - prev_) * frac)));
                    next_ += step_;
                }
                prev_ = x;
                ++received_;
            }
        }
        return buffer_.size() < kFlushAt || flush();
    }

    // Writes what is buffered: few large writes instead of one per synthesizer chunk. Past the
    // limit nothing more is written: the file's sizes would wrap.
    bool flush() {
        const auto count = sf_count_t(buffer_.size());
        if (std::uint64_t(count) > maxFrames_ - written_) tooLong_ = true;
        const bool ok = !tooLong_ && sf_write_short(file_, buffer_.data(), count) == count;
        if (ok) written_ += std::uint64_t(count);
        buffer_.clear();
        return ok;
    }

    bool tooLong() const { return tooLong_; }

private:
    static constexpr size_t kFlushAt = 1 << 17;

    SNDFILE* file_;
    double step_;
    bool resample_;
    std::uint64_t maxFrames_;
    std::uint64_t written_ = 0;
    bool tooLong_ = false;
    double prev_ = 0;
    double next_ = 0;
    long long received_ = 0;
    std::vector<short> buffer_;
};

SampleSink* g_sink = nullptr;
bool g_writeFailed = false;

int synthCallback(short* wav, int count, espeak_EVENT*) {
    if (wav && count > 0 && g_sink && !g_sink->push(wav, count)) {
        g_writeFailed = true;
        return 1; // abort the synthesis
    }
    return 0;
}

class Speaker {
public:
    explicit Speaker(bool playback) {
        // 200 ms chunks: few callbacks, little memory.
        sampleRate_ = espeak_Initialize(playback ? AUDIO_OUTPUT_SYNCH_PLAYBACK : AUDIO_OUTPUT_SYNCHRONOUS, 200,
                                        nullptr, espeakINITIALIZE_DONT_EXIT);
        if (sampleRate_ <= 0) {
            throw ToolError({}, playback ? "cannot open the audio output (use -o FILE to write a file)"
                                         : "cannot start the espeak-ng synthesizer");
        }
        espeak_SetSynthCallback(synthCallback);
    }
    ~Speaker() { espeak_Terminate(); }
    Speaker(const Speaker&) = delete;
    Speaker& operator=(const Speaker&) = delete;

    int sampleRate() const { return sampleRate_; }

    // Loads the voice and returns the identifier espeak-ng reports, after checking that the
    // variant really came with it (espeak-ng falls back to the plain voice without a word).
    std::string useVoice(const say::Voice& v, std::optional<int> rate) {
        std::string name(say::kBaseVoice);
        if (!v.variant.empty()) name += "+" + std::string(v.variant);
        if (espeak_SetVoiceByName(name.c_str()) != EE_OK) {
            throw ToolError({}, "voice " + std::string(v.name) + ": espeak-ng cannot load `" + name + "'");
        }
        const espeak_VOICE* current = espeak_GetCurrentVoice();
        const std::string id = current && current->identifier ? current->identifier : "";
        const std::string wanted = v.variant.empty() ? "" : "+" + std::string(v.variant);
        const size_t plus = id.find('+');
        const std::string loaded = plus == std::string::npos ? "" : id.substr(plus);
        if (id.empty() || loaded != wanted) {
            throw ToolError({}, "voice " + std::string(v.name) + ": espeak-ng loaded `" + id + "' instead of `" +
                                    name + "' (is espeak-ng-data complete?)");
        }
        rate_ = std::clamp(rate.value_or(v.rate), espeakRATE_MINIMUM, kRateMaximum);
        pitch_ = std::clamp(v.pitch, 0, 100);
        range_ = std::clamp(v.range, 0, 100);
        espeak_SetParameter(espeakRATE, rate_, 0);
        espeak_SetParameter(espeakPITCH, pitch_, 0);
        espeak_SetParameter(espeakRANGE, range_, 0);
        return id;
    }

    std::string describe() const {
        return "rate " + std::to_string(rate_) + " pitch " + std::to_string(pitch_) + " range " +
               std::to_string(range_);
    }

    bool speak(const std::string& text) {
        return espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
                            nullptr) == EE_OK;
    }

private:
    int sampleRate_ = 0;
    int rate_ = 0, pitch_ = 0, range_ = 0;
};

void speakToFile(Speaker& speaker, const std::string& text, const Options& o, const say::AudioFormat& fmt,
                 vorpel::AtomicFile& out) {
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = fmt.sampleRate ? fmt.sampleRate : speaker.sampleRate();
    info.format = fmt.sndfileFormat;
    SNDFILE* file = sf_open_fd(out.fd(), SFM_WRITE, &info, SF_FALSE);
    if (!file) throw ToolError(o.output, sf_strerror(nullptr));
    // 16-bit samples written to a float file are scaled to -1..1, not kept as raw values.
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);

    SampleSink sink(file, speaker.sampleRate(), info.samplerate,
                    o.sizeLimit / say::bytesPerSample(fmt));
    g_sink = &sink;
    const bool spoken = speaker.speak(text);
    g_sink = nullptr;
    if (!g_writeFailed && !sink.flush()) g_writeFailed = true;
    const std::string writeError = g_writeFailed && !sink.tooLong() ? sf_strerror(file) : "";
    const bool closed = sf_close(file) == 0;
    if (sink.tooLong()) {
        throw ToolError(o.output, std::string("the speech is too long for one ") +
                                      say::containerName(fmt) +
                                      " file (4 GiB at most); nothing written");
    }
    if (!closed && writeError.empty()) throw ToolError(o.output, "cannot finish the audio file");
    if (!writeError.empty()) throw ToolError(o.output, writeError);
    if (!spoken) throw ToolError(o.output, "speech synthesis failed");
    out.commit();
}

int run(int argc, char** argv) {
    const Options o = parseOptions(argc, argv);
    if (o.help) {
        std::fputs(kUsage, stdout);
        return vorpel::ExitOk;
    }
    if (o.voice == "?") {
        listVoices();
        return vorpel::ExitOk;
    }
    const say::Voice* voice = say::findVoice(o.voice);
    if (!voice) throw ToolError({}, "Voice `" + o.voice + "' not found.");

    say::AudioFormat fmt;
    if (!o.output.empty()) fmt = say::chooseFormat(o.output, o.fileFormat, o.dataFormat);

    if (o.showVoice) {
        Speaker speaker(false);
        const std::string id = speaker.useVoice(*voice, o.rate);
        std::printf("%s %s %s\n", std::string(voice->name).c_str(), id.c_str(), speaker.describe().c_str());
        return vorpel::ExitOk;
    }

    const auto [raw, source] = readText(o);
    if (say::looksBinary(raw)) throw ToolError(source, "not text (binary data), nothing spoken");
    const std::string text = say::breakDottedChains(say::toSpeakableUtf8(raw));
    if (!say::hasSpeakableText(text)) throw ToolError(source, "no text to speak");

    // The output first: a folder that cannot take it fails before the synthesizer starts
    // (and before its audio libraries say anything on standard error).
    std::optional<vorpel::AtomicFile> out;
    if (!o.output.empty()) out.emplace(o.output);
    Speaker speaker(o.output.empty());
    speaker.useVoice(*voice, o.rate);
    if (!out) {
        if (!speaker.speak(text)) throw ToolError({}, "cannot play the speech");
        return vorpel::ExitOk;
    }
    speakToFile(speaker, text, o, fmt, *out);
    return vorpel::ExitOk;
}

} // namespace

int main(int argc, char** argv) {
    return vorpel::runTool("say", [&] { return run(argc, argv); });
}
