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

} // namespace
