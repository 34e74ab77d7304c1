#include "imagecontrol.h"

#include "engine/batch.h"
#include "engine/vorpel.h"

namespace vorpel {

namespace {
const ui::TextStyle kButtonLabel{0xFFFFFF, 11, true, Qt::AlignCenter};
constexpr int kColumns[] = {27, 85, 142};
constexpr int kButtonTops[] = {147, 213, 279};
constexpr int kLabelTops[] = {184, 251, 317};
} // namespace

imagecontrol::imagecontrol() : ui::Window(ui::panelLayout(205, 411)) {
    QWidget* c = content();
    auto button = [c](const char* name, int row, int column, const char* picture) {
        return new ui::BevelButton(c, name, {kColumns[column - 1], kButtonTops[row - 1], 30, 36}, picture);
    };
    auto label = [c](const char* name, int row, int left, const char* text) {
        return new ui::StaticText(c, name, {left, kLabelTops[row - 1], 29, 20}, text, kButtonLabel);
    };
    RoundRectangle1 = new ui::RoundRectangle(c, "RoundRectangle1", {20, 10, 163, 30}, 0x666666, 16, 16);
    StaticText13 = new ui::StaticText(c, "StaticText13", {51, 15, 100, 20}, "Images",
                                      {0x99CCFF, 13, false, Qt::AlignCenter});
    // Created enabled so several items from one folder can each get their own output.
    CheckBox2 = new ui::CheckBox(c, "CheckBox2", {15, 46, 18, 26}, true);
    StaticText11 = new ui::StaticText(c, "StaticText11", {38, 49, 155, 20}, "Auto Name ( Multiple Files )",
                                      {0xFFFFFF, 11, false, Qt::AlignLeft | Qt::AlignVCenter});
    StaticText10 = new ui::StaticText(c, "StaticText10", {30, 69, 147, 19}, "Desired Image File Name: ",
                                      {0xFFFFFF, 11, false, Qt::AlignCenter});
    Canvas1 = new ui::Canvas(c, "Canvas1", {-8, 89, 222, 251}, "beh12");
    EditField3 = new ui::EditField(c, "EditField3", {20, 102, 163, 22}, "Untitled");
    BevelButton8 = button("BevelButton8", 1, 1, "Picture1");
    BevelButton2 = button("BevelButton2", 1, 2, "Picture2");
    BevelButton3 = button("BevelButton3", 1, 3, "icns");
    BevelButton5 = button("BevelButton5", 2, 1, "png");
    BevelButton4 = button("BevelButton4", 2, 2, "tre");
    BevelButton6 = button("BevelButton6", 2, 3, "jpg");
    BevelButton1 = button("BevelButton1", 3, 1, "qtif");
    BevelButton7 = button("BevelButton7", 3, 2, "gif");
    BevelButton9 = button("BevelButton9", 3, 3, "BMP");
    StaticText9 = label("StaticText9", 1, 28, "JPEG");
    StaticText2 = label("StaticText2", 1, 85, "GIF");
    StaticText3 = label("StaticText3", 1, 143, "TIFF");
    StaticText6 = label("StaticText6", 2, 27, "PICT");
    StaticText5 = label("StaticText5", 2, 85, "PNG");
    StaticText7 = label("StaticText7", 2, 143, "PSD");
    StaticText1 = label("StaticText1", 3, 28, "PDF");
    StaticText8 = label("StaticText8", 3, 85, "JPG2");
    StaticText4 = label("StaticText4", 3, 143, "BMP");
    StaticText12 = new ui::StaticText(c, "StaticText12", {15, 352, 177, 33},
                                      "Icon Files (.icns) may be converted to most of the above image formats",
                                      {0xCCCCCC, 10, false, Qt::AlignLeft, true});
    Canvas2 = new ui::Canvas(c, "Canvas2", {-3, 394, 213, 35}, "beh");

    BevelButton1->onAction([this] { BevelButton1_Action(); });
    BevelButton2->onAction([this] { BevelButton2_Action(); });
    BevelButton3->onAction([this] { BevelButton3_Action(); });
    BevelButton4->onAction([this] { BevelButton4_Action(); });
    BevelButton5->onAction([this] { BevelButton5_Action(); });
    BevelButton6->onAction([this] { BevelButton6_Action(); });
    BevelButton7->onAction([this] { BevelButton7_Action(); });
    BevelButton8->onAction([this] { BevelButton8_Action(); });
    BevelButton9->onAction([this] { BevelButton9_Action(); });
    CheckBox2->onAction([this] { CheckBox2_Action(); });
}

void imagecontrol::BevelButton8_Action() { runBatch(vorpelimage::jpeg); }
void imagecontrol::BevelButton2_Action() { runBatch(vorpelimage::gif); }
void imagecontrol::BevelButton3_Action() { runBatch(vorpelimage::tiff); }
void imagecontrol::BevelButton5_Action() { runBatch(vorpelimage::pict); }
void imagecontrol::BevelButton4_Action() { runBatch(vorpelimage::png); }
void imagecontrol::BevelButton6_Action() { runBatch(vorpelimage::psd); }
void imagecontrol::BevelButton1_Action() { runBatch(vorpelimage::pdf); }
void imagecontrol::BevelButton7_Action() { runBatch(vorpelimage::jpg2); }
void imagecontrol::BevelButton9_Action() { runBatch(vorpelimage::bmp); }

void imagecontrol::CheckBox2_Action() { EditField3->setEnabled(!CheckBox2->Value()); }

} // namespace vorpel
