#pragma once

#include <functional>
#include <optional>
#include <string>

namespace vorpel::ui {

// A modal message with one button. Tests replace the box so they never block on it.
void MsgBox(const std::string& text);
void setMessageBoxHandler(std::function<void(const std::string&)> handler);

// Opens a web address (or a local file URL) in the default browser.
bool ShowURL(const std::string& url);
void setShowUrlHandler(std::function<bool(const std::string&)> handler);

// Height of screen 0, or nothing when there is no screen.
std::optional<int> mainScreenHeight();

// Where the program's companions live, relative to its own binary:
// ../libexec/vorpelconverter for the tools, ../share/vorpelconverter for the support page.
std::string toolDirBesideBinary();
std::string shareDirBesideBinary();

} // namespace vorpel::ui
