#include "infowin.h"

namespace vorpel {

namespace {
ui::WindowLayout windowLayout() {
    ui::WindowLayout l;
    l.width = 327;
    l.height = 233;
    l.frame = ui::Frame::Sheet;
    l.placement = ui::Placement::ParentScreen;
    l.visible = true;
    l.closeBox = false;
    l.minimiseBox = true;
    return l;
}
} // namespace

infowin::infowin() : ui::Window(windowLayout()) {
    QWidget* c = content();
    StaticText1 = new ui::StaticText(c, "StaticText1", {20, 11, 279, 174}, "\rLabel:",
                                     {0x000000, 12, false, Qt::AlignLeft, true});
    PushButton1 = new ui::PushButton(c, "PushButton1", {129, 203, 69, 20}, "Close", 12, false);
    PushButton1->onAction([this] { PushButton1_Action(); });
}

} // namespace vorpel
