#include "progressdes.h"

#include "doner.h"
#include "dropscreen/qconvert.h"

namespace vorpel {

namespace {
ui::WindowLayout windowLayout() {
    ui::WindowLayout l;
    l.width = 356;
    l.height = 106;
    l.frame = ui::Frame::Sheet;
    l.placement = ui::Placement::ParentScreen;
    l.visible = true;
    l.closeBox = false;
    l.minimiseBox = true;
    l.background = ui::rgb(0x333333);
    return l;
}
} // namespace

progressdes::progressdes() : ui::Window(windowLayout()) {
    QWidget* c = content();
    GroupBox1 = new ui::GroupBox(c, "GroupBox1", {10, 10, 336, 80});
    Timer2 = new ui::Timer(this, "Timer2", 1, 0);
    RemainingTime = new ui::StaticText(c, "RemainingTime", {77, 55, 203, 22}, "Processing,  please wait...",
                                       {0xFFFFFF, 12, false, Qt::AlignCenter});
    ProgressBar1 = new ui::ProgressBar(c, "ProgressBar1", {52, 26, 252, 20});
    StaticText2 = new ui::StaticText(c, "StaticText2", {25, 28, 19, 20}, "0%",
                                     {0xFFFFFF, 12, false, Qt::AlignRight | Qt::AlignVCenter});
    StaticText3 = new ui::StaticText(c, "StaticText3", {309, 28, 33, 20}, "100%",
                                     {0xFFFFFF, 12, false, Qt::AlignLeft | Qt::AlignVCenter});
    Timer2->Action = [this] { Timer2_Action(); };
}

void progressdes::Timer2_Action() {
    if (ProgressBar1->value() != ProgressBar1->maximum()) return;
    Timer2->setMode(0);
    Close();
    doner& notice = ui::Win<doner>();
    notice.Show();
    notice.showOutcome();
    qconvert& screen = ui::Win<qconvert>();
    // "Drop More..." back on means a drop held during the batch was listed since: keep that.
    if (screen.StaticText44->isHidden()) screen.StaticText31->setVisible(true);
}

} // namespace vorpel
