// The 25 named pictures: present, drawable, bound to the Drop Screen's controls.
#include "app/pictures.h"
#include "dropscreen/qconvert.h"
#include "platform/pictures.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <gtest/gtest.h>
#include <set>

namespace ui = vorpel::ui;

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

int opaquePixels(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) > 0) ++n;
    return n;
}

TEST(Pictures, IconsDrawAtButtonSizeAndBackdropsFillTheirStrips) {
    const std::set<std::string_view> backdrops = {"topbl", "beh", "beh1", "beh12"};
    for (const auto& p : vorpel::kPictures) {
        SCOPED_TRACE(std::string(p.name));
        ASSERT_TRUE(ui::pictureExists(qs(p.name)));
        if (backdrops.count(p.name)) {
            QImage strip(260, 75, QImage::Format_ARGB32);
            strip.fill(Qt::transparent);
            QPainter painter(&strip);
            ui::paintPicture(painter, qs(p.name), strip.rect());
            painter.end();
            EXPECT_GT(opaquePixels(strip), 260 * 75 * 9 / 10);
        } else if (p.name == "vorpel_S") {
            // The About window's emblem, drawn on its 290 by 280 canvas.
            QImage emblem(290, 280, QImage::Format_ARGB32);
            emblem.fill(Qt::transparent);
            QPainter painter(&emblem);
            ui::paintPicture(painter, qs(p.name), emblem.rect());
            painter.end();
            EXPECT_GT(opaquePixels(emblem), 290 * 280 / 4);
        } else {
            const QImage icon = ui::pictureIcon(qs(p.name)).pixmap(26, 26).toImage();
            ASSERT_FALSE(icon.isNull());
            EXPECT_GT(opaquePixels(icon), 26 * 26 / 10);
        }
    }
    EXPECT_FALSE(ui::pictureExists("no-such-picture"));
}

TEST(Pictures, DropScreenShowsItsThreeIconsAndTheStripBackdrop) {
    vorpel::qconvert& screen = ui::Win<vorpel::qconvert>();
    const std::pair<ui::BevelButton*, const char*> bound[] = {
        {screen.BevelButton12, "info"}, {screen.BevelButton17, "single1"}, {screen.BevelButton18, "all"}};
    for (const auto& [button, name] : bound) {
        EXPECT_EQ(button->icon().cacheKey(), ui::pictureIcon(name).cacheKey()) << name;
    }
    for (auto* plain : {screen.BevelButton1, screen.BevelButton2, screen.BevelButton3,
                        screen.BevelButton10, screen.BevelButton11})
        EXPECT_TRUE(plain->icon().isNull()) << plain->objectName().toStdString();

    // The strip shows topbl stretched over it.
    QCoreApplication::processEvents();
    const QImage shown = screen.Canvas1->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QImage expected(shown.size(), QImage::Format_ARGB32);
    expected.fill(Qt::transparent);
    {
        QPainter p(&expected);
        ui::paintPicture(p, "topbl", expected.rect());
    }
    int differing = 0;
    for (int y = 0; y < shown.height(); y += 3)
        for (int x = 0; x < shown.width(); x += 3)
            if (qAlpha(expected.pixel(x, y)) == 255 && shown.pixel(x, y) != expected.pixel(x, y)) ++differing;
    EXPECT_EQ(differing, 0);
    screen.Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Mean difference per colour channel between two equally sized pictures.
double meanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

double meanLightness(const QImage& img) {
    double sum = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            sum += qGray(img.pixel(x, y));
    return sum / (img.width() * img.height());
}

TEST(Pictures, CategoryPicturesShowThroughTheSquareButtonsAndAPressedToggleLooksIn) {
    vorpel::qconvert& screen = ui::Win<vorpel::qconvert>();
    QWidget* content = screen.content();
    // The strip alone, as it lies under the buttons.
    QImage strip(content->size(), QImage::Format_ARGB32);
    strip.fill(Qt::black);
    {
        QPainter p(&strip);
        ui::paintPicture(p, "topbl", screen.Canvas1->geometry());
    }
    const auto face = [](const QImage& img, const QWidget* button) {
        return img.copy(button->geometry().adjusted(5, 5, -5, -5))
            .convertToFormat(QImage::Format_ARGB32);
    };
    // A stretch of the strip between two buttons: its plain background.
    const QImage plain =
        strip.copy(QRect(QPoint(screen.BevelButton1->geometry().right() + 6, 171), QSize(36, 36)));
    QCoreApplication::processEvents();
    const QImage up = content->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    for (ui::BevelButton* b : {screen.BevelButton1, screen.BevelButton2, screen.BevelButton3,
                               screen.BevelButton10, screen.BevelButton11}) {
        SCOPED_TRACE(b->objectName().toStdString());
        const QImage under = face(strip, b);
        // The strip holds a picture at the button's place...
        EXPECT_GT(meanDifference(under, plain), 20.0);
        // ...and the button's face lets it show, only lightly tinted (an opaque face differs
        // by about a hundred).
        EXPECT_LT(meanDifference(face(up, b), under), 25.0);
    }
    for (ui::BevelButton* toggle :
         {screen.BevelButton1, screen.BevelButton2, screen.BevelButton3}) {
        SCOPED_TRACE(toggle->objectName().toStdString());
        toggle->blockSignals(true); // the look only, no panel
        toggle->setChecked(true);
        QCoreApplication::processEvents();
        const QImage in = face(content->grab().toImage(), toggle);
        toggle->setChecked(false);
        toggle->blockSignals(false);
        // Pressed in: clearly darker, the picture still there.
        EXPECT_LT(meanLightness(in), meanLightness(face(up, toggle)) - 15.0);
        EXPECT_GT(meanDifference(in, plain), 12.0);
    }
    screen.Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
