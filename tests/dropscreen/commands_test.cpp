// The Drop Screen's eight commands, with the command runner recording what would run.
#include "droptest.h"

#include "engine/failures.h"
#include "feedback/progressdes.h"
#include "info/infowin.h"
#include "panels/audiocontrol.h"
#include "panels/controlwin.h"
#include "panels/imagecontrol.h"

namespace fs = std::filesystem;
namespace ui = vorpel::ui;
using droptest::DropScreenTest;
using vorpel::FolderItem;

namespace {

using Strings = std::vector<std::string>;

class Commands : public DropScreenTest {
protected:
    // Five rows whose list order differs from the drop order.
    void dropFive() {
        ASSERT_TRUE(drop({d = file("d.txt"), b = file("b.txt")}));
        ASSERT_TRUE(drop({e = file("e.txt"), a = file("a.txt"), c = file("c.txt")}));
        ASSERT_EQ(names(), (Strings{"b.txt", "d.txt", "e.txt", "a.txt", "c.txt"}));
        ASSERT_EQ(queue(), (Strings{d.string(), b.string(), e.string(), a.string(), c.string()}));
    }
    fs::path a, b, c, d, e;
};

TEST_F(Commands, RemoveSelectedTakesRowsOneAndThreeOfFive) {
    dropFive();
    screen().ListBox1->setSelected(1, true);
    screen().ListBox1->setSelected(3, true);
    screen().BevelButton17->click();
    EXPECT_EQ(names(), (Strings{"b.txt", "e.txt", "c.txt"}));
    // Their items leave the queue; the rest keep drop order.
    EXPECT_EQ(queue(), (Strings{b.string(), e.string(), c.string()}));
    EXPECT_EQ(screen().ListBox1->SelCount(), 0);
    EXPECT_TRUE(emptyHintShown());
    EXPECT_TRUE(commands.empty());
}

TEST_F(Commands, RemoveSelectedTakesAdjacentAndLastRows) {
    dropFive();
    for (int row : {2, 3, 4}) screen().ListBox1->setSelected(row, true);
    screen().BevelButton17->click();
    EXPECT_EQ(names(), (Strings{"b.txt", "d.txt"}));
    EXPECT_EQ(queue(), (Strings{d.string(), b.string()}));
}

TEST_F(Commands, SelectionFollowsItsRowsThroughTheSortOfTheNextDrop) {
    const fs::path c1 = file("c.txt"), a1 = file("a.txt"), b1 = file("b.txt");
    ASSERT_TRUE(drop({c1, a1, b1}));
    screen().ListBox1->setSelected(0, true);  // c.txt
    ASSERT_TRUE(drop({file("d.txt")}));       // sorts: a, b, c, then d
    ASSERT_EQ(names(), (Strings{"a.txt", "b.txt", "c.txt", "d.txt"}));
    EXPECT_TRUE(screen().ListBox1->Selected(2));
    EXPECT_EQ(screen().ListBox1->SelCount(), 1);
    screen().BevelButton17->click();
    EXPECT_EQ(names(), (Strings{"a.txt", "b.txt", "d.txt"}));
    EXPECT_EQ(queue(), (Strings{a1.string(), b1.string(), (dir / "d.txt").string()}));
}

TEST_F(Commands, RemoveSelectedWithoutSelectionDoesNothing) {
    dropFive();
    screen().BevelButton17->click();
    EXPECT_EQ(names().size(), 5u);
    EXPECT_EQ(queue().size(), 5u);
    EXPECT_FALSE(emptyHintShown());
}

TEST_F(Commands, RemoveAllEmptiesListAndQueue) {
    dropFive();
    screen().BevelButton18->click();
    EXPECT_TRUE(names().empty());
    EXPECT_TRUE(queue().empty());
    EXPECT_TRUE(emptyHintShown());
    // A later drop starts afresh: nothing removed comes back.
    ASSERT_TRUE(drop({a}));
    EXPECT_EQ(queue(), (Strings{a.string()}));
    EXPECT_TRUE(messages.empty());
}

TEST_F(Commands, RemoveAllOnAnEmptyListOnlySwitchesTheHints) {
    screen().StaticText44->setVisible(true);
    screen().StaticText31->setVisible(false);
    screen().BevelButton18->click();
    EXPECT_TRUE(emptyHintShown());
    EXPECT_TRUE(names().empty());
}

struct FlagCommand {
    const char* label;
    ui::BevelButton* vorpel::qconvert::*button;
    const char* prefix;
};

const FlagCommand kFlagCommands[] = {
    {"Lock", &vorpel::qconvert::BevelButton10, "chflags -R uchg "},
    {"Unlock", &vorpel::qconvert::BevelButton11, "chflags -R nouchg "},
};

TEST_F(Commands, LockAndUnlockRunOnEveryItemInDropOrderThenEmpty) {
    for (const FlagCommand& fc : kFlagCommands) {
        SCOPED_TRACE(fc.label);
        commands.clear();
        const fs::path z = file("z.txt"), y = file("it's y.txt"), folder = dir / "Folder $x";
        file("Folder $x/inside.txt");
        ASSERT_TRUE(drop({z, y}));
        ASSERT_TRUE(drop({folder}));
        ASSERT_EQ(names(), (Strings{"it's y.txt", "z.txt", "Folder $x"}));
        (screen().*fc.button)->click();
        const std::string p = fc.prefix;
        EXPECT_EQ(commands, (Strings{p + FolderItem(z).ShellPath(), p + FolderItem(y).ShellPath(),
                                     p + FolderItem(folder).ShellPath()}));
        EXPECT_TRUE(queue().empty());
        EXPECT_TRUE(names().empty());
        EXPECT_TRUE(vorpel::Failures::empty());
        EXPECT_NE(ui::WinIfOpen<vorpel::progressdes>(), nullptr);
        EXPECT_EQ(ui::WinIfOpen<vorpel::infowin>(), nullptr);
    }
}

TEST_F(Commands, EmptyQueueRunsNothingAndOpensNoWindow) {
    screen().BevelButton10->click();
    screen().BevelButton11->click();
    screen().BevelButton12->click();
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(ui::WinIfOpen<vorpel::infowin>(), nullptr);
    EXPECT_EQ(ui::WinIfOpen<vorpel::progressdes>(), nullptr);
    EXPECT_TRUE(queue().empty());
}

TEST_F(Commands, LastFileDetailsShowsOnlyTheLastResultAndKeepsTheRows) {
    // du's own shape: a folder lists its subfolders, then itself.
    answer = [](const std::string& command) {
        const std::string path = command.substr(6);
        return vorpel::ShellOutcome{0, "8.0K\t" + path + "/sub\n12K\t" + path + "\n"};
    };
    const fs::path first = file("first.txt"), second = file("second one.txt");
    ASSERT_TRUE(drop({second, first}));
    screen().BevelButton12->click();
    EXPECT_EQ(commands, (Strings{"du -h " + FolderItem(second).ShellPath(),
                                 "du -h " + FolderItem(first).ShellPath()}));
    vorpel::infowin* details = ui::WinIfOpen<vorpel::infowin>();
    ASSERT_NE(details, nullptr);
    EXPECT_TRUE(details->Visible());
    const std::string last = FolderItem(first).ShellPath();
    EXPECT_EQ(details->StaticText1->Text(), "8.0K\t" + last + "/sub\n12K\t" + last + "\n");
    EXPECT_EQ(names(), (Strings{"second one.txt", "first.txt"}));
    EXPECT_EQ(queue(), (Strings{second.string(), first.string()}));
    EXPECT_TRUE(emptyHintShown());
    EXPECT_EQ(ui::WinIfOpen<vorpel::progressdes>(), nullptr);

    // Closed, then asked again: a fresh window, its placeholder replaced.
    details->PushButton1->click();
    droptest::finishDeletes();
    EXPECT_EQ(ui::WinIfOpen<vorpel::infowin>(), nullptr);
    answer = [](const std::string&) { return vorpel::ShellOutcome{1, ""}; };
    screen().BevelButton12->click();
    ASSERT_NE(ui::WinIfOpen<vorpel::infowin>(), nullptr);
    EXPECT_EQ(ui::WinIfOpen<vorpel::infowin>()->StaticText1->Text(), "");
    EXPECT_TRUE(vorpel::Failures::empty());
}

// A drop while a panel's batch runs is not converted by it and not emptied with it: it is
// listed for the next batch as soon as the batch has emptied the list.
TEST_F(Commands, DropDuringAPanelBatchIsListedForTheNextOne) {
    const fs::path one = file("one.png"), two = file("two.png"), late = file("late.png");
    ASSERT_TRUE(drop({one, two}));
    bool taken = false;
    answer = [&](const std::string& command) {
        if (command.find("one.png") != std::string::npos) taken = drop({late});
        return vorpel::ShellOutcome{};
    };
    vorpel::imagecontrol& panel = ui::Win<vorpel::imagecontrol>();
    panel.Show();
    panel.BevelButton1->click();  // listed at once, without waiting for any timer
    EXPECT_TRUE(taken);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[1].find(FolderItem(late).ShellPath()), std::string::npos);
    EXPECT_EQ(queue(), (Strings{late.string()}));
    EXPECT_EQ(names(), (Strings{"late.png"}));
    EXPECT_FALSE(emptyHintShown());
    // The progress window closing afterwards leaves the list's "Drop More..." alone.
    ASSERT_TRUE(droptest::pumpUntil([] { return ui::WinIfOpen<vorpel::progressdes>() == nullptr; }));
    EXPECT_FALSE(screen().StaticText44->isHidden());
    EXPECT_TRUE(screen().StaticText31->isHidden());
    // The next batch converts it.
    answer = nullptr;
    panel.BevelButton1->click();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_NE(commands[2].find(FolderItem(late).ShellPath()), std::string::npos);
    EXPECT_TRUE(queue().empty());
}

// Last File Details keeps its list: a drop made during it is added to that list afterwards.
TEST_F(Commands, DropDuringLastFileDetailsJoinsTheListAfterIt) {
    const fs::path first = file("first.txt"), late = file("late.txt");
    ASSERT_TRUE(drop({first}));
    bool taken = false;
    answer = [&](const std::string&) {
        taken = drop({late});
        return vorpel::ShellOutcome{0, "4.0K\tx\n"};
    };
    screen().BevelButton12->click();
    EXPECT_TRUE(taken);
    EXPECT_EQ(commands.size(), 1u);
    EXPECT_EQ(queue(), (Strings{first.string(), late.string()}));
    EXPECT_EQ(names(), (Strings{"first.txt", "late.txt"}));
}

// Show, close, then a fresh panel with its initial settings; the button's look just flips.
template <class Panel>
void expectCycle(vorpel::qconvert& screen, ui::BevelButton* button, ui::EditField* Panel::*field) {
    const bool openAtStart = ui::WinIfOpen<Panel>() && ui::WinIfOpen<Panel>()->Visible();
    const bool pressedAtStart = button->isChecked();
    if (!openAtStart) {
        button->click();
        ASSERT_NE(ui::WinIfOpen<Panel>(), nullptr);
        EXPECT_TRUE(ui::WinIfOpen<Panel>()->Visible());
        EXPECT_NE(button->isChecked(), pressedAtStart);
    }
    (ui::WinIfOpen<Panel>()->*field)->setText("changed");
    const bool before = button->isChecked();
    button->click();
    EXPECT_EQ(ui::WinIfOpen<Panel>(), nullptr);
    EXPECT_NE(button->isChecked(), before);
    droptest::finishDeletes();
    button->click();
    Panel* fresh = ui::WinIfOpen<Panel>();
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->Visible());
    EXPECT_EQ((fresh->*field)->text(), "Untitled");
    EXPECT_EQ(button->isChecked(), before);
    (void)screen;
}

TEST_F(Commands, DocumentsButtonClosesThePanelADropShowed) {
    ASSERT_TRUE(drop({file("a.txt")}));
    ASSERT_TRUE(ui::WinIfOpen<vorpel::controlwin>()->Visible());
    EXPECT_FALSE(screen().BevelButton1->isChecked());
    expectCycle<vorpel::controlwin>(screen(), screen().BevelButton1, &vorpel::controlwin::EditField1);
}

TEST_F(Commands, ImagesAndAudioButtonsShowCloseAndRenewTheirPanels) {
    expectCycle<vorpel::imagecontrol>(screen(), screen().BevelButton2, &vorpel::imagecontrol::EditField3);
    expectCycle<vorpel::audiocontrol>(screen(), screen().BevelButton3, &vorpel::audiocontrol::EditField3);
    // Each button drives its own panel only.
    EXPECT_EQ(ui::WinIfOpen<vorpel::controlwin>(), nullptr);
}

} // namespace
