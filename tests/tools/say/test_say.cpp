// Runs the built say tool and reads its audio files back by hand.

#include "testsupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using vorpeltest::ProcessResult;
using vorpeltest::TempDir;
using vorpeltest::listDir;
using vorpeltest::readFile;
using vorpeltest::runProcess;
using vorpeltest::toolPath;
using vorpeltest::writeFile;

namespace {

const std::array<std::string, 24> kVoiceNames = {
    "Alex", "Agnes", "Albert", "BadNews", "Bahh", "Bells", "Boing", "Bruce",
    "Bubbles", "Cellos", "Deranged", "Fred", "GoodNews", "Hysterical", "Junior", "Kathy",
    "Organ", "Princess", "Ralph", "Trinoids", "Vicki", "Victoria", "Whisper", "Zarvox"};

const std::string kSentence =
    "The quick brown fox jumps over the lazy dog while the farmer reads a long letter "
    "from his sister, who lives far away in a small town by the sea.\n";

ProcessResult say(std::vector<std::string> args, const std::string& input = {}) {
    args.insert(args.begin(), toolPath("say").string());
    return runProcess(args, input);
}

uint32_t be32(const std::string& d, size_t at) {
    return uint32_t(uint8_t(d[at])) << 24 | uint32_t(uint8_t(d[at + 1])) << 16 |
           uint32_t(uint8_t(d[at + 2])) << 8 | uint32_t(uint8_t(d[at + 3]));
}
uint16_t be16(const std::string& d, size_t at) { return uint16_t(uint8_t(d[at]) << 8 | uint8_t(d[at + 1])); }

// IEEE 754 80-bit extended, as AIFF stores its sample rate.
double extended80(const std::string& d, size_t at) {
    const int exponent = (be16(d, at) & 0x7FFF) - 16383;
    const uint64_t mantissa = uint64_t(be32(d, at + 2)) << 32 | be32(d, at + 6);
    return std::ldexp(double(mantissa), exponent - 63);
}

struct Aiff {
    int channels = 0;
    uint32_t frames = 0;
    int bits = 0;
    double rate = 0;
    std::string samples; // SSND sound data
    double seconds() const { return rate > 0 ? frames / rate : 0; }
};

// Parses the file and checks its framing: chunk sizes must add up to the file.
Aiff parseAiff(const std::string& d) {
    Aiff a;
    EXPECT_GE(d.size(), 54u);
    if (d.size() < 12) return a;
    EXPECT_EQ(d.substr(0, 4), "FORM");
    EXPECT_EQ(d.substr(8, 4), "AIFF");
    EXPECT_EQ(be32(d, 4), d.size() - 8) << "FORM size does not match the file";
    bool comm = false, ssnd = false;
    for (size_t at = 12; at + 8 <= d.size();) {
        const std::string id = d.substr(at, 4);
        const uint32_t size = be32(d, at + 4);
        if (at + 8 + size > d.size()) {
            ADD_FAILURE() << "chunk " << id << " runs past the end";
            break;
        }
        if (id == "COMM") {
            comm = true;
            a.channels = be16(d, at + 8);
            a.frames = be32(d, at + 10);
            a.bits = be16(d, at + 14);
            a.rate = extended80(d, at + 16);
        } else if (id == "SSND") {
            ssnd = true;
            const uint32_t offset = be32(d, at + 8);
            a.samples = d.substr(at + 16 + offset, size - 8 - offset);
        }
        at += 8 + size + (size & 1);
    }
    EXPECT_TRUE(comm) << "no COMM chunk";
    EXPECT_TRUE(ssnd) << "no SSND chunk";
    if (comm && ssnd) {
        // libsndfile counts the pad byte of odd-sized sound data in the chunk size.
        const size_t bytes = size_t(a.frames) * a.channels * (a.bits / 8);
        EXPECT_EQ(a.samples.size(), bytes + (bytes & 1 && a.samples.size() != bytes ? 1 : 0));
    }
    return a;
}

int peak16(const std::string& samples) {
    int peak = 0;
    for (size_t i = 0; i + 1 < samples.size(); i += 2) {
        peak = std::max(peak, std::abs(int(int16_t(be16(samples, i)))));
    }
    return peak;
}

class SayTest : public ::testing::Test {
protected:
    TempDir dir;
};

// Suite names carry the tool's name so `ctest -R say` picks them up.
using say_speech = SayTest;
using say_voices = SayTest;
using say_failures = SayTest;
using say_formats = SayTest;

// --- the app's command line: text on standard input, voice, AIFF output ---

TEST_F(say_speech, StdinToAiffIsMono16BitWithPlausibleLength) {
    const fs::path out = dir / "Untitled.aiff";
    const ProcessResult r = say({"-v", "Alex", "-o", out.string()}, kSentence);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const Aiff a = parseAiff(readFile(out));
    EXPECT_EQ(a.channels, 1);
    EXPECT_EQ(a.bits, 16);
    EXPECT_DOUBLE_EQ(a.rate, 22050.0);
    // 30 words at Alex's 175 words a minute: about ten seconds, pauses included.
    EXPECT_GT(a.seconds(), 5.0);
    EXPECT_LT(a.seconds(), 20.0);
    EXPECT_GT(peak16(a.samples), 3000) << "the audio is (nearly) silent";
    EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"Untitled.aiff"});
}

TEST_F(say_speech, RateOptionChangesTheLength) {
    ASSERT_EQ(say({"-r", "100", "-o", (dir / "slow.aiff").string()}, kSentence).status, 0);
    ASSERT_EQ(say({"-r", "300", "-o", (dir / "fast.aiff").string()}, kSentence).status, 0);
    ASSERT_EQ(say({"-r", "900", "-o", (dir / "faster.aiff").string()}, kSentence).status, 0);
    const double slow = parseAiff(readFile(dir / "slow.aiff")).seconds();
    const double fast = parseAiff(readFile(dir / "fast.aiff")).seconds();
    const double faster = parseAiff(readFile(dir / "faster.aiff")).seconds();
    EXPECT_GT(slow, fast * 2.0) << "slow " << slow << " s, fast " << fast << " s";
    EXPECT_GT(fast, faster * 2.0) << "fast " << fast << " s, faster " << faster << " s";
    EXPECT_EQ(say({"-r", "fast", "-o", (dir / "x.aiff").string()}, kSentence).status, 2);
}

TEST_F(say_speech, ArgumentsFileAndStdinGiveTheSameSpeech) {
    const std::string text = "Reading the same words three ways.";
    writeFile(dir / "in.txt", text + "\n");
    ASSERT_EQ(say({"-o", (dir / "stdin.aiff").string()}, text).status, 0);
    ASSERT_EQ(say({"-o", (dir / "file.aiff").string(), "-f", (dir / "in.txt").string()}).status, 0);
    ASSERT_EQ(say({"-o", (dir / "args.aiff").string(), "Reading", "the", "same", "words", "three", "ways."}).status, 0);
    const std::string fromStdin = readFile(dir / "stdin.aiff");
    EXPECT_EQ(readFile(dir / "file.aiff"), fromStdin);
    EXPECT_EQ(readFile(dir / "args.aiff"), fromStdin);

    const ProcessResult missing = say({"-o", (dir / "m.aiff").string(), "-f", (dir / "nope.txt").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("say: " + (dir / "nope.txt").string() + ": No such file"), std::string::npos)
        << missing.err;
    EXPECT_FALSE(fs::exists(dir / "m.aiff"));
}

TEST_F(say_speech, Latin1InputIsSpokenLikeItsUtf8Equivalent) {
    ASSERT_EQ(say({"-o", (dir / "utf8.aiff").string()}, "Caf\xC3\xA9 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e").status, 0);
    ASSERT_EQ(say({"-o", (dir / "latin1.aiff").string()}, "Caf\xE9 cr\xE8me br\xFBl\xE9" "e").status, 0);
    EXPECT_EQ(readFile(dir / "latin1.aiff"), readFile(dir / "utf8.aiff"));
}

// espeak-ng reads a chain of dotted letters as one abbreviation and aborts past some 85 letters.
TEST_F(say_speech, LongChainsOfDottedLettersAreSpokenWhole) {
    auto repeat = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    };
    for (const std::string unit : {"e.g. ", "a.", "u.s.a., ", "\xC3\xA9."}) {
        SCOPED_TRACE(unit);
        const ProcessResult shortRun = say({"-o", (dir / "short.aiff").string()}, repeat(unit, 60));
        ASSERT_EQ(shortRun.status, 0) << shortRun.err;
        const ProcessResult longRun = say({"-o", (dir / "long.aiff").string()}, repeat(unit, 180));
        ASSERT_EQ(longRun.status, 0) << longRun.err;
        EXPECT_EQ(longRun.err, "");
        // Three times the letters, about three times the speech: nothing cut off.
        const double shortSeconds = parseAiff(readFile(dir / "short.aiff")).seconds();
        const double longSeconds = parseAiff(readFile(dir / "long.aiff")).seconds();
        EXPECT_GT(shortSeconds, 3.0);
        EXPECT_GT(longSeconds, shortSeconds * 2.5) << shortSeconds << " s, then " << longSeconds << " s";
        EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"long.aiff", "short.aiff"}));
    }
}

// --- voices ---

TEST_F(say_voices, VoiceListHasEveryPanelVoiceWithItsLanguage) {
    const ProcessResult r = say({"-v", "?"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = r.out.find('\n', start)) != std::string::npos; start = nl + 1) {
        lines.push_back(r.out.substr(start, nl - start));
    }
    ASSERT_EQ(lines.size(), kVoiceNames.size()) << r.out;
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].starts_with(kVoiceNames[i] + " ")) << lines[i];
        EXPECT_NE(lines[i].find(" en_US "), std::string::npos) << lines[i];
    }
}

TEST_F(say_voices, EveryVoiceLoadsItsOwnVariantAndSoundsDifferent) {
    std::set<std::string> identifiers;
    std::set<std::string> audio;
    for (const auto& name : kVoiceNames) {
        SCOPED_TRACE(name);
        const ProcessResult info = say({"-v", name, "--show-voice"});
        ASSERT_EQ(info.status, 0) << info.err;
        // "NAME IDENTIFIER rate R pitch P range G": the identifier espeak-ng reports after loading.
        ASSERT_TRUE(info.out.starts_with(name + " ")) << info.out;
        const std::string id = info.out.substr(name.size() + 1, info.out.find(' ', name.size() + 1) - name.size() - 1);
        EXPECT_TRUE(id.starts_with("gmw/en-US")) << id;
        if (name != "Alex") {
            EXPECT_NE(id.find('+'), std::string::npos) << "no variant loaded: " << id;
        }
        identifiers.insert(id);

        const fs::path out = dir / (name + ".aiff");
        const ProcessResult r = say({"-v", name, "-o", out.string()}, "Hello there, how are you today?");
        ASSERT_EQ(r.status, 0) << r.err;
        const Aiff a = parseAiff(readFile(out));
        EXPECT_GT(a.seconds(), 0.5);
        EXPECT_GT(peak16(a.samples), 1000);
        audio.insert(a.samples);
    }
    EXPECT_EQ(identifiers.size(), kVoiceNames.size()) << "two voices share an espeak-ng variant";
    EXPECT_EQ(audio.size(), kVoiceNames.size()) << "two voices produce identical audio";
}

TEST_F(say_voices, UnknownVoiceFailsAndWritesNothing) {
    writeFile(dir / "old.aiff", "earlier output");
    for (const std::string target : {"new.aiff", "old.aiff"}) {
        const ProcessResult r = say({"-v", "Zork", "-o", (dir / target).string()}, kSentence);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("Voice `Zork' not found."), std::string::npos) << r.err;
    }
    EXPECT_EQ(readFile(dir / "old.aiff"), "earlier output");
    EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"old.aiff"});
}

// --- failures never leave output behind ---

TEST_F(say_failures, NothingToSpeakFailsAndWritesNothing) {
    // What a failed textutil leaves in the pipe: nothing, or only blank lines. Unicode's blanks
    // say nothing either: no-break, em, ideographic, narrow no-break, thin and zero-width
    // spaces, a word joiner; and no-break spaces read as Latin-1.
    const std::string unicodeBlanks =
        "\xC2\xA0\xE2\x80\x83\xE3\x80\x80\n\xE2\x80\xAF\xE2\x80\x89\xE2\x80\x8B\xE2\x81\xA0";
    for (const std::string& input : {std::string(), std::string(" \n\t\r\n  \n"), std::string("\xEF\xBB\xBF\n"),
                                     unicodeBlanks, std::string("\xE3\x80\x80"), std::string("\xA0 \xA0\n")}) {
        const ProcessResult r = say({"-v", "Alex", "-o", (dir / "Untitled.aiff").string()}, input);
        EXPECT_EQ(r.status, 1) << "input of " << input.size() << " bytes";
        EXPECT_EQ(r.err, "say: standard input: no text to speak\n") << "input of " << input.size() << " bytes";
    }
    writeFile(dir / "ascii.txt", "  \n\t\n");
    writeFile(dir / "unicode.txt", unicodeBlanks + " \n");
    for (const char* name : {"ascii.txt", "unicode.txt"}) {
        const ProcessResult r = say({"-o", (dir / "Untitled.aiff").string(), "-f", (dir / name).string()});
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(r.err, "say: " + (dir / name).string() + ": no text to speak\n");
    }
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"ascii.txt", "unicode.txt"}));
    // A word among them is still spoken.
    const ProcessResult word = say({"-o", (dir / "word.aiff").string()}, unicodeBlanks + "Hello" + unicodeBlanks);
    ASSERT_EQ(word.status, 0) << word.err;
    EXPECT_GT(peak16(parseAiff(readFile(dir / "word.aiff")).samples), 3000);
}

TEST_F(say_failures, SpeechPastTheSizeLimitFailsAndWritesNothing) {
    // The formats' limit is 4 GiB; the hidden --size-limit lowers it so this writes kilobytes.
    const fs::path whole = dir / "whole.aiff";
    ASSERT_EQ(say({"-o", whole.string()}, kSentence).status, 0);
    const std::string soundBytes = std::to_string(parseAiff(readFile(whole)).samples.size());
    const fs::path out = dir / "out.aiff";
    ASSERT_EQ(say({"--size-limit=" + soundBytes, "-o", out.string()}, kSentence).status, 0);
    EXPECT_EQ(readFile(out), readFile(whole)) << "speech that just fits was changed";

    writeFile(out, "earlier output");
    const fs::path wave = dir / "out.wav";
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--size-limit=" + std::to_string(std::stoul(soundBytes) - 1), "-o", out.string()},
         "say: " + out.string() + ": the speech is too long for one AIFF file (4 GiB at most); nothing written\n"},
        {{"--size-limit=100000", "--data-format=F64@44100", "-o", wave.string()},
         "say: " + wave.string() + ": the speech is too long for one WAVE file (4 GiB at most); nothing written\n"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = say(c.args, kSentence);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.message);
    }
    EXPECT_EQ(readFile(out), "earlier output");
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"out.aiff", "whole.aiff"}));
    EXPECT_EQ(say({"--size-limit=much", "-o", out.string()}, kSentence).status, 2);
}

TEST_F(say_failures, SizeLimitStopsTheSynthesisBeforeThatMuchIsWritten) {
    // In a 1 MiB tmpfs, speech of some 20 MB would fill the disk if the limit were checked only
    // at the end: it has to fail on the limit of 256 KiB instead.
    if (::geteuid() != 0 || !vorpeltest::haveProgram("unshare")) GTEST_SKIP() << "needs root and unshare to mount a small tmpfs";
    const fs::path mnt = dir / "small";
    fs::create_directory(mnt);
    std::string words;
    for (int i = 0; i < 40; ++i) words += kSentence;
    writeFile(dir / "words.txt", words);
    const std::string script = "mount -t tmpfs -o size=1m none '" + mnt.string() + "' || exit 99\n"
                               "cd '" + mnt.string() + "' && echo old > out.aiff\n"
                               "'" + toolPath("say").string() + "' --size-limit=262144 -o out.aiff -f '" +
                               (dir / "words.txt").string() + "'\n"
                               "echo status=$?; ls -A; cat out.aiff\n";
    const ProcessResult r = runProcess({"unshare", "-m", "sh", "-c", script});
    if (r.status == 99) GTEST_SKIP() << "cannot mount a tmpfs here: " << r.err;
    EXPECT_EQ(r.err, "say: out.aiff: the speech is too long for one AIFF file (4 GiB at most); nothing written\n");
    EXPECT_EQ(r.out, "status=1\nout.aiff\nold\n");
}

TEST_F(say_failures, InterruptedRunRemovesItsTemporaryFileAndDiesOfTheSignal) {
    std::string words;
    for (int i = 0; i < 300; ++i) words += kSentence; // most of an hour of speech
    writeFile(dir / "words.txt", words);
    writeFile(dir / "out.aiff", "earlier output");
    // A crash in the synthesizer (an abort, a bad access) must not leave output behind either.
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGABRT, SIGSEGV}) {
        SCOPED_TRACE(strsignal(sig));
        vorpeltest::BackgroundProcess p(
            {toolPath("say").string(), "-o", (dir / "out.aiff").string(), "-f", (dir / "words.txt").string()});
        const std::string temp = vorpeltest::waitForEntry(dir.path(), ".out.aiff.vorpel-", 60);
        ASSERT_FALSE(temp.empty()) << "no temporary output appeared";
        // Well into the synthesis: the first samples are written.
        std::error_code ec;
        for (int i = 0; i < 30000 && fs::file_size(dir / temp, ec) < 100000; ++i) ::usleep(2000);
        EXPECT_GE(fs::file_size(dir / temp, ec), 100000u);
        p.signal(sig);
        EXPECT_EQ(p.wait(), 128 + sig) << "did not die of the signal";
        EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"out.aiff", "words.txt"}));
        EXPECT_EQ(readFile(dir / "out.aiff"), "earlier output");
    }
}

TEST_F(say_failures, ExistingTargetIsReplacedOnlyOnSuccess) {
    const fs::path out = dir / "speech.aiff";
    writeFile(out, "earlier output");
    ::chmod(out.c_str(), 0640);
    ASSERT_EQ(say({"-o", out.string(), "--data-format=nonsense"}, kSentence).status, 2);
    ASSERT_EQ(say({"-o", out.string()}, "").status, 1);
    EXPECT_EQ(readFile(out), "earlier output");

    ASSERT_EQ(say({"-o", out.string()}, kSentence).status, 0);
    EXPECT_EQ(readFile(out).substr(0, 4), "FORM");
    EXPECT_EQ(fs::status(out).permissions() & fs::perms::all, fs::perms(0640)) << "the target's mode was not kept";
    EXPECT_EQ(listDir(dir.path()), std::vector<std::string>{"speech.aiff"});
}

TEST_F(say_failures, UnwritableOutputFolderIsReported) {
    const fs::path out = dir / "missing" / "x.aiff";
    const ProcessResult r = say({"-o", out.string()}, kSentence);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.starts_with("say: " + out.string() + ": ")) << r.err;
}

// --- other file and data formats ---

TEST_F(say_formats, FileFormatFollowsOptionThenExtension) {
    ASSERT_EQ(say({"-o", (dir / "a.wav").string()}, "Wave by extension.").status, 0);
    ASSERT_EQ(say({"--file-format=WAVE", "-o", (dir / "b.aiff").string()}, "Wave by option.").status, 0);
    ASSERT_EQ(say({"--file-format=AIFF", "-o", (dir / "c.wav").string()}, "AIFF by option.").status, 0);
    ASSERT_EQ(say({"-o", (dir / "d.snd").string()}, "AIFF by default.").status, 0);
    ASSERT_EQ(say({"-o", (dir / ".wav").string()}, "Only an extension.").status, 0);
    for (const char* name : {"a.wav", "b.aiff", ".wav"}) {
        const std::string d = readFile(dir / name);
        EXPECT_EQ(d.substr(0, 4), "RIFF") << name;
        EXPECT_EQ(d.substr(8, 4), "WAVE") << name;
    }
    for (const char* name : {"c.wav", "d.snd"}) EXPECT_EQ(readFile(dir / name).substr(8, 4), "AIFF") << name;
    EXPECT_EQ(say({"--file-format=MP3", "-o", (dir / "e.mp3").string()}, "No.").status, 2);
    EXPECT_FALSE(fs::exists(dir / "e.mp3"));
}

TEST_F(say_formats, DataFormatSetsSampleSizeAndRate) {
    ASSERT_EQ(say({"-o", (dir / "base.aiff").string()}, kSentence).status, 0);
    ASSERT_EQ(say({"--data-format=BEI24", "-o", (dir / "i24.aiff").string()}, kSentence).status, 0);
    ASSERT_EQ(say({"--data-format=I16@44100", "-o", (dir / "hi.aiff").string()}, kSentence).status, 0);
    const Aiff base = parseAiff(readFile(dir / "base.aiff"));
    const Aiff i24 = parseAiff(readFile(dir / "i24.aiff"));
    const Aiff hi = parseAiff(readFile(dir / "hi.aiff"));
    EXPECT_EQ(i24.bits, 24);
    EXPECT_EQ(i24.frames, base.frames);
    EXPECT_DOUBLE_EQ(hi.rate, 44100.0);
    EXPECT_EQ(hi.bits, 16);
    // Resampled, not just relabelled: the duration stays the same.
    EXPECT_NEAR(hi.seconds(), base.seconds(), 0.01);
    EXPECT_GT(peak16(hi.samples), 3000);
}

TEST_F(say_failures, BadOptionIsAUsageError) {
    const ProcessResult bad = say({"--bogus", "-o", (dir / "x.aiff").string()}, kSentence);
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("unknown option --bogus"), std::string::npos) << bad.err;
    EXPECT_EQ(say({"-o"}).status, 2);
    EXPECT_TRUE(listDir(dir.path()).empty());
}

TEST_F(say_failures, FullDiskMidwayLeavesTheOldTargetAndNoTemporaryFile) {
    // A 64 KiB tmpfs fills up after a second of audio, well inside the synthesis.
    if (::geteuid() != 0 || !vorpeltest::haveProgram("unshare")) GTEST_SKIP() << "needs root and unshare to mount a small tmpfs";
    const fs::path mnt = dir / "small";
    fs::create_directory(mnt);
    writeFile(dir / "words.txt", kSentence + kSentence + kSentence);
    const std::string script = "mount -t tmpfs -o size=64k none '" + mnt.string() + "' || exit 99\n"
                               "cd '" + mnt.string() + "' && echo old > out.aiff\n"
                               "'" + toolPath("say").string() + "' -o out.aiff -f '" + (dir / "words.txt").string() + "'\n"
                               "echo status=$?; ls -A; cat out.aiff\n";
    const ProcessResult r = runProcess({"unshare", "-m", "sh", "-c", script});
    if (r.status == 99) GTEST_SKIP() << "cannot mount a tmpfs here: " << r.err;
    EXPECT_NE(r.err.find("say: out.aiff: "), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "status=1\nout.aiff\nold\n");
}

} // namespace
