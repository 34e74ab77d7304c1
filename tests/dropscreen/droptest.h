#pragma once

#include "dropscreen/qconvert.h"
#include "platform/effects.h"
#include "platform/shell.h"
#include "testsupport.h"

#include <QList>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

class QMimeData;
class QWidget;

namespace droptest {

// Records effects instead of drawing them, on a main screen of a known height.
class EffectRecorder : public vorpel::ui::EffectBackend {
public:
    struct Call {
        int effect;
        float x, y, width, height;
    };
    std::vector<Call> calls;
    int screenHeight = 900;

    void applicationLoad() override {}
    void* newPool() override { return &pool_; }
    void releasePool(void*) override {}
    void showAnimationEffect(int effect, float x, float y, float w, float h) override {
        calls.push_back({effect, x, y, w, h});
    }
    std::optional<int> mainScreenHeight() override { return screenHeight; }

private:
    int pool_ = 0;
};

// Delivers a drag of this data to the window the way the platform does: enter, move, then drop
// at a point (window coordinates) through the window's native handle. True when the drop was
// taken.
bool dropData(QWidget& window, const QMimeData* data, QPoint at);
bool dropUrls(QWidget& window, const QList<QUrl>& urls);
bool dropPaths(QWidget& window, const std::vector<std::filesystem::path>& paths);

void finishDeletes();
// Runs the event loop until the condition holds; false when it did not within the time.
bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 3000);

// A Drop Screen with its seams replaced: messages, effects and commands are recorded.
class DropScreenTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    vorpel::qconvert& screen();
    // Makes an empty file (and its folders) under the temporary folder.
    std::filesystem::path file(const std::string& relative);
    bool drop(const std::vector<std::filesystem::path>& paths) { return dropPaths(screen(), paths); }

    std::vector<std::string> names() const;      // File Name cells, top to bottom
    std::vector<std::string> locations() const;  // Location cells, top to bottom
    std::vector<std::string> queue() const;      // QuennFileArray's absolute paths
    bool emptyHintShown() const;                 // "Drag and Drop Items Here..." alone

    vorpeltest::TempDir dir;
    std::vector<std::string> messages;
    std::vector<int> rowsAtMessage;  // list length when each message came up
    std::vector<std::string> commands;
    std::function<vorpel::ShellOutcome(const std::string&)> answer;
    EffectRecorder effects;
};

} // namespace droptest
