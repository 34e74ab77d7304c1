#include "commandlines.h"

namespace vorpel::commands {

std::string imagePrefix(std::string_view formatToken) {
    std::string s = "sips --setProperty format ";
    s += formatToken;
    s += " --setProperty formatOptions best ";
    return s;
}

std::string document(std::string_view prefix, const FolderItem& source) {
    std::string s(prefix);
    s += source.ShellPath();
    return s;
}

std::string document(std::string_view prefix, const FolderItem& source, const FolderItem& output) {
    std::string s(prefix);
    s += kOutputOption;
    s += output.ShellPath();
    s += ' ';
    s += source.ShellPath();
    return s;
}

std::string markup(std::string_view prefix, const FolderItem& source, const FolderItem& output) {
    std::string s(prefix);
    s += source.ShellPath();
    s += kRedirect;
    s += output.ShellPath();
    return s;
}

std::string image(std::string_view formatToken, const FolderItem& source, const FolderItem& output) {
    std::string s = imagePrefix(formatToken);
    s += source.ShellPath();
    s += kImageOut;
    s += output.ShellPath();
    return s;
}

std::string speech(const FolderItem& source, const std::string& voice, const FolderItem& output) {
    std::string s(kSpeechText);
    s += source.ShellPath();
    s += kSpeechPipe;
    s += voice;
    s += kSpeechOut;
    s += output.ShellPath();
    return s;
}

} // namespace vorpel::commands
