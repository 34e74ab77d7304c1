#include "pdfwriter.h"

#include "platform/toolerror.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace sips {
namespace {

QImage toQImage(const Magick::Image& source) {
    Magick::Image img(source);
    if (img.colorSpace() != Magick::sRGBColorspace && img.colorSpace() != Magick::RGBColorspace &&
        img.colorSpace() != Magick::GRAYColorspace)
        img.colorSpace(Magick::sRGBColorspace);
    const int w = static_cast<int>(img.columns());
    const int h = static_cast<int>(img.rows());
    const bool alpha = img.matte();
    QImage out(w, h, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (out.isNull()) throw vorpel::ToolError({}, "image too large for PDF");
    // Row by row: QImage pads its lines to 4 bytes.
    for (int y = 0; y < h; ++y) {
        img.write(0, y, static_cast<size_t>(w), 1, alpha ? "RGBA" : "RGB", Magick::CharPixel,
                  out.scanLine(y));
    }
    return out;
}

} // namespace

std::string encodePdf(const Magick::Image& source) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw vorpel::ToolError({}, "PDF output needs the GUI application object");
    const QImage image = toQImage(source);

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("VorpelConverter sips"));
        writer.setResolution(72); // one device pixel per point: the page is the image's size
        const QPageSize page(QSizeF(image.width(), image.height()), QPageSize::Point, QString(),
                             QPageSize::ExactMatch);
        writer.setPageLayout(QPageLayout(page, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        QPainter painter;
        if (!painter.begin(&writer)) throw vorpel::ToolError({}, "cannot start the PDF writer");
        // Without this hint Qt stores photographs as JPEG.
        painter.setRenderHint(QPainter::LosslessImageRendering);
        painter.drawImage(QRectF(0, 0, image.width(), image.height()), image);
        painter.end();
    }
    const QByteArray& bytes = buffer.data();
    if (bytes.isEmpty()) throw vorpel::ToolError({}, "PDF writer produced nothing");
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace sips
