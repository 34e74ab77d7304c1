#include "qconvert.h"

#include "app/app.h"
#include "engine/batch.h"
#include "engine/vorpel.h"
#include "feedback/nsvorpel.h"
#include "panels/audiocontrol.h"
#include "panels/controlwin.h"
#include "panels/imagecontrol.h"
#include "platform/eventgate.h"
#include "platform/services.h"

#include <algorithm>

namespace vorpel {

namespace {
ui::WindowLayout windowLayout() {
    ui::WindowLayout l;
    l.width = 488;
    l.height = 512;
    l.frame = ui::Frame::Document;
    l.placement = ui::Placement::MainScreenCentre;
    l.title = "Drop Screen";
    l.visible = true;
    l.closeBox = true;
    l.minimiseBox = true;
    l.background = ui::rgb(0x333333);
    l.menuBar = true;
    return l;
}

constexpr const char* kDuplicateMessage =
    "looks like you added Duplicate files. Please remove from List.";

const auto centred = Qt::AlignHCenter | Qt::AlignVCenter;
const auto leftAligned = Qt::AlignLeft | Qt::AlignVCenter;

template <class W> void togglePanel() {
    W& panel = ui::Win<W>();
    if (!panel.Visible()) panel.Show();
    else panel.Close();
}
} // namespace

qconvert::qconvert() : ui::Window(windowLayout()) {
    QWidget* c = content();
    ImageWell4 = new ui::ImageWell(c, "ImageWell4", {-9, 7, 508, 142});
    RoundRectangle1 = new ui::RoundRectangle(c, "RoundRectangle1", {-11, 0, 510, 154}, 0x000000, 16, 16);
    RoundRectangle2 = new ui::RoundRectangle(c, "RoundRectangle2", {20, 23, 445, 100}, 0x666666, 16, 16);
    BevelButton10 = new ui::BevelButton(c, "BevelButton10", {322, 166, 46, 46});
    BevelButton11 = new ui::BevelButton(c, "BevelButton11", {411, 166, 46, 46});
    BevelButton12 = new ui::BevelButton(c, "BevelButton12", {354, 462, 26, 26}, "info");
    StaticText44 = new ui::StaticText(c, "StaticText44", {179, 53, 137, 43}, "Drop More...",
                                      {0x99CCFF, 20, true, centred});
    StaticText44->setVisible(false);
    ListBox1 = new ui::ListBox(c, "ListBox1", {0, 227, 488, 220}, {"File Name", "Location"},
                               {0.56, 1.15}, 12);
    StaticText1 = new ui::StaticText(c, "StaticText1", {237, 465, 66, 20}, "Remove All",
                                     {0xFFFFFF, 10, false, centred});
    BevelButton1 = new ui::BevelButton(c, "BevelButton1", {39, 166, 46, 46}, {}, true);
    BevelButton2 = new ui::BevelButton(c, "BevelButton2", {139, 166, 46, 46}, {}, true);
    BevelButton3 = new ui::BevelButton(c, "BevelButton3", {231, 166, 46, 46}, {}, true);
    BevelButton17 = new ui::BevelButton(c, "BevelButton17", {37, 462, 26, 26}, "single1");
    BevelButton18 = new ui::BevelButton(c, "BevelButton18", {199, 462, 26, 26}, "all");
    StaticText7 = new ui::StaticText(c, "StaticText7", {383, 465, 97, 20}, "Last File Details",
                                     {0xFFFFFF, 10, false, centred});
    StaticText31 = new ui::StaticText(c, "StaticText31", {113, 39, 269, 26},
                                      "Drag and Drop Items Here...", {0xB3B3B3, 18, true, centred});
    StaticText9 = new ui::StaticText(c, "StaticText9", {72, 465, 96, 20}, "Remove Selected",
                                     {0xFFFFFF, 10, false, centred});
    Canvas1 = new ui::Canvas(c, "Canvas1", {-11, 152, 526, 75}, "topbl");
    StaticText2 = new ui::StaticText(c, "StaticText2", {25, 207, 76, 20}, "Documents", {0xFFFFFF, 11, false, centred});
    StaticText3 = new ui::StaticText(c, "StaticText3", {127, 207, 56, 20}, "Images", {0xFFFFFF, 11, false, centred});
    StaticText4 = new ui::StaticText(c, "StaticText4", {218, 207, 52, 20}, "Audio", {0xFFFFFF, 11, false, centred});
    StaticText5 = new ui::StaticText(c, "StaticText5", {310, 207, 37, 20}, "Lock", {0xFFFFFF, 11, false, centred});
    StaticText8 = new ui::StaticText(c, "StaticText8", {343, 207, 71, 20}, "(Files-Folders)",
                                     {0xFFFFFF, 10, false, leftAligned});
    StaticText6 = new ui::StaticText(c, "StaticText6", {410, 207, 49, 20}, "Unlock", {0xFFFFFF, 11, false, centred});

    BevelButton1->onAction([this] { BevelButton1_Action(); });
    BevelButton2->onAction([this] { BevelButton2_Action(); });
    BevelButton3->onAction([this] { BevelButton3_Action(); });
    BevelButton10->onAction([this] { BevelButton10_Action(); });
    BevelButton11->onAction([this] { BevelButton11_Action(); });
    BevelButton12->onAction([this] { BevelButton12_Action(); });
    BevelButton17->onAction([this] { BevelButton17_Action(); });
    BevelButton18->onAction([this] { BevelButton18_Action(); });
    ListBox1->CellBackgroundPaint = [this](ui::Graphics& g, int r, int col) {
        ListBox1_CellBackgroundPaint(g, r, col);
    };
    ListBox1->CellTextPaint = [this](ui::Graphics& g, int r, int col, QColor& text) {
        ListBox1_CellTextPaint(g, r, col, text);
    };

    if (App* app = App::current()) app->installMenuBar(menuBar());
    acceptFileDrops("special/any");
}

void qconvert::unqueue(const std::string& absolutePath) {
    for (auto it = QuennFileArray.rbegin(); it != QuennFileArray.rend(); ++it) {
        if (it->AbsolutePath() == absolutePath) {
            QuennFileArray.erase(std::next(it).base());
            return;
        }
    }
    // The Location cell shows a name that is not UTF-8 with replacement characters:
    // compare in that form when the bytes found nothing.
    const QString wanted = QString::fromStdString(absolutePath);
    for (auto it = QuennFileArray.rbegin(); it != QuennFileArray.rend(); ++it) {
        if (QString::fromStdString(it->AbsolutePath()) == wanted) {
            QuennFileArray.erase(std::next(it).base());
            return;
        }
    }
}

void qconvert::emptyQueueAndList() {
    QuennFileArray.clear();
    ListBox1->DeleteAllRows();
}

void qconvert::showEmptyHint() {
    StaticText44->setVisible(false);
    StaticText31->setVisible(true);
}

void qconvert::DropObject(const std::vector<FolderItem>& items) {
    ui::Win<controlwin>().Show();
    ListBox1->setSortedColumn(0);
    for (int i = ListBox1->ListCount() - 1; i >= 1; --i) {
        const QString a = QString::fromStdString(ListBox1->Cell(i, 0));
        const QString b = QString::fromStdString(ListBox1->Cell(i - 1, 0));
        if (a.compare(b, Qt::CaseInsensitive) == 0) {
            // The warned-about item must not be converted either.
            unqueue(ListBox1->Cell(i, 1));
            ListBox1->RemoveRow(i);
            ui::MsgBox(kDuplicateMessage);
        }
        ui::DoEvents();
    }
    StaticText44->setVisible(true);
    StaticText31->setVisible(false);
    for (const FolderItem& item : items) {
        QuennFileArray.push_back(item);
        ListBox1->AddRow(item.Name());
        ListBox1->setCell(ListBox1->LastIndex(), 1, item.AbsolutePath());
        ui::DoEvents();
    }
    NSVorpel::ShowPoof(Left() + 220, Top() + 220, 200, 200);
}

void qconvert::ListBox1_CellBackgroundPaint(ui::Graphics& g, int row, int) {
    if (row % 2 == 0) {
        g.ForeColor = ui::rgb(0xC3E1FE);
        g.FillRect(0, 0, g.Width(), g.Height());
    }
}

void qconvert::ListBox1_CellTextPaint(ui::Graphics& g, int row, int, QColor& textColour) {
    if (ListBox1->Selected(row)) {
        g.ForeColor = ui::rgb(0x6BB5FC);
        g.FillRect(0, 0, g.Width(), g.Height());
        textColour = ui::rgb(0xFFFFFF);
    }
}

void qconvert::BevelButton1_Action() { togglePanel<controlwin>(); }
void qconvert::BevelButton2_Action() { togglePanel<imagecontrol>(); }
void qconvert::BevelButton3_Action() { togglePanel<audiocontrol>(); }

void qconvert::BevelButton10_Action() { runBatch(vorpel::lock); }
void qconvert::BevelButton11_Action() { runBatch(vorpel::unlock); }

void qconvert::BevelButton12_Action() {
    for (int i = 0; i <= lastIndex(); ++i) {
        const FolderItem item = QuennFileArray[size_t(i)];
        vorpel::size(item, true);
        ui::DoEvents();
    }
    // Drops made meanwhile were held: they join the list now.
    ui::deliverHeldDrops();
}

void qconvert::BevelButton17_Action() {
    int i = 0;
    while (ListBox1->SelCount() > 0 && i < ListBox1->ListCount()) {
        if (ListBox1->Selected(i)) {
            unqueue(ListBox1->Cell(i, 1));
            ListBox1->RemoveRow(i);
            showEmptyHint();
        } else {
            ++i;
        }
        ui::DoEvents();
    }
}

void qconvert::BevelButton18_Action() {
    ListBox1->DeleteAllRows();
    QuennFileArray.clear();
    showEmptyHint();
}

} // namespace vorpel
