// Times one textutil process per office conversion of a 20-page document with tables and
// pictures, against pandoc and LibreOffice (when installed) on the same files, in the same run.
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

const double kGoal = 0.15;

struct Case {
    std::string label, input, format;
    std::string pandocFrom, pandocTo, pandocExt;  // empty: pandoc cannot do it
    std::string sofficeTo;
};

void row(const Case& c, double ours, double pandoc, double soffice) {
    auto cell = [](double v) {
        char buf[32];
        if (v < 0) std::snprintf(buf, sizeof buf, "%10s", "n/a");
        else std::snprintf(buf, sizeof buf, "%9.3fs", v);
        return std::string(buf);
    };
    auto ratio = [&](double peer) {
        char buf[32];
        if (peer < 0 || ours <= 0) std::snprintf(buf, sizeof buf, "%9s", "n/a");
        else std::snprintf(buf, sizeof buf, "%8.1fx", peer / ours);
        return std::string(buf);
    };
    std::printf("%-14s %s %s %s %s %s  %s\n", c.label.c_str(), cell(ours).c_str(), cell(pandoc).c_str(),
                ratio(pandoc).c_str(), cell(soffice).c_str(), ratio(soffice).c_str(),
                ours < 0 ? "FAILED" : ours <= kGoal ? "ok" : "OVER GOAL");
}

} // namespace

int main() {
    const fs::path work = fs::temp_directory_path() / ("textutil-office-bench-" + std::to_string(::getpid()));
    fs::create_directories(work);
    std::vector<std::string> pictures;
    const fs::path corpus = VORPEL_CORPUS_DIR;
    for (const char* p : {"png/transparent.png", "jpeg/hopper_orientation_5.jpg", "png/pil123rgba.png"})
        if (fs::exists(corpus / p)) pictures.push_back(readFile(corpus / p));
    const Document doc = twentyPages(pictures);
    for (const char* f : {"docx", "odt", "doc"}) writeFile(work / (std::string("sample.") + f), findFormat(f)->write(doc, {}).data);

    const std::string textutil = std::string(VORPEL_LIBEXEC_DIR) + "/textutil";
    const bool havePandoc = onPath("pandoc"), haveSoffice = onPath("soffice");
    const std::vector<Case> cases = {
        {"docx->txt", "sample.docx", "txt", "docx", "plain", "txt", "txt"},
        {"docx->rtf", "sample.docx", "rtf", "docx", "rtf", "rtf", "rtf"},
        {"docx->html", "sample.docx", "html", "docx", "html", "html", "html"},
        {"docx->odt", "sample.docx", "odt", "docx", "odt", "odt", "odt"},
        {"docx->doc", "sample.docx", "doc", "", "", "", "doc"},
        {"odt->docx", "sample.odt", "docx", "odt", "docx", "docx", "docx"},
        {"doc->docx", "sample.doc", "docx", "", "", "", "docx"},
    };
    std::printf("20-page document (%d pictures, 20 tables), docx %zu bytes; median wall time per process\n",
                int(pictures.empty() ? 0 : 20), fs::file_size(work / "sample.docx"));
    std::printf("%-14s %10s %10s %9s %10s %9s\n", "conversion", "textutil", "pandoc", "ratio", "soffice", "ratio");
    bool allOk = true;
    for (const Case& c : cases) {
        const fs::path in = work / c.input;
        const double ours = medianRun({textutil, "-convert", c.format, "-output", (work / ("out." + c.format)).string(), in.string()}, 7);
        double pandoc = -1, soffice = -1;
        if (havePandoc && !c.pandocTo.empty())
            pandoc = medianRun({"pandoc", "-f", c.pandocFrom, "-t", c.pandocTo, "-o", (work / ("pandoc." + c.pandocExt)).string(), in.string()}, 3);
        if (haveSoffice)
            soffice = medianRun({"soffice", "--headless", "--convert-to", c.sofficeTo, "--outdir", (work / "lo").string(), in.string()}, 1);
        row(c, ours, pandoc, soffice);
        allOk = allOk && ours > 0 && ours <= kGoal;
    }
    if (!havePandoc) std::printf("pandoc not installed: no pandoc ratios\n");
    if (!haveSoffice) std::printf("LibreOffice not installed: no LibreOffice ratios\n");
    std::printf("ratio = peer time / textutil time; goal %.2f s per conversion: %s\n", kGoal, allOk ? "met" : "NOT met");
    std::error_code ec;
    fs::remove_all(work, ec);
    return allOk ? 0 : 1;
}
