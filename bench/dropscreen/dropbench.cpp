// A drop of 10,000 files onto a Drop Screen that already lists 10,000 rows: sort, sweep,
// append with the background-task turns, as the platform delivers it (enter, move, drop).
// Target: within 1 s. Prints its figures.
#include "benchsupport.h"
#include "app/filetypes.h"
#include "dropscreen/qconvert.h"
#include "platform/eventgate.h"
#include "platform/services.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QStyleFactory>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;
namespace ui = vorpel::ui;

namespace {

constexpr int kFiles = 10000;
constexpr int kRuns = 3;

std::vector<fs::path> makeFiles(const fs::path& dir, const char* stem, int n) {
    fs::create_directories(dir);
    std::vector<fs::path> paths;
    char name[64];
    for (int i = 0; i < n; ++i) {
        std::snprintf(name, sizeof name, "%s-%05d.txt", stem, i);
        paths.push_back(dir / name);
        std::ofstream(paths.back()) << "x";
    }
    // A file manager hands them over in its own order, not sorted.
    std::reverse(paths.begin(), paths.end());
    return paths;
}

struct Timing {
    double enterMs = 0, dropMs = 0;
    bool taken = false;
};

Timing deliver(QWidget& window, const std::vector<fs::path>& paths) {
    QList<QUrl> urls;
    for (const fs::path& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p.string())));
    QMimeData data;
    data.setUrls(urls);
    QWindow* handle = window.windowHandle();
    const QPoint at(window.width() / 2, window.height() / 5);
    const auto actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    Timing t;
    QElapsedTimer clock;
    clock.start();
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &enter);
    QDragMoveEvent move(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &move);
    t.enterMs = clock.nsecsElapsed() / 1e6;
    clock.restart();
    QDropEvent drop(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &drop);
    t.dropMs = clock.nsecsElapsed() / 1e6;
    t.taken = enter.isAccepted() && drop.isAccepted();
    return t;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    ui::installEventGate();
    vorpel::FileTypes::Initialise();
    int messages = 0;
    ui::setMessageBoxHandler([&](const std::string&) { ++messages; });

    char tmpl[] = "/tmp/vorpelbench-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    const fs::path root = tmpl;
    const auto first = makeFiles(root / "first", "first", kFiles);
    const auto second = makeFiles(root / "second", "second", kFiles);
    // 9,000 names plus 1,000 that repeat some of them from another folder: the drop's
    // sweep then removes 1,000 rows (and their queue items) before appending.
    auto withDuplicates = std::vector<fs::path>(first.begin() + kFiles / 10, first.end());
    for (const fs::path& p : makeFiles(root / "again", "first", kFiles / 10)) withDuplicates.push_back(p);

    struct Case {
        const char* label;
        const std::vector<fs::path>* listed;
    };
    const Case cases[] = {{"rows with distinct names", &first},
                          {"rows holding 1,000 duplicate names", &withDuplicates}};

    std::printf("Drop of %d files onto %d listed rows (target: within 1000 ms)\n", kFiles, kFiles);
    bool ok = true;
    for (const Case& c : cases) {
        std::vector<double> listing, onto, total;
        int rows = 0, queued = 0, caseMessages = 0;
        for (int run = 0; run < kRuns; ++run) {
            vorpel::qconvert& screen = ui::Win<vorpel::qconvert>();
            QCoreApplication::processEvents();
            const Timing a = deliver(screen, *c.listed);
            messages = 0;
            const Timing b = deliver(screen, second);
            ok = ok && a.taken && b.taken;
            listing.push_back(a.enterMs + a.dropMs);
            onto.push_back(b.dropMs);
            total.push_back(b.enterMs + b.dropMs);
            rows = screen.ListBox1->ListCount();
            queued = int(screen.QuennFileArray.size());
            caseMessages = messages;
            screen.Close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
        std::printf("  %s:\n", c.label);
        std::printf("    listing them (drop onto the empty list): median %7.1f ms\n", vorpelbench::median(listing));
        std::printf("    the drop onto them, handler:             median %7.1f ms  (min %.1f, max %.1f)\n",
                    vorpelbench::median(onto), *std::min_element(onto.begin(), onto.end()),
                    *std::max_element(onto.begin(), onto.end()));
        std::printf("    the drop onto them, with enter and move: median %7.1f ms  %s\n", vorpelbench::median(total),
                    vorpelbench::median(total) <= 1000 ? "within target" : "OVER TARGET");
        std::printf("    afterwards: %d rows, %d queued, %d duplicate messages\n", rows, queued, caseMessages);
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    vorpel::FileTypes::Release();
    if (!ok) std::printf("a drop was refused\n");
    return ok ? 0 : 1;
}
