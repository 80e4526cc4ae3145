#include "zip/ZipRecords.h"

#include "zip/Crc32.h"

namespace zip {
namespace {

constexpr std::uint16_t kZip64ExtraId = 0x0001;        // APPNOTE 4.5.3
constexpr std::uint16_t kUnicodePathExtraId = 0x7075;  // APPNOTE 4.6.9

bool HasBytes(const std::uint8_t* begin, const std::uint8_t* end, std::size_t n) {
    return begin <= end && static_cast<std::size_t>(end - begin) >= n;
}

// APPNOTE 4.5.3: the Zip64 extra field holds, in this order, only the values whose 32-bit (or
// 16-bit) field is all ones: uncompressed size, compressed size, local header offset, disk.
void ApplyZip64(const std::uint8_t* p, const std::uint8_t* end, std::uint32_t usize32, std::uint32_t csize32,
                std::uint32_t offset32, EntryInfo& out) {
    while (HasBytes(p, end, 4)) {
        const std::uint16_t id = Get16(p);
        const std::uint16_t size = Get16(p + 2);
        p += 4;
        if (!HasBytes(p, end, size)) return;
        if (id == kZip64ExtraId) {
            const std::uint8_t* f = p;
            const std::uint8_t* fend = p + size;
            out.zip64 = true;
            if (usize32 == 0xFFFFFFFFu && HasBytes(f, fend, 8)) {
                out.uncompressedSize = Get64(f);
                f += 8;
            }
            if (csize32 == 0xFFFFFFFFu && HasBytes(f, fend, 8)) {
                out.compressedSize = Get64(f);
                f += 8;
            }
            if (offset32 == 0xFFFFFFFFu && HasBytes(f, fend, 8)) out.localHeaderOffset = Get64(f);
        }
        // Info-ZIP Unicode Path: version 1, the CRC-32 of the header's own name, the UTF-8 name.
        // Used only while the CRC shows it belongs to this very name.
        if (id == kUnicodePathExtraId && size >= 5 && p[0] == 1 &&
            Get32(p + 1) == ComputeCrc32(out.rawName.data(), out.rawName.size())) {
            out.unicodeName.assign(reinterpret_cast<const char*>(p + 5), size - 5u);
            out.hasUnicodeName = true;
        }
        p += size;
    }
}

}  // namespace

bool ParseEndOfDirectory(const std::uint8_t* begin, const std::uint8_t* end, DirectoryEnd& out) {
    if (!HasBytes(begin, end, kEndOfDirectorySize) || Get32(begin) != kEndOfDirectorySig) return false;
    out.entryCount = Get16(begin + end_record::kEntriesTotal);
    out.directorySize = Get32(begin + end_record::kDirectorySize);
    out.directoryOffset = Get32(begin + end_record::kDirectoryOffset);
    return true;
}

bool ParseZip64Locator(const std::uint8_t* begin, const std::uint8_t* end, std::uint64_t& recordOffset) {
    if (!HasBytes(begin, end, kZip64LocatorSize) || Get32(begin) != kZip64LocatorSig) return false;
    recordOffset = Get64(begin + zip64_locator::kRecordOffset);
    return true;
}

bool ParseZip64End(const std::uint8_t* begin, const std::uint8_t* end, DirectoryEnd& out) {
    if (!HasBytes(begin, end, kZip64EndSize) || Get32(begin) != kZip64EndSig) return false;
    out.entryCount = Get64(begin + zip64_end::kEntriesTotal);
    out.directorySize = Get64(begin + zip64_end::kDirectorySize);
    out.directoryOffset = Get64(begin + zip64_end::kDirectoryOffset);
    return true;
}

bool ParseCentralHeader(const std::uint8_t* begin, const std::uint8_t* end, EntryInfo& out, std::size_t& recordSize) {
    if (!HasBytes(begin, end, kCentralHeaderSize) || Get32(begin) != kCentralHeaderSig) return false;
    recordSize = CentralRecordLength(begin);
    if (!HasBytes(begin, end, recordSize)) return false;
    const std::uint16_t nameLength = Get16(begin + central_header::kNameLength);
    const std::uint16_t extraLength = Get16(begin + central_header::kExtraLength);
    out = EntryInfo{};
    out.versionMadeBy = Get16(begin + central_header::kVersionMadeBy);
    out.flags = Get16(begin + central_header::kFlags);
    out.method = Get16(begin + central_header::kMethod);
    out.dosTime = Get16(begin + central_header::kTime);
    out.dosDate = Get16(begin + central_header::kDate);
    out.crc = Get32(begin + central_header::kCrc);
    const std::uint32_t csize = Get32(begin + central_header::kCompressedSize);
    const std::uint32_t usize = Get32(begin + central_header::kUncompressedSize);
    out.externalAttributes = Get32(begin + central_header::kExternalAttributes);
    const std::uint32_t offset = Get32(begin + central_header::kLocalHeaderOffset);
    out.compressedSize = csize;
    out.uncompressedSize = usize;
    out.localHeaderOffset = offset;
    const std::uint8_t* name = begin + kCentralHeaderSize;
    out.rawName.assign(reinterpret_cast<const char*>(name), nameLength);
    ApplyZip64(name + nameLength, name + nameLength + extraLength, usize, csize, offset, out);
    return true;
}

bool ParseLocalHeader(const std::uint8_t* begin, const std::uint8_t* end, EntryInfo& out,
                      std::uint16_t& nameLength, std::uint16_t& extraLength) {
    if (!HasBytes(begin, end, kLocalHeaderSize) || Get32(begin) != kLocalHeaderSig) return false;
    out = EntryInfo{};
    out.flags = Get16(begin + local_header::kFlags);
    out.method = Get16(begin + local_header::kMethod);
    out.dosTime = Get16(begin + local_header::kTime);
    out.dosDate = Get16(begin + local_header::kDate);
    out.crc = Get32(begin + local_header::kCrc);
    out.compressedSize = Get32(begin + local_header::kCompressedSize);
    out.uncompressedSize = Get32(begin + local_header::kUncompressedSize);
    nameLength = Get16(begin + local_header::kNameLength);
    extraLength = Get16(begin + local_header::kExtraLength);
    return true;
}

void ApplyLocalExtra(const std::uint8_t* begin, const std::uint8_t* end, EntryInfo& out) {
    // A local Zip64 field carries both sizes whenever it is present (APPNOTE 4.5.3).
    ApplyZip64(begin, end, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, out);
}

bool ParseDataDescriptor(const std::uint8_t* begin, const std::uint8_t* end, bool zip64, EntryInfo& out,
                         std::size_t& size) {
    const std::uint8_t* p = begin;
    if (HasBytes(p, end, 4) && Get32(p) == kDataDescriptorSig) p += 4;
    const std::size_t fields = zip64 ? 20 : 12;  // crc 4, compressed size 4|8, uncompressed size 4|8
    if (!HasBytes(p, end, fields)) return false;
    out.crc = Get32(p);
    out.compressedSize = zip64 ? Get64(p + 4) : Get32(p + 4);
    out.uncompressedSize = zip64 ? Get64(p + 12) : Get32(p + 8);
    size = static_cast<std::size_t>(p - begin) + fields;
    return true;
}

}  // namespace zip
