// Plays the poof over a plain window on a real X display and checks the screen pixel by
// pixel: the smoke stays inside its outline, never darkens what it covers, is no larger than
// its cap and leaves the screen as it was. Usage: poofprobe composited|plain [SHOT_DIR]
#include "feedback/nsvorpel.h"
#include "platform/effects.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <cmath>
#include <cstdio>
#include <string>

namespace ui = vorpel::ui;

namespace {

const QColor kBackground(0x30, 0x48, 0x70);
int failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s - %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok) ++failures;
}

QImage grabScreen() {
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
}

// Whether a window other than the backdrop is still shown.
bool poofAlive(const QWidget* backdrop) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != backdrop && w->isVisible()) return true;
    return false;
}

int luminance(QRgb c) {
    return (qRed(c) * 299 + qGreen(c) * 587 + qBlue(c) * 114) / 1000;
}

struct Changes {
    int count = 0;       // pixels that differ from the screen before the effect
    int outsideBox = 0;  // ... outside the capped box centred on the requested point
    int outsideDisc = 0; // ... outside the widest the puffs' outline ever reaches
    int darker = 0;      // ... darker than what they cover (a black rectangle would be)
};

Changes compare(const QImage& before, const QImage& now, QPoint centre) {
    Changes c;
    const double half = ui::kPoofMaxSide / 2.0;
    // Puffs reach at most 0.6 r from the centre plus a radius of 0.48 r.
    const double reach = half * 1.08 + 2;
    for (int y = 0; y < now.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(before.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(now.constScanLine(y));
        for (int x = 0; x < now.width(); ++x) {
            if (a[x] == b[x]) continue;
            ++c.count;
            const double dx = x + 0.5 - centre.x(), dy = y + 0.5 - centre.y();
            if (std::abs(dx) > half + 1 || std::abs(dy) > half + 1) ++c.outsideBox;
            if (std::hypot(dx, dy) > reach) ++c.outsideDisc;
            if (luminance(b[x]) + 8 < luminance(a[x])) ++c.darker;
        }
    }
    return c;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    const std::string shots = argc > 2 ? argv[2] : "";
    if (mode != "composited" && mode != "plain") {
        std::fprintf(stderr, "usage: poofprobe composited|plain [SHOT_DIR]\n");
        return 2;
    }
    const bool wantComposited = mode == "composited";

    // A compositing manager takes a moment to claim its selection.
    QElapsedTimer waited;
    waited.start();
    while (ui::displayComposites() != wantComposited && waited.elapsed() < 5000)
        QTest::qWait(100);
    check(ui::displayComposites() == wantComposited,
          std::string("the display is seen as ") +
              (wantComposited ? "compositing" : "not compositing"));

    QWidget backdrop(nullptr, Qt::Window | Qt::FramelessWindowHint);
    QPalette pal = backdrop.palette();
    pal.setColor(QPalette::Window, kBackground);
    backdrop.setPalette(pal);
    backdrop.setAutoFillBackground(true);
    backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    backdrop.show();
    if (!QTest::qWaitForWindowExposed(&backdrop)) {
        std::printf("FAIL - the backdrop window never showed\n");
        return 1;
    }
    backdrop.activateWindow();
    QTest::qWait(700);
    const QImage before = grabScreen();

    // The completion notice's request: far larger than the effect may be.
    const QPoint centre(500, 400);
    NSVorpel::ShowPoof(centre.x(), centre.y(), 1000, 1000);
    QWidget* poof = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != &backdrop) poof = w;
    check(poof && poof->size().width() <= ui::kPoofMaxSide &&
              poof->size().height() <= ui::kPoofMaxSide,
          "the effect is capped at the largest size");
    check(poof && poof->testAttribute(Qt::WA_TranslucentBackground) == wantComposited,
          "translucent exactly when the display composites");
    if (!wantComposited) check(poof && !poof->mask().isEmpty(), "shaped to the smoke's outline");

    // Grab the screen over and over while the effect plays: every frame it draws is checked.
    QElapsedTimer playing;
    playing.start();
    int framesWithSmoke = 0, saved = 0;
    bool tidy = true;
    while (poofAlive(&backdrop) && playing.elapsed() < 10000) {
        const QImage now = grabScreen();
        const qint64 at = playing.elapsed();
        const Changes c = compare(before, now, centre);
        std::printf("     at %lld ms: %d pixels changed, %d darker\n", static_cast<long long>(at),
                    c.count, c.darker);
        if (c.count > 0) {
            ++framesWithSmoke;
            if (!shots.empty() && saved < 3)
                now.copy(QRect(centre - QPoint(150, 150), QSize(300, 300)))
                    .save(QString::fromStdString(shots + "/poof-" + mode + "-" +
                                                 std::to_string(++saved) + ".png"));
        }
        tidy = tidy && c.outsideBox == 0 && c.outsideDisc == 0 && c.darker == 0;
        if (c.outsideBox || c.outsideDisc || c.darker)
            std::printf("     %d outside the box, %d outside the outline, %d darker\n",
                        c.outsideBox, c.outsideDisc, c.darker);
        QTest::qWait(20);
    }
    const int seen = framesWithSmoke;
    check(seen > 0, "the smoke is visible");
    check(tidy, "outside the smoke's outline nothing changes and nothing turns dark");
    check(QApplication::activeWindow() == &backdrop, "the effect takes no focus");

    QTest::qWait(300);
    const Changes after = compare(before, grabScreen(), centre);
    check(after.count == 0, "the screen is as it was once the effect is over");
    check(!poofAlive(&backdrop), "the effect's window is gone");
    return failures == 0 ? 0 : 1;
}
