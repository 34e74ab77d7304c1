#pragma once

#include "platform/controls.h"
#include "platform/timer.h"
#include "platform/window.h"

namespace vorpel {

// The completion notice: "DONE", or "FAILED" when items failed; closes itself after 500 ms.
class doner : public ui::Window {
    Q_OBJECT
public:
    doner();

    ui::GroupBox* GroupBox1;
    ui::Timer* Timer1;
    ui::StaticText* StaticText1;

    // Switches the text to "FAILED" in the warning colour while failures are pending.
    void showOutcome();
    void Timer1_Action();
};

} // namespace vorpel
