#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Character-set helpers shared by the readers and writers (iconv underneath).
namespace textutil {

bool isValidUtf8(std::string_view s);
void appendUtf8(std::string& out, uint32_t codepoint);
// Decodes one code point at `pos`, advancing it; invalid bytes give U+FFFD.
uint32_t nextCodepoint(std::string_view s, size_t& pos);

// Converts between `from` and `to` (iconv names). Throws std::runtime_error naming the
// encoding when it is unknown; undecodable bytes become U+FFFD when `lossy`.
std::string convertEncoding(std::string_view data, const std::string& from, const std::string& to,
                            bool lossy = true);
bool encodingKnown(const std::string& name);
// UTF-8 to little-endian UTF-16 with its byte-order mark, as the writers emit "UTF-16".
std::string utf16WithBom(std::string_view utf8);

// Windows code page number to an iconv name ("CP1251", "MACINTOSH", ...).
std::string codePageName(int codepage);

// Windows-1252 with the five unassigned bytes taken as Latin-1.
std::string decodeCp1252(std::string_view data);

// The encoding of bytes that are neither UTF-8 nor UTF-16 and declare none: uchardet's
// answer (an iconv name) when it is confident, else "CP1252". When `decoded` is given and
// the answer is not "CP1252", it receives the text in UTF-8.
std::string guessLegacyEncoding(std::string_view data, std::string* decoded = nullptr);

// Plain text from unknown bytes: BOM, then UTF-8 validity, then UTF-16 without BOM by
// its zero bytes, then the guessed legacy encoding. The result has no BOM.
std::string decodeText(std::string_view data, const std::string& forced = {});
// The same without a copy when the bytes are UTF-8 already: the result views `data` or `storage`.
std::string_view decodeText(std::string_view data, const std::string& forced, std::string& storage);
// True when the data has a UTF-16 or UTF-32 byte-order mark or looks like BOM-less UTF-16.
bool looksLikeUtf16(std::string_view data);

} // namespace textutil
