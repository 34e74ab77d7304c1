// Peak memory of one textutil process per conversion of large documents (20 MB and 200 MB of
// txt, rtf, html and docx, made here), per byte of input. Goal: every peak under four times
// the input's size plus 100 MiB.
#include "benchsupport.h"
#include "zipfile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace vorpelbench;

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// Prose of made-up words: paragraphs of a few hundred characters, every seventh word bold.
class Prose {
public:
    // Calls `para(words)` with the words of one paragraph until `total` bytes of text were made.
    template <typename F>
    void paragraphs(size_t total, F&& para) {
        size_t made = 0;
        std::vector<std::string> words;
        while (made < total) {
            words.clear();
            const size_t count = 40 + next() % 120;
            for (size_t i = 0; i < count; ++i) {
                words.push_back(word());
                made += words.back().size() + 1;
            }
            para(words);
        }
    }

private:
    uint64_t state_ = 0x9E3779B97F4A7C15ull;
    uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    std::string word() {
        static const char* syllables[] = {"ka", "lo", "mer", "dan", "ti", "vel", "os", "qua", "ri", "sen",
                                          "thu", "po", "gar", "ne", "wil", "by", "zo", "fre", "ix", "ul"};
        std::string w;
        const size_t n = 1 + next() % 4;
        for (size_t i = 0; i < n; ++i) w += syllables[next() % 20];
        return w;
    }
};

std::string makeTxt(size_t size) {
    std::string s;
    s.reserve(size + 4096);
    Prose().paragraphs(size, [&](const std::vector<std::string>& words) {
        for (size_t i = 0; i < words.size(); ++i) s += (i ? " " : "") + words[i];
        s += '\n';
    });
    return s;
}

std::string makeRtf(size_t size) {
    std::string s = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil Helvetica;}}\n\\f0\\fs24 ";
    s.reserve(size + 4096);
    Prose().paragraphs(size, [&](const std::vector<std::string>& words) {
        for (size_t i = 0; i < words.size(); ++i)
            s += (i ? " " : "") + (i % 7 == 3 ? "{\\b " + words[i] + "}" : words[i]);
        s += "\\par\n";
    });
    return s + "}\n";
}

std::string makeHtml(size_t size) {
    std::string s = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Long</title></head><body>\n";
    s.reserve(size + 4096);
    Prose().paragraphs(size, [&](const std::vector<std::string>& words) {
        s += "<p>";
        for (size_t i = 0; i < words.size(); ++i)
            s += (i ? " " : "") + (i % 7 == 3 ? "<b>" + words[i] + "</b>" : words[i]);
        s += "</p>\n";
    });
    return s + "</body></html>\n";
}

// A docx whose file (not its inflated XML) has about `size` bytes.
std::string makeDocx(size_t size) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document "
                      "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>";
    // Prose XML deflates to about a fifth; aim at the file size by text made.
    const size_t textSize = size * 5 / 2;
    xml.reserve(textSize * 2 + 4096);
    Prose().paragraphs(textSize, [&](const std::vector<std::string>& words) {
        xml += "<w:p><w:r><w:t xml:space=\"preserve\">";
        for (size_t i = 0; i < words.size(); ++i) {
            if (i % 7 == 3) xml += "</w:t></w:r><w:r><w:rPr><w:b/></w:rPr><w:t>" + words[i] + "</w:t></w:r><w:r><w:t xml:space=\"preserve\"> ";
            else xml += words[i] + " ";
        }
        xml += "</w:t></w:r></w:p>";
    });
    xml += "</w:body></w:document>";
    textutil::zip::Builder z;
    z.add("[Content_Types].xml",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
          "content-types\"><Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package."
          "relationships+xml\"/><Default Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName="
          "\"/word/document.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml."
          "document.main+xml\"/></Types>");
    z.add("_rels/.rels",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/"
          "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
          "officeDocument/2006/relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>");
    z.add("word/document.xml", std::move(xml));
    return z.finish();
}

// Writes the input in a child process of its own. A spawned process's peak, as wait4 reports it,
// counts the peak of the process that spawned it: a bench that made a 200 MB input itself
// would measure its own memory, not textutil's.
bool makeInput(const fs::path& in, const std::string& format, size_t size) {
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        writeFile(in, format == "txt" ? makeTxt(size) : format == "rtf" ? makeRtf(size)
                      : format == "html" ? makeHtml(size) : makeDocx(size));
        ::_exit(0);
    }
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at <= list.size()) {
        const size_t comma = std::min(list.find(',', at), list.size());
        if (comma > at) out.push_back(list.substr(at, comma - at));
        at = comma + 1;
    }
    return out;
}

// Bytes of memory the system could still give, from /proc/meminfo; 0 when unknown.
double availableBytes() {
    const std::string info = readFile("/proc/meminfo");
    const size_t at = info.find("MemAvailable:");
    return at == std::string::npos ? 0 : std::atof(info.c_str() + at + 13) * 1024;
}

} // namespace

int main(int argc, char** argv) {
    // Arguments, for a quick look or a comparison: sizes in MB ("20,200"), another textutil
    // program, input formats ("txt,rtf").
    std::vector<size_t> sizes;
    for (const std::string& s : split(argc > 1 ? argv[1] : "20,200")) sizes.push_back(size_t(std::atol(s.c_str())));
    const fs::path tool = argc > 2 ? fs::path(argv[2]) : fs::path(VORPEL_LIBEXEC_DIR) / "textutil";
    char tmpl[] = "/tmp/textutil-memory-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    const fs::path dir = tmpl;
    const std::vector<std::string> inputs = split(argc > 3 ? argv[3] : "txt,rtf,html,docx");
    std::map<std::string, double> perByte;  // worst so far of each input format
    const std::vector<std::string> targets = {"txt", "rtf", "html", "docx"};
    int failures = 0;
    double worst = 0;
    std::printf("%-16s %9s %10s %9s %8s  %s\n", "conversion", "input MB", "peak MiB", "B/byte", "seconds", "goal");
    for (const size_t mb : sizes) {
        for (const std::string& format : inputs) {
            const size_t size = mb * 1000 * 1000;
            // A shared machine must not be driven out of memory: skip what the smaller run
            // says would not fit.
            const double expected = perByte.count(format) ? perByte[format] * double(size) : 0;
            if (expected > availableBytes() / 2) {
                std::printf("%-16s %9.1f  skipped: would need about %.1f GiB\n", (format + " -> *").c_str(),
                            double(size) / 1e6, expected / kMiB / 1024);
                ++failures;
                continue;
            }
            const fs::path in = dir / ("input." + format);
            if (!makeInput(in, format, size)) {
                std::printf("%-16s cannot make the input\n", (format + " -> *").c_str());
                ++failures;
                continue;
            }
            const double bytes = double(fs::file_size(in));
            for (const std::string& target : targets) {
                const RunStats r = measureRun({tool.string(), "-convert", target, "-output",
                                               (dir / ("output." + target)).string(), in.string()});
                const double peak = double(r.peakKiB) * 1024;
                const bool ok = r.ok && peak <= 4 * bytes + 100 * kMiB;
                failures += ok ? 0 : 1;
                worst = std::max(worst, peak / bytes);
                perByte[format] = std::max(perByte[format], peak / bytes);
                std::printf("%-16s %9.1f %10.0f %9.2f %8.2f  %s\n", (format + " -> " + target).c_str(), bytes / 1e6,
                            peak / kMiB, peak / bytes, r.seconds, !r.ok ? "FAILED" : ok ? "ok" : "OVER");
                std::fflush(stdout);
                fs::remove(dir / ("output." + target));
            }
            fs::remove(in);
        }
    }
    std::printf("B/byte = peak resident bytes per input byte; goal: peak <= 4 x input + 100 MiB; worst %.2f\n", worst);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return failures ? 1 : 0;
}
