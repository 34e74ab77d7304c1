#include "eventgate.h"

#include "shell.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace vorpel::ui {
namespace {
int depth = 0;
QElapsedTimer lastTurn;
constexpr qint64 kTurnIntervalMs = 4;
} // namespace

void DoEvents() {
    if (lastTurn.isValid() && lastTurn.elapsed() < kTurnIntervalMs) return;
    ++depth;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    --depth;
    lastTurn.restart();
}

bool busy() { return depth > 0 || Shell::running(); }

void installEventGate() { Shell::setIdleHook([] { DoEvents(); }); }

void resetTurnClock() { lastTurn.invalidate(); }

} // namespace vorpel::ui
