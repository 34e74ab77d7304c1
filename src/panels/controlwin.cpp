#include "controlwin.h"

#include "engine/batch.h"
#include "engine/vorpel.h"

namespace vorpel {

namespace {

const ui::TextStyle kHeading{0x99CCFF, 12, false, Qt::AlignCenter};
const ui::TextStyle kButtonLabel{0xFFFFFF, 11, true, Qt::AlignCenter};
const ui::TextStyle kOption{0xFFFFFF, 11, false, Qt::AlignLeft | Qt::AlignVCenter};
const ui::TextStyle kChosenOption{0x99CCFF, 11, false, Qt::AlignLeft | Qt::AlignVCenter};
} // namespace

controlwin::controlwin() : ui::Window(ui::panelLayout(241, 573)) {
    QWidget* c = content();
    auto button = [c](const char* name, int left, int top, const char* picture, bool enabled) {
        auto* b = new ui::BevelButton(c, name, {left, top, 30, 36}, picture);
        b->setEnabled(enabled);
        return b;
    };
    auto label = [c](const char* name, int left, int top, int width, const char* text) {
        return new ui::StaticText(c, name, {left, top, width, 20}, text, kButtonLabel);
    };
    QButtonGroup* textOptions = ui::radioCluster(this);
    QButtonGroup* encodings = ui::radioCluster(this);

    RoundRectangle1 = new ui::RoundRectangle(c, "RoundRectangle1", {36, 12, 163, 30}, 0x666666, 16, 16);
    StaticText5 = new ui::StaticText(c, "StaticText5", {47, 17, 140, 18}, "Convert to:", kHeading);
    Canvas1 = new ui::Canvas(c, "Canvas1", {-12, 51, 259, 138});
    BevelButton4 = button("BevelButton4", 9, 65, "txt", true);
    StaticText11 = label("StaticText11", 11, 105, 29, "TXT");
    BevelButton3 = button("BevelButton3", 58, 65, "rtf", true);
    StaticText14 = label("StaticText14", 61, 105, 29, "RTF");
    BevelButton5 = button("BevelButton5", 107, 65, "MicrosoftWord", true);
    StaticText15 = label("StaticText15", 109, 105, 29, "Word");
    BevelButton9 = button("BevelButton9", 157, 65, "webarch", true);
    StaticText16 = label("StaticText16", 156, 105, 31, "Arch");
    BevelButton24 = button("BevelButton24", 203, 65, "MicrosoftWord", true);
    StaticText44 = label("StaticText44", 195, 105, 45, "ODT");
    BevelButton7 = button("BevelButton7", 9, 129, "rtf", true);
    StaticText17 = label("StaticText17", 9, 169, 31, "RTFD");
    BevelButton6 = button("BevelButton6", 58, 129, "xml1", true);
    StaticText18 = label("StaticText18", 60, 169, 31, "XML");
    BevelButton2 = button("BevelButton2", 107, 129, "html", false);
    StaticText19 = label("StaticText19", 107, 169, 31, "HTML");
    BevelButton23 = button("BevelButton23", 157, 129, "MicrosoftWord", false);
    StaticText43 = label("StaticText43", 150, 169, 45, "DOCX");

    RadioButton1 = new ui::RadioButton(c, "RadioButton1", {36, 204, 19, 19}, textOptions, true, true);
    StaticText20 = new ui::StaticText(c, "StaticText20", {60, 203, 129, 20}, "Auto (Recommended)", kChosenOption);
    RadioButton8 = new ui::RadioButton(c, "RadioButton8", {36, 229, 19, 19}, textOptions, false, false);
    StaticText21 = new ui::StaticText(c, "StaticText21", {60, 229, 161, 20}, "Discard images HTML-ARCH", kOption);
    RadioButton2 = new ui::RadioButton(c, "RadioButton2", {36, 255, 19, 19}, textOptions, false, false);
    StaticText37 = new ui::StaticText(c, "StaticText37", {60, 254, 54, 20}, "UTF-16", kOption);

    RoundRectangle2 = new ui::RoundRectangle(c, "RoundRectangle2", {39, 286, 163, 30}, 0x666666, 16, 16);
    StaticText1 = new ui::StaticText(c, "StaticText1", {41, 291, 156, 20}, "To and from XHTML only", kHeading);
    StaticText36 = new ui::StaticText(c, "StaticText36", {48, 323, 147, 19}, "Desired File Name: ",
                                      {0xFFFFFF, 11, false, Qt::AlignCenter});
    EditField1 = new ui::EditField(c, "EditField1", {41, 346, 165, 22}, "Untitled");
    Canvas2 = new ui::Canvas(c, "Canvas2", {-1, 378, 243, 67}, "beh1");
    BevelButton1 = button("BevelButton1", 60, 388, "html", true);
    StaticText12 = label("StaticText12", 55, 426, 41, "HTML");
    BevelButton22 = button("BevelButton22", 150, 388, "xhtml", true);
    StaticText13 = label("StaticText13", 140, 426, 52, "XHTML");

    RadioButton3 = new ui::RadioButton(c, "RadioButton3", {36, 454, 19, 19}, encodings, true, true);
    StaticText38 = new ui::StaticText(c, "StaticText38", {61, 453, 42, 20}, "UTF-8", kChosenOption);
    RadioButton6 = new ui::RadioButton(c, "RadioButton6", {138, 454, 19, 20}, encodings, false, false);
    StaticText39 = new ui::StaticText(c, "StaticText39", {164, 454, 48, 20}, "UTF-16", kOption);
    RadioButton4 = new ui::RadioButton(c, "RadioButton4", {36, 482, 19, 20}, encodings, false, false);
    StaticText40 = new ui::StaticText(c, "StaticText40", {63, 481, 51, 20}, "Shift-JIS", kOption);
    RadioButton15 = new ui::RadioButton(c, "RadioButton15", {138, 482, 19, 20}, encodings, false, true);
    StaticText41 = new ui::StaticText(c, "StaticText41", {164, 482, 53, 20}, "Big 5", kOption);
    RadioButton5 = new ui::RadioButton(c, "RadioButton5", {36, 512, 19, 19}, encodings, false, false);
    StaticText42 = new ui::StaticText(c, "StaticText42", {62, 511, 100, 20}, "Windows-1252", kOption);
    Canvas4 = new ui::Canvas(c, "Canvas4", {-17, 543, 263, 29}, "beh");

    BevelButton4->onAction([this] { BevelButton4_Action(); });
    BevelButton3->onAction([this] { BevelButton3_Action(); });
    BevelButton5->onAction([this] { BevelButton5_Action(); });
    BevelButton9->onAction([this] { BevelButton9_Action(); });
    BevelButton24->onAction([this] { BevelButton24_Action(); });
    BevelButton7->onAction([this] { BevelButton7_Action(); });
    BevelButton6->onAction([this] { BevelButton6_Action(); });
    BevelButton2->onAction([this] { BevelButton2_Action(); });
    BevelButton23->onAction([this] { BevelButton23_Action(); });
    BevelButton1->onAction([this] { BevelButton1_Action(); });
    BevelButton22->onAction([this] { BevelButton22_Action(); });
}

void controlwin::BevelButton4_Action() { runBatch(vorpel::txt); }
void controlwin::BevelButton3_Action() { runBatch(vorpel::rtf); }
void controlwin::BevelButton5_Action() { runBatch(vorpel::doc); }
void controlwin::BevelButton9_Action() { runBatch(vorpel::archiveweb); }
// "ODT" converts to ODT and the (disabled) "DOCX" to docx; "Word" stays the .doc format.
void controlwin::BevelButton24_Action() { runBatch(vorpel::odt); }
void controlwin::BevelButton7_Action() { runBatch(vorpel::rtfd); }
void controlwin::BevelButton6_Action() { runBatch(vorpel::xml); }
void controlwin::BevelButton2_Action() { runBatch(vorpel::html); }
void controlwin::BevelButton23_Action() { runBatch(vorpel::docx); }
void controlwin::BevelButton1_Action() { runBatch(vorpel::tohtml); }
void controlwin::BevelButton22_Action() { runBatch(vorpel::xhtml); }

} // namespace vorpel
