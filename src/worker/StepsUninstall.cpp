// The uninstall chain: the recorded files, the registry entries, and deletions scheduled for the
// next start of Windows for files in use.
#include <algorithm>
#include <exception>

#include "Decimal.h"
#include "worker/UThread.h"
#include "worker/WorkerPaths.h"

namespace {

using namespace layout;


// A whole decimal integer: an optional sign, then at most 18 digits.
bool ParseInteger(const std::string& text, long long& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (text.size() - i > 18) return false;
    std::uint64_t v = 0;
    if (ParseDecimal(text.data() + i, text.data() + text.size(), UINT64_C(999999999999999999), v) !=
        DecimalResult::Ok)
        return false;
    value = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
    return true;
}

}  // namespace

void TThreadLiveUpdate::RunUninstallChain() {
    try {
        SetOverall(overall_.Position(), 2);
        if (!(UninstallFiles() && UninstallRegistries())) return;
        view_.SetRestartVisible(true);
        view_.SetFinishLabelTop(Lang().S_UninstallComplete);
        ReportUninstallResult(uninstallNoticeUrl_, "true");
        ExitCode.store(0);
        ReportStatus(Lang().S_UninstallMessage, 2);
    } catch (const std::exception& e) {
        ExitCode.store(1);
        ReportUnknownError(e.what());
        ReportUninstallResult(uninstallNoticeUrl_, "false");
    } catch (...) {
        ExitCode.store(1);
        ReportUnknownError("");
        ReportUninstallResult(uninstallNoticeUrl_, "false");
    }
}

namespace {

// The install folder as the uninstall entry records it ("" when it does not).
std::string RecordedInstallFolder(unsigned long platformId) {
    platform::RegKey key;
    if (!key.OpenReadOnly(UninstallEntryRoot(platformId), UninstallEntryKey(ApplicationName))) return std::string();
    std::string folder = key.ReadString(kInstallLocationValue);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

bool IsInside(const std::string& path, const std::string& folder) {
    return !folder.empty() && path.size() > folder.size() + 1 && path[folder.size()] == '\\' &&
           SameTextNoCase(path.substr(0, folder.size()), folder);
}

// The brand's folder in the Programs menu, where the install put its shortcuts ("" when the
// Programs menu is not known).
std::string BrandMenuFolder() {
    platform::RegKey folders;
    if (!folders.OpenReadOnly(rootkey::CurrentUser, kShellFoldersKey)) return std::string();
    std::string programs = folders.ReadString(kProgramsFolderValue);
    while (!programs.empty() && programs.back() == '\\') programs.pop_back();
    return programs.empty() ? std::string() : programs + "\\" + BrandFolderName;
}

// Only folders that the install made go when they become empty: the install folder and the
// folders below it, and the brand's Programs-menu folder. Never the Desktop, the Programs menu
// itself, nor anything above the install folder, even when the uninstall left them empty.
bool MadeByInstall(const std::string& folder, const std::string& installFolder, const std::string& menuFolder) {
    if (folder.empty()) return false;
    if (!installFolder.empty() && (SameTextNoCase(folder, installFolder) || IsInside(folder, installFolder)))
        return true;
    return !menuFolder.empty() && SameTextNoCase(folder, menuFolder);
}

}  // namespace

bool TThreadLiveUpdate::UninstallFiles() {
    SetPending(0, 0);
    SetLabelPending(Lang().S_UninstallFiles);
    StepOverall();
    // Folders that the package brought below the install folder go when they become empty, and
    // so does the install folder itself; nothing above it is touched.
    const std::string installFolder = RecordedInstallFolder(GetPlatformId());
    const std::string menuFolder = BrandMenuFolder();
    for (int k = 0; k < settings_.ApplicationKeys.Count(); ++k) {
        platform::RegKey key;
        if (!key.OpenReadOnly(settings_.ApplicationKeys.Object(k), settings_.ApplicationKeys[k] + kUninstallSubkey))
            continue;
        std::string stored;
        if (!key.TryReadString(kFilesValue, stored)) continue;
        key.Close();
        const TStringParam files(stored, ";");
        SetPending(0, files.Count());
        for (int i = 0; i < files.Count(); ++i) {
            if (platform::RemoveFile(files[i])) {
                // Each folder goes only when it became empty, up to the install folder.
                for (std::string folder = worker::FolderOf(files[i]);
                     MadeByInstall(folder, installFolder, menuFolder) && platform::RemoveDir(folder);
                     folder = worker::FolderOf(folder)) {
                }
            } else {
                DeleteOnReboot(files[i]);
            }
            SetPendingPosition(i);
        }
        SetPendingPosition(pending_.Maximum());
    }
    return true;
}

bool TThreadLiveUpdate::UninstallRegistries() {
    SetPending(0, 0);
    SetLabelPending(Lang().S_UninstallRegistries);
    StepOverall();
    SetPending(0, settings_.ApplicationKeys.Count());
    for (int k = 0; k < settings_.ApplicationKeys.Count(); ++k) {
        StepPending();
        // The entry first: its name is read from below the path that the second call deletes.
        DeleteUninstallEntry(settings_.ApplicationKeys[k], settings_.ApplicationKeys.Object(k));
        DeleteRegistryPath(settings_.ApplicationKeys[k], settings_.ApplicationKeys.Object(k));
    }
    return true;
}

void TThreadLiveUpdate::DeleteUninstallEntry(const std::string& path, platform::RootKey root) {
    platform::RegKey key;
    if (!key.OpenReadOnly(root, path + kUninstallSubkey)) return;
    std::string name;
    if (!key.TryReadString(kUninstallKeyValue, name)) return;
    key.Close();
    if (name.empty()) return;  // never the whole list of programs
    platform::DeleteKey(UninstallEntryRoot(GetPlatformId()), UninstallEntryKey(name));
}

void TThreadLiveUpdate::DeleteRegistryPath(const std::string& path, platform::RootKey root) {
    // A single top-level name is never deleted.
    if (path.find('\\') == std::string::npos || path[0] == '\\') return;
    if (platform::KeyExists(root, path)) {
        platform::DeleteKey(root, path);  // with everything below it
        return;
    }
    // Otherwise the path names a value: parent key plus value name.
    const std::size_t slash = path.find_last_of('\\');
    platform::RegKey parent;
    if (parent.Open(root, "\\" + path.substr(0, slash), false)) parent.DeleteValue(path.substr(slash + 1));
}

void TThreadLiveUpdate::DeleteOnReboot(const std::string& filePath) {
    if (!platform::FileExists(filePath)) return;
    platform::RegKey key;
    key.Open(rootkey::LocalMachine, kRunOnceKey, true);
    const unsigned long platformId = GetPlatformId();
    const std::string path = layout::DeleteOnRebootPath(filePath);
    const std::string command = layout::DeleteOnRebootCommand(
        platformId, layout::IsNtFamily(platformId) ? path : platform::ShortPathName(path));
    std::vector<std::string> names = key.ValueNames();
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return CompareTextNoCase(a, b) < 0; });
    long long bound = 1;
    long long number = 0;
    for (const std::string& name : names) {
        const TStringParam pieces(name, "_");
        const std::string last = pieces.Count() > 0 ? pieces[pieces.Count() - 1] : name;
        long long k = 0;
        std::string data;
        if (!ParseInteger(last, k) || !key.TryReadString(name, data)) continue;
        if (data == command) {
            number = k;  // the same file scheduled again reuses its entry
            break;
        }
        bound = std::max(bound, k + 1);
    }
    if (number == 0) number = bound;
    key.WriteString(kPendingDeletePrefix + std::to_string(number), command);
}

void TThreadLiveUpdate::ReportUninstallResult(const std::string& url, const std::string& result) {
    if (url.empty()) return;
    try {
        NotifyUrl(url + result, 1000);
    } catch (...) {
        // The report never changes the outcome of the run.
    }
}
