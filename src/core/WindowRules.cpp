#include "WindowRules.h"

#include "uStrParam.h"

namespace window_rules {

std::string ProposedInstallFolder(const std::string& windowsFolder, const std::string& subfolder) {
    if (windowsFolder.empty()) return std::string();
    return std::string(1, windowsFolder[0]) + ":\\" + subfolder;
}

std::string RunLanguageName(const std::string& languageSwitch, bool uninstall, const std::string& defaultName) {
    return UpperCaseAscii(uninstall && !languageSwitch.empty() ? languageSwitch : defaultName);
}

std::string WithoutTrailingBackslashes(const std::string& text) {
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == '\\') --end;
    return text.substr(0, end);
}

std::string BrowserProgram(const std::string& commandTemplate) {
    // Blanks and control characters are everything up to the space.
    std::size_t begin = 0, end = commandTemplate.size();
    while (begin < end && static_cast<unsigned char>(commandTemplate[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(commandTemplate[end - 1]) <= ' ') --end;
    const std::string text = commandTemplate.substr(begin, end - begin);
    if (text.empty()) return std::string();
    if (text[0] == '"') {
        const std::size_t close = text.find('"', 1);
        return text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    const std::size_t lastSeparator = text.find_last_of("\\:");
    const std::size_t nameStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
    const std::string folder = text.substr(0, nameStart);
    const std::string name = text.substr(nameStart);
    const std::size_t blank = name.find(' ');
    return folder + (blank == std::string::npos ? name : name.substr(0, blank));
}

std::string BrandHomePage(const std::string& languageName) {
    return languageName == "FRENCH" ? "http://www.brisaune.example/" : "http://www.veltrona.example/";
}

}  // namespace window_rules
