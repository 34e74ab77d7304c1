#include "pictures.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>
#include <memory>

namespace vorpel::ui {
namespace {

struct Picture {
    QIcon icon;
    std::unique_ptr<QSvgRenderer> renderer;
};

QHash<QString, Picture*>& cache() {
    static QHash<QString, Picture*> c;
    return c;
}

QString resourcePath(const QString& name) { return QStringLiteral(":/pictures/%1.svg").arg(name); }

Picture* load(const QString& name) {
    auto& c = cache();
    if (auto it = c.find(name); it != c.end()) return it.value();
    auto* pic = new Picture;
    const QString path = resourcePath(name);
    if (QFile::exists(path)) {
        pic->icon = QIcon(path);
        pic->renderer = std::make_unique<QSvgRenderer>(path);
    }
    c.insert(name, pic);
    return pic;
}

} // namespace

QIcon pictureIcon(const QString& name) { return load(name)->icon; }

void paintPicture(QPainter& p, const QString& name, const QRect& target) {
    Picture* pic = load(name);
    if (pic->renderer && pic->renderer->isValid()) pic->renderer->render(&p, QRectF(target));
}

bool pictureExists(const QString& name) { return QFile::exists(resourcePath(name)); }

void releasePictures() {
    qDeleteAll(cache());
    cache().clear();
}

int loadedPictureCount() { return cache().size(); }

} // namespace vorpel::ui
