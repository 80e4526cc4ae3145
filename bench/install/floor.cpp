// What placing the package's files costs under this Wine at the least, with nothing decoded and
// nothing downloaded: the bench's yardstick for the installer's own time. For each line
// "RELATIVE\\PATH<TAB>SIZE" of the list it makes the file in a work folder (its folders first,
// each once), writes SIZE bytes and closes it, then moves the files into the install folder as
// the installer's decompression and copy steps do for a first installation: each top-level folder
// whole, each top-level file alone.
//   floor.exe LIST WORK INSTALL
//   floor.exe -        does nothing: what starting and ending a Win32 program costs under this Wine
//   floor.exe +        joins the desktop and stays (an hour at most): while it runs, Wine's desktop
//                      process stays too, as the desktop does on Windows
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

bool MakeFolders(const std::string& path, std::set<std::string>& made) {
    if (made.count(path) != 0 || path.size() <= 3) return true;
    const std::size_t cut = path.rfind('\\');
    if (cut != std::string::npos && !MakeFolders(path.substr(0, cut), made)) return false;
    if (!CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    made.insert(path);
    return true;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "-") == 0) return 0;
    if (argc == 2 && std::strcmp(argv[1], "+") == 0) {
        // Loaded here only: the other uses start as a program that has no window library at all.
        if (HMODULE user = LoadLibraryA("user32.dll")) {
            if (FARPROC desktop = GetProcAddress(user, "GetDesktopWindow")) reinterpret_cast<HWND (*)()>(desktop)();
        }
        Sleep(3600 * 1000);
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: floor LIST WORK INSTALL\n");
        return 2;
    }
    std::FILE* list = std::fopen(argv[1], "r");
    if (!list) return 2;
    std::vector<std::pair<std::string, unsigned long>> files;
    char line[1024];
    while (std::fgets(line, sizeof line, list)) {
        char* tab = std::strchr(line, '\t');
        if (!tab) continue;
        *tab = '\0';
        files.emplace_back(line, std::strtoul(tab + 1, nullptr, 10));
    }
    std::fclose(list);

    const std::string work = argv[2], install = argv[3];
    std::vector<char> bytes(1 << 20, 'x');
    std::set<std::string> made;
    for (const auto& file : files) {
        const std::string path = work + "\\" + file.first;
        if (!MakeFolders(FolderOf(path), made)) return 1;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return 1;
        for (unsigned long left = file.second; left > 0;) {
            const DWORD piece = left < bytes.size() ? left : static_cast<DWORD>(bytes.size());
            DWORD done = 0;
            if (!WriteFile(h, bytes.data(), piece, &done, nullptr) || done == 0) return 1;
            left -= done;
        }
        CloseHandle(h);
    }
    // Into a first installation: each top-level folder moves whole, each top-level file alone.
    if (!MakeFolders(install, made)) return 1;
    std::set<std::string> moved;
    for (const auto& file : files) {
        const std::string top = file.first.substr(0, file.first.find('\\'));
        if (!moved.insert(top).second) continue;
        if (!MoveFileA((work + "\\" + top).c_str(), (install + "\\" + top).c_str())) return 1;
    }
    return 0;
}
