#pragma once

#include "platform/controls.h"
#include "platform/timer.h"
#include "platform/window.h"

namespace vorpel {

// Shown while a conversion runs; its timer closes it after the command and opens the notice.
class progressdes : public ui::Window {
    Q_OBJECT
public:
    progressdes();

    ui::GroupBox* GroupBox1;
    ui::Timer* Timer2;
    ui::StaticText* RemainingTime;
    ui::ProgressBar* ProgressBar1;
    ui::StaticText* StaticText2;
    ui::StaticText* StaticText3;

    void Timer2_Action();
};

} // namespace vorpel
