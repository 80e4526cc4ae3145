#include "platform/Leftovers.h"

#include <windows.h>

#include "platform/Platform.h"

namespace platform {

bool DeleteAtRestart(const std::string& path) {
    return MoveFileExA(NativePath(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

bool RemoveFileOrAtRestart(const std::string& path) {
    if (RemoveFile(path)) return true;
    if (GetFileAttributesA(NativePath(path).c_str()) == INVALID_FILE_ATTRIBUTES) return true;  // gone already
    return DeleteAtRestart(path);
}

void RemoveFolderTreeOrAtRestart(const std::string& path) {
    if (path.empty()) return;
    const DWORD attributes = GetFileAttributesA(NativePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((NativePath(path) + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = path + "\\" + name;
            // A link to a folder is removed as itself, never followed.
            const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (folder && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveFolderTreeOrAtRestart(child);
            else if (folder && !RemoveDir(child))
                DeleteAtRestart(child);
            else if (!folder)
                RemoveFileOrAtRestart(child);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    SetAttributesNormal(path);
    if (!RemoveDir(path)) DeleteAtRestart(path);
}

}  // namespace platform
