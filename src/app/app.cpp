#include "app.h"

#include "dropscreen/qconvert.h"
#include "filetypes.h"
#include "info/AboutWin.h"
#include "platform/eventgate.h"
#include "platform/pictures.h"
#include "platform/services.h"
#include "platform/shell.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStyleFactory>
#include <QUrl>

namespace vorpel {

namespace {
App* instance = nullptr;
}

std::vector<ui::MenuDef> App::menuTable() {
    return {
        {"fileMenu", "File", {{"UntitledMenu1", "-", ""}, {"fileNewconvert", "New DropScreen", "Cmd+n"}}},
        {"EditMenu",
         "&Edit",
         {{"EditUndo", "&Undo", "Cmd+Z"},
          {"UntitledMenu0", "-", ""},
          {"EditCut", "Cu&t", "Cmd+X"},
          {"EditCopy", "&Copy", "Cmd+C"},
          {"EditPaste", "&Paste", "Cmd+V"},
          {"EditClear", "Clear", ""},
          // Application-menu items: without an application menu they close the Edit menu.
          {"UntitledMenu6", "-", ""},
          {"AppleDonateSupport", "   Support    ", ""},
          {"UntitledMenu5", "-", ""},
          {"UntitledMenu4", "-", ""},
          {"AppleAbout", "About VorpelConverter ", ""},
          {"UntitledMenu3", "-", ""}}},
    };
}

App::App() : menuBar_(std::make_unique<ui::MenuBar>()) {
    instance = this;
    for (const ui::MenuDef& menu : menuTable()) menuBar_->appendMenu(menu);
    menuBar_->attach("AppleDonateSupport", [this] { AppleDonateSupport(); });
    menuBar_->attach("AppleAbout", [this] { AppleAbout(); });
    menuBar_->attach("fileNewconvert", [this] { fileNewconvert(); });
    menuBar_->attachStandardEditing();
}

App::~App() {
    if (instance == this) instance = nullptr;
}

App* App::current() { return instance; }

void App::installMenuBar(QMenuBar* bar) const {
    if (bar) menuBar_->installOn(bar);
}

void App::Open() { ui::Win<qconvert>().Show(); }
void App::fileNewconvert() { ui::Win<qconvert>().Show(); }
void App::AppleAbout() { ui::Win<AboutWin>().Show(); }

std::string App::supportPageUrl() {
    const std::string share = ui::shareDirBesideBinary();
    const QString page = QString::fromStdString(share) + "/support/index.html";
    if (!share.empty() && QFileInfo::exists(page)) return QUrl::fromLocalFile(page).toString().toStdString();
    return {};
}

void App::AppleDonateSupport() {
    const std::string url = supportPageUrl();
    if (url.empty() || !ui::ShowURL(url)) {
        ui::MsgBox("The support page could not be opened.");
    }
}

int runApplication(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("vorpelconverter");
    QApplication::setApplicationDisplayName("VorpelConverter");
    QApplication::setApplicationVersion("3.5.4");
    QGuiApplication::setDesktopFileName("vorpelconverter");
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setWindowIcon(QIcon(":/icons/vorpelconverter.svg"));
    ui::installEventGate();
#ifndef __APPLE__
    // The stand-in tools come first, ahead of unrelated programs of the same names.
    Shell::setToolDir(ui::toolDirBesideBinary());
#endif

    FileTypes::Initialise();
    int status = 0;
    {
        App app;
        ui::Win<qconvert>();
        app.Open();
        status = QApplication::exec();
        for (ui::Window* w : ui::openWindows()) delete w;
        ui::releasePictures();
        FileTypes::Release();
    }
    return status;
}

} // namespace vorpel
