// Progress window, completion notice and poof effect, driven by their timers as in the
// running program.
#include "../engine/roadkit.h"

#include "engine/batch.h"
#include "engine/vorpel.h"
#include "info/infowin.h"
#include "app/filetypes.h"
#include "panels/controlwin.h"
#include "platform/effects.h"
#include "testsupport.h"

#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QUrl>
#include <QPalette>

namespace {

using roadkit::pumpFor;
using roadkit::pumpUntil;
using vorpel::FolderItem;
using vorpel::doner;
using vorpel::progressdes;
using vorpel::ui::Win;
using vorpel::ui::WinIfOpen;

class Feedback : public roadkit::RoadTest {};

TEST_F(Feedback, ProgressWindowStartsVisibleWithItsTimerOff) {
    progressdes& p = Win<progressdes>();
    EXPECT_TRUE(p.Visible());
    EXPECT_EQ(p.Timer2->Mode(), 0);
    EXPECT_EQ(p.Timer2->Period(), 1);
    EXPECT_EQ(p.RemainingTime->Text(), "Processing,  please wait...");
    EXPECT_EQ(p.StaticText2->Text(), "0%");
    EXPECT_EQ(p.StaticText3->Text(), "100%");
    // Nothing arms the timer but a routine: left alone, the window stays.
    pumpFor(50);
    EXPECT_EQ(WinIfOpen<progressdes>(), &p);
}

TEST_F(Feedback, NoticeStartsWithAHalfSecondOneShotTimer) {
    doner& d = Win<doner>();
    EXPECT_TRUE(d.Visible());
    EXPECT_EQ(d.Timer1->Mode(), 1);
    EXPECT_EQ(d.Timer1->Period(), 500);
    EXPECT_EQ(d.StaticText1->Text(), "DONE");
    EXPECT_EQ(d.StaticText1->palette().color(QPalette::WindowText), QColor(0x66, 0xCC, 0xFF));
}

// The whole road of one successful conversion: progress, "DONE", poof, gone.
TEST_F(Feedback, SuccessGoesFromProgressToDoneToPoof) {
    queue({"/tmp/f/a.rtf"});
    ASSERT_TRUE(vorpel::rtf(FolderItem("/tmp/f/a.rtf"), true));
    vorpel::qconvert& screen = Win<vorpel::qconvert>();
    screen.StaticText31->setVisible(false);  // the timer must show it again
    ASSERT_NE(WinIfOpen<progressdes>(), nullptr);
    ASSERT_EQ(WinIfOpen<doner>(), nullptr);

    ASSERT_TRUE(pumpUntil([] { return WinIfOpen<doner>() != nullptr; }));
    EXPECT_EQ(WinIfOpen<progressdes>(), nullptr);
    doner& notice = *WinIfOpen<doner>();
    EXPECT_TRUE(notice.Visible());
    EXPECT_EQ(notice.StaticText1->Text(), "DONE");
    EXPECT_TRUE(screen.StaticText31->isVisibleTo(&screen));
    EXPECT_TRUE(effects.effects.empty());

    // It stays for about half a second, then plays the poof and closes itself.
    QElapsedTimer shown;
    shown.start();
    const int left = notice.Left(), top = notice.Top();
    pumpFor(300);
    EXPECT_EQ(WinIfOpen<doner>(), &notice) << "closed early";
    ASSERT_TRUE(pumpUntil([] { return WinIfOpen<doner>() == nullptr; }));
    ASSERT_EQ(effects.effects.size(), 1u);
    const auto& e = effects.effects[0];
    EXPECT_EQ(e.code, 10);
    EXPECT_EQ(e.x, float(left + 220));
    EXPECT_EQ(e.y, float(900 - (top + 350)));
    EXPECT_EQ(e.width, 1000.f);
    EXPECT_EQ(e.height, 1000.f);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(Feedback, FailureShowsFailedListsTheItemsThenClearsTheList) {
    runner.script({{1, "textutil: unsupported input format\n"}, {0, ""}, {3, ""}});
    queue({"/tmp/f/report.pages", "/tmp/f/ok.rtf", "/tmp/f/broken.doc"});
    vorpel::runBatch(vorpel::rtf);

    ASSERT_TRUE(pumpUntil([] { return WinIfOpen<doner>() != nullptr; }));
    doner& notice = *WinIfOpen<doner>();
    EXPECT_EQ(notice.StaticText1->Text(), "FAILED");
    EXPECT_NE(notice.StaticText1->palette().color(QPalette::WindowText), QColor(0x66, 0xCC, 0xFF));
    EXPECT_TRUE(messages.messages.empty()) << "the message comes with the notice's own tick";

    ASSERT_TRUE(pumpUntil([] { return WinIfOpen<doner>() == nullptr; }));
    ASSERT_EQ(messages.messages.size(), 1u);
    const std::string& m = messages.messages[0];
    EXPECT_NE(m.find("report.pages: textutil: unsupported input format"), std::string::npos) << m;
    EXPECT_NE(m.find("broken.doc: failed with exit status 3"), std::string::npos) << m;
    EXPECT_EQ(m.find("ok.rtf"), std::string::npos) << m;
    EXPECT_TRUE(vorpel::Failures::empty());
    EXPECT_EQ(effects.effects.size(), 1u) << "the poof plays after a failure too";

    // The next conversion starts from a clean list.
    vorpel::rtf(FolderItem("/tmp/f/ok.rtf"), true);
    ASSERT_TRUE(pumpUntil([] { return WinIfOpen<doner>() != nullptr; }));
    EXPECT_EQ(WinIfOpen<doner>()->StaticText1->Text(), "DONE");
}

// An earlier notice's tick may come before the hand-over of a conversion that failed; the
// notice that follows that conversion must still read "FAILED" and list it.
TEST_F(Feedback, EarlierNoticeClosingFirstDoesNotSwallowANewFailure) {
    Win<doner>();  // still up from an earlier, successful conversion
    runner.script({{1, "textutil: bad input\n"}});
    EXPECT_FALSE(vorpel::rtf(FolderItem("/tmp/f/late.rtf"), true));
    ASSERT_NE(WinIfOpen<progressdes>(), nullptr);
    WinIfOpen<doner>()->Timer1_Action();  // its tick wins the race against Timer2
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    ASSERT_TRUE(pumpUntil([] { return WinIfOpen<doner>() != nullptr; }));
    EXPECT_EQ(WinIfOpen<doner>()->StaticText1->Text(), "FAILED");
    ASSERT_TRUE(pumpUntil([] { return WinIfOpen<doner>() == nullptr; }));
    ASSERT_FALSE(messages.messages.empty());
    EXPECT_NE(messages.messages.back().find("late.rtf: textutil: bad input"), std::string::npos);
    EXPECT_TRUE(vorpel::Failures::empty());
}

// Timer2 falls due many times while the tool runs; none of those ticks may close the window.
TEST_F(Feedback, Timer2NeverClosesTheProgressWindowWhileACommandRuns) {
    int turns = 0;
    bool closedDuring = false, noticeDuring = false;
    runner.during = [&](const std::string&) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 150) {
            vorpel::ui::resetTurnClock();
            vorpel::ui::DoEvents();
            ++turns;
            if (!WinIfOpen<progressdes>()) closedDuring = true;
            if (WinIfOpen<doner>()) noticeDuring = true;
        }
    };
    vorpel::doc(FolderItem("/tmp/f/a.rtf"), true);
    EXPECT_GT(turns, 10);
    EXPECT_FALSE(closedDuring);
    EXPECT_FALSE(noticeDuring);
    ASSERT_NE(WinIfOpen<progressdes>(), nullptr);
    EXPECT_TRUE(pumpUntil([] { return WinIfOpen<doner>() != nullptr; }));
}

// The notice's half-second tick falls due during a long command: held, then delivered.
TEST_F(Feedback, NoticeTickIsHeldWhileACommandRunsAndDeliveredAfter) {
    Win<doner>();
    bool closedDuring = false;
    runner.during = [&](const std::string&) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 700) {
            vorpel::ui::resetTurnClock();
            vorpel::ui::DoEvents();
            if (!WinIfOpen<doner>()) closedDuring = true;
        }
    };
    vorpel::lock(FolderItem("/tmp/f/a"), true);
    EXPECT_FALSE(closedDuring);
    EXPECT_TRUE(effects.effects.empty());
    // Afterwards the held tick closes that notice; the lock's own hand-over may then open
    // a fresh one, which closes in its turn.
    EXPECT_TRUE(pumpUntil([] {
        return WinIfOpen<doner>() == nullptr && WinIfOpen<progressdes>() == nullptr;
    }));
    EXPECT_GE(effects.effects.size(), 1u);
}

// Neither the user's close request nor a notice's tick gets through during a command.
TEST_F(Feedback, CloseRequestsAreRefusedWhileACommandRuns) {
    Win<vorpel::controlwin>().Show();
    bool panelSurvived = false, progressSurvived = false;
    runner.during = [&](const std::string&) {
        Win<vorpel::controlwin>().close();
        Win<progressdes>().close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        panelSurvived = WinIfOpen<vorpel::controlwin>() != nullptr;
        progressSurvived = WinIfOpen<progressdes>() != nullptr;
    };
    vorpel::rtf(FolderItem("/tmp/f/a.rtf"), true);
    EXPECT_TRUE(panelSurvived);
    EXPECT_TRUE(progressSurvived);
    // Once idle, the panel's close box works again.
    Win<vorpel::controlwin>().close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(WinIfOpen<vorpel::controlwin>(), nullptr);
}

// A drop that arrives while the tool runs would change the queue under the batch: the drag is
// welcome, the drop is held and listed once the command is over.
TEST_F(Feedback, DropDuringACommandIsHeldAndTakenWhenIdle) {
    vorpel::FileTypes::Initialise();
    vorpeltest::TempDir dir;
    vorpeltest::writeFile(dir / "late.rtf", "x");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString((dir / "late.rtf").string()))});
    auto enter = [&] {
        QDragEnterEvent e(QPoint(200, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&Win<vorpel::qconvert>(), &e);
        return e.isAccepted();
    };
    auto drop = [&] {
        QDropEvent e(QPointF(200, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&Win<vorpel::qconvert>(), &e);
    };
    bool enterAcceptedDuring = false;
    size_t queuedDuring = 99;
    ASSERT_TRUE(enter());  // the drag came in before the command started
    runner.during = [&](const std::string&) {
        enterAcceptedDuring = enter();
        drop();
        queuedDuring = Win<vorpel::qconvert>().QuennFileArray.size();
    };
    vorpel::rtf(FolderItem("/tmp/f/a.rtf"), true);
    EXPECT_TRUE(enterAcceptedDuring);
    EXPECT_EQ(queuedDuring, 0u);
    EXPECT_TRUE(pumpUntil([] { return Win<vorpel::qconvert>().QuennFileArray.size() == 1; }));
    vorpel::FileTypes::Release();
}

TEST_F(Feedback, ShowingTheProgressWindowTwiceKeepsOneWindow) {
    vorpel::rtf(FolderItem("/tmp/f/a.rtf"), true);
    progressdes* first = WinIfOpen<progressdes>();
    vorpel::rtf(FolderItem("/tmp/f/b.rtf"), true);
    EXPECT_EQ(WinIfOpen<progressdes>(), first);
    ASSERT_TRUE(pumpUntil([] { return WinIfOpen<doner>() != nullptr; }));
    ASSERT_TRUE(pumpUntil([] { return WinIfOpen<doner>() == nullptr; }));
    // One notice, one poof for both commands.
    EXPECT_EQ(effects.effects.size(), 1u);
}

// A second hand-over while the notice is still up brings the same notice forward.
TEST_F(Feedback, SecondHandOverReusesTheOpenNotice) {
    vorpel::rtf(FolderItem("/tmp/f/a.rtf"), true);
    ASSERT_TRUE(pumpUntil([] { return WinIfOpen<doner>() != nullptr; }));
    doner* first = WinIfOpen<doner>();
    vorpel::rtf(FolderItem("/tmp/f/b.rtf"), true);
    ASSERT_TRUE(pumpUntil([] { return WinIfOpen<progressdes>() == nullptr; }));
    EXPECT_EQ(WinIfOpen<doner>(), first);
    ASSERT_TRUE(pumpUntil([] { return WinIfOpen<doner>() == nullptr; }));
    EXPECT_EQ(effects.effects.size(), 1u);
}

// A bar whose value differs from its maximum keeps the window open.
TEST_F(Feedback, TimerClosesOnlyWhenTheBarIsFull) {
    progressdes& p = Win<progressdes>();
    p.ProgressBar1->setMaximum(10);
    p.ProgressBar1->setValue(3);
    p.Timer2->setMode(2);
    pumpFor(60);
    EXPECT_EQ(WinIfOpen<progressdes>(), &p);
    EXPECT_EQ(WinIfOpen<doner>(), nullptr);
    p.ProgressBar1->setValue(10);
    EXPECT_TRUE(pumpUntil([] { return WinIfOpen<progressdes>() == nullptr; }));
    EXPECT_NE(WinIfOpen<doner>(), nullptr);
}

TEST_F(Feedback, SizeQueryNeverLeadsToTheNotice) {
    runner.script({{1, "du: cannot access\n"}});
    vorpel::size(FolderItem("/tmp/f/a"), true);
    vorpel::size(FolderItem("/tmp/f/b"), true);
    pumpFor(700);
    EXPECT_EQ(WinIfOpen<progressdes>(), nullptr);
    EXPECT_EQ(WinIfOpen<doner>(), nullptr);
    EXPECT_TRUE(effects.effects.empty());
    EXPECT_TRUE(messages.messages.empty());
}

// --- the effect module ---

class Effects : public roadkit::RoadTest {};

TEST_F(Effects, DropScreenExampleConvertsToBottomLeftCoordinates) {
    // A window at left 100, top 50 on a 900-high main screen.
    NSVorpel::ShowPoof(100 + 220, 50 + 220, 200, 200);
    ASSERT_EQ(effects.effects.size(), 1u);
    EXPECT_EQ(effects.effects[0].code, 10);
    EXPECT_EQ(effects.effects[0].x, 320.f);
    EXPECT_EQ(effects.effects[0].y, 630.f);
    EXPECT_EQ(effects.effects[0].width, 200.f);
    EXPECT_EQ(effects.effects[0].height, 200.f);
}

TEST_F(Effects, TwoEffectsInARowStartOnceAndReplaceThePool) {
    NSVorpel::ShowPoof(1, 2, 3, 4);
    NSVorpel::ShowEffect(7, 5, 6, 7, 8);
    EXPECT_EQ(effects.loads, 1);
    EXPECT_EQ(effects.log, (std::vector<std::string>{"load", "new1", "effect", "release1",
                                                      "new2", "effect"}));
    EXPECT_EQ(effects.effects[1].code, 7);
    EXPECT_EQ(effects.effects[1].y, 900.f - 6.f);
}

TEST_F(Effects, ScreenHeightIsReadAtEachCallAndOffScreenValuesPassUnchanged) {
    NSVorpel::ShowPoof(10, 1000, 20, 20);
    effects.screenHeight = 1200;
    NSVorpel::ShowPoof(-50, -30, 20, 20);
    ASSERT_EQ(effects.effects.size(), 2u);
    EXPECT_EQ(effects.effects[0].y, -100.f);
    EXPECT_EQ(effects.effects[1].x, -50.f);
    EXPECT_EQ(effects.effects[1].y, 1230.f);
}

TEST_F(Effects, WithoutAScreenNothingIsShownAndNothingFails) {
    effects.screenHeight.reset();
    NSVorpel::ShowPoof(1, 2, 3, 4);
    NSVorpel::ShowPoof(1, 2, 3, 4);
    EXPECT_TRUE(effects.effects.empty());
    EXPECT_EQ(effects.loads, 1);
}

// The drawn stand-in: returns at once, a click-through window that goes away by itself.
class DrawnPoof : public ::testing::Test {
protected:
    void SetUp() override {
        vorpel::ui::setEffectBackend(nullptr);
        NSVorpel::resetForTesting();
    }
    void TearDown() override { vorpel::ui::setDisplayCompositesForTesting(std::nullopt); }

    QWidget* play(int x, int y, int w, int h) {
        const auto before = QApplication::topLevelWidgets();
        NSVorpel::ShowPoof(x, y, w, h);
        for (QWidget* t : QApplication::topLevelWidgets())
            if (!before.contains(t)) return t;
        return nullptr;
    }
    static bool gone(QWidget* poof) { return !QApplication::topLevelWidgets().contains(poof); }
};

TEST_F(DrawnPoof, IsAClickThroughWindowThatTakesNoFocusAndDeletesItself) {
    for (const bool composited : {true, false}) {
        SCOPED_TRACE(composited ? "compositing display" : "plain display");
        vorpel::ui::setDisplayCompositesForTesting(composited);
        QWidget* poof = play(300, 300, 120, 80);
        ASSERT_NE(poof, nullptr);
        EXPECT_TRUE(poof->isVisible());
        EXPECT_TRUE(poof->windowFlags() & Qt::WindowTransparentForInput);
        EXPECT_TRUE(poof->windowFlags() & Qt::WindowDoesNotAcceptFocus);
        EXPECT_TRUE(poof->windowFlags() & Qt::FramelessWindowHint);
        EXPECT_TRUE(poof->testAttribute(Qt::WA_ShowWithoutActivating));
        EXPECT_EQ(poof->focusPolicy(), Qt::NoFocus);
        EXPECT_EQ(poof->size(), QSize(120, 80));
        // Back in top-left coordinates, centred where it was asked for.
        EXPECT_EQ(poof->geometry().topLeft(), QPoint(300 - 60, 300 - 40));
        EXPECT_TRUE(pumpUntil([&] { return gone(poof); }, 3000));
    }
}

TEST_F(DrawnPoof, NeverGrowsPastItsCapWhateverTheCallerAsks) {
    QWidget* poof = play(640, 450, 1000, 1000);
    ASSERT_NE(poof, nullptr);
    EXPECT_EQ(poof->size(), QSize(vorpel::ui::kPoofMaxSide, vorpel::ui::kPoofMaxSide));
    EXPECT_EQ(poof->geometry().center(), QPoint(640 - 1, 450 - 1));
    QWidget* tall = play(100, 100, 40, 500);
    ASSERT_NE(tall, nullptr);
    EXPECT_EQ(tall->size(), QSize(40, vorpel::ui::kPoofMaxSide));
    EXPECT_TRUE(pumpUntil([&] { return gone(poof) && gone(tall); }, 3000));
}

TEST_F(DrawnPoof, IsTranslucentWhereTheDisplayCompositesAndShapedToTheSmokeElsewhere) {
    vorpel::ui::setDisplayCompositesForTesting(true);
    QWidget* blended = play(300, 300, 160, 160);
    ASSERT_NE(blended, nullptr);
    EXPECT_TRUE(blended->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(blended->mask().isEmpty());
    EXPECT_TRUE(pumpUntil([&] { return gone(blended); }, 3000));

    // Without compositing a translucent window is an opaque black box: an opaque window
    // shaped to the puffs instead. An empty mask would show the whole box.
    vorpel::ui::setDisplayCompositesForTesting(false);
    QWidget* shaped = play(600, 300, 1000, 1000);
    ASSERT_NE(shaped, nullptr);
    EXPECT_FALSE(shaped->testAttribute(Qt::WA_TranslucentBackground));
    const QRect box = shaped->rect();
    const QRegion first = shaped->mask();
    ASSERT_FALSE(first.isEmpty()) << "shaped from the first frame on";
    EXPECT_TRUE(first.contains(box.center()));
    int frames = 0, widest = 0;
    QRegion previous = first;
    while (!gone(shaped)) {
        if (shaped->isVisible()) {
            const QRegion mask = shaped->mask();
            ASSERT_FALSE(mask.isEmpty());
            EXPECT_TRUE(box.contains(mask.boundingRect()));
            for (const QPoint corner :
                 {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()})
                EXPECT_FALSE(mask.contains(corner));
            if (mask != previous) ++frames;
            widest = std::max(widest, mask.boundingRect().width());
            previous = mask;
        }
        pumpFor(15);
    }
    EXPECT_GT(frames, 3) << "the outline follows the smoke";
    EXPECT_GT(widest, box.width() / 2) << "the smoke spreads from the centre";
}

} // namespace
