// The window instance rule: one instance per class, fresh after Close, visibility per layout.
#include "platform/shell.h"
#include "platform/window.h"

#include <QApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <gtest/gtest.h>

namespace ui = vorpel::ui;

namespace {

ui::WindowLayout testLayout(bool visible, ui::Frame frame = ui::Frame::Document) {
    ui::WindowLayout l;
    l.width = 200;
    l.height = 120;
    l.frame = frame;
    l.visible = visible;
    return l;
}

class ShownWindow : public ui::Window {
public:
    ShownWindow() : ui::Window(testLayout(true)) { ++created; }
    int state = 0;
    static inline int created = 0;
};

class HiddenPanel : public ui::Window {
public:
    HiddenPanel() : ui::Window(testLayout(false, ui::Frame::FloatingPanel)) { ++created; }
    static inline int created = 0;
};

template <int P> class Placed : public ui::Window {
public:
    Placed() : ui::Window(placed()) {}
    static ui::WindowLayout placed() {
        ui::WindowLayout l = testLayout(true);
        l.placement = ui::Placement(P);
        l.width = 100 + 10 * P;
        return l;
    }
};
class StaggeredA : public Placed<4> {};
class StaggeredB : public Placed<4> {};

void finishDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class WindowRule : public ::testing::Test {
protected:
    void SetUp() override {
        ShownWindow::created = 0;
        HiddenPanel::created = 0;
    }
    void TearDown() override {
        vorpel::Shell::setRunner({});
        for (ui::Window* w : ui::openWindows()) w->Close();
        finishDeletes();
    }
};

TEST_F(WindowRule, FirstReferenceCreatesOneInstanceThatLaterReferencesShare) {
    EXPECT_EQ(ui::WinIfOpen<ShownWindow>(), nullptr);
    ShownWindow& a = ui::Win<ShownWindow>();
    a.state = 42;
    ShownWindow& b = ui::Win<ShownWindow>();
    EXPECT_EQ(&a, &b);
    EXPECT_EQ(b.state, 42);
    EXPECT_EQ(ShownWindow::created, 1);
    EXPECT_EQ(ui::WinIfOpen<ShownWindow>(), &a);
    // Another class is a separate instance.
    EXPECT_NE(static_cast<ui::Window*>(&ui::Win<HiddenPanel>()), static_cast<ui::Window*>(&a));
}

TEST_F(WindowRule, InitialVisibilityFollowsTheLayout) {
    EXPECT_TRUE(ui::Win<ShownWindow>().Visible());
    HiddenPanel& panel = ui::Win<HiddenPanel>();
    EXPECT_FALSE(panel.Visible());
    panel.Show();
    EXPECT_TRUE(panel.Visible());
    EXPECT_EQ(HiddenPanel::created, 1);
}

TEST_F(WindowRule, CloseDestroysAndTheNextReferenceIsFresh) {
    QPointer<ShownWindow> first = &ui::Win<ShownWindow>();
    first->state = 7;
    first->Close();
    // Gone from the registry at once, even before the deferred delete has run.
    EXPECT_EQ(ui::WinIfOpen<ShownWindow>(), nullptr);
    EXPECT_FALSE(first->isVisible());
    finishDeletes();
    EXPECT_TRUE(first.isNull());

    ShownWindow& second = ui::Win<ShownWindow>();
    EXPECT_EQ(second.state, 0);
    EXPECT_TRUE(second.Visible());
    EXPECT_EQ(ShownWindow::created, 2);
}

TEST_F(WindowRule, CloseBeforeTheDeferredDeleteStillGivesAFreshInstance) {
    ShownWindow* first = &ui::Win<ShownWindow>();
    first->state = 5;
    first->Close();
    ShownWindow& second = ui::Win<ShownWindow>();
    EXPECT_EQ(second.state, 0);
    finishDeletes();
    // The old one's deletion must not take the new one off the registry.
    EXPECT_EQ(ui::WinIfOpen<ShownWindow>(), &second);
}

TEST_F(WindowRule, CloseBoxDestroysTheWindowLikeClose) {
    QPointer<ShownWindow> w = &ui::Win<ShownWindow>();
    EXPECT_TRUE(w->close());
    EXPECT_EQ(ui::WinIfOpen<ShownWindow>(), nullptr);
    finishDeletes();
    EXPECT_TRUE(w.isNull());
}

TEST_F(WindowRule, CloseRequestIsRefusedWhileACommandRuns) {
    QPointer<ShownWindow> w = &ui::Win<ShownWindow>();
    bool closed = true;
    vorpel::Shell::setRunner([&](const std::string&) {
        closed = w->close();
        return vorpel::ShellOutcome{};
    });
    vorpel::Shell sh;
    sh.Execute("true");
    EXPECT_FALSE(closed);
    finishDeletes();
    ASSERT_FALSE(w.isNull());
    EXPECT_EQ(ui::WinIfOpen<ShownWindow>(), w.data());
    EXPECT_TRUE(w->Visible());
}

TEST_F(WindowRule, PlacementsPutWindowsWhereTheirLayoutSays) {
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    auto& centred = ui::Win<Placed<2>>();
    EXPECT_LE(std::abs(centred.frameGeometry().center().x() - avail.center().x()), 1);
    EXPECT_LE(std::abs(centred.frameGeometry().center().y() - avail.center().y()), 1);
    EXPECT_EQ(centred.Left(), centred.geometry().x());
    EXPECT_EQ(centred.Top(), centred.geometry().y());

    // Over the parent: centred across it, near its top.
    QApplication::setActiveWindow(&centred);
    auto& over = ui::Win<Placed<1>>();
    EXPECT_LE(std::abs(over.frameGeometry().center().x() - centred.frameGeometry().center().x()), 1);
    EXPECT_GT(over.frameGeometry().top(), centred.frameGeometry().top());
    EXPECT_LT(over.frameGeometry().top(), centred.frameGeometry().center().y());

    auto& onScreen = ui::Win<Placed<3>>();
    EXPECT_TRUE(avail.contains(onScreen.frameGeometry()));

    // Staggered windows do not sit on top of each other.
    auto& a = ui::Win<StaggeredA>();
    auto& b = ui::Win<StaggeredB>();
    EXPECT_NE(a.frameGeometry().topLeft(), b.frameGeometry().topLeft());
    EXPECT_TRUE(avail.contains(a.frameGeometry().topLeft()));
    EXPECT_TRUE(avail.contains(b.frameGeometry().topLeft()));
}

// A main window and panels of the sizes given, to place around it.
template <int W, int H> class Main : public ui::Window {
public:
    Main() : ui::Window(layout()) {}
    static ui::WindowLayout layout() {
        ui::WindowLayout l = testLayout(true);
        l.width = W;
        l.height = H;
        return l;
    }
};
template <int N, int W, int H> class Panel : public ui::Window {
public:
    Panel() : ui::Window(ui::panelLayout(W, H)) {}
};

bool apart(const std::vector<QRect>& rects) {
    for (size_t i = 0; i < rects.size(); ++i)
        for (size_t j = i + 1; j < rects.size(); ++j)
            if (rects[i].intersects(rects[j])) return false;
    return true;
}

TEST_F(WindowRule, PanelsStandBesideTheMainWindowCoveringNothing) {
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    auto& main = ui::Win<Main<200, 150>>();
    std::vector<QRect> shown{main.frameGeometry()};
    auto showPanel = [&](ui::Window& p) {
        p.Show();
        shown.push_back(p.frameGeometry());
        EXPECT_TRUE(avail.contains(shown.back())) << shown.back().x() << "," << shown.back().y();
    };
    showPanel(ui::Win<Panel<1, 150, 300>>());
    showPanel(ui::Win<Panel<2, 120, 200>>());
    showPanel(ui::Win<Panel<3, 120, 200>>());
    EXPECT_TRUE(apart(shown));
    // The first one shown takes the nearest spot, on the left.
    EXPECT_LT(shown[1].right(), shown[0].left());
    EXPECT_LE(shown[0].left() - shown[1].right(), 16);

    // Reopened, a panel finds its spot again among the ones still open.
    ui::Win<Panel<2, 120, 200>>().Close();
    finishDeletes();
    auto& again = ui::Win<Panel<2, 120, 200>>();
    again.Show();
    shown[2] = again.frameGeometry();
    EXPECT_TRUE(apart(shown));
}

TEST_F(WindowRule, PanelsWithNoRoomBesideTheMainWindowCascade) {
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    auto& main = ui::Win<Main<200, 150>>();
    auto& huge = ui::Win<Panel<4, 400, 500>>();
    huge.Show();
    EXPECT_TRUE(avail.contains(huge.frameGeometry().topLeft()));
    EXPECT_TRUE(huge.frameGeometry().intersects(main.frameGeometry()));
    auto& other = ui::Win<Panel<5, 400, 500>>();
    other.Show();
    EXPECT_NE(huge.frameGeometry().topLeft(), other.frameGeometry().topLeft());
}

TEST_F(WindowRule, SheetsBelongToTheMainWindowNotToTheWindowInFront) {
    auto& main = ui::Win<Main<300, 400>>();
    auto& panel = ui::Win<Panel<1, 150, 300>>();
    panel.Show();
    QApplication::setActiveWindow(&panel);
    auto& sheet = ui::Win<Placed<1>>();
    EXPECT_LE(std::abs(sheet.frameGeometry().center().x() - main.frameGeometry().center().x()), 1);
    EXPECT_FALSE(sheet.frameGeometry().intersects(panel.frameGeometry()));
}

// The program's own event loop decides when it ends: not while a panel is open.
TEST_F(WindowRule, ClosingTheMainWindowKeepsTheProgramWhileAPanelIsOpen) {
    auto& main = ui::Win<Main<200, 150>>();
    auto& panel = ui::Win<Panel<1, 150, 300>>();
    panel.Show();
    bool runningAfterMainClosed = false, timedOut = false;
    QTimer::singleShot(0, &panel, [&] { main.close(); });
    QTimer::singleShot(150, &panel, [&] {
        runningAfterMainClosed = true;
        panel.close();
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    guard.start(3000);
    QApplication::exec();
    EXPECT_TRUE(runningAfterMainClosed);
    // The panel was the last window: its closing ended the loop.
    EXPECT_FALSE(timedOut);
}

} // namespace
