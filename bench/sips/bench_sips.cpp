// sips against libvips' command line, ImageMagick's convert and GraphicsMagick's gm, in all nine
// formats, on a generated 4000x3000 photograph-like JPEG and a PNG with alpha of the same size.
// Every program gets the settings sips uses for "formatOptions best"; the runs of one case are
// interleaved so that a change of load on the machine hits all programs alike. Printed: median
// wall time, median user+system CPU time, output size, peak memory, and how sips compares with
// the fastest peer in both times. Wall time is what a user waits; CPU time is steadier on a
// loaded machine.
//
// BENCH_SIPS_RUNS (default 5) and BENCH_SIPS_FORMATS ("jpeg,png,...") narrow a run down.
//
// sips flushes its output to disk before renaming it into place; the peers leave theirs in the
// page cache. BENCH_SIPS_DURABLE=1 adds a column that compares producing a durable file: after
// the runs of a case, as many more rounds in which each peer is followed by `sync <its file>`
// (the two times added up) and sips runs as it is. The other columns come from the runs before,
// as without it; kept apart, since a synced output frees disk blocks when it is replaced, which
// the next flush to disk (often sips') waits for.
#include "benchsupport.h"

#include <Magick++.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using vorpelbench::measureRun;
using vorpelbench::median;
using vorpelbench::onPath;

namespace {

double megabytes(const fs::path& p) {
    std::error_code ec;
    const auto n = fs::file_size(p, ec);
    return ec ? 0.0 : double(n) / 1e6;
}

// Smooth colour fields with some grain: compresses roughly like a photograph. The PNG gets an
// alpha channel with clear, half-clear and opaque parts.
void makePictures(const fs::path& jpeg, const fs::path& png) {
    Magick::InitializeMagick(nullptr);
    Magick::SetRandomSeed(4711);
    Magick::Image img;
    img.size(Magick::Geometry(4000, 3000));
    img.read("plasma:fractal");
    img.blur(0, 1.5);
    img.attenuate(0.15);
    img.addNoise(Magick::GaussianNoise);
    img.depth(8);
    img.quality(92);
    img.write(jpeg.string());

    Magick::Image alpha;
    alpha.size(Magick::Geometry(4000, 3000));
    alpha.read("radial-gradient:white-black");
    img.matte(true);
    img.composite(alpha, 0, 0, Magick::CopyOpacityCompositeOp);
    img.magick("PNG");
    img.write(png.string());
}

struct Program {
    std::string name;
    std::string exe; // empty when missing
};

// The real ImageMagick, never a wrapper script of the same name earlier on PATH.
std::string findConvert() {
    for (const char* p : {"/usr/bin/convert-im6.q16", "/usr/bin/convert-im7.q16"})
        if (fs::exists(p)) return p;
    return onPath("magick") ? "magick" : "";
}

// Equal settings per program and format; empty means the program has no such writer.
std::vector<std::string> command(const std::string& prog, const std::string& exe,
                                 const std::string& fmt, const fs::path& in, const fs::path& out,
                                 bool alphaSource) {
    const std::string i = in.string(), o = out.string();
    // JPEG, BMP and PICT keep no alpha: every program puts the picture on white.
    const bool flatten = alphaSource && (fmt == "jpeg" || fmt == "bmp" || fmt == "pict");
    if (prog == "vips") {
        const std::vector<std::string> white =
            flatten ? std::vector<std::string>{"--background", "255"} : std::vector<std::string>{};
        std::vector<std::string> c;
        if (fmt == "jpeg") c = {exe, "jpegsave", i, o, "--Q", "100"};
        if (fmt == "png") c = {exe, "pngsave", i, o, "--compression", "1", "--filter", "all"};
        if (fmt == "tiff") c = {exe, "tiffsave", i, o, "--compression", "none"};
        if (fmt == "gif") c = {exe, "gifsave", i, o, "--effort", "1", "--dither", "0"}; // as sips
        if (fmt == "jp2") c = {exe, "jp2ksave", i, o, "--lossless"};
        // No native writer: its ImageMagick one (which picks its own PSD compression).
        if (fmt == "psd") c = {exe, "magicksave", i, o, "--format", "psd"};
        if (fmt == "pict") c = {exe, "magicksave", i, o, "--format", "pict"};
        if (fmt == "bmp") c = {exe, "magicksave", i, o, "--format", "bmp3"};
        if (fmt == "pdf") c = {exe, "magicksave", i, o, "--format", "pdf"};
        if (fmt == "jpeg") c.insert(c.end(), white.begin(), white.end());
        if (flatten && fmt != "jpeg") {
            // magicksave keeps alpha: flatten first, into a file of vips' own format.
            const std::string flat = (out.parent_path() / "flat.v").string();
            return {"/bin/sh", "-c",
                    exe + " flatten '" + i + "' '" + flat + "' --background 255 && " + exe +
                        " magicksave '" + flat + "' '" + o + "' --format " + c[5] + "; s=$?; rm -f '" +
                        flat + "'; exit $s"};
        }
        return c;
    }
    std::vector<std::string> c = {exe};
    if (prog == "gm") c.push_back("convert");
    c.push_back(i);
    if (flatten) {
        if (prog == "gm")
            c.insert(c.end(), {"-background", "white", "-flatten"});
        else
            c.insert(c.end(), {"-background", "white", "-alpha", "remove", "-alpha", "off"});
    }
    std::string target = o;
    if (fmt == "jpeg") {
        c.insert(c.end(), {"-quality", "100", "-define", "jpeg:optimize-coding=false"});
        if (prog == "gm") c.insert(c.end(), {"-sampling-factor", "1x1"});
    }
    if (fmt == "png") {
        if (prog == "gm")
            c.insert(c.end(), {"-quality", "15"}); // zlib level 1, adaptive filtering
        else
            c.insert(c.end(), {"-define", "png:compression-level=1", "-define",
                               "png:compression-filter=5", "-define",
                               "png:compression-strategy=0"});
    }
    if (fmt == "tiff" || fmt == "psd") c.insert(c.end(), {"-compress", "none"});
    if (fmt == "jp2") {
        c.insert(c.end(), {"-quality", "100"}); // lossless
        if (prog == "gm") c.insert(c.end(), {"-define", "jp2:rate=1.0"});
    }
    if (fmt == "pdf") c.insert(c.end(), {"-compress", "zip"});
    if (fmt == "bmp") target = "BMP3:" + o;
    c.push_back(target);
    return c;
}

// Whether a file starts as the format says: some writers quietly write another format.
bool isFormat(const fs::path& p, const std::string& fmt) {
    // Only the head: reading whole outputs would grow this process, whose peak memory the
    // programs it spawns start from.
    std::ifstream f(p, std::ios::binary);
    std::string d(600, '\0');
    f.read(d.data(), std::streamsize(d.size()));
    d.resize(size_t(f.gcount()));
    auto at = [&](size_t i, std::string_view m) { return d.size() >= i + m.size() && d.compare(i, m.size(), m) == 0; };
    using namespace std::string_view_literals;
    if (fmt == "jpeg") return at(0, "\xff\xd8\xff"sv);
    if (fmt == "png") return at(0, "\x89PNG"sv);
    if (fmt == "gif") return at(0, "GIF8"sv);
    if (fmt == "tiff") return at(0, "II*\0"sv) || at(0, "MM\0*"sv);
    if (fmt == "jp2") return at(4, "jP  "sv) || at(0, "\xff\x4f\xff\x51"sv);
    if (fmt == "psd") return at(0, "8BPS"sv);
    if (fmt == "pict") return at(522, "\0\x11\x02\xff"sv);
    if (fmt == "pdf") return at(0, "%PDF"sv);
    if (fmt == "bmp") return at(0, "BM"sv);
    return false;
}

struct Measure {
    std::vector<double> times;
    std::vector<double> durableTimes; // the program's run plus `sync` of its output
    std::vector<double> cpus;
    double peak = 0;
    double size = 0;
    bool failed = false;
    bool wrongFormat = false;
    double time() const { return failed ? -1 : median(times); }
    double cpu() const { return failed ? -1 : median(cpus); }
    double durableTime() const {
        return failed || durableTimes.empty() ? -1 : median(durableTimes);
    }
};

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // rows show as they are measured
    const fs::path sips = fs::path(VORPEL_LIBEXEC_DIR) / "sips";
    if (!fs::exists(sips)) {
        std::fprintf(stderr, "bench_sips: %s not built\n", sips.c_str());
        return 1;
    }
    const char* runsEnv = std::getenv("BENCH_SIPS_RUNS");
    const int runs = runsEnv ? std::max(1, std::atoi(runsEnv)) : 5;
    const char* durableEnv = std::getenv("BENCH_SIPS_DURABLE");
    const bool durable = durableEnv && std::string_view(durableEnv) == "1";
    std::vector<std::string> formats{"jp2", "jpeg", "tiff", "png", "psd",
                                     "pict", "gif", "pdf", "bmp"};
    if (const char* only = std::getenv("BENCH_SIPS_FORMATS")) {
        formats.clear();
        std::stringstream ss(only);
        for (std::string f; std::getline(ss, f, ',');)
            formats.push_back(f);
    }

    std::vector<Program> peers{{"vips", onPath("vips") ? "vips" : ""},
                               {"convert", findConvert()},
                               {"gm", onPath("gm") ? "gm" : ""}};
    for (const Program& p : peers)
        if (p.exe.empty()) std::printf("%s is not installed: left out\n", p.name.c_str());

    const char* tmp = std::getenv("TMPDIR");
    std::string dirTemplate = (fs::path(tmp ? tmp : "/tmp") / "bench-sips-XXXXXX").string();
    if (!mkdtemp(dirTemplate.data())) return 1;
    const fs::path dir = dirTemplate;
    const fs::path jpeg = dir / "photo.jpg";
    const fs::path png = dir / "alpha.png";
    std::printf("generating the 4000x3000 pictures...\n");
    // In a child: a spawned program's peak memory starts from its parent's.
    const pid_t maker = fork();
    if (maker == 0) {
        makePictures(jpeg, png);
        _exit(0);
    }
    int made = 0;
    waitpid(maker, &made, 0);
    if (maker < 0 || !WIFEXITED(made) || WEXITSTATUS(made) != 0) return 1;
    std::printf("sources: photo.jpg %.1f MB, alpha.png %.1f MB; median of %d interleaved runs\n\n",
                megabytes(jpeg), megabytes(png), runs);

    std::printf("%-5s %-5s | %-25s | %-25s | %-25s | %-25s | %-7s %5s %5s %5s %5s\n", "to", "from",
                "sips s/cpu s/MB/peakMB", "vips s/cpu s/MB/peakMB", "convert s/cpu s/MB/peakMB",
                "gm s/cpu s/MB/peakMB", "fastest", "time", "cpu", "size", "mem");
    if (durable)
        std::printf("durable, after the other columns: the fastest peer's run followed by `sync`"
                    " of its output / sips' time, both from rounds of their own\n");
    int status = 0;
    int met = 0, cases = 0;
    for (const std::string& fmt : formats) {
        for (const bool alpha : {false, true}) {
            const fs::path in = alpha ? png : jpeg;
            std::vector<std::pair<std::string, std::vector<std::string>>> progs{
                {"sips",
                 {sips.string(), "--setProperty", "format", fmt, "--setProperty", "formatOptions",
                  "best", in.string(), "--out", (dir / ("sips." + fmt)).string()}}};
            for (const Program& p : peers)
                progs.push_back({p.name, p.exe.empty() ? std::vector<std::string>{}
                                                      : command(p.name, p.exe, fmt, in,
                                                                dir / (p.name + "." + fmt),
                                                                alpha)});
            std::map<std::string, Measure> m;
            for (int r = 0; r < runs; ++r) {
                for (const auto& [name, cmd] : progs) {
                    Measure& x = m[name];
                    if (cmd.empty() || x.failed) {
                        x.failed = true;
                        continue;
                    }
                    const vorpelbench::RunStats rr = measureRun(cmd);
                    if (!rr.ok) {
                        x.failed = true;
                        continue;
                    }
                    x.times.push_back(rr.seconds);
                    x.cpus.push_back(rr.cpuSeconds);
                    x.peak = std::max(x.peak, rr.peakKiB / 1024.0);
                }
            }
            for (int r = 0; durable && r < runs; ++r) {
                for (const auto& [name, cmd] : progs) {
                    Measure& x = m[name];
                    if (x.failed) continue;
                    const vorpelbench::RunStats rr = measureRun(cmd);
                    double seconds = rr.seconds;
                    bool ok = rr.ok;
                    if (name != "sips") {
                        const vorpelbench::RunStats sync =
                            measureRun({"sync", (dir / (name + "." + fmt)).string()});
                        seconds += sync.seconds;
                        ok = ok && sync.ok;
                    }
                    if (ok) x.durableTimes.push_back(seconds);
                }
            }
            for (auto& [name, x] : m) {
                const fs::path made = dir / (name + "." + fmt);
                x.size = megabytes(made);
                if (!x.failed && !isFormat(made, fmt)) x.failed = true, x.wrongFormat = true;
                std::error_code ec;
                fs::remove(made, ec);
            }
            auto cell = [&](const std::string& name) {
                const Measure& x = m[name];
                char buf[64];
                if (x.failed)
                    std::snprintf(buf, sizeof buf, "%-25s",
                                  x.wrongFormat ? "writes another format" : "fails");
                else
                    std::snprintf(buf, sizeof buf, "%5.2f %5.2f %6.1f %6.0f", x.time(), x.cpu(),
                                  x.size, x.peak);
                return std::string(buf);
            };
            std::string fastest;
            for (const Program& p : peers) {
                const Measure& x = m[p.name];
                if (!x.failed && (fastest.empty() || x.time() < m[fastest].time()))
                    fastest = p.name;
            }
            const Measure& ours = m["sips"];
            std::printf("%-5s %-5s | %s | %s | %s | %s | ", fmt.c_str(), alpha ? "alpha" : "photo",
                        cell("sips").c_str(), cell("vips").c_str(), cell("convert").c_str(),
                        cell("gm").c_str());
            if (ours.failed) {
                std::printf("sips failed\n");
                status = 1;
                continue;
            }
            if (fastest.empty()) {
                std::printf("no peer\n");
                continue;
            }
            const Measure& best = m[fastest];
            const double timeRatio = best.time() / ours.time();
            // The peer least hungry for CPU, which need not be the fastest on the clock.
            double leastCpu = best.cpu();
            for (const Program& p : peers)
                if (!m[p.name].failed) leastCpu = std::min(leastCpu, m[p.name].cpu());
            const double cpuRatio = leastCpu / ours.cpu();
            const double sizeRatio = ours.size / best.size;
            const double memRatio = m["vips"].failed ? 0 : ours.peak / m["vips"].peak;
            ++cases;
            const bool ok = timeRatio >= 1.0 && sizeRatio <= 1.10 && memRatio <= 2.0;
            met += ok ? 1 : 0;
            std::printf("%-7s %5.2f %5.2f %5.2f %5.2f%s", fastest.c_str(), timeRatio, cpuRatio,
                        sizeRatio, memRatio, ok ? "" : "  *");
            if (durable) {
                double fastestDurable = -1;
                for (const Program& p : peers) {
                    const double t = m[p.name].durableTime();
                    if (t > 0 && (fastestDurable < 0 || t < fastestDurable)) fastestDurable = t;
                }
                if (fastestDurable > 0 && ours.durableTime() > 0)
                    std::printf("%s durable %5.2f", ok ? "   " : "",
                                fastestDurable / ours.durableTime());
            }
            std::printf("\n");
        }
    }
    std::printf("\ntime: fastest peer's wall time / sips' (above 1: sips is faster); cpu: the"
                " least CPU time of the peers / sips'; size: sips' output / the fastest peer's;"
                " mem: sips' peak / vips'.\n* marks a case short of time >= 1, size"
                " <= 1.10, mem <= 2. Targets met in %d of %d cases.\n",
                met, cases);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return status;
}
