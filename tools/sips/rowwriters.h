#pragma once

#include <vips/vips8>

#include <functional>

namespace sips {

// Hands the image's rows to fn in strips, top to bottom, while libvips computes the next
// strips on its worker threads. fn gets the strip's first row, its row count, the first
// pixel and the distance between rows in bytes. Exceptions from fn end the run and go on.
using StripFn = std::function<void(int top, int rows, const unsigned char* pixels, size_t lineSkip)>;
void forEachStrip(const vips::VImage& image, const StripFn& fn);

// Writes all of data at offset of fd; throws ToolError with errno's text.
void writeAt(int fd, const void* data, size_t size, off_t offset);

// Counts bytes written to fd and, every few megabytes, has the kernel start putting them on
// disk while the encoder goes on (from another thread, so that the encoder never waits for the
// disk): the flush before the rename then waits for the last few megabytes instead of the
// whole file. One output is written at a time.
void wrote(int fd, size_t bytes);

// BMP version 3, 24 bits, bottom-up: an 8-bit RGB image.
void writeBmp(const vips::VImage& image, int fd);

// PICT version 2: one DirectBitsRect of 32-bit pixels, rows PackBits-compressed: 8-bit RGB.
void writePict(const vips::VImage& image, int fd);

// Uncompressed PSD: grey, RGB or CMYK of 8 or 16 bits, with or without alpha. With alpha one
// layer holds the picture, so that readers that read only layers see it transparent too.
void writePsd(const vips::VImage& image, int fd);

} // namespace sips
