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

constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndOfDirectorySize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;

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
