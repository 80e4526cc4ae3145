// The main window's text rules that need no window: the proposed install folder, the folder text
// the user confirmed, the language a run shows, the browser program of a command template and the
// brand home page. (The registry path without its root is in InstallLayout.h.)
#pragma once

#include <string>

namespace window_rules {

// drive letter of the Windows folder + ":\" + subfolder; "" when the Windows folder is empty.
std::string ProposedInstallFolder(const std::string& windowsFolder, const std::string& subfolder);

// The text without any trailing backslash ("" for a text made only of backslashes).
std::string WithoutTrailingBackslashes(const std::string& text);

// The program of a browser command template: trimmed of blanks and control characters; a quoted
// start gives the text up to the next quote; otherwise the folder part and the file-name part cut
// before its first blank. "" for an empty template.
std::string BrowserProgram(const std::string& commandTemplate);

// The language section a run shows, upper-cased: an install always shows the default language (its
// texts for other languages are not complete); only the uninstall takes "/language".
std::string RunLanguageName(const std::string& languageSwitch, bool uninstall, const std::string& defaultName);

// The brand home page for a language name: the Brisaune one for "FRENCH", else the Veltrona one.
std::string BrandHomePage(const std::string& languageName);

}  // namespace window_rules
