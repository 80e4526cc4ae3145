#include "UClasses.h"

#include "CommandLine.h"

#ifndef KLU_DOWNLOAD_URL
#define KLU_DOWNLOAD_URL "http://download.veltrona.example/pluvion/pluvionfull.zip"
#endif

const char* const DefaultDownloadUrl = KLU_DOWNLOAD_URL;
const char* const DefaultLanguageName = "english";
const char* const ApplicationExeName = "Pluvion.exe";
const char* const DefaultInstallSubfolder = "Program Files\\Veltrona\\Pluvion";
const char* const BrandFolderName = "Veltrona";
const char* const ApplicationName = "Pluvion";
const char* const ApplicationKey = "HKEY_CURRENT_USER\\Software\\Kestrum\\Pluvion";
const char* const UpdaterExeName = "KestrumLiveUpdate.exe";
const char* const DownloadLocationCode = "VLT";
const char* const DefaultUserName = "";
const char* const DefaultPlaceCode = "";

namespace rootkey {
std::uintptr_t FromName(const std::string& upperName) {
    if (upperName == "HKEY_LOCAL_MACHINE") return LocalMachine;
    if (upperName == "HKEY_CURRENT_USER") return CurrentUser;
    if (upperName == "HKEY_CLASSES_ROOT") return ClassesRoot;
    if (upperName == "HKEY_USERS") return Users;
    if (upperName == "HKEY_CURRENT_CONFIG") return CurrentConfig;
    return 0;
}
}  // namespace rootkey

TLiveUpdate::TLiveUpdate(const std::string& commandLine) : params_(SplitCommandLine(commandLine)) {
    if (params_.empty()) params_.emplace_back();  // keep index 0 for the program path
}

bool TLiveUpdate::IsSwitch(const std::string& sw) const {
    const std::string wanted = UpperCaseAscii(sw);
    for (std::size_t i = 1; i < params_.size(); ++i)
        if (UpperCaseAscii(params_[i]) == wanted) return true;
    return false;
}

std::string TLiveUpdate::GetSwitchValue(const std::string& sw) const {
    const std::string wanted = UpperCaseAscii(sw);
    for (std::size_t i = 1; i + 1 < params_.size(); ++i)
        if (UpperCaseAscii(params_[i]) == wanted) return params_[i + 1];
    return std::string();
}

std::string TLiveUpdate::GetUrlFileName(const std::string& url) {
    const std::size_t slash = url.rfind('/');
    if (slash == std::string::npos) return std::string();
    return url.substr(slash + 1);
}

void TLiveUpdate::SetApplicationKeys(const std::string& text) {
    const TStringParam entries(text, ",");
    ApplicationKeys.Clear();
    for (int i = 0; i < entries.Count(); ++i) {
        const std::string& entry = entries[i];
        const std::size_t slash = entry.find('\\');
        if (slash == std::string::npos) continue;  // no root name at all
        const std::uintptr_t root = rootkey::FromName(UpperCaseAscii(entry.substr(0, slash)));
        if (root == 0) continue;  // short forms, blanks around the name, unknown roots
        ApplicationKeys.Add(entry.substr(slash + 1), root);
    }
}
