// DLLs from the system folder only: never from the program's folder, the current folder or the
// path, where a planted copy could stand.
#pragma once

#include <windows.h>

namespace platform {

// Loads the DLL of that file name from the system folder: with the system-folder search flag, or,
// on systems without the search flags, by its full path there. Null when it cannot be loaded.
// The module stays loaded for the process's life unless the caller frees it.
HMODULE LoadSystemLibrary(const char* name);

// The function of that name in module as a pointer of type F; null when either is missing.
template <typename F>
F SystemFunction(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace platform
