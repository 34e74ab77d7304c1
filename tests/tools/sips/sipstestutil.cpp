#include "sipstestutil.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <regex>
#include <stdexcept>

namespace fs = std::filesystem;

namespace sipstest {
namespace {

// Every test program that decodes images links this file.
class MagickEnvironment : public ::testing::Environment {
public:
    void SetUp() override { Magick::InitializeMagick(nullptr); }
};
const auto* const kMagickEnv = ::testing::AddGlobalTestEnvironment(new MagickEnvironment);

Magick::Image quadrants(bool withAlpha) {
    Magick::Image img(Magick::Geometry(kWidth, kHeight), Magick::Color("white"));
    img.matte(withAlpha);
    std::vector<unsigned char> rgba(size_t(kWidth) * kHeight * 4);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool left = x < kWidth / 2, top = y < kHeight / 2;
            Rgba c = top ? (left ? kRed : kBlue) : (left ? kClear : kGreenHalf);
            if (!withAlpha && !top) c = {128, 128, 128, 255};
            std::copy(c.begin(), c.end(), rgba.begin() + (size_t(y) * kWidth + x) * 4);
        }
    }
    img.read(kWidth, kHeight, "RGBA", Magick::CharPixel, rgba.data());
    img.matte(withAlpha);
    return img;
}

struct PdfObject {
    std::string dict;
    size_t streamStart = std::string::npos;
};

std::vector<unsigned char> inflate(const std::string& data, size_t start) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) throw std::runtime_error("inflateInit failed");
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + start));
    zs.avail_in = static_cast<uInt>(data.size() - start);
    std::vector<unsigned char> out;
    unsigned char buf[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_out = buf;
        zs.avail_out = sizeof buf;
        rc = ::inflate(&zs, Z_NO_FLUSH);
        out.insert(out.end(), buf, buf + (sizeof buf - zs.avail_out));
    }
    inflateEnd(&zs);
    if (rc != Z_STREAM_END) throw std::runtime_error("image stream does not inflate");
    return out;
}

std::map<int, PdfObject> pdfObjects(const std::string& pdf) {
    std::map<int, PdfObject> objects;
    const std::regex header(R"((\d+) 0 obj\s*)");
    for (auto it = std::sregex_iterator(pdf.begin(), pdf.end(), header);
         it != std::sregex_iterator(); ++it) {
        const size_t begin = size_t(it->position(0) + it->length(0));
        if (pdf.compare(begin, 2, "<<") != 0) continue;
        const size_t end = pdf.find("endobj", begin);
        PdfObject obj;
        const size_t stream = pdf.find("stream", begin);
        const size_t dictEnd = std::min(stream, end);
        obj.dict = pdf.substr(begin, dictEnd - begin);
        if (stream < end) {
            size_t s = stream + 6;
            if (pdf[s] == '\r') ++s;
            if (pdf[s] == '\n') ++s;
            obj.streamStart = s;
        }
        objects[std::stoi((*it)[1])] = obj;
    }
    return objects;
}

int intEntry(const std::string& dict, const std::string& key) {
    std::smatch m;
    if (!std::regex_search(dict, m, std::regex("/" + key + R"(\s+(\d+))"))) return -1;
    return std::stoi(m[1]);
}

} // namespace

void writeQuadrantPng(const fs::path& p) {
    Magick::Image img = quadrants(true);
    img.magick("PNG");
    Magick::Blob blob;
    img.write(&blob);
    vorpeltest::writeFile(p, std::string(static_cast<const char*>(blob.data()), blob.length()));
}

void writeQuadrantJpeg(const fs::path& p) {
    Magick::Image img = quadrants(false);
    img.magick("JPEG");
    img.quality(95);
    Magick::Blob blob;
    img.write(&blob);
    vorpeltest::writeFile(p, std::string(static_cast<const char*>(blob.data()), blob.length()));
}

Magick::Image readImage(const fs::path& p) {
    const std::string data = vorpeltest::readFile(p);
    Magick::Image img;
    img.quiet(true);
    img.subRange(1);
    img.read(Magick::Blob(data.data(), data.size()));
    return img;
}

Rgba pixelAt(const Magick::Image& img, int x, int y) {
    Magick::Image copy(img);
    copy.colorSpace(Magick::sRGBColorspace);
    unsigned char px[4] = {};
    copy.write(x, y, 1, 1, "RGBA", Magick::CharPixel, px);
    return {px[0], px[1], px[2], px[3]};
}

int channelDistance(const Rgba& a, const Rgba& b) {
    int d = 0;
    for (size_t i = 0; i < 4; ++i)
        d = std::max(d, std::abs(a[i] - b[i]));
    return d;
}

vorpeltest::ProcessResult sips(const std::vector<std::string>& args) {
    std::vector<std::string> argv{vorpeltest::toolPath("sips").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return vorpeltest::runProcess(argv);
}

PdfContents parsePdf(const std::string& pdf) {
    PdfContents c;
    std::smatch m;
    if (std::regex_search(pdf, m,
                          std::regex(R"(/MediaBox\s*\[\s*0\s+0\s+([\d.]+)\s+([\d.]+)\s*\])"))) {
        c.pageWidth = std::stod(m[1]);
        c.pageHeight = std::stod(m[2]);
    }
    c.hasLossyImage = pdf.find("/DCTDecode") != std::string::npos;
    const auto objects = pdfObjects(pdf);
    int maskObject = -1;
    for (const auto& [num, obj] : objects) {
        std::smatch sm;
        if (std::regex_search(obj.dict, sm, std::regex(R"(/SMask\s+(\d+)\s+0\s+R)")))
            maskObject = std::stoi(sm[1]);
    }
    for (const auto& [num, obj] : objects) {
        if (obj.dict.find("/Subtype /Image") == std::string::npos || num == maskObject) continue;
        c.imageWidth = intEntry(obj.dict, "Width");
        c.imageHeight = intEntry(obj.dict, "Height");
        std::smatch cs;
        if (std::regex_search(obj.dict, cs, std::regex(R"(/ColorSpace\s*/(\w+))")))
            c.colorSpace = cs[1];
        if (obj.dict.find("/FlateDecode") != std::string::npos &&
            obj.streamStart != std::string::npos)
            c.pixels = inflate(pdf, obj.streamStart);
    }
    if (maskObject >= 0 && objects.count(maskObject) &&
        objects.at(maskObject).streamStart != std::string::npos)
        c.alpha = inflate(pdf, objects.at(maskObject).streamStart);
    return c;
}

} // namespace sipstest
