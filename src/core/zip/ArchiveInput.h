// The archive's bytes, read at offsets: a file, or a buffer (tests and fuzzers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "zip/Decoder.h"

namespace zip {

class ArchiveInput {
public:
    virtual ~ArchiveInput() = default;
    virtual std::uint64_t Size() const = 0;
    // Places up to n bytes from offset into buf; fewer only at the end or on a read error.
    virtual std::size_t ReadAt(std::uint64_t offset, void* buf, std::size_t n) = 0;
    // A second reader of the same bytes, for another thread (a reader is used by one thread at a
    // time); null when there is none.
    virtual std::unique_ptr<ArchiveInput> Reopen() const { return nullptr; }
};

// Opens a file for reading (ANSI path on Windows). Null when it cannot be opened or sized.
std::unique_ptr<ArchiveInput> OpenArchiveFile(const std::string& path);

// A buffer the caller keeps alive.
class MemoryArchive : public ArchiveInput {
public:
    MemoryArchive(const void* data, std::size_t size) : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* buf, std::size_t n) override;
    std::unique_ptr<ArchiveInput> Reopen() const override {
        return std::unique_ptr<ArchiveInput>(new MemoryArchive(data_, size_));
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// Whether all n bytes from offset could be read.
inline bool ReadExactly(ArchiveInput& archive, std::uint64_t offset, void* buf, std::size_t n) {
    return archive.ReadAt(offset, buf, n) == n;
}

// A stretch of the archive read as a decoder asks for it: one entry's compressed bytes.
class ArchiveRange : public ByteSource {
public:
    ArchiveRange(ArchiveInput& archive, std::uint64_t offset, std::uint64_t length)
        : archive_(archive), offset_(offset), remaining_(length) {}
    std::size_t Read(std::uint8_t* buf, std::size_t n) override;
    // The bytes handed out so far.
    std::uint64_t Consumed() const { return consumed_; }

private:
    ArchiveInput& archive_;
    std::uint64_t offset_;
    std::uint64_t remaining_;
    std::uint64_t consumed_ = 0;
};

}  // namespace zip
