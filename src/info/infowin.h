#pragma once

#include "platform/controls.h"
#include "platform/window.h"

namespace vorpel {

// Shows what the disk-usage tool printed for the last measured item.
class infowin : public ui::Window {
    Q_OBJECT
public:
    infowin();

    ui::StaticText* StaticText1;
    ui::PushButton* PushButton1;

    void PushButton1_Action() { Close(); }
};

} // namespace vorpel
