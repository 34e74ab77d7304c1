#include "doner.h"

#include "engine/failures.h"
#include "nsvorpel.h"
#include "progressdes.h"
#include "platform/services.h"

namespace vorpel {

namespace {
constexpr unsigned kDoneColour = 0x66CCFF;
constexpr unsigned kFailedColour = 0xFF6B5E;

ui::WindowLayout windowLayout() {
    ui::WindowLayout l;
    l.width = 313;
    l.height = 71;
    l.frame = ui::Frame::Sheet;
    l.placement = ui::Placement::OverParent;
    l.visible = true;
    l.closeBox = false;
    l.minimiseBox = true;
    l.background = ui::rgb(0x333333);
    return l;
}

void setColour(QLabel* label, unsigned colour) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, ui::rgb(colour));
    label->setPalette(pal);
}
} // namespace

doner::doner() : ui::Window(windowLayout()) {
    QWidget* c = content();
    GroupBox1 = new ui::GroupBox(c, "GroupBox1", {21, 13, 271, 36});
    Timer1 = new ui::Timer(this, "Timer1", 500, 1);
    StaticText1 = new ui::StaticText(c, "StaticText1", {106, 21, 100, 20}, "DONE",
                                     {kDoneColour, 22, true, Qt::AlignCenter});
    Timer1->Action = [this] { Timer1_Action(); };
    showOutcome();
}

void doner::showOutcome() {
    const bool failed = !Failures::empty();
    StaticText1->setText(std::string(failed ? "FAILED" : "DONE"));
    setColour(StaticText1, failed ? kFailedColour : kDoneColour);
}

void doner::Timer1_Action() {
    // Failures of a conversion whose progress window is still up belong to the notice that
    // its hand-over brings: reporting and clearing them here would let that one read "DONE".
    if (!Failures::empty() && !ui::WinIfOpen<progressdes>()) {
        const std::string report = Failures::report();
        Failures::clear();
        ui::MsgBox("These items failed:\n\n" + report);
    }
    NSVorpel::ShowPoof(Left() + 220, Top() + 350, 1000, 1000);
    Close();
}

} // namespace vorpel
