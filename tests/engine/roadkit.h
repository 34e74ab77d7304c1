#pragma once

// Recorders and helpers shared by the conversion-road tests: a scripted Shell runner that
// snapshots the windows when a command starts, an effect recorder, a message recorder, and
// an event pump for driving the timers.

#include "dropscreen/qconvert.h"
#include "engine/failures.h"
#include "feedback/doner.h"
#include "feedback/nsvorpel.h"
#include "feedback/progressdes.h"
#include "info/infowin.h"
#include "platform/effects.h"
#include "platform/eventgate.h"
#include "platform/pictures.h"
#include "platform/services.h"
#include "platform/shell.h"
#include "platform/window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <deque>
#include <functional>
#include <memory>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace roadkit {

// Runs the event loop for a while, so that timers fire as in the running program.
inline void pumpFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// Pumps until the condition holds; false when it did not within the time.
inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// Closes every window of the system and lets the deferred deletes happen.
inline void closeAllWindows() {
    for (vorpel::ui::Window* w : vorpel::ui::openWindows()) w->Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// What the windows looked like at the moment a command was handed to the runner.
struct Snapshot {
    bool progressOpen = false;
    bool progressVisible = false;
    int timer2Mode = -1;
    int barMaximum = -1;
    int barValue = -1;
    bool screenOpen = false;
    bool dropMoreVisible = false;   // StaticText44
    bool dragHereVisible = false;   // StaticText31
    bool detailsOpen = false;       // infowin
    bool noticeOpen = false;        // doner
};

inline Snapshot snapshot() {
    Snapshot s;
    if (vorpel::progressdes* p = vorpel::ui::WinIfOpen<vorpel::progressdes>()) {
        s.progressOpen = true;
        s.progressVisible = p->Visible();
        s.timer2Mode = p->Timer2->Mode();
        s.barMaximum = p->ProgressBar1->Maximum();
        s.barValue = p->ProgressBar1->Value();
    }
    if (vorpel::qconvert* q = vorpel::ui::WinIfOpen<vorpel::qconvert>()) {
        s.screenOpen = true;
        s.dropMoreVisible = q->StaticText44->isVisibleTo(q);
        s.dragHereVisible = q->StaticText31->isVisibleTo(q);
    }
    s.detailsOpen = vorpel::ui::WinIfOpen<vorpel::infowin>() != nullptr;
    s.noticeOpen = vorpel::ui::WinIfOpen<vorpel::doner>() != nullptr;
    return s;
}

struct Call {
    std::string command;
    Snapshot seen;
};

// The Shell seam: records every command and answers from a script (default: status 0).
class RecordingRunner {
public:
    RecordingRunner() {
        vorpel::Shell::setRunner([this](const std::string& cmd) { return run(cmd); });
    }
    ~RecordingRunner() { vorpel::Shell::setRunner({}); }
    RecordingRunner(const RecordingRunner&) = delete;
    RecordingRunner& operator=(const RecordingRunner&) = delete;

    // Outcomes for the next commands, in order; later commands get {0, ""}.
    void script(std::vector<vorpel::ShellOutcome> outcomes) {
        scripted_.assign(outcomes.begin(), outcomes.end());
    }
    // Runs while each command "executes" (after the snapshot).
    std::function<void(const std::string&)> during;

    std::vector<Call> calls;
    std::vector<std::string> commands() const {
        std::vector<std::string> v;
        for (const Call& c : calls) v.push_back(c.command);
        return v;
    }

private:
    vorpel::ShellOutcome run(const std::string& cmd) {
        calls.push_back({cmd, snapshot()});
        if (during) during(cmd);
        if (scripted_.empty()) return {0, ""};
        vorpel::ShellOutcome o = scripted_.front();
        scripted_.pop_front();
        return o;
    }
    std::deque<vorpel::ShellOutcome> scripted_;
};

// Stands in for the desktop's animation service and writes down what it was asked.
class EffectRecorder : public vorpel::ui::EffectBackend {
public:
    struct Effect {
        int code;
        float x, y, width, height;
    };
    EffectRecorder() { vorpel::ui::setEffectBackend(this); }
    ~EffectRecorder() override { vorpel::ui::setEffectBackend(nullptr); }

    void applicationLoad() override { log.push_back("load"); ++loads; }
    void* newPool() override {
        pools.push_back(std::make_unique<int>(int(pools.size()) + 1));
        log.push_back("new" + std::to_string(pools.size()));
        return pools.back().get();
    }
    void releasePool(void* pool) override {
        for (size_t i = 0; i < pools.size(); ++i)
            if (pools[i].get() == pool) log.push_back("release" + std::to_string(i + 1));
    }
    void showAnimationEffect(int effect, float x, float y, float w, float h) override {
        effects.push_back({effect, x, y, w, h});
        log.push_back("effect");
    }
    std::optional<int> mainScreenHeight() override { return screenHeight; }

    std::optional<int> screenHeight = 900;
    int loads = 0;
    std::vector<std::unique_ptr<int>> pools;
    std::vector<Effect> effects;
    std::vector<std::string> log;
};

// Replaces the modal message box so no test can block on it.
class MessageRecorder {
public:
    MessageRecorder() {
        vorpel::ui::setMessageBoxHandler([this](const std::string& t) { messages.push_back(t); });
    }
    ~MessageRecorder() { vorpel::ui::setMessageBoxHandler({}); }
    std::vector<std::string> messages;
};

// A clean slate for every test: no windows, no failures, recorders installed.
class RoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        closeAllWindows();
        vorpel::Failures::clear();
        NSVorpel::resetForTesting();
        vorpel::ui::resetTurnClock();
    }
    void TearDown() override {
        closeAllWindows();
        vorpel::Failures::clear();
        // The picture cache lives until shut-down, which a test process never reaches.
        vorpel::ui::releasePictures();
    }

    // Puts items on the Drop Screen's queue and list as a drop would, without the drop.
    static void queue(const std::vector<std::string>& paths) {
        vorpel::qconvert& screen = vorpel::ui::Win<vorpel::qconvert>();
        for (const std::string& p : paths) {
            vorpel::FolderItem item{std::filesystem::path(p)};
            screen.QuennFileArray.push_back(item);
            screen.ListBox1->AddRow(item.Name());
            screen.ListBox1->setCell(screen.ListBox1->LastIndex(), 1, item.AbsolutePath());
        }
        // The state a drop leaves: "Drop More..." shown, the empty-list hint hidden.
        screen.StaticText44->setVisible(true);
        screen.StaticText31->setVisible(false);
    }

    MessageRecorder messages;
    EffectRecorder effects;
    RecordingRunner runner;
};

} // namespace roadkit
