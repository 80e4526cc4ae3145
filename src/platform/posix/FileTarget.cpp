#include "platform/FileTarget.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

class PosixFileTarget : public http::Target {
public:
    PosixFileTarget(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixFileTarget() override { close(fd_); }

    std::int64_t Position() override { return position_; }

    void Write(const char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t written = pwrite(fd_, data, size, static_cast<off_t>(position_));
            if (written < 0) {
                if (errno == EINTR) continue;
                Fail("Cannot write file");
            }
            data += written;
            size -= static_cast<std::size_t>(written);
            position_ += written;
        }
    }

    void SetSize(std::int64_t size) override {
        if (ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail("Cannot set the size of file");
    }

    void CutTo(std::int64_t size) override {
        SetSize(size);
        position_ = size;
    }

    bool Unlink() { return unlink(path_.c_str()) == 0; }

private:
    [[noreturn]] void Fail(const char* what) {
        const int error = errno;
        throw std::runtime_error(std::string(what) + " \"" + path_ + "\". " + std::strerror(error));
    }

    int fd_;
    std::string path_;
    std::int64_t position_ = 0;
};

// A reader beside the writer: every read names its offset.
class SharedReader : public zip::ArchiveInput {
public:
    explicit SharedReader(int fd) : fd_(fd) {}
    ~SharedReader() override { close(fd_); }
    SharedReader(const SharedReader&) = delete;
    SharedReader& operator=(const SharedReader&) = delete;
    std::uint64_t Size() const override { return 0; }
    std::size_t ReadAt(std::uint64_t offset, void* buf, std::size_t n) override {
        for (;;) {
            const ssize_t got = pread(fd_, buf, n, static_cast<off_t>(offset));
            if (got >= 0) return static_cast<std::size_t>(got);
            if (errno != EINTR) return 0;
        }
    }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<zip::ArchiveInput> OpenWhileWritten(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<SharedReader>(fd);
}

std::unique_ptr<http::Target> CreateFileTarget(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        throw std::runtime_error("Cannot create file \"" + path + "\". " + std::strerror(error));
    }
    return std::make_unique<PosixFileTarget>(fd, path);
}

// An open file may be unlinked: it goes when its descriptor closes.
bool DeleteWhenClosed(http::Target& target) {
    auto* file = dynamic_cast<PosixFileTarget*>(&target);
    return file != nullptr && file->Unlink();
}

}  // namespace platform
