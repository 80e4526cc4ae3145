// The end of the install chain (clean-up and registration) and the finishing operations that the
// window runs when it closes after a successful run: shortcuts, Run value, uninstall entry, start.
#include <new>
#include <stdexcept>

#include "InstallLayout.h"
#include "worker/UThread.h"
#include "worker/WorkerPaths.h"

namespace {

using namespace layout;

// Paths the application itself may create, listed for the uninstall whether they exist or not.
const char* const kApplicationDataFiles[] = {"\\ad.gif", "\\ad.xml", "\\id.xml", "\\obs.xml", "\\reg.xml",
                                             "\\PluvionApp.log"};

}  // namespace

bool TThreadLiveUpdate::DeleteTempFiles() {
    StepOverall();
    SetLabelPending(Lang().S_Delete);
    SetPending(0, settings_.ExtractedFiles.Count() + 1);
    settings_.ExtractedFiles.Sort();
    if (settings_.ExtractedFiles.Count() == 0) return true;
    // From the last entry to the first, removing each folder once it has been left (which only
    // succeeds when it is empty).
    std::string current = worker::FolderOf(settings_.ExtractedFiles[settings_.ExtractedFiles.Count() - 1]);
    for (int i = settings_.ExtractedFiles.Count() - 1; i >= 0; --i) {
        const std::string& file = settings_.ExtractedFiles[i];
        if (worker::FolderOf(file) != current) platform::RemoveDir(current);
        platform::RemoveFile(file);
        current = worker::FolderOf(file);
        StepPending();
    }
    platform::RemoveDir(current);
    StepPending();
    return true;
}

bool TThreadLiveUpdate::RegisterApplication() {
    try {
        bool result = false;
        const std::string appKey = layout::StripRootKey(ApplicationKey);
        {
            platform::RegKey key;
            if (key.Open(rootkey::CurrentUser, appKey, true)) {
                key.WriteString(kUserNameValue, DefaultUserName);
                key.WriteString(kPlaceCodeValue, DefaultPlaceCode);
                key.WriteString(kLanguageValue, Lang().S_CodeLanguage);
                key.WriteString(kDownloadLocationValue, DownloadLocationCode);
                std::string server;
                int port = -1;
                const bool proxy = DiscoverProxy && DiscoverProxy(server, port);
                key.WriteInteger(kUseProxyValue, proxy ? 1 : 0);
                std::string info;
                if (!server.empty()) info = server + ";";
                if (port != -1) info += std::to_string(port);
                key.WriteString(kProxyInfoValue, info);
                result = true;
            }
        }
        {
            platform::RegKey key;
            if (key.Open(rootkey::CurrentUser, appKey + kUninstallSubkey, true)) {
                key.WriteString(kUninstallKeyValue, ApplicationName);
                TStringParam files("", ";");
                for (const char* name : kApplicationDataFiles) files.Add(settings_.InstallFolder + name);
                std::string text = files.Text();
                std::string stored;
                if (key.TryReadString(kFilesValue, stored)) text = MergeFileList(stored, text);
                key.WriteString(kFilesValue, text);
            }
        }
        {
            // Take back deletions that an earlier uninstall scheduled and that have not run yet.
            platform::RegKey key;
            if (key.Open(rootkey::LocalMachine, kRunOnceKey, false)) {
                for (const std::string& name : key.ValueNames())
                    if (name.find(kPendingDeletePrefix) != std::string::npos) key.DeleteValue(name);
            }
        }
        return result;
    } catch (const std::bad_alloc&) {
        throw;  // out of memory: the frame reports it
    } catch (const std::exception& e) {
        ReportStatus(e.what(), 0);
        return false;
    }
}

void TThreadLiveUpdate::RegisterUninstallFiles(std::string text) {
    for (int i = 0; i < settings_.ApplicationKeys.Count(); ++i) {
        platform::RegKey key;
        key.Open(settings_.ApplicationKeys.Object(i), settings_.ApplicationKeys[i] + kUninstallSubkey, true);
        std::string stored;
        if (key.TryReadString(kFilesValue, stored)) text = MergeFileList(stored, text);
        key.WriteString(kFilesValue, text);  // raises when the key did not open
    }
}

std::string TThreadLiveUpdate::UninstallArguments() const {
    return std::string("/language ") + Lang().LanguageName +
           " /uninstall HKEY_CURRENT_USER\\" + kRunKey + "\\" + ApplicationName +
           "," + ApplicationKey;
}

std::string TThreadLiveUpdate::UninstallCommandLine() const {
    return "\"" + settings_.InstallFolder + "\\" + UpdaterExeName + "\" " + UninstallArguments();
}

void TThreadLiveUpdate::CreateShortcuts(bool createDesktop) {
    platform::ShellLink link;
    const std::string target = settings_.InstallFolder + "\\" + ApplicationExeName;
    link.SetArguments("");
    link.SetPath(target);
    link.SetWorkingDirectory(worker::FolderOf(target));
    {
        // Quoted, so that a planted "C:\Program.exe" cannot stand in for a path with blanks.
        platform::RegKey run;
        run.Open(rootkey::CurrentUser, kRunKey, true);
        run.WriteString(ApplicationName, "\"" + target + "\"");
    }
    TStringParam links("", ";");
    platform::RegKey folders;
    folders.OpenReadOnly(rootkey::CurrentUser, kShellFoldersKey);
    const std::string menu = folders.ReadString(kProgramsFolderValue) + "\\" + BrandFolderName;
    platform::ForceDirectories(menu);
    const std::string menuLink = menu + "\\" + ApplicationName + ".lnk";
    std::string desktopLink;
    if (createDesktop) {
        const std::string desktop = folders.ReadString(kDesktopFolderValue);
        if (!platform::DirectoryExists(desktop)) platform::ForceDirectories(desktop);
        desktopLink = desktop + "\\" + ApplicationName + ".lnk";
    }
    const std::string uninstallLink = menu + "\\" + Lang().S_BUninstall + " " + ApplicationName + ".lnk";
    // The installed size is taken while the links are saved (under Wine each save waits for a
    // helper process): the files already listed are asked on a thread of their own, the links
    // once they are written.
    SizeTaker sizes(ListedFiles(), {menuLink, desktopLink, uninstallLink});
    link.Save(menuLink);
    links.Add(menuLink);
    if (createDesktop) {
        link.Save(desktopLink);
        links.Add(desktopLink);
    }
    link.SetArguments(UninstallArguments());
    link.SetPath(settings_.InstallFolder + "\\" + UpdaterExeName);
    link.SetWorkingDirectory(settings_.InstallFolder);
    link.Save(uninstallLink);
    links.Add(uninstallLink);
    RegisterUninstallFiles(links.Text());
    folders.Close();

    platform::RegKey entry;
    if (entry.Open(UninstallEntryRoot(GetPlatformId()), UninstallEntryKey(ApplicationName), true)) {
        entry.WriteString(kDisplayNameValue, ApplicationName);
        entry.WriteString(kUninstallStringValue, UninstallCommandLine());
        entry.WriteString(kQuietUninstallStringValue, UninstallCommandLine() + " /HIDE");
        // What Windows' list of programs expects beside the two values above.
        entry.WriteString(kInstallLocationValue, settings_.InstallFolder);
        entry.WriteString(kDisplayIconValue, target);
        entry.WriteString(kPublisherValue, BrandFolderName);
        entry.WriteInteger(kEstimatedSizeValue, InstalledSizeKiB(sizes.Taken()));
        entry.WriteInteger(kNoModifyValue, 1);
        entry.WriteInteger(kNoRepairValue, 1);
    }
}

std::string TThreadLiveUpdate::ListedFiles() const {
    for (int i = 0; i < settings_.ApplicationKeys.Count(); ++i) {
        platform::RegKey key;
        if (!key.OpenReadOnly(settings_.ApplicationKeys.Object(i), settings_.ApplicationKeys[i] + kUninstallSubkey))
            continue;
        return key.ReadString(kFilesValue);  // the first key is the application's
    }
    return std::string();
}

std::uint32_t TThreadLiveUpdate::InstalledSizeKiB(const FileSizes* known) const {
    std::uint64_t bytes = 0;
    const TStringParam files(ListedFiles(), ";");
    // One size question a file not known yet. Under Wine it is answered without a round trip to
    // the server, several times faster than a listing of each folder.
    for (int j = 0; j < files.Count(); ++j) {
        if (known != nullptr) {
            const auto found = known->find(files[j]);
            if (found != known->end()) {
                bytes += found->second;
                continue;
            }
        }
        std::uint64_t size = 0;
        if (platform::FileSize(files[j], size)) bytes += size;
    }
    return static_cast<std::uint32_t>((bytes + 1023) / 1024);
}

SizeTaker::SizeTaker(const std::string& listed, std::set<std::string> skipped) : skipped_(std::move(skipped)) {
    try {
        thread_ = std::thread([this, listed] {
            try {
                const TStringParam files(listed, ";");
                for (int j = 0; j < files.Count(); ++j) {
                    if (skipped_.count(files[j]) != 0) continue;
                    std::uint64_t size = 0;
                    sizes_[files[j]] = platform::FileSize(files[j], size) ? size : 0;
                }
                taken_ = true;
            } catch (...) {
                // Out of memory: the sizes are asked again once the links exist.
            }
        });
    } catch (...) {
        // No thread: likewise.
    }
}

SizeTaker::~SizeTaker() {
    if (thread_.joinable()) thread_.join();
}

const FileSizes* SizeTaker::Taken() {
    if (thread_.joinable()) thread_.join();
    return taken_ ? &sizes_ : nullptr;
}

bool TThreadLiveUpdate::StartApplication() {
    settings_.ProcessList.SetText(ApplicationExeName);
    platform::SetCurrentDir(settings_.InstallFolder);
    // By its full path in quotes, so that no other "Pluvion.exe" on the search path runs instead.
    for (int i = 0; i < settings_.ProcessList.Count(); ++i)
        RunProgram("\"" + settings_.InstallFolder + "\\" + settings_.ProcessList[i] + "\"");
    return true;
}

void TThreadLiveUpdate::RunProgram(const std::string& commandLine) {
    platform::StartProcess(commandLine, false);  // not awaited; a failure to start is ignored
}
