// The routines with the real runner and the system's own tidy and du, on real files; and the
// busy guard: no timer tick while a real command runs.
#include "roadkit.h"

#include "engine/batch.h"
#include "engine/vorpel.h"
#include "info/infowin.h"
#include "panels/audiocontrol.h"
#include "panels/controlwin.h"
#include "panels/imagecontrol.h"
#include "platform/timer.h"
#include "testsupport.h"

#include <sys/stat.h>

namespace {

using vorpel::FolderItem;
using vorpel::ui::Win;
using vorpeltest::TempDir;

class RealTools : public ::testing::Test {
protected:
    void SetUp() override {
        roadkit::closeAllWindows();
        vorpel::Failures::clear();
        vorpel::Shell::setRunner({});
    }
    void TearDown() override {
        roadkit::closeAllWindows();
        vorpel::Failures::clear();
        vorpel::ui::releasePictures();
    }
    roadkit::MessageRecorder messages;
    roadkit::EffectRecorder effects;
};

TEST_F(RealTools, XhtmlWritesTheTypedOutputBesideTheSourceAndTidyWarningsCountAsSuccess) {
    if (!vorpeltest::haveProgram("tidy")) GTEST_SKIP() << "tidy is not installed";
    TempDir dir;
    std::filesystem::create_directory(dir / "my site");
    const auto source = dir / "my site" / "in dex.htm";
    // No doctype and no title: tidy warns (status 1) but writes its output.
    vorpeltest::writeFile(source, "<p>Hello <b>world</b></p>\n");
    Win<vorpel::controlwin>().EditField1->setText("Clean Page");
    EXPECT_TRUE(vorpel::xhtml(FolderItem(source), true));
    const std::string out = vorpeltest::readFile(dir / "my site" / "Clean Page.xhtml");
    EXPECT_NE(out.find("<b>world</b>"), std::string::npos) << out;
    EXPECT_NE(out.find("xmlns"), std::string::npos) << out;
    EXPECT_TRUE(vorpel::Failures::empty());

    EXPECT_TRUE(vorpel::tohtml(FolderItem(source), true));
    EXPECT_NE(vorpeltest::readFile(dir / "my site" / "Clean Page.html").find("world"),
              std::string::npos);
}

// Markup tidy cannot repair: status 2, an empty output left behind, tidy's own words recorded.
TEST_F(RealTools, XhtmlOfBrokenMarkupFailsWithTidysMessage) {
    if (!vorpeltest::haveProgram("tidy")) GTEST_SKIP() << "tidy is not installed";
    TempDir dir;
    const auto source = dir / "bad.htm";
    vorpeltest::writeFile(source, "<html><body><p>x</p></body></html>\n<<<>>> </foo><bar");
    EXPECT_FALSE(vorpel::xhtml(FolderItem(source), true));
    EXPECT_TRUE(std::filesystem::exists(dir / "Untitled.xhtml"));
    ASSERT_EQ(vorpel::Failures::list().size(), 1u);
    EXPECT_EQ(vorpel::Failures::list()[0].item, "bad.htm");
    EXPECT_NE(vorpel::Failures::list()[0].message.find("line 1 column"), std::string::npos)
        << vorpel::Failures::list()[0].message;
}

TEST_F(RealTools, SizeShowsWhatDuPrintedForAFolderUnchanged) {
    TempDir dir;
    std::filesystem::create_directories(dir / "top dir" / "sub one");
    vorpeltest::writeFile(dir / "top dir" / "sub one" / "f", std::string(10000, 'x'));
    const FolderItem item(dir / "top dir");
    const auto expected = vorpel::Shell::runDirect("du -h " + item.ShellPath()).result;
    ASSERT_NE(expected.find('\n'), expected.rfind('\n')) << "du should print two lines";
    EXPECT_TRUE(vorpel::size(item, true));
    EXPECT_EQ(Win<vorpel::infowin>().StaticText1->Text(), expected);
}

TEST_F(RealTools, SizeOfAMissingItemShowsDusComplaintAndFails) {
    TempDir dir;
    const FolderItem item(dir / "gone");
    EXPECT_FALSE(vorpel::size(item, true));
    EXPECT_NE(Win<vorpel::infowin>().StaticText1->Text().find("gone"), std::string::npos);
    EXPECT_TRUE(vorpel::Failures::empty());
}

// Stand-in tools that write down their arguments: the command lines must split into exactly
// the words the tools expect, whatever the paths hold.
class FakeTools : public RealTools {
protected:
    void SetUp() override {
        RealTools::SetUp();
        tool("sips", "printf '%s|' \"$@\" > \"$ARGS\"; shift 6; cp \"$1\" \"$3\"\n");
        tool("textutil", "printf '%s|' \"$@\" > \"$ARGS.textutil\"; cat \"$4\"; exit $TEXTUTIL_STATUS\n");
        tool("say", "printf '%s|' \"$@\" > \"$ARGS.say\"; cat > \"$4\"; "
                    "[ \"$SAY_STATUS\" = 0 ] || echo 'say: no voice' >&2; exit $SAY_STATUS\n");
        vorpel::Shell::setToolDir(tools.path().string());
        ::setenv("ARGS", (work / "args").c_str(), 1);
        ::setenv("TEXTUTIL_STATUS", "0", 1);
        ::setenv("SAY_STATUS", "0", 1);
        std::filesystem::create_directory(work / "it's a \"dir\"");
    }
    void TearDown() override {
        vorpel::Shell::setToolDir("");
        RealTools::TearDown();
    }
    void tool(const std::string& name, const std::string& body) {
        vorpeltest::writeFile(tools / name, "#!/bin/sh\n" + body);
        ::chmod((tools / name).c_str(), 0755);
    }
    TempDir tools, work;
};

TEST_F(FakeTools, ImageCommandSplitsIntoTheToolsWords) {
    const auto folder = work / "it's a \"dir\"";
    vorpeltest::writeFile(folder / "ph oto$1.png", "PNGDATA");
    Win<vorpel::imagecontrol>().EditField3->setText("out put");
    EXPECT_TRUE(vorpelimage::jpg2(FolderItem(folder / "ph oto$1.png"), true));
    EXPECT_EQ(vorpeltest::readFile(work / "args"),
              "--setProperty|format|jp2|--setProperty|formatOptions|best|" +
                  (folder / "ph oto$1.png").string() + "|--out|" +
                  (folder / "out put.jp2").string() + "|");
    EXPECT_EQ(vorpeltest::readFile(folder / "out put.jp2"), "PNGDATA");
}

TEST_F(FakeTools, SpeechPipelineResultIsSaysStatus) {
    const auto folder = work / "it's a \"dir\"";
    vorpeltest::writeFile(folder / "let ter.rtf", "Hello");
    Win<vorpel::audiocontrol>().PopupMenu1->setCurrentText("Zarvox");
    EXPECT_TRUE(vorpel::aud(FolderItem(folder / "let ter.rtf"), true));
    EXPECT_EQ(vorpeltest::readFile(work / "args.textutil"),
              "-convert|txt|-stdout|" + (folder / "let ter.rtf").string() + "|");
    EXPECT_EQ(vorpeltest::readFile(work / "args.say"),
              "-v|Zarvox|-o|" + (folder / "Untitled.aiff").string() + "|");
    EXPECT_EQ(vorpeltest::readFile(folder / "Untitled.aiff"), "Hello");

    // A failing text step does not fail the routine while say succeeds...
    ::setenv("TEXTUTIL_STATUS", "1", 1);
    EXPECT_TRUE(vorpel::aud(FolderItem(folder / "let ter.rtf"), true));
    EXPECT_TRUE(vorpel::Failures::empty());
    // ...and a failing say does, with its own words.
    ::setenv("TEXTUTIL_STATUS", "0", 1);
    ::setenv("SAY_STATUS", "3", 1);
    EXPECT_FALSE(vorpel::aud(FolderItem(folder / "let ter.rtf"), true));
    EXPECT_EQ(vorpel::Failures::report(), "let ter.rtf: say: no voice");
}

// A timer that falls due while a real command runs is delivered after it, never during it.
TEST_F(RealTools, NoTimerTickWhileARealCommandRuns) {
    vorpel::ui::Timer timer(nullptr, "probe", 1, 2);
    int ticks = 0, ticksDuring = -1;
    timer.Action = [&] { ++ticks; };
    vorpel::Shell shell;
    shell.Execute("sleep 0.3; echo ok");
    ticksDuring = ticks;
    EXPECT_EQ(shell.Result, "ok\n");
    EXPECT_EQ(ticksDuring, 0);
    roadkit::pumpUntil([&] { return ticks > 0; }, 2000);
    EXPECT_GT(ticks, 0);
}

// The progress window survives a long real command and closes at the first tick after it.
TEST_F(RealTools, ProgressWindowOutlivesALongRealCommand) {
    TempDir tools;
    vorpeltest::writeFile(tools / "chflags", "#!/bin/sh\nsleep 0.3\n");
    ::chmod((tools / "chflags").c_str(), 0755);
    vorpel::Shell::setToolDir(tools.path().string());
    int turns = 0, closedTurns = 0;
    // Look at the window from inside the runner's idle turns.
    vorpel::Shell::setIdleHook([&] {
        vorpel::ui::resetTurnClock();
        vorpel::ui::DoEvents();
        ++turns;
        if (!vorpel::ui::WinIfOpen<vorpel::progressdes>()) ++closedTurns;
    });
    EXPECT_TRUE(vorpel::lock(FolderItem(tools / "x"), true));
    vorpel::ui::installEventGate();
    vorpel::Shell::setToolDir("");
    EXPECT_GT(turns, 5);
    EXPECT_EQ(closedTurns, 0);
    EXPECT_NE(vorpel::ui::WinIfOpen<vorpel::progressdes>(), nullptr);
    EXPECT_TRUE(roadkit::pumpUntil([] { return vorpel::ui::WinIfOpen<vorpel::doner>() != nullptr; }));
    EXPECT_EQ(vorpel::ui::WinIfOpen<vorpel::progressdes>(), nullptr);
}

// Two documents of one base name converted to TXT in one batch, by the real textutil: the
// second is written under the numbered name, and neither output replaces the other.
TEST_F(RealTools, DocumentsOfOneBaseNameBothSurviveABatch) {
    if (!std::filesystem::exists(vorpeltest::toolPath("textutil"))) GTEST_SKIP() << "build textutil first";
    TempDir dir;
    vorpeltest::writeFile(dir / "report.rtf", "{\\rtf1\\ansi From the RTF.\\par}\n");
    vorpeltest::writeFile(dir / "report.html", "<html><body><p>From the HTML.</p></body></html>\n");
    vorpel::Shell::setToolDir(vorpeltest::toolPath("textutil").parent_path().string());
    for (const char* name : {"report.rtf", "report.html"})
        Win<vorpel::qconvert>().QuennFileArray.push_back(FolderItem(dir / name));
    vorpel::runBatch(vorpel::txt);
    vorpel::Shell::setToolDir("");
    EXPECT_TRUE(vorpel::Failures::empty()) << vorpel::Failures::report();
    EXPECT_NE(vorpeltest::readFile(dir / "report.txt").find("From the RTF."), std::string::npos);
    EXPECT_NE(vorpeltest::readFile(dir / "report 2.txt").find("From the HTML."), std::string::npos);
}

} // namespace
