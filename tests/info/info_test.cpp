// The About and file-details windows, and the size query that fills the latter.
#include "../engine/roadkit.h"

#include "engine/vorpel.h"
#include "info/AboutWin.h"
#include "info/infowin.h"

namespace {

using roadkit::RoadTest;
using vorpel::AboutWin;
using vorpel::FolderItem;
using vorpel::infowin;
using vorpel::ui::Win;
using vorpel::ui::WinIfOpen;

class About : public RoadTest {};

TEST_F(About, ShowsItsFixedContentAndCloseGivesAFreshOneNextTime) {
    AboutWin& a = Win<AboutWin>();
    EXPECT_TRUE(a.Visible());
    EXPECT_EQ(a.StaticText1->Text(), "VorpelConverter 3.5.4");
    EXPECT_EQ(a.StaticText6->Text(), "Certified Vorpel Product");
    EXPECT_EQ(a.PushButton1->text(), "Close");
    EXPECT_TRUE(a.PushButton1->isDefault());
    a.Show();
    EXPECT_EQ(WinIfOpen<AboutWin>(), &a) << "shown again, not duplicated";
    a.PushButton1->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(WinIfOpen<AboutWin>(), nullptr);
    AboutWin& again = Win<AboutWin>();
    EXPECT_TRUE(again.Visible());
    EXPECT_EQ(again.StaticText1->Text(), "VorpelConverter 3.5.4");
}

class Details : public RoadTest {};

TEST_F(Details, StartsVisibleWithThePlaceholderAndCloseDiscardsIt) {
    infowin& w = Win<infowin>();
    EXPECT_TRUE(w.Visible());
    EXPECT_EQ(w.StaticText1->Text(), "\rLabel:");
    EXPECT_FALSE(w.PushButton1->isDefault());
    w.PushButton1->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(WinIfOpen<infowin>(), nullptr);
}

// du runs first, then the window is shown and its text replaced, with no progress window.
TEST_F(Details, SizeShowsTheResultVerbatimWithoutProgressOrFailure) {
    queue({"/tmp/d/My Folder"});
    const std::string folderResult = "4.0K\t/tmp/d/My Folder/sub\n12K\t/tmp/d/My Folder\n";
    runner.script({{0, folderResult}});
    EXPECT_TRUE(vorpel::size(FolderItem("/tmp/d/My Folder"), true));
    EXPECT_EQ(runner.commands(), std::vector<std::string>{"du -h /tmp/d/My\\ Folder"});
    EXPECT_FALSE(runner.calls[0].seen.detailsOpen);
    EXPECT_FALSE(runner.calls[0].seen.progressOpen);
    ASSERT_NE(WinIfOpen<infowin>(), nullptr);
    EXPECT_TRUE(WinIfOpen<infowin>()->Visible());
    EXPECT_EQ(WinIfOpen<infowin>()->StaticText1->Text(), folderResult);
    EXPECT_EQ(WinIfOpen<vorpel::progressdes>(), nullptr);
    vorpel::qconvert& screen = Win<vorpel::qconvert>();
    EXPECT_FALSE(screen.StaticText44->isVisibleTo(&screen));
    EXPECT_TRUE(screen.StaticText31->isVisibleTo(&screen));
}

TEST_F(Details, FailedSizeStillShowsWhateverWasPrintedAndRecordsNothing) {
    runner.script({{1, "du: cannot access '/x': No such file or directory\n"}, {1, ""}});
    EXPECT_FALSE(vorpel::size(FolderItem("/x"), true));
    EXPECT_EQ(Win<infowin>().StaticText1->Text(),
              "du: cannot access '/x': No such file or directory\n");
    EXPECT_FALSE(vorpel::size(FolderItem("/y"), true));
    EXPECT_EQ(Win<infowin>().StaticText1->Text(), "");
    EXPECT_TRUE(vorpel::Failures::empty());
}

TEST_F(Details, EachCallReplacesTheTextSoTheLastItemRemains) {
    runner.script({{0, "1.0K\t/a\n"}, {0, "2.0K\t/b\n"}});
    vorpel::size(FolderItem("/a"), true);
    infowin* first = WinIfOpen<infowin>();
    vorpel::size(FolderItem("/b"), true);
    EXPECT_EQ(WinIfOpen<infowin>(), first);
    EXPECT_EQ(first->StaticText1->Text(), "2.0K\t/b\n");
}

TEST_F(Details, AfterClosingTheNextSizeCreatesItAgainAndReplacesThePlaceholder) {
    runner.script({{0, "1.0K\t/a\n"}, {0, "3.0K\t/c\n"}});
    vorpel::size(FolderItem("/a"), true);
    Win<infowin>().PushButton1->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(WinIfOpen<infowin>(), nullptr);
    vorpel::size(FolderItem("/c"), true);
    ASSERT_NE(WinIfOpen<infowin>(), nullptr);
    EXPECT_EQ(WinIfOpen<infowin>()->StaticText1->Text(), "3.0K\t/c\n");
}

} // namespace
