// sips against ImageMagick's convert on a generated 4000x3000 photograph-like picture.
// Each conversion runs a few times (slow ones once); the best wall time counts. Ratios below 1 mean
// sips is faster.
#include <Magick++.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

extern char** environ;

namespace {

constexpr int kRuns = 5;

// Wall time of one run in seconds, or a negative value when the program failed.
double runOnce(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took.count() : -1;
}

// Best times of several programs, run in turn so that a load change on the machine hits
// them alike.
std::vector<double> bestInTurn(const std::vector<std::vector<std::string>>& programs) {
    std::vector<double> best(programs.size(), 1e30);
    for (int i = 0; i < kRuns; ++i) {
        for (size_t p = 0; p < programs.size(); ++p) {
            if (i > 0 && best[p] > 5.0) continue; // one slow run says enough
            const double t = runOnce(programs[p]);
            if (t < 0) return std::vector<double>(programs.size(), -1);
            best[p] = std::min(best[p], t);
        }
    }
    return best;
}

double megabytes(const fs::path& p) {
    std::error_code ec;
    const auto n = fs::file_size(p, ec);
    return ec ? 0.0 : double(n) / 1e6;
}

// Smooth colour fields with some grain: compresses roughly like a photograph.
void makePicture(const fs::path& jpeg, const fs::path& png) {
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
    img.magick("PNG");
    img.write(png.string());
}

struct Case {
    const char* name;
    fs::path source;
    std::string format; // for sips
    std::string ext;
    std::vector<std::string> sameSettings; // convert options matching what sips does
};

} // namespace

int main(int, char** argv) {
    Magick::InitializeMagick(argv[0]);
    const fs::path sips = fs::path(VORPEL_LIBEXEC_DIR) / "sips";
    if (!fs::exists(sips)) {
        std::fprintf(stderr, "bench_sips: %s not built\n", sips.c_str());
        return 1;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string dirTemplate = (fs::path(tmp ? tmp : "/tmp") / "bench-sips-XXXXXX").string();
    if (!mkdtemp(dirTemplate.data())) return 1;
    const fs::path dir = dirTemplate;

    const fs::path jpeg = dir / "photo.jpg";
    const fs::path png = dir / "photo.png";
    std::printf("generating a 4000x3000 picture...\n");
    makePicture(jpeg, png);
    std::printf("source: %s %.1f MB, %s %.1f MB; best of %d runs\n\n", jpeg.filename().c_str(),
                megabytes(jpeg), png.filename().c_str(), megabytes(png), kRuns);

    const std::vector<Case> cases{
        {"jpeg->png",
         jpeg,
         "png",
         ".png",
         {"-define", "png:compression-level=1", "-define", "png:compression-filter=5", "-define",
          "png:compression-strategy=0"}},
        {"jpeg->tiff", jpeg, "tiff", ".tiff", {"-compress", "none"}},
        {"png->jpeg", png, "jpeg", ".jpeg", {"-quality", "100", "-define", "jpeg:optimize-coding=false"}},
    };

    std::printf("%-11s %9s %9s %7s %13s %7s %9s %9s\n", "conversion", "sips s", "convert s",
                "ratio", "convert def s", "ratio", "sips MB", "conv MB");
    int status = 0;
    for (const Case& c : cases) {
        const fs::path ours = dir / ("sips" + c.ext);
        const fs::path same = dir / ("same" + c.ext);
        const fs::path plain = dir / ("plain" + c.ext);
        std::vector<std::string> conv{"convert", c.source.string()};
        conv.insert(conv.end(), c.sameSettings.begin(), c.sameSettings.end());
        conv.push_back(same.string());
        // What convert does when asked for the format only (its -quality for JPEG "best").
        std::vector<std::string> def{"convert", c.source.string()};
        if (c.format == "jpeg") def.insert(def.end(), {"-quality", "100"});
        def.push_back(plain.string());
        const std::vector<double> t =
            bestInTurn({{sips.string(), "--setProperty", "format", c.format, "--setProperty",
                         "formatOptions", "best", c.source.string(), "--out", ours.string()},
                        conv,
                        def});
        const double tSips = t[0], tSame = t[1], tDefault = t[2];
        if (tSips < 0 || tSame < 0 || tDefault < 0) {
            std::printf("%-11s failed (sips %.2f, convert %.2f, %.2f)\n", c.name, tSips, tSame,
                        tDefault);
            status = 1;
            continue;
        }
        std::printf("%-11s %9.2f %9.2f %7.2f %13.2f %7.2f %9.1f %9.1f\n", c.name, tSips, tSame,
                    tSips / tSame, tDefault, tSips / tDefault, megabytes(ours), megabytes(plain));
    }
    std::printf("\nratio: sips time / convert time with the same settings, then with convert's "
                "defaults\n");
    std::error_code ec;
    fs::remove_all(dir, ec);
    return status;
}
