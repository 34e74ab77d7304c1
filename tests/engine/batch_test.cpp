// The batch over the Drop Screen's queue: drop order, the flag, failures in the middle, a
// queue that grows under the batch, and the emptied queue and list afterwards.
#include "roadkit.h"

#include "engine/batch.h"
#include "engine/vorpel.h"
#include "testsupport.h"

namespace {

using roadkit::RoadTest;
using vorpel::FolderItem;
using vorpel::ui::Win;

struct Seen {
    std::string path;
    bool flag;
};
std::vector<Seen> seen;

bool recordingRoutine(const FolderItem& f, bool flag) {
    seen.push_back({f.AbsolutePath(), flag});
    return seen.size() != 2;  // the middle one of three fails
}

// Adds one item to the queue while the first item is handled: the batch must reach it too.
bool growingRoutine(const FolderItem& f, bool flag) {
    recordingRoutine(f, flag);
    if (seen.size() == 1) Win<vorpel::qconvert>().QuennFileArray.push_back(FolderItem("/tmp/b/late"));
    return true;
}

class Batch : public RoadTest {
protected:
    void SetUp() override {
        RoadTest::SetUp();
        seen.clear();
    }
};

TEST_F(Batch, EmptyListRunsNothingAndLeavesTheListEmpty) {
    Win<vorpel::qconvert>();
    vorpel::runBatch(recordingRoutine);
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(Win<vorpel::qconvert>().QuennFileArray.empty());
    EXPECT_EQ(Win<vorpel::qconvert>().ListBox1->ListCount(), 0);
}

TEST_F(Batch, ThreeItemsInDropOrderWithFlagTrueAndAFailingMiddle) {
    queue({"/tmp/b/one", "/tmp/b/two", "/tmp/b/three"});
    vorpel::runBatch(recordingRoutine);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].path, "/tmp/b/one");
    EXPECT_EQ(seen[1].path, "/tmp/b/two");
    EXPECT_EQ(seen[2].path, "/tmp/b/three");
    for (const Seen& s : seen) EXPECT_TRUE(s.flag);
    EXPECT_TRUE(Win<vorpel::qconvert>().QuennFileArray.empty());
    EXPECT_EQ(Win<vorpel::qconvert>().ListBox1->ListCount(), 0);
}

TEST_F(Batch, LastIndexIsReadAfreshBeforeEveryItem) {
    queue({"/tmp/b/one", "/tmp/b/two"});
    vorpel::runBatch(growingRoutine);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].path, "/tmp/b/late");
    EXPECT_TRUE(Win<vorpel::qconvert>().QuennFileArray.empty());
}

TEST_F(Batch, RealRoutineWithAFailingMiddleItemConvertsTheRestAndRecordsOne) {
    queue({"/tmp/b/a.rtf", "/tmp/b/b c.rtf", "/tmp/b/d.rtf"});
    runner.script({{0, ""}, {1, "textutil: unsupported input format\n"}, {0, ""}});
    vorpel::runBatch(vorpel::rtf);
    EXPECT_EQ(runner.commands(),
              (std::vector<std::string>{"textutil -convert rtf /tmp/b/a.rtf",
                                        "textutil -convert rtf /tmp/b/b\\ c.rtf",
                                        "textutil -convert rtf /tmp/b/d.rtf"}));
    EXPECT_EQ(vorpel::Failures::report(), "b c.rtf: textutil: unsupported input format");
    EXPECT_TRUE(Win<vorpel::qconvert>().QuennFileArray.empty());
    EXPECT_EQ(Win<vorpel::qconvert>().ListBox1->ListCount(), 0);
}

// With the Drop Screen closed, a batch reaches a fresh, empty one, which opens.
TEST_F(Batch, ClosedDropScreenIsReopenedEmptyAndNothingRuns) {
    ASSERT_EQ(vorpel::ui::WinIfOpen<vorpel::qconvert>(), nullptr);
    vorpel::runBatch(vorpel::rtf);
    ASSERT_NE(vorpel::ui::WinIfOpen<vorpel::qconvert>(), nullptr);
    EXPECT_TRUE(vorpel::ui::WinIfOpen<vorpel::qconvert>()->Visible());
    EXPECT_TRUE(runner.calls.empty());
}

// Items of one folder under one typed name: each writes its own file, numbered as file managers
// number copies; items of another folder keep the plain name.
TEST_F(Batch, ItemsOfOneFolderGetNumberedOutputsItemsOfAnotherFolderTheirOwn) {
    vorpeltest::TempDir dir;
    const std::string p = (dir / "p").string(), q = (dir / "q").string();
    queue({p + "/a.png", p + "/b.gif", q + "/c.png", p + "/d.bmp"});
    vorpel::runBatch(vorpelimage::tiff);
    ASSERT_EQ(runner.calls.size(), 4u);
    const std::string out = " --out ";
    auto outputOf = [&](size_t i) {
        const std::string& c = runner.calls[i].command;
        return c.substr(c.find(out) + out.size());
    };
    EXPECT_EQ(outputOf(0), FolderItem(p + "/Untitled.tiff").ShellPath());
    EXPECT_EQ(outputOf(1), FolderItem(p + "/Untitled 2.tiff").ShellPath());
    EXPECT_EQ(outputOf(2), FolderItem(q + "/Untitled.tiff").ShellPath());
    EXPECT_EQ(outputOf(3), FolderItem(p + "/Untitled 3.tiff").ShellPath());
    // The next batch starts afresh: the names are the batch's, not the program's.
    queue({p + "/a.png"});
    vorpel::runBatch(vorpelimage::tiff);
    EXPECT_EQ(outputOf(4), FolderItem(p + "/Untitled.tiff").ShellPath());
}

// One row per kind of output: the command of the second item of one folder, exactly.
TEST_F(Batch, EverySortOfOutputIsNumberedInItsOwnCommandForm) {
    struct Row {
        const char* what;
        vorpel::Routine routine;
        std::vector<std::string> items;  // in /tmp/n
        std::vector<std::string> commands;
    };
    const std::string sips = "sips --setProperty format jpeg --setProperty formatOptions best ";
    const std::string tidy = "tidy -html -numeric -quiet -utf8 -bare -omit < ";
    const std::string speech = "textutil -convert txt -stdout ";
    const std::vector<Row> rows = {
        {"image", vorpelimage::jpeg, {"a.png", "b.png", "c.png"},
         {sips + "/tmp/n/a.png --out /tmp/n/Untitled.jpeg",
          sips + "/tmp/n/b.png --out /tmp/n/Untitled\\ 2.jpeg",
          sips + "/tmp/n/c.png --out /tmp/n/Untitled\\ 3.jpeg"}},
        {"markup", vorpel::tohtml, {"a.htm", "b.htm"},
         {tidy + "/tmp/n/a.htm >  /tmp/n/Untitled.html",
          tidy + "/tmp/n/b.htm >  /tmp/n/Untitled\\ 2.html"}},
        {"speech", vorpel::aud, {"a.txt", "b.rtf"},
         {speech + "/tmp/n/a.txt | say -v BadNews -o /tmp/n/Untitled.aiff",
          speech + "/tmp/n/b.rtf | say -v BadNews -o /tmp/n/Untitled\\ 2.aiff"}},
        {"document", vorpel::rtf, {"report.txt", "report.docx", "other.doc"},
         {"textutil -convert rtf /tmp/n/report.txt",
          "textutil -convert rtf -output /tmp/n/report\\ 2.rtf /tmp/n/report.docx",
          "textutil -convert rtf /tmp/n/other.doc"}},
        {"document onto a queued item", vorpel::xml, {"a.rtf", "a.xml"},
         {"textutil -convert wordml -output /tmp/n/a\\ 2.xml /tmp/n/a.rtf",
          "textutil -convert wordml /tmp/n/a.xml"}},
        {"web archive, two blanks before -output", vorpel::archiveweb, {"a.rtf", "a.html"},
         {"textutil -convert webarchive -editor ZENTO -Generator ZENTO  /tmp/n/a.rtf",
          "textutil -convert webarchive -editor ZENTO -Generator ZENTO  -output "
          "/tmp/n/a\\ 2.webarchive /tmp/n/a.html"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        runner.calls.clear();
        std::vector<std::string> paths;
        for (const std::string& item : row.items) paths.push_back("/tmp/n/" + item);
        queue(paths);
        vorpel::runBatch(row.routine);
        EXPECT_EQ(runner.commands(), row.commands);
    }
}

// A file from before the batch that is not queued is replaced, as the tools always did; a
// numbered name never replaces anything.
TEST_F(Batch, AnOldOutputIsReplacedButANumberedNameSkipsExistingFiles) {
    vorpeltest::TempDir dir;
    vorpeltest::writeFile(dir / "Untitled.gif", "old");
    vorpeltest::writeFile(dir / "Untitled 2.gif", "someone's");
    queue({(dir / "a.png").string(), (dir / "b.png").string()});
    vorpel::runBatch(vorpelimage::gif);
    ASSERT_EQ(runner.calls.size(), 2u);
    auto writes = [&](size_t i, const char* name) {
        const std::string& c = runner.calls[i].command;
        return c.substr(c.find(" --out ") + 7) == FolderItem(dir / name).ShellPath();
    };
    EXPECT_TRUE(writes(0, "Untitled.gif")) << runner.calls[0].command;
    EXPECT_TRUE(writes(1, "Untitled 3.gif")) << runner.calls[1].command;
}

// Outside a batch a routine names its output as it always did.
TEST_F(Batch, ARoutineCalledOnItsOwnKeepsThePlainName) {
    queue({"/tmp/n/a.png", "/tmp/n/b.png"});
    vorpelimage::png(FolderItem("/tmp/n/a.png"), true);
    vorpelimage::png(FolderItem("/tmp/n/b.png"), true);
    vorpel::rtf(FolderItem("/tmp/n/a.txt"), true);
    EXPECT_EQ(runner.commands(),
              (std::vector<std::string>{
                  "sips --setProperty format png --setProperty formatOptions best /tmp/n/a.png "
                  "--out /tmp/n/Untitled.png",
                  "sips --setProperty format png --setProperty formatOptions best /tmp/n/b.png "
                  "--out /tmp/n/Untitled.png",
                  "textutil -convert rtf /tmp/n/a.txt"}));
}

TEST_F(Batch, LockAndUnlockOneCallPerItemInDropOrder) {
    queue({"/tmp/l/a", "/tmp/l/folder b", "/tmp/l/c"});
    vorpel::runBatch(vorpel::lock);
    queue({"/tmp/l/c", "/tmp/l/a"});
    vorpel::runBatch(vorpel::unlock);
    EXPECT_EQ(runner.commands(),
              (std::vector<std::string>{"chflags -R uchg /tmp/l/a",
                                        "chflags -R uchg /tmp/l/folder\\ b",
                                        "chflags -R uchg /tmp/l/c", "chflags -R nouchg /tmp/l/c",
                                        "chflags -R nouchg /tmp/l/a"}));
}

} // namespace
