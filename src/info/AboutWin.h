#pragma once

#include "platform/controls.h"
#include "platform/window.h"

namespace vorpel {

class AboutWin : public ui::Window {
    Q_OBJECT
public:
    AboutWin();

    ui::StaticText* StaticText1;
    ui::Canvas* Canvas2;
    ui::StaticText* StaticText6;
    ui::PushButton* PushButton1;

    void PushButton1_Action() { Close(); }
};

} // namespace vorpel
