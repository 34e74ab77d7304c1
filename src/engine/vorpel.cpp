#include "vorpel.h"

#include "commandlines.h"
#include "dropscreen/qconvert.h"
#include "failures.h"
#include "feedback/progressdes.h"
#include "info/infowin.h"
#include "outputnames.h"
#include "panels/audiocontrol.h"
#include "panels/controlwin.h"
#include "panels/imagecontrol.h"
#include "platform/shell.h"

#include <functional>

namespace vorpel {

namespace {

// The common sequence from the progress window on: window up and timer armed before the
// command runs, the Drop Screen's empty-list hint shown, then the command. A status up to
// `lastSuccess` counts as success; a failure goes into the failure list.
bool runWithProgress(Shell& shell, const FolderItem& f, const std::function<std::string()>& build,
                     int lastSuccess = 0, bool readsItem = true) {
    // The tools would wait on a pipe or read a device forever, and the program with them.
    if (readsItem && f.Special()) {
        Failures::record(f.Name(), "not a regular file or folder", -1);
        return false;
    }
    progressdes& progress = ui::Win<progressdes>();
    progress.Show();
    progress.ProgressBar1->setMaximum(0);
    progress.ProgressBar1->setValue(0);
    const std::string command = build();
    progress.Timer2->setMode(2);
    qconvert& screen = ui::Win<qconvert>();
    screen.StaticText44->setVisible(false);
    screen.StaticText31->setVisible(true);
    shell.Execute(command);
    const bool ok = shell.ErrorCode >= 0 && shell.ErrorCode <= lastSuccess;
    if (!ok) Failures::record(f.Name(), shell.Result, shell.ErrorCode);
    return ok;
}

// The output in f's folder: stem + extension, or within a batch the next free name when an
// earlier item wrote that one or it is queued itself. Null when none can be formed.
FolderItem outputItem(const FolderItem& f, const std::string& stem, std::string_view extension) {
    const FolderItem folder = f.Parent();
    const FolderItem wanted = folder.Child(stem + std::string(extension));
    OutputNames* names = OutputNames::current();
    if (wanted.isNull() || !names) return wanted;
    const std::string name =
        names->claim(f.AbsolutePath(), folder.AbsolutePath(), stem, std::string(extension));
    if (name.empty()) {
        Failures::record(f.Name(), "no free name left for the output in its folder", -1);
        return {};
    }
    return folder.Child(name);
}

// textutil names the output itself, after the source; only another name is passed on.
bool convertDocument(const FolderItem& f, std::string_view prefix, std::string_view extension) {
    Shell shell;
    const std::string stem = documentStem(f.Name());
    const FolderItem own = f.Parent().Child(stem + std::string(extension));
    const FolderItem output = own.isNull() ? own : outputItem(f, stem, extension);
    if (!own.isNull() && output.isNull()) return false;
    return runWithProgress(shell, f, [&] {
        return output == own ? commands::document(prefix, f)
                             : commands::document(prefix, f, output);
    });
}

// tidy reports warnings with status 1 while writing its output.
constexpr int kTidyWarnings = 1;

bool cleanUpMarkup(const FolderItem& f, std::string_view prefix, const char* extension) {
    Shell shell;
    const FolderItem output = outputItem(f, ui::Win<controlwin>().EditField1->Text(), extension);
    if (output.isNull()) return false;
    return runWithProgress(shell, f, [&] { return commands::markup(prefix, f, output); },
                           kTidyWarnings);
}

// Flags are set on any kind of item: nothing is read.
bool changeFlags(const FolderItem& f, std::string_view prefix) {
    Shell shell;
    return runWithProgress(shell, f, [&] { return commands::document(prefix, f); }, 0, false);
}

} // namespace

bool doc(const FolderItem& f, bool) { return convertDocument(f, commands::kDoc, ".doc"); }
bool docx(const FolderItem& f, bool) { return convertDocument(f, commands::kDocx, ".docx"); }
bool odt(const FolderItem& f, bool) { return convertDocument(f, commands::kOdt, ".odt"); }
bool rtf(const FolderItem& f, bool) { return convertDocument(f, commands::kRtf, ".rtf"); }
bool xml(const FolderItem& f, bool) { return convertDocument(f, commands::kWordml, ".xml"); }
bool rtfd(const FolderItem& f, bool) { return convertDocument(f, commands::kRtfd, ".rtfd"); }

bool txt(const FolderItem& f, bool) {
    controlwin& panel = ui::Win<controlwin>();
    std::string_view prefix;
    if (panel.RadioButton2->Value()) prefix = commands::kTxtUtf16;
    else if (panel.RadioButton1->Value()) prefix = commands::kTxt;
    else return false;
    return convertDocument(f, prefix, ".txt");
}

bool html(const FolderItem& f, bool) {
    controlwin& panel = ui::Win<controlwin>();
    std::string_view prefix;
    if (panel.RadioButton2->Value()) prefix = commands::kHtmlUtf16;
    else if (panel.RadioButton1->Value()) prefix = commands::kHtml;
    else if (panel.RadioButton8->Value()) prefix = commands::kHtmlNoImages;
    else return false;
    return convertDocument(f, prefix, ".html");
}

bool archiveweb(const FolderItem& f, bool) {
    controlwin& panel = ui::Win<controlwin>();
    std::string_view prefix;
    if (panel.RadioButton1->Value()) prefix = commands::kArchive;
    else if (panel.RadioButton2->Value()) prefix = commands::kArchiveUtf16;
    else if (panel.RadioButton8->Value()) prefix = commands::kArchiveNoImages;
    else return false;
    return convertDocument(f, prefix, ".webarchive");
}

bool xhtml(const FolderItem& f, bool) {
    controlwin& panel = ui::Win<controlwin>();
    std::string_view prefix;
    if (panel.RadioButton5->Value()) prefix = commands::kXhtmlWin1252;
    else if (panel.RadioButton3->Value()) prefix = commands::kXhtmlUtf8;
    else if (panel.RadioButton4->Value()) prefix = commands::kXhtmlShiftJis;
    else if (panel.RadioButton6->Value()) prefix = commands::kXhtmlUtf16;
    else if (panel.RadioButton15->Value()) prefix = commands::kXhtmlBig5;
    else return false;
    return cleanUpMarkup(f, prefix, ".xhtml");
}

bool tohtml(const FolderItem& f, bool) { return cleanUpMarkup(f, commands::kToHtml, ".html"); }

bool lock(const FolderItem& f, bool) { return changeFlags(f, commands::kLock); }
bool unlock(const FolderItem& f, bool) { return changeFlags(f, commands::kUnlock); }

bool size(const FolderItem& f, bool) {
    Shell shell;
    const std::string command = commands::document(commands::kSize, f);
    shell.Execute(command);
    infowin& details = ui::Win<infowin>();
    details.Show();
    ui::Win<qconvert>().showEmptyHint();
    details.StaticText1->setText(shell.Result);
    return shell.ErrorCode == 0;
}

bool aud(const FolderItem& f, bool) {
    Shell shell;
    audiocontrol& panel = ui::Win<audiocontrol>();
    const FolderItem output =
        outputItem(f, panel.CheckBox1->Value() ? f.Name() : panel.EditField3->Text(), ".aiff");
    if (output.isNull()) return false;
    return runWithProgress(shell, f, [&] {
        return commands::speech(f, ui::Win<audiocontrol>().PopupMenu1->Text(), output);
    });
}

} // namespace vorpel

namespace vorpelimage {

namespace {
using vorpel::FolderItem;

// The nine image routines differ only in the format token and the output extension.
bool convertImage(const FolderItem& f, std::string_view token, const char* extension) {
    vorpel::Shell shell;
    vorpel::imagecontrol& panel = vorpel::ui::Win<vorpel::imagecontrol>();
    const FolderItem output = vorpel::outputItem(
        f, panel.CheckBox2->Value() ? f.Name() : panel.EditField3->Text(), extension);
    if (output.isNull()) return false;
    return vorpel::runWithProgress(shell, f,
                                   [&] { return vorpel::commands::image(token, f, output); });
}
} // namespace

bool jpeg(const FolderItem& f, bool) { return convertImage(f, "jpeg", ".jpeg"); }
bool gif(const FolderItem& f, bool) { return convertImage(f, "gif", ".gif"); }
bool png(const FolderItem& f, bool) { return convertImage(f, "png", ".png"); }
bool tiff(const FolderItem& f, bool) { return convertImage(f, "tiff", ".tiff"); }
bool bmp(const FolderItem& f, bool) { return convertImage(f, "bmp", ".bmp"); }
bool pict(const FolderItem& f, bool) { return convertImage(f, "pict", ".pict"); }
bool psd(const FolderItem& f, bool) { return convertImage(f, "psd", ".psd"); }
bool jpg2(const FolderItem& f, bool) { return convertImage(f, "jp2", ".jp2"); }
bool pdf(const FolderItem& f, bool) { return convertImage(f, "pdf", ".pdf"); }

} // namespace vorpelimage
