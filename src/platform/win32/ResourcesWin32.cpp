#include <windows.h>

#include "platform/Platform.h"

namespace platform {

bool LoadProgramResource(const std::string& name, std::string& bytes) {
    bytes.clear();
    // The module of the running program; FindResourceA compares string names without letter case.
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, name.c_str(), RT_RCDATA);
    if (info == nullptr) return false;
    const DWORD size = SizeofResource(module, info);
    // A loaded resource stays mapped for the life of the module: nothing to free.
    HGLOBAL loaded = LoadResource(module, info);
    if (loaded == nullptr) return false;
    const void* data = LockResource(loaded);
    if (data == nullptr) return size == 0;
    bytes.assign(static_cast<const char*>(data), size);
    return true;
}

}  // namespace platform
