// The conversion road under stress: a batch where every item fails, tools that print
// megabytes, and close requests for a panel or the Drop Screen while a batch runs.
#include "roadkit.h"

#include "engine/batch.h"
#include "engine/commandlines.h"
#include "engine/vorpel.h"
#include "panels/controlwin.h"

#include <QCloseEvent>
#include <QMetaObject>
#include <algorithm>

namespace {

using roadkit::RoadTest;
using vorpel::FolderItem;
using vorpel::ShellOutcome;
using vorpel::ui::Win;
using vorpel::ui::WinIfOpen;

size_t lineCount(const std::string& s) { return size_t(std::count(s.begin(), s.end(), '\n')) + 1; }

std::vector<std::string> numberedPaths(int n) {
    std::vector<std::string> v;
    for (int i = 0; i < n; ++i) v.push_back("/tmp/stress/item " + std::to_string(i) + ".rtf");
    return v;
}

// What comes up once the batch's progress window hands over to the notice.
std::string waitForNotice(const roadkit::MessageRecorder& messages) {
    EXPECT_TRUE(roadkit::pumpUntil([&] { return !messages.messages.empty(); }, 5000)) << "no failure message";
    roadkit::pumpFor(50);
    EXPECT_EQ(messages.messages.size(), 1u);
    return messages.messages.empty() ? std::string() : messages.messages.front();
}

class Stress : public RoadTest {};

TEST_F(Stress, EveryItemFailsAndTheNoticeStaysOnScreen) {
    // Forty items, each tool talking at length over several lines.
    const auto paths = numberedPaths(40);
    queue(paths);
    std::vector<ShellOutcome> outcomes;
    for (int i = 0; i < 40; ++i) {
        std::string out;
        for (int line = 0; line < 6; ++line)
            out += "textutil: item " + std::to_string(i) + " line " + std::to_string(line) + ": " +
                   std::string(150, 'w') + "\n";
        outcomes.push_back({1, out});
    }
    runner.script(outcomes);
    vorpel::runBatch(vorpel::rtf);

    ASSERT_EQ(runner.calls.size(), 40u);
    const std::vector<vorpel::Failures::Entry> failures = vorpel::Failures::list();  // the notice clears it
    ASSERT_EQ(failures.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(failures[size_t(i)].item, "item " + std::to_string(i) + ".rtf");
        EXPECT_EQ(failures[size_t(i)].message.rfind("textutil: item " + std::to_string(i) + " line 0", 0), 0u);
    }
    EXPECT_TRUE(Win<vorpel::qconvert>().QuennFileArray.empty());

    const std::string notice = waitForNotice(messages);
    EXPECT_EQ(notice.rfind("These items failed:\n\nitem 0.rtf: textutil: item 0 line 0", 0), 0u) << notice.substr(0, 200);
    // A message box taller or wider than a screen cannot be read or dismissed with the mouse.
    EXPECT_LE(lineCount(notice), 40u) << notice;
    EXPECT_LE(notice.size(), 4000u);
    const size_t more = notice.find("\n... and ");
    ASSERT_NE(more, std::string::npos) << "the items left out are not counted";
    // Every failed item is either named or counted in "and N more".
    int named = 0;
    for (const auto& f : failures) named += notice.find("\n" + f.item + ": ") != std::string::npos;
    EXPECT_EQ(notice.substr(more), "\n... and " + std::to_string(40 - named) + " more");
    EXPECT_GT(named, 0);
    EXPECT_TRUE(vorpel::Failures::empty()) << "the notice reports and clears the list";
}

TEST_F(Stress, OneFailureAmongManySuccessesIsTheOnlyOneReported) {
    queue(numberedPaths(200));
    std::vector<ShellOutcome> outcomes(200, ShellOutcome{0, "fine\n"});
    outcomes[137] = {1, "textutil: /tmp/stress/item 137.rtf: not a document in a readable format\n"};
    runner.script(outcomes);
    vorpel::runBatch(vorpel::rtf);
    EXPECT_EQ(runner.calls.size(), 200u);
    EXPECT_EQ(waitForNotice(messages),
              "These items failed:\n\nitem 137.rtf: textutil: /tmp/stress/item 137.rtf: not a document in a readable format");
}

// The real runner: megabytes of output reach the result whole; the failure list keeps a few lines.
class Megabytes : public ::testing::Test {
protected:
    void SetUp() override {
        roadkit::closeAllWindows();
        vorpel::Failures::clear();
        vorpel::ui::resetTurnClock();
    }
    void TearDown() override {
        vorpel::Shell::setRunner({});
        roadkit::closeAllWindows();
        vorpel::Failures::clear();
        vorpel::ui::releasePictures();
    }
    roadkit::MessageRecorder messages;
    roadkit::EffectRecorder effects;
};

TEST_F(Megabytes, ResultIsCompleteWhateverTheToolPrints) {
    vorpel::Shell shell;
    shell.Execute("yes | head -c 5000000");
    EXPECT_EQ(shell.ErrorCode, 0);
    ASSERT_EQ(shell.Result.size(), 5000000u);
    EXPECT_EQ(shell.Result.substr(0, 4), "y\ny\n");
    EXPECT_EQ(std::count(shell.Result.begin(), shell.Result.end(), 'y'), 2500000);

    // Standard error and output interleaved, binary bytes, one endless line.
    shell.Execute("head -c 3000000 /dev/zero; yes err | head -c 2000000 >&2; exit 7");
    EXPECT_EQ(shell.ErrorCode, 7);
    EXPECT_EQ(shell.Result.size(), 5000000u);
    EXPECT_EQ(std::count(shell.Result.begin(), shell.Result.end(), '\0'), 3000000);
}

TEST_F(Megabytes, RunawayOutputIsCappedAndTheCommandStillEnds) {
    // 100 MB: the first 64 MiB kept, the rest drained so the tool finishes and gives its status.
    vorpel::Shell shell;
    shell.Execute("head -c 100000000 /dev/zero | tr '\\0' y; echo; exit 4");
    EXPECT_EQ(shell.ErrorCode, 4);
    EXPECT_EQ(shell.Result.size(), size_t(64) << 20);
    EXPECT_EQ(shell.Result.find_first_not_of('y'), std::string::npos);
    EXPECT_FALSE(vorpel::Shell::running());
}

TEST_F(Megabytes, ARunnerThatThrowsLeavesTheInterfaceFree) {
    // Running out of memory mid-command used to leave the program busy for good: no window
    // could close and no timer tick again.
    vorpel::Shell::setRunner([](const std::string&) -> vorpel::ShellOutcome { throw std::bad_alloc(); });
    vorpel::Shell shell;
    EXPECT_THROW(shell.Execute("anything"), std::bad_alloc);
    EXPECT_FALSE(vorpel::Shell::running());
    EXPECT_FALSE(vorpel::ui::busy());
}

TEST_F(Megabytes, FailingBatchOfChattyToolsGivesABoundedMessage) {
    const std::vector<std::string> commands = {
        "yes 'error: the disk is on fire' | head -c 5000000; exit 1",
        "head -c 5000000 /dev/zero | tr '\\0' x; exit 2",
        "head -c 4000000 /dev/urandom; exit 3",
    };
    size_t next = 0;
    std::vector<std::string> seen;
    vorpel::Shell::setRunner([&](const std::string& cmd) {
        seen.push_back(cmd);
        return vorpel::Shell::runDirect(commands[next++ % commands.size()]);
    });
    vorpel::qconvert& screen = Win<vorpel::qconvert>();
    for (const std::string& p : numberedPaths(3)) screen.QuennFileArray.push_back(FolderItem(p));
    vorpel::runBatch(vorpel::rtf);
    ASSERT_EQ(seen.size(), 3u);
    const std::vector<vorpel::Failures::Entry> failures = vorpel::Failures::list();
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[0].message, "error: the disk is on fire\nerror: the disk is on fire\nerror: the disk is on fire");
    for (const auto& f : failures) {
        EXPECT_LE(f.message.size(), 410u) << f.item;
        EXPECT_LE(lineCount(f.message), 3u) << f.item;
        EXPECT_FALSE(f.message.empty()) << f.item;
    }
    const std::string notice = waitForNotice(messages);
    EXPECT_LE(notice.size(), 4000u);
    EXPECT_LE(lineCount(notice), 40u);
    for (const auto& name : {"item 0.rtf: ", "item 1.rtf: ", "item 2.rtf: "})
        EXPECT_NE(notice.find(name), std::string::npos) << name;
}

// Close requests while a batch runs: one arrives while the command runs, one is posted and
// so delivered in the background turn between items. Neither may pull the windows away.
class CloseMidBatch : public RoadTest {
protected:
    template <class W> void requestCloseDuringFirstCommand(W& window) {
        runner.during = [this, &window](const std::string&) {
            if (runner.calls.size() != 1) return;
            window.close();
            QMetaObject::invokeMethod(&window, "close", Qt::QueuedConnection);
            QCoreApplication::postEvent(&window, new QCloseEvent);
        };
    }
};

TEST_F(CloseMidBatch, PanelClosedWhileItsBatchRunsKeepsItsOptionsToTheEnd) {
    vorpel::controlwin& panel = Win<vorpel::controlwin>();
    panel.Show();
    panel.RadioButton2->setChecked(true);  // UTF-16: a fresh panel would say UTF-8
    const auto paths = numberedPaths(6);
    queue(paths);
    requestCloseDuringFirstCommand(panel);
    panel.BevelButton4->click();  // Text
    ASSERT_EQ(runner.calls.size(), 6u) << "items were lost";
    for (size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(runner.calls[i].command,
                  std::string(vorpel::commands::kTxtUtf16) + FolderItem(paths[i]).ShellPath());
    }
    EXPECT_EQ(WinIfOpen<vorpel::controlwin>(), &panel);
    EXPECT_TRUE(Win<vorpel::qconvert>().QuennFileArray.empty());
    EXPECT_EQ(Win<vorpel::qconvert>().ListBox1->ListCount(), 0);
    // Once the batch is over the panel closes as asked.
    roadkit::pumpFor(20);
    panel.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(WinIfOpen<vorpel::controlwin>(), nullptr);
}

TEST_F(CloseMidBatch, DropScreenClosedMidBatchLosesNoItems) {
    vorpel::qconvert& screen = Win<vorpel::qconvert>();
    const auto paths = numberedPaths(6);
    queue(paths);
    runner.script({{0, ""}, {1, "chflags: item 1: Operation not permitted\n"}});
    requestCloseDuringFirstCommand(screen);
    screen.BevelButton10->click();  // Lock
    ASSERT_EQ(runner.calls.size(), 6u) << "items were lost";
    for (size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(runner.calls[i].command, std::string(vorpel::commands::kLock) + FolderItem(paths[i]).ShellPath());
    EXPECT_EQ(WinIfOpen<vorpel::qconvert>(), &screen);
    EXPECT_TRUE(screen.QuennFileArray.empty());
    EXPECT_EQ(screen.ListBox1->ListCount(), 0);
    ASSERT_EQ(vorpel::Failures::list().size(), 1u);
    EXPECT_EQ(vorpel::Failures::list()[0].item, "item 1.rtf");
}

} // namespace
