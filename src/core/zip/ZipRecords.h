// The on-disk records of a ZIP archive (APPNOTE section 4), parsed from byte ranges. Pure: the
// callers read the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zip {

constexpr std::uint32_t kLocalHeaderSig = 0x04034b50u;       // APPNOTE 4.3.7
constexpr std::uint32_t kCentralHeaderSig = 0x02014b50u;     // APPNOTE 4.3.12
constexpr std::uint32_t kEndOfDirectorySig = 0x06054b50u;    // APPNOTE 4.3.16
constexpr std::uint32_t kZip64EndSig = 0x06064b50u;          // APPNOTE 4.3.14
constexpr std::uint32_t kZip64LocatorSig = 0x07064b50u;      // APPNOTE 4.3.15
constexpr std::uint32_t kDataDescriptorSig = 0x08074b50u;    // APPNOTE 4.3.9.3

// The fixed lengths of the records, signature included.
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndOfDirectorySize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;

// Field offsets from each record's signature, named once for the reader and for the tests that
// build or damage records.
namespace local_header {                     // APPNOTE 4.3.7
constexpr std::size_t kFlags = 6;            // 2
constexpr std::size_t kMethod = 8;           // 2
constexpr std::size_t kTime = 10;            // 2, MS-DOS time
constexpr std::size_t kDate = 12;            // 2, MS-DOS date
constexpr std::size_t kCrc = 14;             // 4
constexpr std::size_t kCompressedSize = 18;  // 4
constexpr std::size_t kUncompressedSize = 22;  // 4
constexpr std::size_t kNameLength = 26;      // 2
constexpr std::size_t kExtraLength = 28;     // 2; the name follows the fixed part, then the extra field
}  // namespace local_header

namespace central_header {                   // APPNOTE 4.3.12
constexpr std::size_t kVersionMadeBy = 4;    // 2
constexpr std::size_t kFlags = 8;            // 2
constexpr std::size_t kMethod = 10;          // 2
constexpr std::size_t kTime = 12;            // 2
constexpr std::size_t kDate = 14;            // 2
constexpr std::size_t kCrc = 16;             // 4
constexpr std::size_t kCompressedSize = 20;  // 4
constexpr std::size_t kUncompressedSize = 24;  // 4
constexpr std::size_t kNameLength = 28;      // 2
constexpr std::size_t kExtraLength = 30;     // 2
constexpr std::size_t kCommentLength = 32;   // 2; then disk 2, internal attributes 2
constexpr std::size_t kExternalAttributes = 38;  // 4; the low byte holds the MS-DOS attributes
constexpr std::size_t kLocalHeaderOffset = 42;   // 4; name, extra field and comment follow
}  // namespace central_header

namespace end_record {                       // APPNOTE 4.3.16
constexpr std::size_t kEntriesHere = 8;      // 2, on this disk (after this disk 2, directory's disk 2)
constexpr std::size_t kEntriesTotal = 10;    // 2
constexpr std::size_t kDirectorySize = 12;   // 4
constexpr std::size_t kDirectoryOffset = 16;  // 4, from the start of the first disk
constexpr std::size_t kCommentLength = 20;   // 2; the comment follows
}  // namespace end_record

namespace zip64_locator {                    // APPNOTE 4.3.15
constexpr std::size_t kRecordOffset = 8;     // 8, the Zip64 end record's offset (after its disk 4)
}  // namespace zip64_locator

namespace zip64_end {                        // APPNOTE 4.3.14
constexpr std::size_t kEntriesTotal = 32;    // 8 (after size 8, made by 2, needed 2, disks 4 + 4, here 8)
constexpr std::size_t kDirectorySize = 40;   // 8
constexpr std::size_t kDirectoryOffset = 48;  // 8
}  // namespace zip64_end

// General purpose bit flag (APPNOTE 4.4.4).
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
constexpr std::uint16_t kFlagUtf8 = 0x0800;

inline std::uint16_t Get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t Get64(const std::uint8_t* p) {
    return Get32(p) | (static_cast<std::uint64_t>(Get32(p + 4)) << 32);
}

// What the extractor needs of one entry, from its central or local header.
struct EntryInfo {
    std::string rawName;              // as stored: OEM or UTF-8 bytes
    std::uint16_t versionMadeBy = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint32_t externalAttributes = 0;
    std::uint64_t localHeaderOffset = 0;
    bool zip64 = false;               // a Zip64 extra field was present (descriptor sizes are 8 bytes)
    std::string unicodeName;          // from an Info-ZIP Unicode Path field that matches rawName
    bool hasUnicodeName = false;
};

// End of central directory, merged with its Zip64 form when the archive has one.
struct DirectoryEnd {
    std::uint64_t entryCount = 0;
    std::uint64_t directorySize = 0;
    std::uint64_t directoryOffset = 0;
};

// APPNOTE 4.3.16. [begin, end) starts at the signature. False when it is not such a record.
bool ParseEndOfDirectory(const std::uint8_t* begin, const std::uint8_t* end, DirectoryEnd& out);
// APPNOTE 4.3.15 locator: gives the offset of the Zip64 end record.
bool ParseZip64Locator(const std::uint8_t* begin, const std::uint8_t* end, std::uint64_t& recordOffset);
// APPNOTE 4.3.14 Zip64 end of central directory record.
bool ParseZip64End(const std::uint8_t* begin, const std::uint8_t* end, DirectoryEnd& out);

// The whole length of the central record whose fixed part (kCentralHeaderSize bytes) is at p:
// the fixed part, its name, extra field and comment.
inline std::size_t CentralRecordLength(const std::uint8_t* p) {
    return kCentralHeaderSize + Get16(p + central_header::kNameLength) + Get16(p + central_header::kExtraLength) +
           Get16(p + central_header::kCommentLength);
}

// APPNOTE 4.3.12: one central header with its name, extra field and comment. recordSize receives
// the whole record's length. False when the range is too short or the signature is wrong.
bool ParseCentralHeader(const std::uint8_t* begin, const std::uint8_t* end, EntryInfo& out, std::size_t& recordSize);

// APPNOTE 4.3.7, the fixed part only: name and extra lengths are returned for the caller to read.
bool ParseLocalHeader(const std::uint8_t* begin, const std::uint8_t* end, EntryInfo& out,
                      std::uint16_t& nameLength, std::uint16_t& extraLength);
// Applies a local header's extra field (the Zip64 sizes) to out.
void ApplyLocalExtra(const std::uint8_t* begin, const std::uint8_t* end, EntryInfo& out);

// APPNOTE 4.3.9: the data descriptor after an entry's data, with or without its signature, with
// 4- or 8-byte sizes. size receives its length. False when the range is too short.
bool ParseDataDescriptor(const std::uint8_t* begin, const std::uint8_t* end, bool zip64, EntryInfo& out,
                         std::size_t& size);

}  // namespace zip
