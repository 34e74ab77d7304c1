// The menu bar as the user sees it, and the three application commands.
#include "app/app.h"
#include "app/filetypes.h"
#include "dropscreen/qconvert.h"
#include "info/AboutWin.h"
#include "panels/controlwin.h"
#include "platform/services.h"
#include "platform/shell.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

namespace ui = vorpel::ui;
using vorpel::AboutWin;
using vorpel::App;
using vorpel::controlwin;
using vorpel::qconvert;

namespace {

void finishDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

int countTopLevel(const char* className) {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits(className) && w->isVisible()) ++n;
    return n;
}

class Menus : public ::testing::Test {
protected:
    void SetUp() override {
        vorpel::FileTypes::Initialise();
        ui::setMessageBoxHandler([this](const std::string& m) { messages.push_back(m); });
        ui::setShowUrlHandler([this](const std::string& u) {
            urls.push_back(u);
            return urlAnswer;
        });
        app = std::make_unique<App>();
    }
    void TearDown() override {
        for (ui::Window* w : ui::openWindows()) w->Close();
        finishDeletes();
        app.reset();
        vorpel::FileTypes::Release();
        ui::setMessageBoxHandler({});
        ui::setShowUrlHandler({});
    }
    QAction* item(const char* name) { return app->MenuBar1()->item(name); }

    std::unique_ptr<App> app;
    std::vector<std::string> messages, urls;
    bool urlAnswer = true;
};

struct Row {
    const char* name;
    const char* caption;
    const char* keys;  // as Qt writes them
};

TEST_F(Menus, DropScreenBarHasEveryItemInTableOrder) {
    const std::vector<std::pair<std::pair<const char*, const char*>, std::vector<Row>>> expected = {
        {{"fileMenu", "File"}, {{"UntitledMenu1", "-", ""}, {"fileNewconvert", "New DropScreen", "Ctrl+N"}}},
        {{"EditMenu", "&Edit"},
         {{"EditUndo", "&Undo", "Ctrl+Z"},
          {"UntitledMenu0", "-", ""},
          {"EditCut", "Cu&t", "Ctrl+X"},
          {"EditCopy", "&Copy", "Ctrl+C"},
          {"EditPaste", "&Paste", "Ctrl+V"},
          {"EditClear", "Clear", ""},
          {"UntitledMenu6", "-", ""},
          {"AppleDonateSupport", "   Support    ", ""},
          {"UntitledMenu5", "-", ""},
          {"UntitledMenu4", "-", ""},
          {"AppleAbout", "About VorpelConverter ", ""},
          {"UntitledMenu3", "-", ""}}},
    };
    qconvert& screen = ui::Win<qconvert>();
    ASSERT_NE(screen.menuBar(), nullptr);
    const QList<QAction*> menus = screen.menuBar()->actions();
    ASSERT_EQ(menus.size(), qsizetype(expected.size()));
    for (size_t m = 0; m < expected.size(); ++m) {
        QMenu* menu = menus[qsizetype(m)]->menu();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->objectName().toStdString(), expected[m].first.first);
        EXPECT_EQ(menu->title().toStdString(), expected[m].first.second);
        const QList<QAction*> items = menu->actions();
        const auto& rows = expected[m].second;
        ASSERT_EQ(items.size(), qsizetype(rows.size())) << expected[m].first.first;
        for (size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(rows[i].name);
            QAction* a = items[qsizetype(i)];
            EXPECT_EQ(a->objectName().toStdString(), rows[i].name);
            const bool separator = std::string(rows[i].caption) == "-";
            EXPECT_EQ(a->isSeparator(), separator);
            if (!separator) {
                EXPECT_EQ(a->text().toStdString(), rows[i].caption);
            }
            EXPECT_EQ(a->shortcut(), QKeySequence(QString(rows[i].keys)));
        }
    }
}

TEST_F(Menus, NewDropScreenKeepsAnOpenScreenAndReplacesAClosedOne) {
    qconvert& screen = ui::Win<qconvert>();
    screen.ListBox1->AddRow("kept.txt");
    item("fileNewconvert")->trigger();
    EXPECT_EQ(ui::WinIfOpen<qconvert>(), &screen);
    EXPECT_EQ(screen.ListBox1->ListCount(), 1);
    EXPECT_TRUE(screen.Visible());

    screen.Close();
    finishDeletes();
    item("fileNewconvert")->trigger();
    qconvert* fresh = ui::WinIfOpen<qconvert>();
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->Visible());
    EXPECT_EQ(fresh->ListBox1->ListCount(), 0);
    EXPECT_EQ(fresh->lastIndex(), -1);
    // The new screen carries the bar too.
    EXPECT_EQ(fresh->menuBar()->actions().size(), 2);
}

TEST_F(Menus, CommandShortcutWorksWhicheverWindowIsInFront) {
    ui::Win<qconvert>().Close();
    finishDeletes();
    AboutWin& about = ui::Win<AboutWin>();
    about.Show();
    // Shortcuts need an active window; offscreen there is no window manager to make one.
    QApplication::setActiveWindow(&about);
    QTest::keyClick(&about, Qt::Key_N, Qt::ControlModifier);
    qconvert* screen = ui::WinIfOpen<qconvert>();
    ASSERT_NE(screen, nullptr);
    EXPECT_TRUE(screen->Visible());
}

TEST_F(Menus, AboutTwiceShowsOneWindow) {
    item("AppleAbout")->trigger();
    AboutWin* first = ui::WinIfOpen<AboutWin>();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->Visible());
    item("AppleAbout")->trigger();
    EXPECT_EQ(ui::WinIfOpen<AboutWin>(), first);
    EXPECT_EQ(countTopLevel("vorpel::AboutWin"), 1);

    // After its Close button a fresh one comes.
    first->PushButton1->click();
    finishDeletes();
    EXPECT_EQ(countTopLevel("vorpel::AboutWin"), 0);
    item("AppleAbout")->trigger();
    EXPECT_EQ(countTopLevel("vorpel::AboutWin"), 1);
}

TEST_F(Menus, SupportOpensTheShippedPage) {
    item("AppleDonateSupport")->trigger();
    ASSERT_EQ(urls.size(), 1u);
    const QUrl url(QString::fromStdString(urls[0]));
    ASSERT_TRUE(url.isLocalFile()) << urls[0];
    const QFileInfo page(url.toLocalFile());
    EXPECT_TRUE(page.isFile()) << urls[0];
    EXPECT_GT(page.size(), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(Menus, SupportTellsTheUserWhenNoBrowserOpens) {
    urlAnswer = false;
    item("AppleDonateSupport")->trigger();
    EXPECT_EQ(urls.size(), 1u);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_FALSE(messages[0].empty());
}

TEST_F(Menus, EditingItemsActOnTheFocusedNameField) {
    controlwin& panel = ui::Win<controlwin>();
    panel.Show();
    QApplication::setActiveWindow(&panel);
    panel.EditField1->setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), panel.EditField1);

    panel.EditField1->setText("report");
    panel.EditField1->selectAll();
    item("EditCopy")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "report");
    item("EditCut")->trigger();
    EXPECT_EQ(panel.EditField1->text(), "");
    item("EditPaste")->trigger();
    item("EditPaste")->trigger();
    EXPECT_EQ(panel.EditField1->text(), "reportreport");
    item("EditUndo")->trigger();
    EXPECT_EQ(panel.EditField1->text(), "report");
    panel.EditField1->selectAll();
    item("EditClear")->trigger();
    EXPECT_EQ(panel.EditField1->text(), "");
}

// What the user sees when a menu opens: separators as lines, never two in a row, none at an end.
TEST_F(Menus, OpenMenusShowSeparatorsAsLinesNeverTwoInARowNorAtAnEnd) {
    qconvert& screen = ui::Win<qconvert>();
    for (QAction* bar : screen.menuBar()->actions()) {
        QMenu* menu = bar->menu();
        ASSERT_NE(menu, nullptr);
        SCOPED_TRACE(menu->objectName().toStdString());
        menu->popup(screen.mapToGlobal(QPoint(0, 0)));
        QCoreApplication::processEvents();
        std::vector<std::pair<QAction*, QRect>> rows;
        int textRowHeight = 0;
        for (QAction* a : menu->actions()) {
            const QRect r = menu->actionGeometry(a);
            if (r.isEmpty()) continue; // collapsed away
            rows.emplace_back(a, r);
            if (!a->isSeparator()) textRowHeight = std::max(textRowHeight, r.height());
        }
        menu->hide();
        ASSERT_FALSE(rows.empty());
        EXPECT_FALSE(rows.front().first->isSeparator()) << "leading separator";
        EXPECT_FALSE(rows.back().first->isSeparator()) << "trailing separator";
        int separators = 0;
        for (size_t i = 0; i < rows.size(); ++i) {
            QAction* a = rows[i].first;
            if (!a->isSeparator()) continue;
            ++separators;
            SCOPED_TRACE(a->objectName().toStdString());
            // A line, not a row with a caption beside it.
            EXPECT_LT(rows[i].second.height(), textRowHeight / 2);
            EXPECT_TRUE(a->text().isEmpty());
            if (i > 0) EXPECT_FALSE(rows[i - 1].first->isSeparator()) << "two in a row";
        }
        // The Edit menu keeps its separators between the groups of its items.
        if (menu->objectName() == "EditMenu") EXPECT_EQ(separators, 3);
    }
}

// Closing the Drop Screen leaves the program running while a panel is open; the panel's buttons
// and Ctrl+N bring a new, empty Drop Screen; closing the last window ends the program.
TEST_F(Menus, APanelKeepsTheProgramRunningAndLeadsBackToANewDropScreen) {
    std::vector<std::string> commands;
    vorpel::Shell::setRunner([&](const std::string& c) {
        commands.push_back(c);
        return vorpel::ShellOutcome{};
    });
    qconvert& first = ui::Win<qconvert>();
    first.ListBox1->AddRow("kept.txt");
    first.QuennFileArray.emplace_back("/tmp/kept.txt");
    controlwin& panel = ui::Win<controlwin>();
    panel.Show();

    bool afterClose = false, byShortcut = false, byButton = false, timedOut = false;
    const auto isFresh = [](qconvert* s) {
        return s && s->Visible() && s->ListBox1->ListCount() == 0 && s->lastIndex() == -1;
    };
    const auto closeScreen = [] {
        if (qconvert* s = ui::WinIfOpen<qconvert>()) s->close();
        finishDeletes();
    };
    QTimer::singleShot(0, &panel, [&] { first.close(); }); // the close box
    QTimer::singleShot(100, &panel, [&] {
        finishDeletes();
        afterClose = ui::WinIfOpen<qconvert>() == nullptr && panel.Visible();
        QApplication::setActiveWindow(&panel);
        QTest::keyClick(&panel, Qt::Key_N, Qt::ControlModifier);
        byShortcut = isFresh(ui::WinIfOpen<qconvert>());
        closeScreen();
    });
    QTimer::singleShot(200, &panel, [&] {
        panel.BevelButton4->click(); // TXT
        byButton = isFresh(ui::WinIfOpen<qconvert>());
        closeScreen();
    });
    QTimer::singleShot(300, &panel, [&] { panel.close(); }); // the last window
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    guard.start(5000);
    QApplication::exec();
    vorpel::Shell::setRunner({});

    EXPECT_TRUE(afterClose) << "the program went on, the panel still open";
    EXPECT_TRUE(byShortcut) << "Ctrl+N in the panel opened a new, empty Drop Screen";
    EXPECT_TRUE(byButton) << "a panel button reached a new, empty Drop Screen";
    EXPECT_TRUE(commands.empty()) << "the new list is empty: nothing converted";
    EXPECT_FALSE(timedOut) << "closing the last window ends the program";
}

} // namespace
