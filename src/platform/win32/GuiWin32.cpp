// The window's own Windows operations (see platform/Gui.h).
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "platform/Gui.h"
#include "platform/Platform.h"

namespace platform {

namespace {
std::string& TitleStorage() {
    static std::string title;
    return title;
}

// The default value of a key under HKEY_CLASSES_ROOT read with value access only; "" when the key
// does not open.
bool ReadClassesDefault(const char* path, std::string& value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    value.clear();
    if (RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
        std::vector<char> buffer(size + 1, '\0');
        if (RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) ==
            ERROR_SUCCESS)
            value.assign(buffer.data());
    }
    RegCloseKey(key);
    return true;
}
}  // namespace

unsigned long EnablePrivilege(const std::string& name, unsigned long attributes) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return 0;
    Handle owned(token);
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    if (!LookupPrivilegeValueA(nullptr, name.c_str(), &wanted.Privileges[0].Luid)) RaiseLastError();
    wanted.Privileges[0].Attributes = attributes;
    TOKEN_PRIVILEGES previous{};
    DWORD size = sizeof(previous);
    if (!AdjustTokenPrivileges(token, FALSE, &wanted, sizeof(previous), &previous, &size)) RaiseLastError();
    // A privilege that was already in the wanted state comes back as an empty previous state.
    return previous.PrivilegeCount > 0 ? previous.Privileges[0].Attributes : attributes;
}

bool RequestRestart() {
    return ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, 0x80040002u) != FALSE;
}

bool BrowseForFolder(void* owner, const std::string& title, std::string& folder) {
    BROWSEINFOA info{};
    info.hwndOwner = static_cast<HWND>(owner);
    info.pidlRoot = nullptr;  // the desktop
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    char path[MAX_PATH + 1] = {};
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&info);
    if (chosen == nullptr) return false;
    const bool found = SHGetPathFromIDListA(chosen, path) != FALSE;
    CoTaskMemFree(chosen);
    if (!found) return false;
    folder = path;
    return true;
}

void ShellOpen(const std::string& program, const std::string& parameters) {
    ShellExecuteA(nullptr, "open", program.c_str(), parameters.c_str(), nullptr, SW_SHOW);
}

std::string BrowserCommandTemplate() {
    std::string value;
    if (!ReadClassesDefault("http\\shell\\open\\command", value))
        ReadClassesDefault("htmlfile\\shell\\open\\command", value);
    return value;
}

void ShowMessageBox(void* owner, const std::string& text, BoxKind kind) {
    const UINT icon = kind == BoxKind::Error ? MB_ICONERROR : MB_ICONWARNING;
    MessageBoxA(static_cast<HWND>(owner), text.c_str(), TitleStorage().c_str(), MB_OK | icon);
}

bool AskYesNo(void* owner, const std::string& text) {
    return MessageBoxA(static_cast<HWND>(owner), text.c_str(), TitleStorage().c_str(),
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void SetApplicationTitle(const std::string& title) { TitleStorage() = title; }
const std::string& ApplicationTitle() { return TitleStorage(); }

}  // namespace platform
