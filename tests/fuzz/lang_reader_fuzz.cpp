// libFuzzer target: the tolerant reader and the language table on arbitrary bytes.
// The first line of the input names the section to select; the rest is the language file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "UFileXML.h"
#include "XmlReader.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nl = input.find('\n');
    const std::string selected = nl == std::string::npos || nl > 32 ? std::string() : input.substr(0, nl);
    const std::string& file = input;

    // The prepared text: every line ends in CR LF, no NUL, no other CR or LF.
    const std::string text = xmlreader::PrepareText(file);
    Check(text.find('\0') == std::string::npos);
    Check(text.empty() || (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0));
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') Check(i + 1 < text.size() && text[i + 1] == '\n');
        if (text[i] == '\n') Check(i > 0 && text[i - 1] == '\r');
    }
    Check(xmlreader::PrepareText(text) == text);   // preparing twice changes nothing

    // A section is a piece of the text it was cut from.
    const std::string outer = xmlreader::GetSection("LANGUAGE", text);
    Check(outer.empty() || text.find(outer) != std::string::npos);
    const std::string section = xmlreader::GetSection(selected.empty() ? "ENGLISH" : selected, outer);
    Check(section.size() <= outer.size());

    // A value never holds a double quote and is no longer than the section.
    for (const TFileXML::Key& k : TFileXML::Keys()) {
        const std::string v = xmlreader::GetKeyValue(k.name, section);
        Check(v.find('"') == std::string::npos);
        Check(v.size() <= section.size());
    }
    if (!selected.empty()) {
        const std::string v = xmlreader::GetKeyValue(selected, text);
        Check(v.find('"') == std::string::npos);
    }

    // The table: the name ends as the selected one or ENGLISH, and the selected one only when the
    // section was there.
    TFileXML table;
    table.SetLanguage(selected);
    table.LoadLanguage("QVI_XMLFile", [&](const std::string&, std::string& bytes) {
        bytes = file;
        return true;
    });
    const std::string wanted = selected.empty() ? "ENGLISH" : selected;
    Check(table.LanguageName == wanted || table.LanguageName == "ENGLISH");
    if (table.LanguageName == wanted && wanted != "ENGLISH") Check(!section.empty());
    return 0;
}
