#include "audiocontrol.h"

#include "engine/batch.h"
#include "engine/vorpel.h"

namespace vorpel {

namespace {
constexpr int kBadNews = 3;
} // namespace

const QStringList& audiocontrol::voices() {
    static const QStringList v = {"Alex",     "Agnes",  "Albert",   "BadNews",  "Bahh",
                                  "Bells",    "Boing",  "Bruce",    "Bubbles",  "Cellos",
                                  "Deranged", "Fred",   "GoodNews", "Hysterical", "Junior",
                                  "Kathy",    "Organ",  "Princess", "Ralph",    "Trinoids",
                                  "Vicki",    "Victoria", "Whisper", "Zarvox"};
    return v;
}

audiocontrol::audiocontrol() : ui::Window(ui::panelLayout(205, 354)) {
    QWidget* c = content();
    RoundRectangle1 = new ui::RoundRectangle(c, "RoundRectangle1", {20, 8, 163, 30}, 0x666666, 16, 16);
    StaticText6 = new ui::StaticText(c, "StaticText6", {40, 14, 125, 20}, "Convert to Audio",
                                     {0x99CCFF, 12, false, Qt::AlignCenter});
    // Created enabled so items from one folder can each get their own output.
    CheckBox1 = new ui::CheckBox(c, "CheckBox1", {17, 47, 22, 26}, true);
    StaticText1 = new ui::StaticText(c, "StaticText1", {40, 50, 154, 20}, "Auto Name ( Multiple Files )",
                                     {0xFFFFFF, 11, false, Qt::AlignLeft | Qt::AlignVCenter});
    StaticText4 = new ui::StaticText(c, "StaticText4", {20, 76, 167, 20}, "Desired Audio File Name",
                                     {0xFFFFFF, 11, false, Qt::AlignCenter});
    EditField3 = new ui::EditField(c, "EditField3", {20, 100, 165, 22}, "Untitled");
    StaticText2 = new ui::StaticText(c, "StaticText2", {51, 129, 100, 20}, "Choose Voice",
                                     {0xFFFFFF, 12, false, Qt::AlignCenter});
    PopupMenu1 = new ui::PopupMenu(c, "PopupMenu1", {20, 157, 165, 20}, voices(), kBadNews, 12);
    Canvas2 = new ui::Canvas(c, "Canvas2", {-2, 188, 208, 64}, "beh1");
    BevelButton2 = new ui::BevelButton(c, "BevelButton2", {87, 201, 34, 40}, "audio2");
    StaticText3 = new ui::StaticText(c, "StaticText3", {51, 251, 100, 20}, "To Aiff Audio",
                                     {0x99CCFF, 12, false, Qt::AlignCenter});
    StaticText5 = new ui::StaticText(
        c, "StaticText5", {11, 277, 183, 52},
        "Documents of various types (html,webarchive,word,xml,rtfd..etc) will be converted to Aiff "
        "and saved in their original location.",
        {0xCCCCCC, 10, false, Qt::AlignLeft, true});
    Canvas1 = new ui::Canvas(c, "Canvas1", {-11, 337, 227, 29}, "beh");

    BevelButton2->onAction([this] { BevelButton2_Action(); });
    CheckBox1->onAction([this] { CheckBox1_Action(); });
}

void audiocontrol::BevelButton2_Action() { runBatch(vorpel::aud); }

void audiocontrol::CheckBox1_Action() { EditField3->setEnabled(!CheckBox1->Value()); }

} // namespace vorpel
