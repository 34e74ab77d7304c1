#include "services.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

namespace vorpel::ui {
namespace {
std::function<void(const std::string&)>& boxHandler() {
    static std::function<void(const std::string&)> h;
    return h;
}
std::function<bool(const std::string&)>& urlHandler() {
    static std::function<bool(const std::string&)> h;
    return h;
}

std::string besideBinary(const char* relative) {
    const QDir dir(QCoreApplication::applicationDirPath() + "/" + relative);
    return dir.exists() ? QFile::encodeName(dir.canonicalPath()).toStdString() : std::string();
}
} // namespace

void MsgBox(const std::string& text) {
    if (boxHandler()) {
        boxHandler()(text);
        return;
    }
    QMessageBox box;
    box.setText(QString::fromStdString(text));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void setMessageBoxHandler(std::function<void(const std::string&)> handler) {
    boxHandler() = std::move(handler);
}

bool ShowURL(const std::string& url) {
    if (urlHandler()) return urlHandler()(url);
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void setShowUrlHandler(std::function<bool(const std::string&)> handler) {
    urlHandler() = std::move(handler);
}

std::optional<int> mainScreenHeight() {
    const auto screens = QGuiApplication::screens();
    if (screens.isEmpty()) return std::nullopt;
    return screens.first()->geometry().height();
}

std::string toolDirBesideBinary() { return besideBinary("../libexec/vorpelconverter"); }
std::string shareDirBesideBinary() { return besideBinary("../share/vorpelconverter"); }

} // namespace vorpel::ui
