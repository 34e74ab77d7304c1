#include "timer.h"

#include "eventgate.h"

namespace vorpel::ui {

Timer::Timer(QObject* owner, const char* name, int periodMs, int mode)
    : QObject(owner), period_(periodMs) {
    setObjectName(name);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &Timer::onTimeout);
    setMode(mode);
}

void Timer::setPeriod(int ms) {
    period_ = ms;
    if (mode_ != 0) timer_.start(period_);
}

void Timer::setMode(int mode) {
    mode_ = mode;
    if (mode_ == 0) timer_.stop();
    else timer_.start(period_);
}

void Timer::onTimeout() {
    if (busy()) {
        // Held back: look again soon, the handler on the stack may have returned by then.
        timer_.start(1);
        return;
    }
    if (mode_ == 1) {
        mode_ = 0;
        timer_.stop();
    } else if (mode_ == 2 && timer_.interval() != period_) {
        timer_.start(period_);
    } else if (mode_ == 0) {
        timer_.stop();
        return;
    }
    if (Action) Action();
}

} // namespace vorpel::ui
