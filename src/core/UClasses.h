// TLiveUpdate: the run settings and run state of one run of the installer, the program-wide
// constants, and the command-line queries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "uStrParam.h"

class TFileXML;

// Program-wide constants.
extern const char* const DefaultDownloadUrl;       // set at build time (KLU_DOWNLOAD_URL)
extern const char* const DefaultLanguageName;      // "english"
extern const char* const ApplicationExeName;       // "Pluvion.exe"
extern const char* const DefaultInstallSubfolder;  // "Program Files\Veltrona\Pluvion"
extern const char* const BrandFolderName;          // "Veltrona"
extern const char* const ApplicationName;          // "Pluvion"
extern const char* const ApplicationKey;           // "HKEY_CURRENT_USER\Software\Kestrum\Pluvion"
extern const char* const UpdaterExeName;           // "KestrumLiveUpdate.exe"
extern const char* const DownloadLocationCode;     // "VLT"
extern const char* const DefaultUserName;          // ""
extern const char* const DefaultPlaceCode;         // ""
constexpr unsigned long DefaultHiddenBatchLineLimitMs = 10 * 60 * 1000;  // ten minutes

// The Windows predefined root keys, with the values their handles have in a 32-bit program.
// They travel as the attached value of a key list entry.
namespace rootkey {
constexpr std::uintptr_t ClassesRoot = 0x80000000u;
constexpr std::uintptr_t CurrentUser = 0x80000001u;
constexpr std::uintptr_t LocalMachine = 0x80000002u;
constexpr std::uintptr_t Users = 0x80000003u;
constexpr std::uintptr_t CurrentConfig = 0x80000005u;
// The root of that (upper-case) name, or 0 when the name is not one of the five.
std::uintptr_t FromName(const std::string& upperName);
}  // namespace rootkey

class TLiveUpdate {
public:
    // commandLine is the process's whole command line, program path first (GetCommandLineA).
    explicit TLiveUpdate(const std::string& commandLine = std::string());
    ~TLiveUpdate() = default;
    TLiveUpdate(const TLiveUpdate&) = delete;
    TLiveUpdate& operator=(const TLiveUpdate&) = delete;

    // Fields, read and written directly by the window and the worker.
    TStringParam ApplicationKeys{"", ","};  // key path, with its root handle as attached value
    std::string DownloadUrl;
    std::string ArchiveFileName;
    std::string TempFolder;                 // as the system reports it, with its trailing backslash
    std::string WorkFolderName;             // a new GUID in its braced text form
    TStringParam ProcessList{"", ","};
    TStringParam ExtractedFiles{"", "\r\n"};
    std::string InstallFolder;              // never ending in a backslash
    TFileXML* LanguageTable = nullptr;      // not owned
    bool UninstallFlag = false;
    // How long a hidden run ("/HIDE") waits for one line of the configuration batch before it
    // ends it; runs with a window wait without limit. Tests shorten it.
    unsigned long HiddenBatchLineLimitMs = DefaultHiddenBatchLineLimitMs;

    // The parameters after the program path, numbered from 1 (index 0 holds the program path).
    const std::vector<std::string>& Params() const { return params_; }
    int ParamCount() const { return static_cast<int>(params_.size()) - 1; }

    // True when a parameter equals the switch, ASCII letter case ignored.
    bool IsSwitch(const std::string& sw) const;
    // The parameter after the first occurrence of the switch that has one, unchanged; "" otherwise.
    std::string GetSwitchValue(const std::string& sw) const;
    // Everything after the last "/" of the URL; "" when there is none.
    static std::string GetUrlFileName(const std::string& url);
    // Replaces ApplicationKeys by the entries of a "," list of ROOT\path keys; entries whose root is
    // not one of the five predefined long names are skipped.
    void SetApplicationKeys(const std::string& text);

private:
    std::vector<std::string> params_;
};
