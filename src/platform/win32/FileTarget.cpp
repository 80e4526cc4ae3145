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

}  // namespace

std::unique_ptr<http::Target> CreateFileTarget(const std::string& path) {
    // DELETE access lets the file be marked for deletion while it is open (DeleteWhenClosed).
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
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
