// sips: converts, resamples and queries images (Magick++; PDF through Qt, icons through libicns).
#include "imageio.h"
#include "options.h"

#include "platform/atomicfile.h"
#include "platform/toolerror.h"

#include <QGuiApplication>

#include <cmath>
#include <cstdio>
#include <optional>

namespace fs = std::filesystem;

namespace {

using sips::Options;
using vorpel::ToolError;

void printProperties(const fs::path& path, const sips::SourceImage& src,
                     const std::vector<std::string>& keys) {
    std::printf("%s\n", fs::absolute(path).lexically_normal().c_str());
    for (const auto& key : keys) {
        std::string value;
        if (key == "pixelWidth")
            value = std::to_string(src.image.columns());
        else if (key == "pixelHeight")
            value = std::to_string(src.image.rows());
        else if (key == "format")
            value = src.formatName;
        else if (key == "hasAlpha")
            value = src.image.matte() ? "yes" : "no";
        std::printf("  %s: %s\n", key.c_str(), value.c_str());
    }
}

fs::path targetFor(const Options& o, const fs::path& source, sips::Format format) {
    if (!o.out) return source;
    std::error_code ec;
    if (fs::is_directory(*o.out, ec)) {
        return *o.out / (source.stem().string() + "." + sips::formatInfo(format).extension);
    }
    return *o.out;
}

void resample(Magick::Image& img, const Options& o) {
    if (o.exactSize) {
        Magick::Geometry g(static_cast<size_t>(o.exactSize->second),
                           static_cast<size_t>(o.exactSize->first));
        g.aspect(true);
        img.resize(g);
    }
    if (o.maxSide) {
        const double longer = static_cast<double>(std::max(img.columns(), img.rows()));
        const double scale = *o.maxSide / longer;
        const auto w = static_cast<size_t>(std::max(1.0, std::round(img.columns() * scale)));
        const auto h = static_cast<size_t>(std::max(1.0, std::round(img.rows() * scale)));
        if (w != img.columns() || h != img.rows()) {
            Magick::Geometry g(w, h);
            g.aspect(true);
            img.resize(g);
        }
    }
}

void processOne(const Options& o, const fs::path& source) {
    sips::SourceImage src = sips::loadImage(source);
    if (!o.getProperties.empty()) {
        printProperties(source, src, o.getProperties);
        std::fflush(stdout);
    }
    if (!o.converts()) return;

    const std::optional<sips::Format> format = o.format ? o.format : src.format;
    if (!format)
        throw ToolError(source.string(), "cannot write " + src.formatName +
                                             " files; choose a format with --setProperty format");
    const fs::path target = targetFor(o, source, *format);

    try {
        // Sole owner of the pixels: a shared Magick++ image is copied on its first change.
        Magick::Image img = src.image;
        src.image = Magick::Image();
        const auto orientation = img.orientation();
        // Viewers of the output may ignore the orientation tag. Upright images are left alone:
        // ImageMagick copies every pixel even then.
        if (orientation != Magick::UndefinedOrientation &&
            orientation != Magick::TopLeftOrientation)
            img.autoOrient();
        img.repage(); // drop the canvas offset of an animation frame
        resample(img, o);
        // The target itself is only replaced on commit: any failure before leaves it as it was.
        vorpel::AtomicFile out(target);
        sips::writeImage(img, *format, o.formatOptions.value_or(sips::FormatOptions{}), out);
        out.commit();
    } catch (const ToolError& e) {
        if (!e.path().empty()) throw;
        throw ToolError(source.string(), e.what(), e.status());
    } catch (const Magick::Exception& e) {
        throw ToolError(source.string(), sips::magickReason(e));
    }
}

// Qt's start-up notices (runtime folder, fonts) are noise on a tool's standard error.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "sips: %s\n", text.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv) {
    return vorpel::runTool("sips", [&] {
        const Options o = sips::parseArguments(argc, argv);
        if (o.help) {
            std::fputs(sips::usageText(), stdout);
            return int(vorpel::ExitOk);
        }
        if (o.out && o.sources.size() > 1) {
            std::error_code ec;
            if (!fs::is_directory(*o.out, ec))
                throw ToolError(o.out->string(), "must be a folder when several images are given",
                                vorpel::ExitUsage);
        }
        Magick::InitializeMagick(argv[0]);

        // QPainter on a PDF needs a GUI application; a tool must run without a display.
        std::optional<QGuiApplication> app;
        if (o.format == sips::Format::Pdf) {
            qInstallMessageHandler(quietQtMessages);
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            app.emplace(argc, argv);
        }

        int status = vorpel::ExitOk;
        for (const auto& source : o.sources) {
            try {
                processOne(o, source);
            } catch (const ToolError& e) {
                std::fprintf(stderr, "sips: %s\n", e.render().c_str());
                status = std::max(status, e.status());
            } catch (const std::exception& e) {
                std::fprintf(stderr, "sips: %s: %s\n", source.c_str(), e.what());
                status = std::max(status, int(vorpel::ExitFailure));
            }
        }
        return status;
    });
}
