#pragma once

#include "testsupport.h"

#include <Magick++.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace sipstest {

using Rgba = std::array<int, 4>;

// The 64x48 test pictures: four quadrants of known colour.
constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr Rgba kRed{220, 40, 30, 255};       // top left, opaque
constexpr Rgba kBlue{30, 60, 200, 255};      // top right, opaque
constexpr Rgba kClear{0, 0, 0, 0};           // bottom left, fully transparent (PNG only)
constexpr Rgba kGreenHalf{40, 180, 60, 128}; // bottom right, half transparent (PNG only)
// Sample points in the middle of each quadrant.
constexpr int kLeftX = 16, kRightX = 48, kTopY = 12, kBottomY = 36;

// Writes the quadrant picture: RGBA PNG, or an opaque JPEG (transparent quadrants grey).
void writeQuadrantPng(const std::filesystem::path& p);
void writeQuadrantJpeg(const std::filesystem::path& p);

// Decodes a file through a blob (file names stay plain names); first frame only.
Magick::Image readImage(const std::filesystem::path& p);

Rgba pixelAt(const Magick::Image& img, int x, int y);

// Largest difference of any channel between two colours.
int channelDistance(const Rgba& a, const Rgba& b);

// Runs the built sips with the given arguments.
vorpeltest::ProcessResult sips(const std::vector<std::string>& args);

// A PDF page written by sips: its page box and the pixels of its embedded images.
struct PdfContents {
    double pageWidth = 0, pageHeight = 0;
    bool hasLossyImage = false; // any DCT (JPEG) stream
    int imageWidth = 0, imageHeight = 0;
    std::string colorSpace;            // of the main image
    std::vector<unsigned char> pixels; // main image, inflated
    std::vector<unsigned char> alpha;  // its soft mask, inflated; empty when opaque
};
PdfContents parsePdf(const std::string& pdf);

} // namespace sipstest
