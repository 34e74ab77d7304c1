// Times one textutil process per conversion on a 20-page document with tables and
// pictures, against pandoc (and LibreOffice when installed) on the same files.
// Goal: at most 0.15 s per conversion.
#include "benchdocument.h"
#include "benchsupport.h"
#include "formats.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>


namespace fs = std::filesystem;
using namespace textutil;
using namespace vorpelbench;

namespace {

const double kGoalSeconds = 0.15;

struct Case {
    const char* label;
    const char* input;    // file in the work folder
    const char* format;   // textutil -convert FMT
    const char* pandocTo; // pandoc writer for the nearest equivalent
    const char* sofficeTo;
};

} // namespace

int main() {
    const fs::path tool = fs::path(VORPEL_LIBEXEC_DIR) / "textutil";
    const fs::path corpus = VORPEL_CORPUS_DIR;
    std::vector<std::string> pictures;
    for (const char* rel : {"jpeg/pil_sample_cmyk.jpg", "png/transparent.png", "jpeg/hopper_orientation_5.jpg"})
        if (fs::exists(corpus / rel)) pictures.push_back(readFile(corpus / rel));
    if (pictures.empty()) std::printf("(corpus absent: document without pictures)\n");

    char tmpl[] = "/tmp/textutil-bench-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    const fs::path dir = tmpl;
    const Document doc = twentyPages(pictures);
    writeFile(dir / "doc.html", writeHtml(doc, {}).data);
    writeFile(dir / "doc.rtf", writeRtf(doc, {}).data);
    std::printf("input: 20 pages, %zu paragraphs and tables, %zu pictures; doc.html %zu KB, doc.rtf %zu KB\n",
                doc.blocks.size(), doc.attachments.size(), size_t(fs::file_size(dir / "doc.html") / 1024),
                size_t(fs::file_size(dir / "doc.rtf") / 1024));

    const bool pandoc = onPath("pandoc");
    const bool soffice = onPath("soffice");
    if (!pandoc) std::printf("pandoc not installed: no pandoc ratios\n");
    if (!soffice) std::printf("LibreOffice (soffice) not installed: no LibreOffice ratios\n");

    const Case cases[] = {
        {"html -> rtf", "doc.html", "rtf", "rtf", "rtf"},
        {"rtf -> html", "doc.rtf", "html", "html", "html"},
        {"html -> txt", "doc.html", "txt", "plain", "txt:Text"},
        {"rtf -> webarchive", "doc.rtf", "webarchive", "html", nullptr},  // pandoc has no web archive: its html
    };
    int failures = 0;
    std::printf("%-18s %10s %10s %10s %12s  %s\n", "conversion", "textutil", "pandoc", "ratio", "LibreOffice", "goal");
    for (const Case& c : cases) {
        const fs::path in = dir / c.input;
        const double ours = medianRun({tool.string(), "-convert", c.format, "-output",
                                    (dir / ("out." + std::string(c.format))).string(), in.string()}, 15);
        double theirs = -1, office = -1;
        if (pandoc)
            theirs = medianRun({"pandoc", "-s", "-f", fs::path(c.input).extension() == ".rtf" ? "rtf" : "html", "-t",
                             c.pandocTo, "-o", (dir / "pandoc.out").string(), in.string()}, 3);
        if (soffice && c.sofficeTo)
            office = medianRun({"soffice", "--headless", "--convert-to", c.sofficeTo, "--outdir", (dir / "lo").string(),
                             in.string()}, 1);
        const bool ok = ours >= 0 && ours <= kGoalSeconds;
        failures += ok ? 0 : 1;
        char ratio[32] = "-", officeText[32] = "-";
        if (theirs > 0 && ours > 0) std::snprintf(ratio, sizeof ratio, "%.3f", ours / theirs);
        if (office > 0 && ours > 0) std::snprintf(officeText, sizeof officeText, "%.3f", ours / office);
        std::printf("%-18s %9.3fs %9.3fs %10s %12s  %s\n", c.label, ours, theirs, ratio, officeText,
                    ok ? "ok" : "MISSED");
    }
    std::printf("ratio = textutil time / peer time (lower is better); rtf -> webarchive is compared with pandoc rtf -> html\n");

    // The engine alone, without process start, for reference.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) {
        Document d = readDocument(dir / "doc.rtf", {});
        (void)writeHtml(d, {});
    }
    const double engine = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 10;
    std::printf("engine only, rtf -> html in process: %.4f s\n", engine);

    std::error_code ec;
    fs::remove_all(dir, ec);
    return failures ? 1 : 0;
}
