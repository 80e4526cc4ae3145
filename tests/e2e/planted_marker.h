/* What a planted file of the planting suite does when it is taken: it leaves "<its own path>.loaded"
   behind, so the suite can tell which planted copies were used. */
#pragma once
#include <windows.h>

static void LeavePlantedMarker(HMODULE module) {
    char path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        lstrcatA(path, ".loaded");
        HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
}
