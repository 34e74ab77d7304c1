#include "AboutWin.h"

namespace vorpel {

namespace {
ui::WindowLayout windowLayout() {
    ui::WindowLayout l;
    l.width = 330;
    l.height = 506;
    l.frame = ui::Frame::Sheet;
    l.placement = ui::Placement::OverParent;
    l.visible = true;
    l.closeBox = false;
    return l;
}
} // namespace

AboutWin::AboutWin() : ui::Window(windowLayout()) {
    QWidget* c = content();
    StaticText1 = new ui::StaticText(c, "StaticText1", {48, 27, 252, 30}, "VorpelConverter 3.5.4",
                                     {0x0080FF, 22, true, Qt::AlignCenter});
    Canvas2 = new ui::Canvas(c, "Canvas2", {21, 112, 290, 280}, "vorpel_S");
    StaticText6 = new ui::StaticText(c, "StaticText6", {81, 409, 173, 20}, "Certified Vorpel Product",
                                     {0x0364FF, 14, true, Qt::AlignCenter});
    PushButton1 = new ui::PushButton(c, "PushButton1", {121, 446, 90, 20}, "Close", 12, true);
    PushButton1->onAction([this] { PushButton1_Action(); });
}

} // namespace vorpel
