// say on 1,000 words against espeak-ng writing a WAVE file that sox then turns into AIFF.
// Prints the median of several runs of each and the ratio; status 1 when say is slower.

#include "benchsupport.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int kWords = 1000;
constexpr int kRuns = 9;

// Plain prose, so both sides read the same sentences; no randomness between runs.
std::string makeText() {
    static const char* const words[] = {
        "the", "letter", "arrived", "on", "a", "quiet", "morning", "and", "everyone", "in",
        "house", "wanted", "to", "read", "it", "first", "because", "nobody", "had", "written",
        "since", "summer", "when", "river", "flooded", "old", "mill", "near", "village", "market",
        "children", "ran", "down", "road", "with", "their", "dogs", "while", "farmers", "counted",
        "sheep", "under", "grey", "sky", "that", "promised", "rain", "before", "evening", "came",
        "teacher", "opened", "window", "listened", "distant", "bells", "of", "church", "across", "valley",
        "number", "seventeen", "thousand", "people", "visited", "museum", "last", "year", "according", "report"};
    const size_t n = sizeof words / sizeof *words;
    std::string text;
    unsigned state = 12345;
    for (int i = 0; i < kWords; ++i) {
        state = state * 1103515245u + 12345u;
        std::string w = words[(state >> 8) % n];
        const bool sentenceStart = text.empty() || text.ends_with(". ");
        if (sentenceStart) w[0] = char(w[0] - 'a' + 'A');
        text += w;
        text += (i % 13 == 12 || i == kWords - 1) ? ". " : (i % 7 == 6 ? ", " : " ");
    }
    return text + "\n";
}

// Runs a program (found on PATH) and returns its exit status.
int run(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return 127;
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128;
}


template <typename F>
double seconds(F once) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!once()) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main() {
    const fs::path say = fs::path(VORPEL_LIBEXEC_DIR) / "say";
    if (!vorpelbench::onPath("espeak-ng") || !vorpelbench::onPath("sox")) {
        std::printf("say: espeak-ng or sox not installed, no peer to compare with; skipped\n");
        return 0;
    }
    char tmpl[] = "/tmp/vorpel-bench-say-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const fs::path dir = tmpl;
    const fs::path text = dir / "words.txt";
    std::ofstream(text) << makeText();

    const fs::path ours = dir / "say.aiff";
    const fs::path wav = dir / "peer.wav";
    const fs::path peer = dir / "peer.aiff";
    // Same voice settings on both sides: Alex is en-us at 175 words a minute, pitch 45.
    const auto runSay = [&] {
        return run({say.string(), "-v", "Alex", "-o", ours.string(), "-f", text.string()}) == 0;
    };
    const auto runPeer = [&] {
        return run({"espeak-ng", "-v", "en-us", "-s", "175", "-p", "45", "-w", wav.string(), "-f", text.string()}) == 0 &&
               run({"sox", wav.string(), peer.string()}) == 0;
    };
    // Alternate the two after a warm-up, so a busy moment on a shared machine hits both alike.
    bool ok = runSay() && runPeer();
    std::vector<double> saySamples, peerSamples;
    for (int i = 0; ok && i < kRuns; ++i) {
        saySamples.push_back(seconds(runSay));
        peerSamples.push_back(seconds(runPeer));
        ok = saySamples.back() >= 0 && peerSamples.back() >= 0;
    }
    const auto size = [](const fs::path& p) { return double(fs::file_size(p)) / 1e6; };
    int status = 0;
    if (!ok) {
        std::printf("say: a run of say or of the peer failed\n");
        status = 1;
    } else {
        const double tSay = vorpelbench::median(saySamples), tPeer = vorpelbench::median(peerSamples);
        // 16-bit mono at 22050 Hz: 44100 bytes a second.
        std::printf("say 1000 words -> AIFF: %.3f s (%.1f s of audio, %.2f MB)\n", tSay, size(ours) * 1e6 / 44100,
                    size(ours));
        std::printf("espeak-ng -w + sox:     %.3f s (%.1f s of audio, %.2f MB)\n", tPeer, size(peer) * 1e6 / 44100,
                    size(peer));
        const double ratio = tSay / tPeer;
        std::printf("ratio say/peer: %.2f (target <= 1.00, median of %d alternating runs)\n", ratio, kRuns);
        status = ratio <= 1.0 ? 0 : 1;
    }
    fs::remove_all(dir);
    return status;
}
