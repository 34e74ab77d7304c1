// The batch over the Drop Screen's queue: drop order, the flag, failures in the middle, a
// queue that grows under the batch, and the emptied queue and list afterwards.
#include "roadkit.h"

#include "engine/batch.h"
#include "engine/vorpel.h"

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

// Items of one folder with the typed name all target the same output path.
TEST_F(Batch, ItemsOfOneFolderTargetOneOutputItemsOfTwoFoldersTheirOwn) {
    queue({"/tmp/p/a.png", "/tmp/p/b.gif", "/tmp/q/c.png"});
    vorpel::runBatch(vorpelimage::tiff);
    ASSERT_EQ(runner.calls.size(), 3u);
    const std::string out = " --out ";
    auto outputOf = [&](size_t i) {
        const std::string& c = runner.calls[i].command;
        return c.substr(c.find(out) + out.size());
    };
    EXPECT_EQ(outputOf(0), "/tmp/p/Untitled.tiff");
    EXPECT_EQ(outputOf(1), "/tmp/p/Untitled.tiff");
    EXPECT_EQ(outputOf(2), "/tmp/q/Untitled.tiff");
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
