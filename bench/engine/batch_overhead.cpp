// A batch of 1,000 items with a tool that does nothing, against the sum of its command run
// times: everything the batch adds around the commands (progress window, labels, turns,
// queue). Target: the batch takes at most 1.5 times the sum.
#include "benchgui.h"
#include "dropscreen/qconvert.h"
#include "engine/batch.h"
#include "engine/failures.h"
#include "engine/vorpel.h"
#include "platform/eventgate.h"
#include "platform/services.h"
#include "platform/shell.h"
#include "platform/window.h"

#include <QApplication>
#include <QtGlobal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {
constexpr int kItems = 1000;
constexpr double kTarget = 1.5;
}

int main(int argc, char** argv) {
    vorpelbench::quietOffscreen();
    QApplication app(argc, argv);
    vorpel::ui::installEventGate();
    vorpel::ui::setMessageBoxHandler([](const std::string&) {});

    // A do-nothing tool under the name the routine calls, first in PATH.
    std::string tmpl = (std::filesystem::temp_directory_path() / "vorpelbench-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return 2;
    const std::filesystem::path tools = tmpl;
    std::filesystem::create_symlink("/bin/true", tools / "textutil");
    vorpel::Shell::setToolDir(tools.string());

    // Time each command as the real runner runs it.
    double commandSeconds = 0;
    int commands = 0;
    vorpel::Shell::setRunner([&](const std::string& cmd) {
        const auto start = std::chrono::steady_clock::now();
        vorpel::ShellOutcome out = vorpel::Shell::runDirect(cmd);
        commandSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++commands;
        return out;
    });

    vorpel::qconvert& screen = vorpel::ui::Win<vorpel::qconvert>();
    for (int i = 0; i < kItems; ++i) {
        const vorpel::FolderItem item(tools / ("item " + std::to_string(i) + ".rtf"));
        screen.QuennFileArray.push_back(item);
        screen.ListBox1->AddRow(item.Name());
        screen.ListBox1->setCell(screen.ListBox1->LastIndex(), 1, item.AbsolutePath());
    }

    const auto start = std::chrono::steady_clock::now();
    vorpel::runBatch(vorpel::rtf);
    const double batchSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    vorpel::Shell::setRunner({});
    std::filesystem::remove_all(tools);
    const bool allRan = commands == kItems && vorpel::Failures::empty();
    const double ratio = batchSeconds / commandSeconds;
    std::printf("batch overhead: %d items, tool does nothing\n", kItems);
    std::printf("  sum of command run times: %8.1f ms  (%.3f ms/item)\n", commandSeconds * 1e3,
                commandSeconds * 1e3 / kItems);
    std::printf("  whole batch             : %8.1f ms  (%.3f ms/item)\n", batchSeconds * 1e3,
                batchSeconds * 1e3 / kItems);
    std::printf("  commands run %d, failures %zu\n", commands, vorpel::Failures::list().size());
    std::printf("  ratio %.2f (target <= %.1f): %s\n", ratio, kTarget,
                allRan && ratio <= kTarget ? "ok" : "OVER");
    return allRan && ratio <= kTarget ? 0 : 1;
}
