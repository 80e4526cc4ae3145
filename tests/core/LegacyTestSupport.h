// Test helpers for the legacy ZIP decoders: in-memory source and sink, a bit writer for
// hand-built streams, a small CRC-32 and a reader of the central directory of the shared test
// archives. Test-only: the extractor has its own, faster versions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "zip/Decoder.h"

namespace legacytest {

using Bytes = std::vector<std::uint8_t>;

// Hands out a byte range, at most `piece` bytes a call.
class MemorySource : public zip::ByteSource {
public:
    explicit MemorySource(const Bytes& data, std::size_t piece = static_cast<std::size_t>(-1))
        : data_(data), piece_(piece) {}
    std::size_t Read(std::uint8_t* buf, std::size_t n) override {
        std::size_t take = data_.size() - pos_;
        if (take > n) take = n;
        if (take > piece_) take = piece_;
        for (std::size_t i = 0; i < take; ++i) buf[i] = data_[pos_ + i];
        pos_ += take;
        return take;
    }

private:
    const Bytes& data_;
    std::size_t piece_;
    std::size_t pos_ = 0;
};

// Collects the output, remembers the largest block, and refuses blocks after `accept` of them.
class CollectSink : public zip::ByteSink {
public:
    explicit CollectSink(std::size_t accept = static_cast<std::size_t>(-1)) : accept_(accept) {}
    bool Write(const std::uint8_t* data, std::size_t n) override {
        if (blocks == accept_) return false;
        ++blocks;
        if (n > largestBlock) largestBlock = n;
        bytes.insert(bytes.end(), data, data + n);
        return true;
    }
    Bytes bytes;
    std::size_t blocks = 0;
    std::size_t largestBlock = 0;

private:
    std::size_t accept_;
};

// Packs values least significant bit first, as the legacy methods read them.
class BitWriter {
public:
    BitWriter& Put(std::uint32_t value, int n) {
        for (int i = 0; i < n; ++i) Bit((value >> i) & 1u);
        return *this;
    }
    // A Shannon-Fano code: its most significant bit goes first.
    BitWriter& Code(std::uint32_t code, int n) {
        for (int i = n - 1; i >= 0; --i) Bit((code >> i) & 1u);
        return *this;
    }
    BitWriter& Byte(std::uint8_t b) { return Put(b, 8); }
    Bytes Done() const { return bytes_; }

private:
    void Bit(std::uint32_t b) {
        if (count_ % 8 == 0) bytes_.push_back(0);
        if (b) bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | (1u << (count_ % 8)));
        ++count_;
    }
    Bytes bytes_;
    std::size_t count_ = 0;
};

inline std::uint32_t Crc32(const Bytes& data) {
    static std::uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : data) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

inline std::string VectorsDir() { return std::string(KLU_SOURCE_DIR) + "/../shared/vectors"; }

inline Bytes ReadWholeFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

struct ZipEntry {
    std::string name;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    Bytes data;  // the compressed bytes
};

inline std::uint32_t Le16(const Bytes& b, std::size_t at) {
    return at + 2 <= b.size() ? b[at] | (b[at + 1] << 8) : 0;
}
inline std::uint32_t Le32(const Bytes& b, std::size_t at) {
    return at + 4 <= b.size() ? Le16(b, at) | (Le16(b, at + 2) << 16) : 0;
}

// The entries of a small, well-formed archive, from its central directory (APPNOTE 4.3.12,
// 4.3.16), which also holds the right sizes of entries written with a data descriptor.
inline std::vector<ZipEntry> ReadZip(const Bytes& zip) {
    std::vector<ZipEntry> entries;
    if (zip.size() < 22) return entries;
    std::size_t eocd = zip.size() - 22;
    while (eocd > 0 && Le32(zip, eocd) != 0x06054b50u) --eocd;
    if (Le32(zip, eocd) != 0x06054b50u) return entries;
    const std::uint32_t count = Le16(zip, eocd + 10);
    std::size_t at = Le32(zip, eocd + 16);
    for (std::uint32_t i = 0; i < count && Le32(zip, at) == 0x02014b50u; ++i) {
        ZipEntry e;
        e.flags = static_cast<std::uint16_t>(Le16(zip, at + 8));
        e.method = static_cast<std::uint16_t>(Le16(zip, at + 10));
        e.crc = Le32(zip, at + 16);
        e.compressedSize = Le32(zip, at + 20);
        e.uncompressedSize = Le32(zip, at + 24);
        const std::size_t nameLen = Le16(zip, at + 28);
        const std::size_t extraLen = Le16(zip, at + 30);
        const std::size_t commentLen = Le16(zip, at + 32);
        const std::size_t local = Le32(zip, at + 42);
        if (at + 46 + nameLen > zip.size()) break;
        e.name.assign(zip.begin() + static_cast<long>(at + 46), zip.begin() + static_cast<long>(at + 46 + nameLen));
        const std::size_t data = local + 30 + Le16(zip, local + 26) + Le16(zip, local + 28);
        if (data + e.compressedSize <= zip.size()) {
            e.data.assign(zip.begin() + static_cast<long>(data),
                          zip.begin() + static_cast<long>(data + e.compressedSize));
        }
        entries.push_back(e);
        at += 46 + nameLen + extraLen + commentLen;
    }
    return entries;
}

}  // namespace legacytest
