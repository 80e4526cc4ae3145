#include "CommandLine.h"

namespace {
bool IsSeparator(unsigned char c) { return c >= 1 && c <= 32; }
}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> params;
    // A NUL ends the text, as it ends the system's command-line string.
    const std::string text = commandLine.substr(0, commandLine.find('\0'));
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (true) {
        while (i < n && IsSeparator(static_cast<unsigned char>(text[i]))) ++i;
        if (i >= n) break;
        std::string param;
        while (i < n && !IsSeparator(static_cast<unsigned char>(text[i]))) {
            if (text[i] == '"') {
                ++i;
                while (i < n && text[i] != '"') param += text[i++];
                if (i < n) ++i;  // the closing quote
            } else {
                param += text[i++];
            }
        }
        // Only a parameter made of quotes alone can be empty: it is skipped.
        if (!param.empty()) params.push_back(param);
    }
    return params;
}
