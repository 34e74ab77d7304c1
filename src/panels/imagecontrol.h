#pragma once

#include "platform/controls.h"
#include "platform/window.h"

namespace vorpel {

// The Image conversion panel: nine format buttons over the whole drop list.
class imagecontrol : public ui::Window {
    Q_OBJECT
public:
    imagecontrol();

    ui::RoundRectangle* RoundRectangle1;
    ui::StaticText* StaticText13;
    ui::CheckBox* CheckBox2;
    ui::StaticText* StaticText11;
    ui::StaticText* StaticText10;
    ui::Canvas* Canvas1;
    ui::EditField* EditField3;
    ui::BevelButton* BevelButton8;
    ui::BevelButton* BevelButton2;
    ui::BevelButton* BevelButton3;
    ui::BevelButton* BevelButton5;
    ui::BevelButton* BevelButton4;
    ui::BevelButton* BevelButton6;
    ui::BevelButton* BevelButton1;
    ui::BevelButton* BevelButton7;
    ui::BevelButton* BevelButton9;
    ui::StaticText* StaticText9;
    ui::StaticText* StaticText2;
    ui::StaticText* StaticText3;
    ui::StaticText* StaticText6;
    ui::StaticText* StaticText5;
    ui::StaticText* StaticText7;
    ui::StaticText* StaticText1;
    ui::StaticText* StaticText8;
    ui::StaticText* StaticText4;
    ui::StaticText* StaticText12;
    ui::Canvas* Canvas2;

    void BevelButton1_Action();
    void BevelButton2_Action();
    void BevelButton3_Action();
    void BevelButton4_Action();
    void BevelButton5_Action();
    void BevelButton6_Action();
    void BevelButton7_Action();
    void BevelButton8_Action();
    void BevelButton9_Action();
    void CheckBox2_Action();
};

} // namespace vorpel
