// Stripes and selection as rendered: colours read back from the list's pixels.
#include "droptest.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>

namespace ui = vorpel::ui;
using droptest::DropScreenTest;

namespace {

const QRgb kStripe = qRgb(0xC3, 0xE1, 0xFE);
const QRgb kSelected = qRgb(0x6B, 0xB5, 0xFC);
const QRgb kWhite = qRgb(0xFF, 0xFF, 0xFF);

class Painting : public DropScreenTest {
protected:
    QImage grabList() {
        QCoreApplication::processEvents();
        return screen().ListBox1->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    QRect cell(int row, int column) {
        ui::ListBox* list = screen().ListBox1;
        return list->visualRect(list->model()->index(row, column));
    }
    // A point of the cell that no text reaches: just inside its top edge.
    QRgb background(const QImage& img, int row, int column) {
        const QRect r = cell(row, column).intersected(img.rect());
        return img.pixel(r.center().x(), r.top() + 1) & 0xFFFFFF;
    }
    // The lightest and darkest pixel over the cell's text.
    std::pair<int, int> textLightness(const QImage& img, int row) {
        const QRect r = cell(row, 0).adjusted(2, 2, -2, -2).intersected(img.rect());
        int lightest = 0, darkest = 255;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x < r.left() + 60 && x <= r.right(); ++x) {
                const QColor c = QColor(img.pixel(x, y));
                const int v = std::min({c.red(), c.green(), c.blue()});
                lightest = std::max(lightest, v);
                darkest = std::min(darkest, std::max({c.red(), c.green(), c.blue()}));
            }
        return {lightest, darkest};
    }
};

TEST_F(Painting, EvenRowsAreStripedOddRowsWhite) {
    ASSERT_TRUE(drop({file("HHHH1.txt"), file("HHHH2.txt"), file("HHHH3.txt"), file("HHHH4.txt")}));
    const QImage img = grabList();
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 2; ++column) {
            SCOPED_TRACE(testing::Message() << "row " << row << " column " << column);
            EXPECT_EQ(background(img, row, column), (row % 2 == 0 ? kStripe : kWhite) & 0xFFFFFF);
        }
    }
    // Unselected text is dark on either background.
    EXPECT_LT(textLightness(img, 0).second, 0x60);
    EXPECT_LT(textLightness(img, 1).second, 0x60);
}

TEST_F(Painting, SelectedRowsShowTheSelectionColourWithWhiteText) {
    ASSERT_TRUE(drop({file("HHHH1.txt"), file("HHHH2.txt"), file("HHHH3.txt"), file("HHHH4.txt")}));
    screen().ListBox1->setSelected(1, true);  // odd
    screen().ListBox1->setSelected(2, true);  // even: paints over the stripe
    const QImage img = grabList();
    for (int row : {1, 2}) {
        for (int column = 0; column < 2; ++column) {
            SCOPED_TRACE(testing::Message() << "row " << row << " column " << column);
            EXPECT_EQ(background(img, row, column), kSelected & 0xFFFFFF);
        }
        const auto [lightest, darkest] = textLightness(img, row);
        EXPECT_GE(lightest, 0xF0) << "row " << row;  // white glyphs
        EXPECT_GE(darkest, 0x6B) << "row " << row;   // nothing darker than the fill
    }
    EXPECT_EQ(background(img, 0, 0), kStripe & 0xFFFFFF);
    EXPECT_EQ(background(img, 3, 0), kWhite & 0xFFFFFF);
}

} // namespace
