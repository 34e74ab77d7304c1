#include "fixtures.h"
#include "media.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace textutil;
namespace fs = std::filesystem;

namespace {

// A 3x2 GIF, red and blue pixels alternating.
const std::string kGif("GIF89a\x03\x00\x02\x00\x80\x00\x00\xff\x00\x00\x00\x00\xff"
                       "\x2c\x00\x00\x00\x00\x03\x00\x02\x00\x00\x02\x04\x44\x88\x10\x29\x00\x3b",
                       37);

// The bundle the RTFD writer makes of an HTML page with its pictures beside it.
std::map<std::string, std::string> rtfdOf(const vorpeltest::TempDir& dir, const std::string& markup) {
    vorpeltest::writeFile(dir / "page.html", markup);
    const Document doc = readDocument(dir / "page.html", {});
    std::map<std::string, std::string> files;
    for (auto& [name, data] : findFormat("rtfd")->write(doc, {}).files) files[name] = data;
    return files;
}

void expectPngOf(const std::string& data, int w, int h) {
    ASSERT_EQ(sniffMimeType(data), "image/png");
    int pw = 0, ph = 0;
    ASSERT_TRUE(imagePixelSize(data, pw, ph));
    EXPECT_EQ(pw, w);
    EXPECT_EQ(ph, h);
    // Decodes, not just a PNG signature.
    EXPECT_FALSE(pictureAsPng(data).empty());
}

} // namespace

TEST(textutilRtfdPictures, GifFromHtmlBecomesPngAtItsDisplaySize) {
    ASSERT_FALSE(pictureAsPng(kGif).empty()) << "the sample GIF does not decode";
    vorpeltest::TempDir dir;
    vorpeltest::writeFile(dir / "chart.gif", kGif);
    const auto files = rtfdOf(dir, "<p>before <img src=\"chart.gif\" width=\"96\" height=\"48\"> after</p>");

    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files.count("chart.gif"), 0u);
    ASSERT_EQ(files.count("chart.png"), 1u);
    expectPngOf(files.at("chart.png"), 3, 2);
    // 96x48 CSS pixels are 72x36 pt.
    EXPECT_NE(files.at("TXT.rtf").find("{{\\NeXTGraphic chart.png \\width1440 \\height720}"), std::string::npos)
        << files.at("TXT.rtf");

    // And the bundle reads back with that picture and size.
    vorpeltest::TempDir out;
    const fs::path bundle = out / "doc.rtfd";
    fs::create_directory(bundle);
    for (const auto& [name, data] : files) vorpeltest::writeFile(bundle / name, data);
    const Document back = readDocument(bundle, {});
    ASSERT_EQ(back.attachments.size(), 1u);
    EXPECT_EQ(back.attachments[0].mimeType, "image/png");
    EXPECT_DOUBLE_EQ(back.attachments[0].width, 72);
    EXPECT_DOUBLE_EQ(back.attachments[0].height, 36);
    EXPECT_NE(textutiltest::findRun(back, "after"), nullptr);
}

TEST(textutilRtfdPictures, ConvertedNamesStayUniqueAndPngStaysAsIs) {
    vorpeltest::TempDir dir;
    vorpeltest::writeFile(dir / "logo.gif", kGif);
    vorpeltest::writeFile(dir / "logo.png", textutiltest::samplePng());
    const auto files = rtfdOf(dir, "<p><img src=\"logo.png\"><img src=\"logo.gif\"></p>");

    ASSERT_EQ(files.size(), 3u);
    // The PNG keeps its name and bytes; the GIF's PNG takes the next free name.
    ASSERT_EQ(files.count("logo.png"), 1u);
    EXPECT_EQ(files.at("logo.png"), textutiltest::samplePng());
    ASSERT_EQ(files.count("logo-2.png"), 1u);
    expectPngOf(files.at("logo-2.png"), 3, 2);
    // No size given: the natural one, 3x2 pixels at 96 dpi.
    const std::string& rtf = files.at("TXT.rtf");
    EXPECT_NE(rtf.find("{{\\NeXTGraphic logo-2.png \\width45 \\height30}"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("{{\\NeXTGraphic logo.png "), std::string::npos) << rtf;
}

TEST(textutilRtfdPictures, UndecodablePictureKeepsItsBytes) {
    Document doc;
    Attachment a;
    a.data = "GIF89a not really";
    a.mimeType = "image/gif";
    a.fileName = "broken.gif";
    const int idx = doc.addAttachment(a);
    textutil::Run r;
    r.attachment = idx;
    doc.addParagraph().runs.push_back(r);
    std::map<std::string, std::string> files;
    for (auto& [name, data] : findFormat("rtfd")->write(doc, {}).files) files[name] = data;
    ASSERT_EQ(files.count("broken.gif"), 1u);
    EXPECT_EQ(files.at("broken.gif"), a.data);
    EXPECT_NE(files.at("TXT.rtf").find("{{\\NeXTGraphic broken.gif"), std::string::npos);
}
