// Times one textutil process per office conversion of a 20-page document with tables and
// pictures, against pandoc and LibreOffice (when installed) on the same files, in the same run.
// Goal: at most 0.15 s per conversion.
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

std::string words(int seed, int n) {
    static const char* const w[] = {"office", "document", "converter", "the", "of", "table", "picture", "and",
                                    "heading", "list", "reader", "writer", "quietly", "with", "each", "page",
                                    "text", "in", "a", "to", "Ωμέγα", "naïve"};
    std::string s;
    for (int i = 0; i < n; ++i) s += std::string(i ? " " : "") + w[(seed * 13 + i * 7) % 22];
    return s + ". ";
}

// About twenty letter pages: headings, styled prose, lists, a table and a picture per page.
Document twentyPages(const std::vector<std::string>& pictures) {
    Document doc;
    doc.meta.title = "Office benchmark";
    doc.meta.author = "textutil bench";
    for (int page = 0; page < 20; ++page) {
        ParaStyle h;
        h.heading = 1 + page % 2;
        appendText(doc.addParagraph(h), "Chapter " + std::to_string(page + 1), {});
        for (int p = 0; p < 5; ++p) {
            Paragraph& para = doc.addParagraph();
            for (int s = 0; s < 6; ++s) {
                CharStyle cs;
                cs.bold = s == 1;
                cs.italic = s == 2;
                cs.underline = s == 3;
                if (s == 4) cs.link = "https://example.org/" + std::to_string(page);
                if (s == 5) cs.color = Color{20, 80, 160};
                appendText(para, words(page * 50 + p * 7 + s, 12), cs);
            }
        }
        for (int i = 0; i < 4; ++i) {
            ParaStyle li;
            li.listLevel = 1 + i % 2;
            li.ordered = page % 2 == 0;
            li.listNumber = i / 2 + 1;
            appendText(doc.addParagraph(li), words(page + i, 6), {});
        }
        if (!pictures.empty()) {
            ParaStyle c;
            c.align = Align::Center;
            Attachment a;
            a.data = pictures[size_t(page) % pictures.size()];
            a.mimeType = a.data.substr(0, 4) == "\x89PNG" ? "image/png" : "image/jpeg";
            a.fileName = "pic" + std::to_string(page) + (a.mimeType == "image/png" ? ".png" : ".jpg");
            a.width = 200;
            a.height = 150;
            doc.addParagraph(c).runs.emplace_back().attachment = doc.addAttachment(a);
        }
        Block& b = doc.blocks.emplace_back();
        b.table.emplace();
        for (int row = 0; row < 6; ++row) {
            TableRow& tr = b.table->rows.emplace_back();
            for (int col = 0; col < 4; ++col) {
                CharStyle cs;
                cs.bold = row == 0;
                appendText(tr.cells.emplace_back().paragraphs.emplace_back(),
                           row == 0 ? "Column " + std::to_string(col + 1) : std::to_string(page * 100 + row * 4 + col), cs);
            }
        }
    }
    return doc;
}

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
