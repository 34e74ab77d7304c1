#pragma once

namespace vorpel::ui {

// The background-task turn: repaints windows but delivers no user input and no ticks of the
// application's timers (they come once the running handler returns). Cheap to call often:
// it does real event work at most every few milliseconds.
void DoEvents();

// True while a turn or a shell command is under way: drops are held and close requests refused.
bool busy();

// Installs the turn as the command runner's idle hook.
void installEventGate();

// For tests and benchmarks: force the next turn to do real work.
void resetTurnClock();

} // namespace vorpel::ui
