#include "zip/ZipDirectory.h"

#include <algorithm>
#include <string>
#include <utility>

namespace zip {
namespace {

// The end record sits in the last 22 bytes plus a comment of at most 65535 bytes.
constexpr std::size_t kTailSearch = kEndOfDirectorySize + 65535;

// The last end record's offset: the last signature in the archive's tail. False when there is
// none, or when it is cut short or its comment runs past the end of the file: then it does not
// hold together, and no earlier one is taken instead (one hidden in an entry's data or in a
// comment would show another archive than the one other tools read). sawSignature tells whether
// a signature was there at all.
bool LastEndRecord(ArchiveInput& archive, std::uint64_t& recordStart, bool& sawSignature) {
    sawSignature = false;
    const std::uint64_t size = archive.Size();
    if (size < 4) return false;
    const std::size_t tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(size, kTailSearch));
    const std::uint64_t tailStart = size - tailSize;
    std::vector<std::uint8_t> tail(tailSize);
    if (!ReadExactly(archive, tailStart, tail.data(), tailSize)) return false;
    for (std::size_t i = tailSize - 4 + 1; i-- > 0;) {
        if (Get32(&tail[i]) != kEndOfDirectorySig) continue;
        sawSignature = true;
        if (tailSize - i < kEndOfDirectorySize) return false;
        const std::size_t commentLength = Get16(&tail[i + end_record::kCommentLength]);
        if (i + kEndOfDirectorySize + commentLength > tailSize) return false;
        recordStart = tailStart + i;
        return true;
    }
    return false;
}

// Reads the end record at recordStart, and the Zip64 end record when a locator stands right
// before it. shift receives the length of any data before the archive (a self-extracting stub),
// which moves every stored offset by the same amount.
bool ReadDirectoryEnd(ArchiveInput& archive, std::uint64_t recordStart, DirectoryEnd& end, std::uint64_t& shift) {
    std::uint8_t fixed[kEndOfDirectorySize];
    if (!ReadExactly(archive, recordStart, fixed, sizeof fixed) || !ParseEndOfDirectory(fixed, fixed + sizeof fixed, end)) {
        return false;
    }
    std::uint64_t zip64Offset = 0;
    std::uint8_t locator[kZip64LocatorSize];
    if (recordStart >= kZip64LocatorSize &&
        ReadExactly(archive, recordStart - kZip64LocatorSize, locator, sizeof locator) &&
        ParseZip64Locator(locator, locator + sizeof locator, zip64Offset)) {
        const std::uint64_t locatorStart = recordStart - kZip64LocatorSize;
        auto readZip64End = [&](std::uint64_t at) {
            std::uint8_t record[kZip64EndSize];
            return at <= locatorStart && locatorStart - at >= kZip64EndSize &&
                   ReadExactly(archive, at, record, sizeof record) && ParseZip64End(record, record + sizeof record, end);
        };
        // The Zip64 end record stands at its stored offset or, with data before the archive that
        // moves every offset, right before the locator.
        if (readZip64End(zip64Offset)) {
            recordStart = zip64Offset;
        } else if (locatorStart >= kZip64EndSize && readZip64End(locatorStart - kZip64EndSize)) {
            recordStart = locatorStart - kZip64EndSize;
        } else {
            return false;
        }
    }
    if (end.directoryOffset > recordStart || end.directorySize > recordStart - end.directoryOffset) return false;
    shift = recordStart - (end.directoryOffset + end.directorySize);
    return true;
}

}  // namespace

std::vector<std::uint64_t> EndRecordCandidates(ArchiveInput& archive) {
    std::uint64_t recordStart = 0;
    bool sawSignature = false;
    if (!LastEndRecord(archive, recordStart, sawSignature)) return {};
    return {recordStart};
}

bool LocalHeaderAgrees(const EntryInfo& central, EntryInfo local, const std::uint8_t* variable,
                       std::uint16_t nameLength, std::uint16_t extraLength) {
    constexpr std::uint16_t kMeaningfulFlags = kFlagEncrypted | kFlagDataDescriptor | kFlagStrongEncryption | kFlagUtf8;
    if (std::string(reinterpret_cast<const char*>(variable), nameLength) != central.rawName) return false;
    if (local.method != central.method) return false;
    if ((local.flags & kMeaningfulFlags) != (central.flags & kMeaningfulFlags)) return false;
    ApplyLocalExtra(variable + nameLength, variable + nameLength + extraLength, local);
    const bool same = local.crc == central.crc && local.compressedSize == central.compressedSize &&
                      local.uncompressedSize == central.uncompressedSize;
    if (local.flags & kFlagDataDescriptor) {
        // A streaming writer leaves any of these to the descriptor (zero here, or zero in a Zip64
        // field): only a value the local header does state must agree.
        return (local.crc == 0 || local.crc == central.crc) &&
               (local.compressedSize == 0 || local.compressedSize == central.compressedSize) &&
               (local.uncompressedSize == 0 || local.uncompressedSize == central.uncompressedSize);
    }
    return same;
}

DirectoryVerdict ZipDirectory::Refuse(const char* reason) {
    // What was read goes at once: a refused directory keeps nothing.
    std::vector<Member>().swap(members_);
    total_ = 0;
    refusal_ = reason;
    return DirectoryVerdict::Refused;
}

DirectoryVerdict ZipDirectory::Read(ArchiveInput& archive, const DirectoryLimits& limits) {
    members_.clear();
    total_ = 0;
    refusal_ = "";
    std::uint64_t recordStart = 0;
    DirectoryEnd end;
    std::uint64_t shift = 0;
    if (!LastEndRecord(archive, recordStart, sawEndSignature_) || !ReadDirectoryEnd(archive, recordStart, end, shift)) {
        return DirectoryVerdict::Cut;
    }
    const DirectoryVerdict verdict = ReadMembers(archive, end, shift, limits);
    if (verdict == DirectoryVerdict::Unusable) {
        members_.clear();
        total_ = 0;
    }
    return verdict;
}

DirectoryVerdict ZipDirectory::ReadMembers(ArchiveInput& archive, const DirectoryEnd& end, std::uint64_t shift,
                                           const DirectoryLimits& limits) {
    // A 16-bit count may have wrapped, or say "see Zip64" in 0xFFFF: only a larger count is
    // held to the directory's size.
    if (end.entryCount > 0xFFFF && end.entryCount > end.directorySize / kCentralHeaderSize) {
        return Refuse("entry count does not fit");
    }
    // Every record must parse and point inside the archive, or the directory is not used at all.
    const std::uint64_t size = archive.Size();
    std::uint64_t pos = end.directoryOffset + shift;
    start_ = pos;
    const std::uint64_t stop = pos + end.directorySize;
    std::vector<std::uint8_t> record;
    std::vector<std::uint8_t> variable;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> extents;  // each member's header and data
    members_.clear();
    total_ = 0;
    std::uint64_t nameBytes = 0;
    while (pos < stop) {
        if (members_.size() >= limits.entries) return Refuse("too many entries");
        std::uint8_t fixed[kCentralHeaderSize];
        if (stop - pos < kCentralHeaderSize || !ReadExactly(archive, pos, fixed, sizeof fixed)) {
            return DirectoryVerdict::Unusable;
        }
        if (Get32(fixed) != kCentralHeaderSig) return DirectoryVerdict::Unusable;
        const std::size_t length = CentralRecordLength(fixed);
        if (stop - pos < length) return DirectoryVerdict::Unusable;
        record.resize(length);
        if (!ReadExactly(archive, pos, record.data(), length)) return DirectoryVerdict::Unusable;
        Member member;
        std::size_t recordSize = 0;
        if (!ParseCentralHeader(record.data(), record.data() + length, member.entry, recordSize)) {
            return DirectoryVerdict::Unusable;
        }
        const EntryInfo& entry = member.entry;
        nameBytes += entry.rawName.size() + entry.unicodeName.size();
        if (nameBytes > limits.nameBytes) return Refuse("names too long");
        total_ += std::min(entry.compressedSize, size);
        // APPNOTE 4.3.7: the local header's name and extra lengths give where the data starts;
        // sizes, CRC and flags come from the central record. A record whose offset leads to no
        // local header (past the end, or a wrong base offset) keeps no data offset: it is one of
        // the members, and fails, rather than making the whole directory unusable and leaving
        // it out of the walk in silence.
        const bool inside = entry.localHeaderOffset <= size && size - entry.localHeaderOffset >= shift;
        const std::uint64_t headerOffset = entry.localHeaderOffset + shift;
        std::uint8_t local[kLocalHeaderSize];
        EntryInfo localInfo;
        std::uint16_t nameLength = 0, extraLength = 0;
        if (inside && ReadExactly(archive, headerOffset, local, sizeof local) &&
            ParseLocalHeader(local, local + sizeof local, localInfo, nameLength, extraLength)) {
            member.dataOffset = headerOffset + kLocalHeaderSize + nameLength + extraLength;
            const std::uint64_t dataEnd = member.dataOffset + std::min(entry.compressedSize, size);
            extents.emplace_back(headerOffset, std::min(dataEnd, size));
            variable.resize(nameLength + extraLength);
            member.localDiffers =
                !ReadExactly(archive, headerOffset + kLocalHeaderSize, variable.data(), variable.size()) ||
                !LocalHeaderAgrees(entry, localInfo, variable.data(), nameLength, extraLength);
        }
        members_.push_back(std::move(member));
        pos += recordSize;
    }
    // The end record's count is only 16 bits wide without Zip64; the records themselves decide.
    if (members_.empty() && end.entryCount != 0) return DirectoryVerdict::Unusable;
    std::sort(extents.begin(), extents.end());
    for (std::size_t i = 1; i < extents.size(); ++i) {
        if (extents[i].first < extents[i - 1].second) return DirectoryVerdict::Overlapping;
    }
    return DirectoryVerdict::Usable;
}

}  // namespace zip
