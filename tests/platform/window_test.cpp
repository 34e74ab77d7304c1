// The window instance rule: one instance per class, fresh after Close, visibility per layout.
#include "platform/shell.h"
#include "platform/window.h"

#include <QApplication>
#include <QPointer>
#include <QScreen>
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

} // namespace
