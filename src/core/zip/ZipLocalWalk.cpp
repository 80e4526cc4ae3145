#include "zip/ZipLocalWalk.h"

#include <algorithm>

#include "zip/Inflate.h"
#include "zip/ZipMethods.h"

namespace zip {
namespace {

// Decoded bytes that only need counting.
class NullSink : public ByteSink {
public:
    bool Write(const std::uint8_t*, std::size_t) override { return true; }
};

// Reads the data descriptor at offset into entry; sets next past it.
bool ReadDescriptor(ArchiveInput& archive, std::uint64_t offset, EntryInfo& entry, std::uint64_t& next) {
    std::uint8_t buf[24] = {};
    const std::size_t got = archive.ReadAt(offset, buf, sizeof buf);
    std::size_t size = 0;
    if (!ParseDataDescriptor(buf, buf + got, entry.zip64, entry, size)) return false;
    next = offset + size;
    return true;
}

// For a local header without sizes whose method has no end of its own (stored, the legacy
// methods): the data descriptor is found by its signature, where its compressed size equals the
// distance from the data's start. Sets the entry's sizes and CRC and the descriptor's length.
bool ScanForDescriptor(ArchiveInput& archive, std::uint64_t dataOffset, EntryInfo& entry, std::size_t& length) {
    const std::size_t kChunk = 65536;
    const std::size_t kKeep = 24;  // a descriptor split across two chunks is seen whole in the next
    std::vector<std::uint8_t> buf(kChunk + kKeep);
    std::uint64_t base = dataOffset;
    for (;;) {
        const std::size_t got = archive.ReadAt(base, buf.data(), buf.size());
        if (got < 16) return false;
        for (std::size_t i = 0; i + 16 <= got; ++i) {
            if (Get32(&buf[i]) != kDataDescriptorSig) continue;
            EntryInfo found = entry;
            std::size_t size = 0;
            if (!ParseDataDescriptor(&buf[i], buf.data() + got, entry.zip64, found, size)) continue;
            if (found.compressedSize != base + i - dataOffset) continue;
            entry.crc = found.crc;
            entry.compressedSize = found.compressedSize;
            entry.uncompressedSize = found.uncompressedSize;
            length = size;
            return true;
        }
        if (got < buf.size()) return false;
        base += kChunk;
    }
}

}  // namespace

bool LocalHeaderWalk::Next(Member& member) {
    std::uint8_t fixed[kLocalHeaderSize];
    member = Member{};
    EntryInfo& entry = member.entry;
    std::uint16_t nameLength = 0, extraLength = 0;
    if (!ReadExactly(archive_, pos_, fixed, sizeof fixed) ||
        !ParseLocalHeader(fixed, fixed + sizeof fixed, entry, nameLength, extraLength)) {
        return false;
    }
    variable_.resize(nameLength + extraLength);
    if (!ReadExactly(archive_, pos_ + kLocalHeaderSize, variable_.data(), variable_.size())) return false;
    entry.rawName.assign(reinterpret_cast<const char*>(variable_.data()), nameLength);
    ApplyLocalExtra(variable_.data() + nameLength, variable_.data() + variable_.size(), entry);
    entry.localHeaderOffset = pos_;
    member.dataOffset = pos_ + kLocalHeaderSize + nameLength + extraLength;
    member.sizesKnown = (entry.flags & kFlagDataDescriptor) == 0;
    if (!member.sizesKnown && entry.method != 8 && entry.method != 9) {
        member.sizesKnown = ScanForDescriptor(archive_, member.dataOffset, entry, member.descriptorLength);
    }
    return true;
}

bool LocalHeaderWalk::Advance(const Member& member, std::uint64_t dataEnd) {
    const std::uint64_t next = dataEnd + member.descriptorLength;
    if (next <= pos_ || next > archive_.Size()) return false;
    pos_ = next;
    return true;
}

bool LocalHeaderWalk::StoppedOnDirectory() {
    std::uint8_t signature[4];
    if (!ReadExactly(archive_, pos_, signature, sizeof signature)) return false;
    const std::uint32_t sig = Get32(signature);
    return sig == kCentralHeaderSig || sig == kEndOfDirectorySig || sig == kZip64EndSig;
}

DecodeStatus MeasureUnsized(ArchiveInput& archive, Member& member, std::uint64_t& streamLength,
                            std::uint64_t& next, bool& ended) {
    ended = false;
    EntryInfo& entry = member.entry;
    if (entry.method != 8 && entry.method != 9) return DecodeStatus::BadData;
    const std::uint64_t available = archive.Size() - std::min(archive.Size(), member.dataOffset);
    ArchiveRange source(archive, member.dataOffset, available);
    NullSink nothing;
    Inflater inflater(entry.method == 9 ? DeflateVariant::Deflate64 : DeflateVariant::Deflate);
    const DecodeStatus status = inflater.Run(source, nothing, MaxDecodedSize(entry.method, available));
    if (status == DecodeStatus::Ok) {
        streamLength = inflater.ConsumedBytes();
        ended = ReadDescriptor(archive, member.dataOffset + streamLength, entry, next);
    }
    return status;
}

}  // namespace zip
