#pragma once

#include "platform/folderitem.h"

#include <string>
#include <string_view>

// The exact command lines handed to the shell. Every blank counts: callers compare them
// character for character, so the prefixes stay literal.
namespace vorpel::commands {

// Document conversions: prefix, then the source's shell path. An output of another name than
// the tool's own goes between the two, after "-output ".
inline constexpr std::string_view kDoc = "textutil -convert doc ";
inline constexpr std::string_view kDocx = "textutil -convert docx ";
inline constexpr std::string_view kOdt = "textutil -convert odt ";
inline constexpr std::string_view kTxtUtf16 = "textutil -convert txt  -encoding UTF-16 ";
inline constexpr std::string_view kTxt = "textutil -convert txt ";
inline constexpr std::string_view kRtf = "textutil -convert rtf ";
inline constexpr std::string_view kHtmlUtf16 =
    "textutil -convert html  -encoding UTF-16  -editor ZENTO -Generator ZENTO ";
inline constexpr std::string_view kHtml = "textutil -convert html  -editor ZENTO -Generator ZENTO  ";
inline constexpr std::string_view kHtmlNoImages =
    "textutil -convert html  -nostore  -editor ZENTO -Generator ZENTO  ";
inline constexpr std::string_view kWordml = "textutil -convert wordml ";
inline constexpr std::string_view kRtfd = "textutil -convert rtfd ";
inline constexpr std::string_view kArchive =
    "textutil -convert webarchive -editor ZENTO -Generator ZENTO  ";
inline constexpr std::string_view kArchiveUtf16 =
    "textutil -convert webarchive  -utf16  -editor ZENTO -Generator ZENTO  ";
inline constexpr std::string_view kArchiveNoImages =
    "textutil -convert webarchive  -noload  -nostore  -editor ZENTO -Generator ZENTO  ";
inline constexpr std::string_view kOutputOption = "-output ";

// Markup clean-up: prefix, source, " >  ", output.
inline constexpr std::string_view kXhtmlWin1252 =
    "tidy -asxhtml  -quiet -utf8 -bare -omit -clean -win1252 < ";
inline constexpr std::string_view kXhtmlUtf8 =
    "tidy -asxhtml -numeric -quiet -utf8  -bare -omit -clean  < ";
inline constexpr std::string_view kXhtmlShiftJis =
    "tidy -asxhtml  -quiet -utf8 -bare -omit -clean -shiftjis < ";
inline constexpr std::string_view kXhtmlUtf16 =
    "tidy -asxhtml -numeric -quiet -utf8  -bare -omit -clean  -utf16 < ";
inline constexpr std::string_view kXhtmlBig5 =
    "tidy -asxhtml -numeric -quiet -utf8  -bare -omit -clean  -big5 < ";
inline constexpr std::string_view kToHtml = "tidy -html -numeric -quiet -utf8 -bare -omit < ";
inline constexpr std::string_view kRedirect = " >  ";

// File flags and size.
inline constexpr std::string_view kLock = "chflags -R uchg ";
inline constexpr std::string_view kUnlock = "chflags -R nouchg ";
inline constexpr std::string_view kSize = "du -h ";

// Speech pipeline pieces.
inline constexpr std::string_view kSpeechText = "textutil -convert txt -stdout ";
inline constexpr std::string_view kSpeechPipe = " | say -v ";
inline constexpr std::string_view kSpeechOut = " -o ";

// Image conversions: "sips --setProperty format TOKEN --setProperty formatOptions best ".
std::string imagePrefix(std::string_view formatToken);
inline constexpr std::string_view kImageOut = " --out ";

std::string document(std::string_view prefix, const FolderItem& source);
std::string document(std::string_view prefix, const FolderItem& source, const FolderItem& output);
std::string markup(std::string_view prefix, const FolderItem& source, const FolderItem& output);
std::string image(std::string_view formatToken, const FolderItem& source, const FolderItem& output);
std::string speech(const FolderItem& source, const std::string& voice, const FolderItem& output);

} // namespace vorpel::commands
