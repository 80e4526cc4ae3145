#include "InstallLayout.h"

#include <unordered_set>

#include "UClasses.h"
#include "uStrParam.h"

namespace layout {

std::string RemoveRootKey(const std::string& path) {
    if (path.find("HKEY_") == std::string::npos) return path;
    const std::size_t slash = path.find('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string StripRootKey(const std::string& path) {
    if (path.find("HKEY_") == std::string::npos) return path;
    const std::size_t slash = path.find('\\');
    return slash == std::string::npos ? std::string() : path.substr(slash + 1);
}

std::uintptr_t UninstallEntryRoot(unsigned long platformId) {
    return IsNtFamily(platformId) ? rootkey::CurrentUser : rootkey::LocalMachine;
}

std::string UninstallEntryKey(const std::string& name) { return std::string(kUninstallEntriesKey) + "\\" + name; }

std::string InterpreterPrefix(unsigned long platformId) {
    return IsNtFamily(platformId) ? "CMD.EXE /C" : "COMMAND.COM /C";
}

std::string InterpreterPath(unsigned long platformId, const std::string& systemFolder,
                            const std::string& windowsFolder) {
    const std::string& folder = IsNtFamily(platformId) ? systemFolder : windowsFolder;
    if (folder.empty()) return std::string();
    const bool separated = folder.back() == '\\';
    return folder + (separated ? "" : "\\") + (IsNtFamily(platformId) ? "cmd.exe" : "COMMAND.COM");
}

std::string CollapseBackslashes(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\\')
            while (i + 1 < text.size() && text[i + 1] == '\\') ++i;
    }
    return out;
}

std::string DeleteOnRebootPath(const std::string& filePath) {
    const bool network = filePath.size() > 1 && filePath[0] == '\\' && filePath[1] == '\\';
    if (!network) return CollapseBackslashes(filePath);
    return "\\" + CollapseBackslashes(filePath.substr(1));
}

std::string DeleteOnRebootCommand(unsigned long platformId, const std::string& path) {
    return InterpreterPrefix(platformId) + " DEL \"" + path + "\"";
}

std::string MergeFileList(const std::string& stored, const std::string& added) {
    TStringParam merged(stored, ";");
    const TStringParam more(added, ";");
    // Looked up by their upper-case form, as IndexOf compares: one search a path, not a pass
    // over the whole list for each of thousands of files.
    std::unordered_set<std::string> present;
    for (int i = 0; i < merged.Count(); ++i) present.insert(UpperCaseAscii(merged[i]));
    for (int i = 0; i < more.Count(); ++i)
        if (present.insert(UpperCaseAscii(more[i])).second) merged.Add(more[i]);
    return merged.Text();
}

}  // namespace layout
