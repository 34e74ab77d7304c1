// The Drop Screen under load: a drop of ten thousand items, a batch over all of them, and a
// drop that arrives while a batch runs.
#include "droptest.h"

#include "engine/commandlines.h"
#include "engine/failures.h"

#include <algorithm>
#include <set>

namespace fs = std::filesystem;
using droptest::DropScreenTest;
using vorpel::FolderItem;

namespace {

using Strings = std::vector<std::string>;

class DropStress : public DropScreenTest {};

TEST_F(DropStress, TenThousandItemsAreListedQueuedAndEachLockedOnce) {
    // Spread over folders, dropped in an order that is not the names' order.
    std::vector<fs::path> paths;
    for (int i = 0; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.txt", (i * 7919) % 10000);
        const fs::path p = dir / ("folder " + std::to_string(i % 10)) / name;
        if (i < 10) fs::create_directories(p.parent_path());
        vorpeltest::writeFile(p, "");
        paths.push_back(p);
    }
    ASSERT_TRUE(drop(paths));
    const Strings queued = queue();
    ASSERT_EQ(queued.size(), 10000u);
    for (size_t i = 0; i < paths.size(); ++i) ASSERT_EQ(queued[i], paths[i].string()) << i;
    EXPECT_EQ(locations(), queued) << "list rows and queue disagree before any sort";
    EXPECT_TRUE(messages.empty());

    // The next drop sorts the list by name; the names are all different, so nothing is removed.
    const fs::path last = file("zz last.txt");
    ASSERT_TRUE(drop({last}));
    const Strings rows = names();
    ASSERT_EQ(rows.size(), 10001u);
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end() - 1));
    EXPECT_EQ(rows.back(), "zz last.txt");
    EXPECT_TRUE(messages.empty());
    const Strings where = locations();
    EXPECT_EQ(std::set<std::string>(where.begin(), where.end()).size(), 10001u);

    screen().BevelButton10->click();  // Lock
    ASSERT_EQ(commands.size(), 10001u);
    for (size_t i = 0; i < paths.size(); ++i)
        ASSERT_EQ(commands[i], std::string(vorpel::commands::kLock) + FolderItem(paths[i]).ShellPath()) << i;
    EXPECT_EQ(commands.back(), std::string(vorpel::commands::kLock) + FolderItem(last).ShellPath());
    EXPECT_TRUE(queue().empty());
    EXPECT_TRUE(names().empty());
    EXPECT_TRUE(vorpel::Failures::empty());
}

TEST_F(DropStress, DropsDuringABatchAreListedAfterItAndTheBatchLosesNothing) {
    const fs::path a = file("a.txt"), b = file("b.txt"), c = file("c.txt");
    ASSERT_TRUE(drop({a, b, c}));
    std::vector<fs::path> late;
    std::vector<bool> accepted;
    answer = [&](const std::string&) {
        late.push_back(file("late " + std::to_string(late.size()) + ".txt"));
        accepted.push_back(drop({late.back()}));
        return vorpel::ShellOutcome{};
    };
    screen().BevelButton11->click();  // Unlock
    EXPECT_EQ(commands.size(), 3u) << "a drop went in under a running batch";
    EXPECT_EQ(accepted, std::vector<bool>(3, true));
    EXPECT_EQ(queue(), (Strings{late[0].string(), late[1].string(), late[2].string()}));
    EXPECT_EQ(names().size(), 3u);
}

} // namespace
