#pragma once

#include "platform/controls.h"
#include "platform/window.h"

namespace vorpel {

// The Speech audio panel: speaks every queued document into an AIFF file.
class audiocontrol : public ui::Window {
    Q_OBJECT
public:
    audiocontrol();

    static const QStringList& voices();

    ui::RoundRectangle* RoundRectangle1;
    ui::StaticText* StaticText6;
    ui::CheckBox* CheckBox1;
    ui::StaticText* StaticText1;
    ui::StaticText* StaticText4;
    ui::EditField* EditField3;
    ui::StaticText* StaticText2;
    ui::PopupMenu* PopupMenu1;
    ui::Canvas* Canvas2;
    ui::BevelButton* BevelButton2;
    ui::StaticText* StaticText3;
    ui::StaticText* StaticText5;
    ui::Canvas* Canvas1;

    void BevelButton2_Action();
    void CheckBox1_Action();
};

} // namespace vorpel
