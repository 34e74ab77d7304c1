// Drops onto the Drop Screen: queue, rows, hint labels, duplicate sweep, refusals.
#include "droptest.h"

#include "panels/controlwin.h"
#include "platform/eventgate.h"

#include <QMimeData>
#include <QTimer>

namespace fs = std::filesystem;
namespace ui = vorpel::ui;
using droptest::DropScreenTest;

namespace {

const std::string kDuplicate = "looks like you added Duplicate files. Please remove from List.";

using Strings = std::vector<std::string>;

class Drop : public DropScreenTest {};

TEST_F(Drop, ThreeFilesOntoAnEmptyList) {
    const fs::path c = file("c.txt"), a = file("sub/a b.txt"), b = file("b.TXT");
    EXPECT_TRUE(emptyHintShown());
    ASSERT_TRUE(drop({c, a, b}));
    // Drag order, not sorted: the sort comes at the next drop.
    EXPECT_EQ(names(), (Strings{"c.txt", "a b.txt", "b.TXT"}));
    EXPECT_EQ(locations(), (Strings{c.string(), a.string(), b.string()}));
    EXPECT_EQ(queue(), locations());
    EXPECT_EQ(screen().lastIndex(), 2);
    EXPECT_FALSE(emptyHintShown());
    EXPECT_FALSE(screen().StaticText44->isHidden());
    EXPECT_TRUE(screen().StaticText31->isHidden());
    EXPECT_TRUE(messages.empty());

    vorpel::controlwin* panel = ui::WinIfOpen<vorpel::controlwin>();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->Visible());

    ASSERT_EQ(effects.calls.size(), 1u);
    const auto& poof = effects.calls[0];
    EXPECT_EQ(poof.effect, 10);
    EXPECT_EQ(poof.x, float(screen().Left() + 220));
    EXPECT_EQ(poof.y, float(effects.screenHeight - (screen().Top() + 220)));
    EXPECT_EQ(poof.width, 200.f);
    EXPECT_EQ(poof.height, 200.f);
}

TEST_F(Drop, DropOverTheListIsTakenToo) {
    const fs::path a = file("a.txt");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(a.string()))});
    ui::ListBox* list = screen().ListBox1;
    ASSERT_TRUE(droptest::dropData(screen(), &data, list->mapTo(&screen(), list->rect().center())));
    EXPECT_EQ(queue(), (Strings{a.string()}));
}

TEST_F(Drop, FolderIsOneItem) {
    file("Photos 2026/one.jpg");
    file("Photos 2026/two.jpg");
    const fs::path folder = dir / "Photos 2026";
    ASSERT_TRUE(drop({folder}));
    EXPECT_EQ(names(), (Strings{"Photos 2026"}));
    EXPECT_EQ(locations(), (Strings{folder.string()}));
    EXPECT_EQ(queue(), (Strings{folder.string()}));
    ASSERT_EQ(screen().QuennFileArray.size(), 1u);
    EXPECT_TRUE(screen().QuennFileArray[0].Directory());
}

TEST_F(Drop, EqualNamesInOneDropAreSweptAtTheNextDrop) {
    const fs::path first = file("A/same.txt"), second = file("B/SAME.txt"), next = file("c.txt");
    ASSERT_TRUE(drop({first, second}));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(names().size(), 2u);

    ASSERT_TRUE(drop({next}));
    ASSERT_EQ(messages, (Strings{kDuplicate}));
    // The message comes after the row went and before the new items are listed.
    EXPECT_EQ(rowsAtMessage, (std::vector<int>{1}));
    EXPECT_EQ(names(), (Strings{"same.txt", "c.txt"}));
    EXPECT_EQ(locations(), (Strings{first.string(), next.string()}));
    // The warned-about item is off the queue as well; the rest keep drop order.
    EXPECT_EQ(queue(), (Strings{first.string(), next.string()}));
}

TEST_F(Drop, DuplicatesAcrossTwoDropsIgnoreLetterCase) {
    const fs::path one = file("x/Report.DOC"), two = file("y/report.doc"), three = file("z/zz.txt");
    ASSERT_TRUE(drop({one}));
    ASSERT_TRUE(drop({two}));
    EXPECT_TRUE(messages.empty());  // compared only at the following drop
    ASSERT_TRUE(drop({three}));
    EXPECT_EQ(messages, (Strings{kDuplicate}));
    EXPECT_EQ(names(), (Strings{"Report.DOC", "zz.txt"}));
    EXPECT_EQ(queue(), (Strings{one.string(), three.string()}));
}

TEST_F(Drop, ThreeEqualNamesGiveTwoMessagesAndOneRow) {
    const fs::path a = file("1/n.txt"), b = file("2/N.txt"), c = file("3/n.TXT");
    const fs::path m = file("m.txt"), z = file("z.txt");
    ASSERT_TRUE(drop({z, a}));
    ASSERT_TRUE(drop({b, m, c}));
    EXPECT_TRUE(messages.empty());
    ASSERT_TRUE(drop({file("last.txt")}));
    EXPECT_EQ(messages, (Strings{kDuplicate, kDuplicate}));
    // Sorted: m, n (a), N (b), n (c), z; the first of the run stays.
    EXPECT_EQ(names(), (Strings{"m.txt", "n.txt", "z.txt", "last.txt"}));
    EXPECT_EQ(queue(), (Strings{z.string(), a.string(), m.string(), (dir / "last.txt").string()}));
}

TEST_F(Drop, SameItemDroppedTwiceStaysQueuedOnce) {
    const fs::path a = file("a.txt");
    ASSERT_TRUE(drop({a}));
    ASSERT_TRUE(drop({a}));
    ASSERT_TRUE(drop({file("b.txt")}));
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(queue(), (Strings{a.string(), (dir / "b.txt").string()}));
    EXPECT_EQ(names(), (Strings{"a.txt", "b.txt"}));
}

TEST_F(Drop, NonLocalOrMissingItemsAreRefused) {
    const fs::path a = file("a.txt");
    EXPECT_FALSE(droptest::dropUrls(screen(), {QUrl("https://example.com/a.txt")}));
    EXPECT_FALSE(droptest::dropUrls(screen(), {QUrl::fromLocalFile(QString::fromStdString(a.string())),
                                               QUrl("ftp://example.com/b.txt")}));
    EXPECT_FALSE(drop({dir / "missing.txt"}));
    // A file on another machine, even though the same path exists here.
    EXPECT_FALSE(droptest::dropUrls(screen(), {QUrl("file://otherhost" + QString::fromStdString(a.string()))}));
    QMimeData text;
    text.setText(QString::fromStdString(a.string()));
    EXPECT_FALSE(droptest::dropData(screen(), &text, QPoint(100, 80)));
    EXPECT_TRUE(queue().empty());
    EXPECT_TRUE(names().empty());
    EXPECT_TRUE(emptyHintShown());
    EXPECT_TRUE(effects.calls.empty());
    EXPECT_EQ(ui::WinIfOpen<vorpel::controlwin>(), nullptr);
}

// A drop while a command runs would change the queue under it: it is taken, held, and
// listed once the command is over, as if dropped then.
TEST_F(Drop, DropDuringACommandIsHeldAndListedAfterIt) {
    const fs::path a = file("a.txt"), b = file("b.txt");
    ASSERT_TRUE(drop({a}));
    bool taken = false;
    Strings queuedDuring;
    answer = [&](const std::string&) {
        taken = drop({b});
        queuedDuring = queue();
        return vorpel::ShellOutcome{};
    };
    vorpel::Shell sh;
    sh.Execute("du -h x");
    EXPECT_TRUE(taken);
    EXPECT_EQ(queuedDuring, (Strings{a.string()}));
    ASSERT_TRUE(droptest::pumpUntil([&] { return queue().size() == 2; }));
    EXPECT_EQ(queue(), (Strings{a.string(), b.string()}));
    EXPECT_EQ(names(), (Strings{"a.txt", "b.txt"}));
    EXPECT_EQ(effects.calls.size(), 2u);
}

TEST_F(Drop, DropDuringABackgroundTurnIsHeldAndListedAfterIt) {
    const fs::path a = file("a.txt");
    bool ran = false, taken = false;
    QTimer::singleShot(0, &screen(), [&] {
        ran = true;
        taken = drop({a});
    });
    ui::resetTurnClock();
    ui::DoEvents();
    ASSERT_TRUE(ran);
    EXPECT_TRUE(taken);
    EXPECT_TRUE(queue().empty());
    ASSERT_TRUE(droptest::pumpUntil([&] { return !queue().empty(); }));
    EXPECT_EQ(queue(), (Strings{a.string()}));
}

// Several drops during one command are handled one by one, in the order they were made, each
// as a drop of its own (the same file twice is swept as ever, at the drop after).
TEST_F(Drop, HeldDropsKeepTheirOrderAndAVanishedItemIsLeftOut) {
    const fs::path a = file("a.txt"), b = file("b.txt"), gone = file("gone.txt"), c = file("c.txt");
    answer = [&](const std::string&) {
        EXPECT_TRUE(drop({b, gone}));
        EXPECT_TRUE(drop({a}));
        EXPECT_TRUE(drop({a}));
        fs::remove(gone);
        return vorpel::ShellOutcome{};
    };
    vorpel::Shell sh;
    sh.Execute("du -h x");
    answer = nullptr;
    // A drop made before the held ones are handed over waits its turn behind them.
    EXPECT_TRUE(drop({c}));
    ui::deliverHeldDrops();
    // The second "a.txt" went in with the third drop and was swept at the fourth.
    EXPECT_EQ(queue(), (Strings{b.string(), a.string(), c.string()}));
    EXPECT_EQ(messages, Strings{kDuplicate});
    EXPECT_EQ(effects.calls.size(), 4u);
}

// A drop of something that cannot be listed is still refused at once, busy or not.
TEST_F(Drop, UnacceptableDropDuringACommandIsStillRefused) {
    bool taken = true;
    answer = [&](const std::string&) {
        taken = drop({dir / "missing.txt"});
        return vorpel::ShellOutcome{};
    };
    vorpel::Shell sh;
    sh.Execute("du -h x");
    EXPECT_FALSE(taken);
    ui::deliverHeldDrops();
    EXPECT_TRUE(queue().empty());
}

} // namespace

namespace {

// As a file manager sends them: percent-encoded bytes, CRLF between lines.
QMimeData* uriList(const std::vector<fs::path>& paths) {
    QByteArray list;
    for (const fs::path& p : paths)
        list += "file://" + QByteArray::fromStdString(p.string()).toPercentEncoding("/") + "\r\n";
    auto* data = new QMimeData;
    data->setData("text/uri-list", list);
    return data;
}

TEST_F(Drop, NamesThatAreNotUtf8AreTakenAndSweptByTheirOwnPath) {
    const fs::path latin = file("caf\xe9.txt"), plain = file("plain.txt"), again = file("x/CAF\xe9.txt");
    std::unique_ptr<QMimeData> first(uriList({latin, plain}));
    ASSERT_TRUE(droptest::dropData(screen(), first.get(), QPoint(200, 80)));
    EXPECT_EQ(queue(), (Strings{latin.string(), plain.string()}));
    EXPECT_EQ(screen().QuennFileArray[0].Name(), "caf\xe9.txt");
    std::unique_ptr<QMimeData> second(uriList({again}));
    ASSERT_TRUE(droptest::dropData(screen(), second.get(), QPoint(200, 80)));
    std::unique_ptr<QMimeData> third(uriList({file("z.txt")}));
    ASSERT_TRUE(droptest::dropData(screen(), third.get(), QPoint(200, 80)));
    // The two "caf?" rows count as equal; the swept one leaves the queue too.
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(queue(), (Strings{latin.string(), plain.string(), (dir / "z.txt").string()}));
}

TEST_F(Drop, FolderUrlWithTrailingSlashNamesTheFolder) {
    file("Photos 2026/one.jpg");
    const fs::path folder = dir / "Photos 2026";
    QMimeData data;
    data.setData("text/uri-list",
                 "file://" + QByteArray::fromStdString(folder.string()).toPercentEncoding("/") + "/\r\n");
    ASSERT_TRUE(droptest::dropData(screen(), &data, QPoint(200, 80)));
    EXPECT_EQ(names(), (Strings{"Photos 2026"}));
    EXPECT_EQ(queue(), (Strings{folder.string()}));
}

} // namespace
