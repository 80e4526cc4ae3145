#include "zip/ArchiveInput.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace zip {
namespace {

int Seek(std::FILE* f, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<long long>(offset), SEEK_SET);
#else
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET);
#endif
}

bool SizeOf(std::FILE* f, std::uint64_t& size) {
#ifdef _WIN32
    if (_fseeki64(f, 0, SEEK_END) != 0) return false;
    const long long end = _ftelli64(f);
#else
    if (fseeko(f, 0, SEEK_END) != 0) return false;
    const off_t end = ftello(f);
#endif
    if (end < 0) return false;
    size = static_cast<std::uint64_t>(end);
    return true;
}

// Reads through a window of its own: a local header, the small entry after it and the next
// header mostly come from one read of the file, and a large read goes on where the window ends,
// without a seek. The C library's buffer is off, so that no byte is copied twice.
class FileArchive : public ArchiveInput {
public:
    FileArchive(std::FILE* f, std::uint64_t size, std::string path)
        : file_(f), size_(size), path_(std::move(path)), window_(new std::uint8_t[kWindow]) {
        std::setvbuf(file_, nullptr, _IONBF, 0);
    }
    ~FileArchive() override { std::fclose(file_); }
    FileArchive(const FileArchive&) = delete;
    FileArchive& operator=(const FileArchive&) = delete;

    std::uint64_t Size() const override { return size_; }

    // The file opened again by its name; null when it cannot be, or no longer has its size.
    std::unique_ptr<ArchiveInput> Reopen() const override {
        std::unique_ptr<ArchiveInput> again = OpenArchiveFile(path_);
        if (again && again->Size() != size_) again.reset();
        return again;
    }

    std::size_t ReadAt(std::uint64_t offset, void* buf, std::size_t n) override {
        if (offset >= size_ || n == 0) return 0;
        auto* out = static_cast<std::uint8_t*>(buf);
        std::size_t done = 0;
        if (offset >= windowStart_ && offset < windowStart_ + windowLength_) {
            // What the window holds first.
            const std::size_t at = static_cast<std::size_t>(offset - windowStart_);
            done = std::min(n, windowLength_ - at);
            std::memcpy(out, window_.get() + at, done);
            if (done == n) return n;
        }
        const std::uint64_t from = offset + done;
        if (n - done >= kWindow) return done + Direct(from, out + done, n - done);  // large: straight in
        // Small: the window moves to it and is filled as far as it goes.
        windowStart_ = from;
        windowLength_ = Direct(from, window_.get(), kWindow);
        const std::size_t more = std::min(n - done, windowLength_);
        std::memcpy(out + done, window_.get(), more);
        return done + more;
    }

private:
    static constexpr std::size_t kWindow = 65536;

    std::size_t Direct(std::uint64_t offset, std::uint8_t* out, std::size_t n) {
        if (offset != position_) {
            if (Seek(file_, offset) != 0) return 0;
            position_ = offset;
        }
        const std::size_t got = std::fread(out, 1, n, file_);
        position_ += got;
        if (got < n) position_ = ~std::uint64_t{0};  // position unknown after a short read: seek next time
        return got;
    }

    std::FILE* file_;
    std::uint64_t size_;
    std::string path_;
    std::uint64_t position_ = ~std::uint64_t{0};
    std::unique_ptr<std::uint8_t[]> window_;
    std::uint64_t windowStart_ = 0;
    std::size_t windowLength_ = 0;
};

}  // namespace

std::unique_ptr<ArchiveInput> OpenArchiveFile(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return nullptr;
    std::uint64_t size = 0;
    if (!SizeOf(f, size)) {
        std::fclose(f);
        return nullptr;
    }
    return std::unique_ptr<ArchiveInput>(new FileArchive(f, size, path));
}

std::size_t MemoryArchive::ReadAt(std::uint64_t offset, void* buf, std::size_t n) {
    if (offset >= size_ || n == 0) return 0;
    const std::size_t avail = size_ - static_cast<std::size_t>(offset);
    if (n > avail) n = avail;
    std::memcpy(buf, data_ + offset, n);
    return n;
}

std::size_t ArchiveRange::Read(std::uint8_t* buf, std::size_t n) {
    if (n > remaining_) n = static_cast<std::size_t>(remaining_);
    if (n == 0) return 0;
    const std::size_t got = archive_.ReadAt(offset_, buf, n);
    offset_ += got;
    remaining_ -= got;
    consumed_ += got;
    return got;
}

}  // namespace zip
