// Holds a file open without sharing until a release file appears (or a minute passes):
//   child_locker FILE READY RELEASE
// READY is created once the file is held.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    HANDLE held = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 3;
    HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(ready);
    for (int i = 0; i < 600; ++i) {
        if (GetFileAttributesA(argv[3]) != INVALID_FILE_ATTRIBUTES) break;
        Sleep(100);
    }
    CloseHandle(held);
    return 0;
}
