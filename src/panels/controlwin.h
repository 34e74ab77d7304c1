#pragma once

#include "platform/controls.h"
#include "platform/window.h"

namespace vorpel {

// The Document conversion panel: eleven buttons, each converting the whole drop list.
class controlwin : public ui::Window {
    Q_OBJECT
public:
    controlwin();

    ui::RoundRectangle* RoundRectangle1;
    ui::StaticText* StaticText5;
    ui::Canvas* Canvas1;
    ui::BevelButton* BevelButton4;
    ui::StaticText* StaticText11;
    ui::BevelButton* BevelButton3;
    ui::StaticText* StaticText14;
    ui::BevelButton* BevelButton5;
    ui::StaticText* StaticText15;
    ui::BevelButton* BevelButton9;
    ui::StaticText* StaticText16;
    ui::BevelButton* BevelButton24;
    ui::StaticText* StaticText44;
    ui::BevelButton* BevelButton7;
    ui::StaticText* StaticText17;
    ui::BevelButton* BevelButton6;
    ui::StaticText* StaticText18;
    ui::BevelButton* BevelButton2;
    ui::StaticText* StaticText19;
    ui::BevelButton* BevelButton23;
    ui::StaticText* StaticText43;
    ui::RadioButton* RadioButton1;
    ui::StaticText* StaticText20;
    ui::RadioButton* RadioButton8;
    ui::StaticText* StaticText21;
    ui::RadioButton* RadioButton2;
    ui::StaticText* StaticText37;
    ui::RoundRectangle* RoundRectangle2;
    ui::StaticText* StaticText1;
    ui::StaticText* StaticText36;
    ui::EditField* EditField1;
    ui::Canvas* Canvas2;
    ui::BevelButton* BevelButton1;
    ui::StaticText* StaticText12;
    ui::BevelButton* BevelButton22;
    ui::StaticText* StaticText13;
    ui::RadioButton* RadioButton3;
    ui::StaticText* StaticText38;
    ui::RadioButton* RadioButton6;
    ui::StaticText* StaticText39;
    ui::RadioButton* RadioButton4;
    ui::StaticText* StaticText40;
    ui::RadioButton* RadioButton15;
    ui::StaticText* StaticText41;
    ui::RadioButton* RadioButton5;
    ui::StaticText* StaticText42;
    ui::Canvas* Canvas4;

    void BevelButton4_Action();
    void BevelButton3_Action();
    void BevelButton5_Action();
    void BevelButton9_Action();
    void BevelButton24_Action();
    void BevelButton7_Action();
    void BevelButton6_Action();
    void BevelButton2_Action();
    void BevelButton23_Action();
    void BevelButton1_Action();
    void BevelButton22_Action();
};

} // namespace vorpel
