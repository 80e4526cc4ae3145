// The install layout in one place: every registry key and value name the install writes and the
// uninstall reads, the registry paths' root names, the operating-system family choices, the
// command interpreter and the commands handed to it, and the uninstall's file list. Pure: the
// caller asks the system for the platform id and the folders.
#pragma once

#include <cstdint>
#include <string>

namespace layout {

// ---- Registry keys (below their root) ----------------------------------------------------------
// The log-on Run key, under HKEY_CURRENT_USER; the value is the application's name.
constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// The machine-wide RunOnce key that holds the scheduled deletions.
constexpr const char* kRunOnceKey = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// The parent of the Windows uninstall entries; an entry is this + "\\" + its name.
constexpr const char* kUninstallEntriesKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// The user's shell folders, under HKEY_CURRENT_USER.
constexpr const char* kShellFoldersKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// The subkey of an application key that records what the uninstall removes.
constexpr const char* kUninstallSubkey = "\\Uninstall";

// ---- Registry value names ----------------------------------------------------------------------
// Below the application key.
constexpr const char* kUserNameValue = "UserName";
constexpr const char* kPlaceCodeValue = "PlaceCode";
constexpr const char* kLanguageValue = "Language";
constexpr const char* kDownloadLocationValue = "DownloadLocation";
constexpr const char* kUseProxyValue = "UseProxy";
constexpr const char* kProxyInfoValue = "ProxyInfo";
constexpr const char* kUninstallNoticeValue = "UnistallNotice";  // the name as deployed
constexpr const char* kFeedbackValue = "feedback";
// Below the application key's uninstall subkey.
constexpr const char* kUninstallKeyValue = "UninstallKey";
constexpr const char* kFilesValue = "Files";
// In the Windows uninstall entry.
constexpr const char* kDisplayNameValue = "DisplayName";
constexpr const char* kUninstallStringValue = "UninstallString";
constexpr const char* kQuietUninstallStringValue = "QuietUninstallString";
constexpr const char* kInstallLocationValue = "InstallLocation";
constexpr const char* kDisplayIconValue = "DisplayIcon";
constexpr const char* kPublisherValue = "Publisher";
constexpr const char* kEstimatedSizeValue = "EstimatedSize";
constexpr const char* kNoModifyValue = "NoModify";
constexpr const char* kNoRepairValue = "NoRepair";
// In the shell folders key.
constexpr const char* kProgramsFolderValue = "Programs";
constexpr const char* kDesktopFolderValue = "Desktop";
// The scheduled deletions' value names: this prefix and a decimal number.
constexpr const char* kPendingDeletePrefix = "KestrumLU_DEL_";

// ---- Registry path texts -----------------------------------------------------------------------
// RemoveRootKey: when the text holds "HKEY_" (letter case kept), everything after the first
// backslash (the whole text when it has none); otherwise the text unchanged.
std::string RemoveRootKey(const std::string& path);
// StripRootKey: the same, but "" when a text that holds "HKEY_" has no backslash.
std::string StripRootKey(const std::string& path);

// Platform id 2 is the NT family; any other value selects the older family's behaviour.
constexpr unsigned long kNtFamily = 2;
inline bool IsNtFamily(unsigned long platformId) { return platformId == kNtFamily; }
// The root of the Windows uninstall entry: HKEY_CURRENT_USER on the NT family, HKEY_LOCAL_MACHINE
// on the older one (the predefined handles' values, as rootkey:: in UClasses.h holds them).
std::uintptr_t UninstallEntryRoot(unsigned long platformId);
// kUninstallEntriesKey + "\\" + name.
std::string UninstallEntryKey(const std::string& name);

// "CMD.EXE /C" on the NT family, "COMMAND.COM /C" on the older one: the start of every command
// line given to the interpreter.
std::string InterpreterPrefix(unsigned long platformId);
// The interpreter's own file, named by full path so that no same-named program beside the
// installer or in its current folder is taken: the system folder's cmd.exe on the NT family, the
// Windows folder's COMMAND.COM on the older one. "" when the folder is unknown.
std::string InterpreterPath(unsigned long platformId, const std::string& systemFolder,
                            const std::string& windowsFolder);

// Every run of consecutive backslashes made one backslash.
std::string CollapseBackslashes(const std::string& text);
// The path a scheduled deletion names: runs of backslashes made one, except the two that begin a
// network path (\\server\share).
std::string DeleteOnRebootPath(const std::string& filePath);
// The scheduled deletion's command: the interpreter prefix, " DEL ", the path in double quotes.
// On the older family the caller passes the short (8.3) form of the path.
std::string DeleteOnRebootCommand(unsigned long platformId, const std::string& path);

// The uninstall's ";" file list with the paths of added appended, each path that is not in it yet
// (letter case ignored), in their order.
std::string MergeFileList(const std::string& stored, const std::string& added);

}  // namespace layout
