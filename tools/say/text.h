#pragma once

#include <string>
#include <string_view>

namespace say {

// True when the bytes are well-formed UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Text ready for espeak-ng: UTF-8 kept as is (a character cut short at the very end dropped),
// anything else read as Latin-1 and converted;
// NUL bytes become blanks so the text is one C string.
std::string toSpeakableUtf8(std::string_view bytes);

// True when the bytes are data rather than text: a NUL, or more than one control code in a
// hundred bytes (what a picture or an archive handed over as text looks like).
bool looksBinary(std::string_view bytes);

// True when there is something to say: any character other than white space (ASCII or
// Unicode), control codes and invisible format characters.
bool hasSpeakableText(std::string_view utf8);

// Breaks long chains of dotted letters ("e.g. e.g. ...", "a.b.c.d..."), which espeak-ng 1.51
// reads as one abbreviation and overflows a buffer on (the process aborts): a line break goes in
// after every `maxLetters` letters of a chain. Other text is returned as it is.
std::string breakDottedChains(std::string_view utf8, size_t maxLetters = 32);

} // namespace say
