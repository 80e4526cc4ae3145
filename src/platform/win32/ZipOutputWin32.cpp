// The extractor's file output on Windows, through the ANSI ("A") file functions.
#include <windows.h>
#include <winternl.h>

#include <iterator>
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

// The file system's number of an open file: the file's own, whatever name opened it. Asked of
// the system's file information call directly: the volume serial number that
// GetFileInformationByHandle adds costs a question to the mount manager under Wine, and the
// files of one extraction share the extract folder's volume anyway.
bool FileIndexOf(HANDLE h, LONGLONG& index) {
    using Query = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
    static const Query query =
        reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile")));
    FILE_INTERNAL_INFORMATION info = {};
    IO_STATUS_BLOCK io = {};
    if (query == nullptr || query(h, &io, &info, sizeof info, FileInternalInformation) < 0) return false;
    index = info.IndexNumber.QuadPart;
    return index != 0;  // a file system without numbers: the names are compared instead
}

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
        const auto create = [&path](DWORD disposition) {
            return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        };
        // A new file first: replacing one cuts it to nothing, and under Wine a file cut to nothing
        // is written through to the disk when it is closed, file after file.
        HANDLE h = create(CREATE_NEW);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) h = create(CREATE_ALWAYS);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
            // The folder went away since it was made: make it again.
            foldersMade_.clear();
            const std::size_t cut = path.rfind('\\');
            if (cut != std::string::npos && MakeFolder(path.substr(0, cut))) h = create(CREATE_ALWAYS);
        }
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
            // A read-only (or hidden or system) file refuses to be replaced: make it normal, then
            // again. Only then: a new file needs no such call.
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            h = create(CREATE_ALWAYS);
        }
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        // Which file the name reached: asked of the open handle, without a walk of the folders.
        created_.path = path;
        created_.identified = FileIndexOf(h, created_.index);
        return std::unique_ptr<OutputFile>(new Win32File(h));
    }

    bool SetAttributes(const std::string& path, std::uint32_t dosAttributes) override {
        return SetFileAttributesA(platform::NativePath(path).c_str(), Win32Attributes(dosAttributes)) != FALSE;
    }

    std::string OemNameToAnsi(const std::string& oem) const override { return platform::OemToAnsiText(oem); }

    bool WrittenBefore(const std::string& path, std::size_t rootLength) override {
        // Two ways for two entries to meet in one file. An alias written after the long name
        // opens the file the long name made: the same file, known by its identity. A long name
        // written after a literal alias makes a new file whose 8.3 alias is the earlier name:
        // possible only when an earlier entry's name holds a tilde, as every alias does, and
        // only then are the folders walked for the long and 8.3 paths. Letter case is not part
        // of a name on Windows.
        const std::string native = platform::NativePath(path);
        const bool identified = created_.identified && created_.path == native;
        const bool tilde = native.find('~', rootLength) != std::string::npos;
        if (identified && !indexes_.insert(created_.index).second) return true;
        if (!identified || tilde || !namesWithTilde_.empty()) {
            // Either path of this file may meet an earlier one's: the folders are walked.
            const std::string names[] = {Folded(platform::LongPathName(native)),
                                         Folded(platform::ShortPathName(native))};
            const bool known = namesWithTilde_.count(names[0]) != 0 || namesWithTilde_.count(names[1]) != 0;
            if (!identified || tilde) namesWithTilde_.insert(std::begin(names), std::end(names));
            return known;
        }
        return false;
    }

private:
    struct Created {
        std::string path;
        bool identified = false;
        LONGLONG index = 0;
    };

    std::set<std::string> foldersMade_;  // folders made or found in this extraction
    Created created_;                    // the file made last, and which file it is
    std::set<LONGLONG> indexes_;         // the files created so far, by their file system's number
    // Long and 8.3 paths, upper case, of the files created so far whose names hold a tilde (or
    // whose identity could not be asked): the names a later long name's alias can meet.
    std::set<std::string> namesWithTilde_;
};

}  // namespace

std::unique_ptr<OutputFolder> MakeFileSystemOutput() { return std::unique_ptr<OutputFolder>(new Win32Folder); }

}  // namespace zip
