#pragma once

#include "platform/controls.h"
#include "platform/folderitem.h"
#include "platform/listbox.h"
#include "platform/window.h"

#include <vector>

namespace vorpel {

// The Drop Screen: the queue of dropped items, its list and the eight commands.
class qconvert : public ui::Window {
    Q_OBJECT
public:
    qconvert();

    // Dropped items in drop order; every batch walks it and empties it.
    std::vector<FolderItem> QuennFileArray;
    int lastIndex() const { return int(QuennFileArray.size()) - 1; }
    // Takes the queued item with this absolute path off the queue (the latest such drop).
    void unqueue(const std::string& absolutePath);
    // Empties the queue and the list, as every batch does at its end.
    void emptyQueueAndList();
    // Hint labels: "Drag and Drop Items Here..." shown, "Drop More..." hidden.
    void showEmptyHint();

    ui::ImageWell* ImageWell4;
    ui::RoundRectangle* RoundRectangle1;
    ui::RoundRectangle* RoundRectangle2;
    ui::BevelButton* BevelButton10;
    ui::BevelButton* BevelButton11;
    ui::BevelButton* BevelButton12;
    ui::StaticText* StaticText44;
    ui::ListBox* ListBox1;
    ui::StaticText* StaticText1;
    ui::BevelButton* BevelButton1;
    ui::BevelButton* BevelButton2;
    ui::BevelButton* BevelButton3;
    ui::BevelButton* BevelButton17;
    ui::BevelButton* BevelButton18;
    ui::StaticText* StaticText7;
    ui::StaticText* StaticText31;
    ui::StaticText* StaticText9;
    ui::Canvas* Canvas1;
    ui::StaticText* StaticText2;
    ui::StaticText* StaticText3;
    ui::StaticText* StaticText4;
    ui::StaticText* StaticText5;
    ui::StaticText* StaticText8;
    ui::StaticText* StaticText6;

    void BevelButton1_Action();
    void BevelButton2_Action();
    void BevelButton3_Action();
    void BevelButton10_Action();
    void BevelButton11_Action();
    void BevelButton12_Action();
    void BevelButton17_Action();
    void BevelButton18_Action();

    void ListBox1_CellBackgroundPaint(ui::Graphics& g, int row, int column);
    void ListBox1_CellTextPaint(ui::Graphics& g, int row, int column, QColor& textColour);

protected:
    void DropObject(const std::vector<FolderItem>& items) override;
};

} // namespace vorpel
