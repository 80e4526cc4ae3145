// The extractor's file output on Windows, through the ANSI ("A") file functions.
#include <windows.h>

#include <set>

#include "platform/Platform.h"

#include "zip/OutputFolder.h"

namespace zip {
namespace {

// DOS attributes as the system takes them: read-only, hidden, system and archive; none is "normal".
DWORD Win32Attributes(std::uint32_t dosAttributes) {
    const DWORD attributes = dosAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                              FILE_ATTRIBUTE_ARCHIVE);
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

class Win32File : public OutputFile {
public:
    explicit Win32File(HANDLE h) : handle_(h) {}
    ~Win32File() override {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Win32File(const Win32File&) = delete;
    Win32File& operator=(const Win32File&) = delete;

    bool Write(const std::uint8_t* data, std::size_t n) override {
        while (n > 0) {
            DWORD done = 0;
            const DWORD chunk = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
            if (!WriteFile(handle_, data, chunk, &done, nullptr) || done == 0) return false;
            data += done;
            n -= done;
        }
        return true;
    }

    bool SetDosTime(std::uint16_t dosDate, std::uint16_t dosTime) override {
        FILETIME utc;
        return UtcOf(dosDate, dosTime, utc) && SetFileTime(handle_, nullptr, nullptr, &utc) != FALSE;
    }

    bool SetDosTimeAndAttributes(std::uint16_t dosDate, std::uint16_t dosTime, std::uint32_t dosAttributes) override {
        // One change of the file's basic information through the handle, instead of a time change
        // and a later opening of the file by its name for the attributes. Times left at zero stay.
        FILETIME utc;
        if (!UtcOf(dosDate, dosTime, utc)) return false;
        FILE_BASIC_INFO info = {};
        info.LastWriteTime.LowPart = utc.dwLowDateTime;
        info.LastWriteTime.HighPart = static_cast<LONG>(utc.dwHighDateTime);
        info.FileAttributes = Win32Attributes(dosAttributes);
        return SetFileInformationByHandle(handle_, FileBasicInfo, &info, sizeof info) != FALSE;
    }

    bool Close() override {
        const HANDLE h = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return CloseHandle(h) != FALSE;
    }

private:
    // A DOS date and time read as local time, in UTC.
    static bool UtcOf(std::uint16_t dosDate, std::uint16_t dosTime, FILETIME& utc) {
        FILETIME local;
        return DosDateTimeToFileTime(dosDate, dosTime, &local) && LocalFileTimeToFileTime(&local, &utc);
    }

    HANDLE handle_;
};

std::string Folded(std::string text) {
    if (!text.empty()) CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A drive ("C:", "C:\") or a UNC share ("\\server\share"): a root that is never created.
bool IsRoot(const std::string& p) {
    if (p.empty()) return true;
    if (p.size() <= 3 && p.size() >= 2 && p[1] == ':') return true;
    if (p.compare(0, 2, "\\\\") == 0) {
        const std::size_t server = p.find('\\', 2);
        return server == std::string::npos || p.find('\\', server + 1) == std::string::npos;
    }
    return false;
}

// Creates a folder and its missing parents: one call when the folder is already there.
bool MakeFolder(const std::string& p) {
    if (CreateDirectoryA(p.c_str(), nullptr)) return true;
    if (GetLastError() == ERROR_PATH_NOT_FOUND) {
        const std::size_t cut = p.rfind('\\');
        if (cut != std::string::npos && !IsRoot(p.substr(0, cut)) && MakeFolder(p.substr(0, cut)) &&
            CreateDirectoryA(p.c_str(), nullptr)) {
            return true;
        }
    }
    return IsFolder(p);
}

class Win32Folder : public OutputFolder {
public:
    bool CreateFolderPath(const std::string& path) override {
        std::string p = platform::NativePath(path);
        while (p.size() > 3 && p.back() == '\\') p.pop_back();
        // A folder made once is not asked for again (each question is a round trip to the system),
        // whatever order the entries come in.
        if (foldersMade_.count(p) != 0) return true;
        if (!MakeFolder(p)) return false;
        foldersMade_.insert(p);
        return true;
    }

    bool FileExists(const std::string& path) override {
        const DWORD attributes = GetFileAttributesA(platform::NativePath(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    std::unique_ptr<OutputFile> CreateOutputFile(const std::string& given) override {
        const std::string path = platform::NativePath(given);
        const auto create = [&path] {
            return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        };
        HANDLE h = create();
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
            // The folder went away since it was made: make it again.
            foldersMade_.clear();
            const std::size_t cut = path.rfind('\\');
            if (cut != std::string::npos && MakeFolder(path.substr(0, cut))) h = create();
        }
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
            // A read-only (or hidden or system) file refuses to be replaced: make it normal, then
            // again. Only then: a new file needs no such call.
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            h = create();
        }
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        return std::unique_ptr<OutputFile>(new Win32File(h));
    }

    bool SetAttributes(const std::string& path, std::uint32_t dosAttributes) override {
        return SetFileAttributesA(platform::NativePath(path).c_str(), Win32Attributes(dosAttributes)) != FALSE;
    }

    std::string OemNameToAnsi(const std::string& oem) const override { return platform::OemToAnsiText(oem); }

    bool WrittenBefore(const std::string& path) override {
        // A file is known by its long path and by its 8.3 path, whatever name the entry used: a
        // new file that has either of an earlier one's is that file (an alias written after the
        // long name), or takes its alias (the long name written after a literal alias). Letter
        // case is not part of a name on Windows.
        const std::string native = platform::NativePath(path);
        const std::string names[] = {Folded(platform::LongPathName(native)), Folded(platform::ShortPathName(native))};
        const bool known = written_.count(names[0]) != 0 || written_.count(names[1]) != 0;
        written_.insert(names[0]);
        written_.insert(names[1]);
        return known;
    }

private:
    std::set<std::string> foldersMade_;  // folders made or found in this extraction
    std::set<std::string> written_;  // long and 8.3 paths, upper case, of the files created so far
};

}  // namespace

std::unique_ptr<OutputFolder> MakeFileSystemOutput() { return std::unique_ptr<OutputFolder>(new Win32Folder); }

}  // namespace zip
