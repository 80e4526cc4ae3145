#include "platform/FileTarget.h"

#include <windows.h>

#include <stdexcept>

#include "platform/Platform.h"

namespace platform {

namespace {

class Win32FileTarget : public http::Target {
public:
    Win32FileTarget(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}
    ~Win32FileTarget() override { CloseHandle(file_); }

    std::int64_t Position() override { return position_; }

    void Write(const char* data, std::size_t size) override {
        while (size > 0) {
            DWORD written = 0;
            const DWORD piece = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
            if (!WriteFile(file_, data, piece, &written, nullptr)) Fail("Cannot write file");
            data += written;
            size -= written;
            position_ += written;
        }
    }

    // Moves the end of file and comes back to the write position.
    void SetSize(std::int64_t size) override {
        LARGE_INTEGER at;
        at.QuadPart = size;
        if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) || !SetEndOfFile(file_)) {
            Fail("Cannot set the size of file");
        }
        at.QuadPart = position_;
        if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) Fail("Cannot set the size of file");
    }

    void CutTo(std::int64_t size) override {
        position_ = size;
        SetSize(size);
    }

    bool MarkDeleted() {
        FILE_DISPOSITION_INFO disposition{TRUE};  // delete when the last handle closes
        return SetFileInformationByHandle(file_, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
    }

private:
    [[noreturn]] void Fail(const char* what) {
        const DWORD error = GetLastError();
        throw std::runtime_error(std::string(what) + " \"" + path_ + "\". " + SystemErrorMessage(error));
    }

    HANDLE file_;
    std::string path_;
    std::int64_t position_ = 0;
};

// A reader beside the writer, on a handle of its own and so with a position of its own. Each
// read moves that position first: a read that names its offset in an OVERLAPPED costs Wine a
// completion notice to its server every time, three round trips for each unpacked file.
class SharedReader : public zip::ArchiveInput {
public:
    explicit SharedReader(HANDLE file) : file_(file) {}
    ~SharedReader() override { CloseHandle(file_); }
    SharedReader(const SharedReader&) = delete;
    SharedReader& operator=(const SharedReader&) = delete;
    std::uint64_t Size() const override { return 0; }
    std::size_t ReadAt(std::uint64_t offset, void* buf, std::size_t n) override {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return 0;
        DWORD got = 0;
        const DWORD piece = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
        if (!ReadFile(file_, buf, piece, &got, nullptr)) return 0;
        return got;
    }

private:
    HANDLE file_;
};

}  // namespace

std::unique_ptr<zip::ArchiveInput> OpenWhileWritten(const std::string& path) {
    // The writer holds read, write and delete access: a second opener must share all three.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<SharedReader>(file);
}

std::unique_ptr<http::Target> CreateFileTarget(const std::string& path) {
    // DELETE access lets the file be marked for deletion while it is open (DeleteWhenClosed).
    // Readers may open it (the early unpacking follows it); nobody else may write or delete it.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        throw std::runtime_error("Cannot create file \"" + path + "\". " + SystemErrorMessage(error));
    }
    return std::make_unique<Win32FileTarget>(file, path);
}

bool DeleteWhenClosed(http::Target& target) {
    auto* file = dynamic_cast<Win32FileTarget*>(&target);
    return file != nullptr && file->MarkDeleted();
}

}  // namespace platform
