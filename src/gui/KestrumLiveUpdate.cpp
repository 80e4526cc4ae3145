// The program's entry: the shutdown privilege around the window's life, the main window, the
// message loop and the exit code as the process's status.
#include <windows.h>
#include <commctrl.h>

#include <exception>

#include "gui/UMain.h"
#include "platform/Gui.h"
#include "platform/Platform.h"
#include "platform/win32/Scoped.h"
#include "worker/ExitCode.h"

namespace {
const char* const kShutdownPrivilege = "SeShutdownPrivilege";
constexpr unsigned long kPrivilegeEnabled = 2;  // SE_PRIVILEGE_ENABLED

int RunWindow(HINSTANCE instance) {
    TFMain main(instance, platform::CommandLine());
    // The settings first: a hidden installation's worker begins its download while the common
    // controls, COM and the window are set up.
    main.PrepareRun();
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    const scoped::ComApartment apartment;  // the folder browser and shell links, to the end
    bool created = false;
    try {
        created = main.Create();
    } catch (...) {
        main.AbandonEarlyRun();
        throw;
    }
    if (!created) {
        main.AbandonEarlyRun();
        return 1;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (main.PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    main.FormDestroy();
    return 0;
}
}  // namespace

namespace {
// DLLs come from the system folder only, never from the program's folder or the current one, so
// that a DLL planted beside a downloaded installer is not loaded. Older systems lack the call.
void RestrictDllSearch() {
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC proc = kernel != nullptr ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (proc != nullptr) reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(proc))(0x00000800);
    SetDllDirectoryA("");  // the current folder leaves the search order as well
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictDllSearch();
    unsigned long savedAttributes = 0;
    try {
        savedAttributes = platform::EnablePrivilege(kShutdownPrivilege, kPrivilegeEnabled);
    } catch (const std::exception& e) {
        // Without the adjustment the program stops before any window exists.
        platform::ShowMessageBox(nullptr, e.what(), platform::BoxKind::Error);
        return 1;
    }
    platform::SetApplicationTitle("");
    try {
        if (RunWindow(instance) != 0) ExitCode = 1;
    } catch (const std::exception& e) {
        // The window's creation or its end raised: the run has failed, the process still ends
        // with its own status.
        ExitCode = 1;
        MessageBoxA(nullptr, e.what(), nullptr, MB_OK | MB_ICONERROR);
    } catch (...) {
        ExitCode = 1;
    }
    try {
        platform::EnablePrivilege(kShutdownPrivilege, savedAttributes);
    } catch (const std::exception&) {
        // Putting the privilege back is best effort at the end.
    }
    return ExitCode.load();
}
