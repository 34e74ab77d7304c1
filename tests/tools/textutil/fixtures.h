#pragma once

#include "document.h"
#include "formats.h"

#include <string>

namespace textutiltest {

// A 2x2 PNG (red and blue pixels).
std::string samplePng();

// A document that exercises every part of the model the formats of this tool carry:
// styled runs, a link, a heading, a bulleted and a numbered list, a table and a picture.
textutil::Document richDocument();

// Writes with one format and reads the result back through the format table, the way the
// command line does (bundles go through a real folder).
textutil::Document roundTrip(const textutil::Document& doc, const std::string& format,
                             const textutil::WriteOptions& opts = {});

// The first run in the document whose text contains `needle`, or null.
const textutil::Run* findRun(const textutil::Document& doc, const std::string& needle);

// The same, throwing (and so failing the test) when there is none.
const textutil::Run& runWith(const textutil::Document& doc, const std::string& needle);

// Every paragraph, tables flattened row by row.
std::vector<const textutil::Paragraph*> allParagraphs(const textutil::Document& doc);

} // namespace textutiltest
