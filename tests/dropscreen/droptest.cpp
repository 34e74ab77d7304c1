#include "droptest.h"

#include "app/filetypes.h"
#include "engine/failures.h"
#include "platform/filetyperegistry.h"
#include "platform/services.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QWindow>

namespace fs = std::filesystem;

namespace droptest {

bool dropData(QWidget& window, const QMimeData* data, QPoint at) {
    QWindow* handle = window.windowHandle();
    if (!handle) return false;
    const auto actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(at, actions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &enter);
    if (!enter.isAccepted()) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(handle, &leave);
        return false;
    }
    QDragMoveEvent move(at, actions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &move);
    QDropEvent dropped(at, actions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &dropped);
    return dropped.isAccepted();
}

bool dropUrls(QWidget& window, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    // Over the drop zone at the top of the content area.
    return dropData(window, &data, QPoint(window.width() / 2, window.height() / 5));
}

bool dropPaths(QWidget& window, const std::vector<fs::path>& paths) {
    QList<QUrl> urls;
    for (const fs::path& p : paths) urls.push_back(QUrl::fromLocalFile(QFile::decodeName(p.c_str())));
    return dropUrls(window, urls);
}

void finishDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void DropScreenTest::SetUp() {
    if (!vorpel::FileTypeRegistry::instance().contains("special/any")) vorpel::FileTypes::Initialise();
    vorpel::ui::setMessageBoxHandler([this](const std::string& m) {
        messages.push_back(m);
        vorpel::qconvert* s = vorpel::ui::WinIfOpen<vorpel::qconvert>();
        rowsAtMessage.push_back(s ? s->ListBox1->ListCount() : -1);
    });
    vorpel::ui::setEffectBackend(&effects);
    vorpel::Shell::setRunner([this](const std::string& command) {
        commands.push_back(command);
        return answer ? answer(command) : vorpel::ShellOutcome{};
    });
    screen();
}

void DropScreenTest::TearDown() {
    for (vorpel::ui::Window* w : vorpel::ui::openWindows()) w->Close();
    finishDeletes();
    vorpel::Shell::setRunner({});
    vorpel::ui::setEffectBackend(nullptr);
    vorpel::ui::setMessageBoxHandler({});
    vorpel::Failures::clear();
}

vorpel::qconvert& DropScreenTest::screen() { return vorpel::ui::Win<vorpel::qconvert>(); }

fs::path DropScreenTest::file(const std::string& relative) {
    const fs::path p = dir / relative;
    fs::create_directories(p.parent_path());
    vorpeltest::writeFile(p, "x");
    return p;
}

std::vector<std::string> DropScreenTest::names() const {
    std::vector<std::string> v;
    auto* s = vorpel::ui::WinIfOpen<vorpel::qconvert>();
    for (int i = 0; s && i < s->ListBox1->ListCount(); ++i) v.push_back(s->ListBox1->Cell(i, 0));
    return v;
}

std::vector<std::string> DropScreenTest::locations() const {
    std::vector<std::string> v;
    auto* s = vorpel::ui::WinIfOpen<vorpel::qconvert>();
    for (int i = 0; s && i < s->ListBox1->ListCount(); ++i) v.push_back(s->ListBox1->Cell(i, 1));
    return v;
}

std::vector<std::string> DropScreenTest::queue() const {
    std::vector<std::string> v;
    auto* s = vorpel::ui::WinIfOpen<vorpel::qconvert>();
    if (s)
        for (const auto& item : s->QuennFileArray) v.push_back(item.AbsolutePath());
    return v;
}

bool DropScreenTest::emptyHintShown() const {
    auto* s = vorpel::ui::WinIfOpen<vorpel::qconvert>();
    return s && !s->StaticText31->isHidden() && s->StaticText44->isHidden();
}

} // namespace droptest
