#pragma once

#include <QIcon>
#include <QRect>
#include <QString>

class QPainter;

namespace vorpel::ui {

// Named pictures from the application's resources (":/pictures/NAME.svg"), each loaded once
// on first use and kept until releasePictures().
QIcon pictureIcon(const QString& name);
// Paints a picture stretched over the rectangle (backdrops).
void paintPicture(QPainter& p, const QString& name, const QRect& target);
bool pictureExists(const QString& name);
void releasePictures();
// Number of pictures loaded so far.
int loadedPictureCount();

} // namespace vorpel::ui
