#pragma once

#include "document.h"
#include "formats.h"

#include <filesystem>
#include <string>

// A document using everything the office writers support, and helpers to run it through them.
namespace officetest {

// A 1x1 PNG.
std::string tinyPng();
textutil::Document sampleDocument();
// Aligned paragraphs ("Centred words", "Right words", "Justified words"), a paragraph with
// "red", "marked", "serif" and "large" runs, a 90x45 pt picture, a title and an author.
textutil::Document formattedDocument();
// Checks (with gtest) that `doc` has what formattedDocument() put in; the picture's size
// only when `pictureSize`.
void checkFormatting(const textutil::Document& doc, bool pictureSize = true);
// Writes with the named format and reads the bytes back through detection.
textutil::Document roundTrip(const textutil::Document& doc, const std::string& format);
std::string writeAs(const textutil::Document& doc, const std::string& format);
textutil::Document readBytes(const std::string& bytes, const std::string& name = "input");

// Writes `doc` in `format` as `stem`.<extension> under `dir` (a folder for a bundle); returns the
// path.
std::filesystem::path storeAs(const textutil::Document& doc, const textutil::Format& format,
                              const std::filesystem::path& dir, const std::string& stem);

// The first top-level paragraph whose text contains `needle`, or null.
const textutil::Paragraph* findParagraph(const textutil::Document& doc, const std::string& needle);
// The style of the first run of `p` whose text contains `needle`, or null.
const textutil::CharStyle* styleOf(const textutil::Paragraph& p, const std::string& needle);
const textutil::Table* firstTable(const textutil::Document& doc);

} // namespace officetest
