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

// Reads through windows of its own: a local header, the small entry after it and the next
// header mostly come from one read of the file, and a large read goes on where a window ends,
// without a seek. There are two windows, the one used last kept: reading the central directory
// goes to each entry's local header and back, and with one window both would be read again, 64 KiB
// each time, for every entry. The C library's buffer is off, so that no byte is copied twice.
class FileArchive : public ArchiveInput {
public:
    FileArchive(std::FILE* f, std::uint64_t size, std::string path) : file_(f), size_(size), path_(std::move(path)) {
        for (Window& window : windows_) window.bytes.reset(new std::uint8_t[kWindow]);
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
        // The window that goes on: the one holding the start, else the one not used last.
        std::size_t next = 1 - last_;
        for (std::size_t w : {last_, 1 - last_}) {
            const Window& window = windows_[w];
            if (offset < window.start || offset >= window.start + window.length) continue;
            const std::size_t at = static_cast<std::size_t>(offset - window.start);
            done = std::min(n, window.length - at);
            std::memcpy(out, window.bytes.get() + at, done);
            last_ = w;
            if (done == n) return n;
            next = w;
            break;
        }
        const std::uint64_t from = offset + done;
        if (n - done >= kWindow) return done + Direct(from, out + done, n - done);  // large: straight in
        // Small: a window moves to it and is filled as far as it goes.
        Window& window = windows_[next];
        window.start = from;
        window.length = Direct(from, window.bytes.get(), kWindow);
        last_ = next;
        const std::size_t more = std::min(n - done, window.length);
        std::memcpy(out + done, window.bytes.get(), more);
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
    struct Window {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::uint64_t start = 0;
        std::size_t length = 0;
    };
    Window windows_[2];
    std::size_t last_ = 0;
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
