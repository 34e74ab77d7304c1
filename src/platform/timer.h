#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace vorpel::ui {

// A timer with a period and a mode: 0 off, 1 fires once, 2 repeating. Its Action comes from
// the event loop only; a tick that falls due during a background-task turn or a command is
// delivered after the running handler has returned.
class Timer : public QObject {
    Q_OBJECT
public:
    explicit Timer(QObject* owner, const char* name, int periodMs, int mode);

    int Period() const { return period_; }
    void setPeriod(int ms);
    int Mode() const { return mode_; }
    void setMode(int mode);

    std::function<void()> Action;

private:
    void onTimeout();

    QTimer timer_;
    int period_;
    int mode_ = 0;
};

} // namespace vorpel::ui
