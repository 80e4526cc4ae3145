// The extractor's writing of one member: its data decoded into the output file, its size and
// CRC-32 checked, its time and attributes set.
#include <algorithm>
#include <functional>

#include "zip/Crc32.h"
#include "zip/DecodeAhead.h"
#include "zip/ZipExtractor.h"
#include "zip/ZipLocalWalk.h"
#include "zip/ZipMethods.h"

namespace zip {
namespace {

constexpr std::uint32_t kDosArchive = 0x20;

// Writes decoded blocks to the file, keeps the CRC (unless the blocks come with theirs) and
// reports progress after each block.
class EntrySink : public ByteSink {
public:
    using Progress = std::function<void(std::uint64_t written)>;
    EntrySink(OutputFile& file, bool takeCrc, Progress progress)
        : file_(file), takeCrc_(takeCrc), progress_(std::move(progress)) {}
    bool Write(const std::uint8_t* data, std::size_t n) override {
        if (!file_.Write(data, n)) return false;
        if (takeCrc_) crc_.Update(data, n);
        written_ += n;
        ++blocks_;
        progress_(written_);
        return true;
    }
    const Crc32& Crc() const { return crc_; }
    std::uint64_t Written() const { return written_; }
    std::uint64_t Blocks() const { return blocks_; }

private:
    OutputFile& file_;
    bool takeCrc_;
    Progress progress_;
    Crc32 crc_;
    std::uint64_t written_ = 0;
    std::uint64_t blocks_ = 0;
};

// Writes a member decoded ahead as its decoder wrote it: block by block, consumed telling the
// compressed bytes read at each; then what its decoder answered.
DecodeStatus Replay(const DecodedMember& decoded, ByteSink& sink, std::uint64_t& consumed) {
    std::size_t start = 0;
    for (const DecodedMember::Block& block : decoded.blocks) {
        consumed = block.consumed;
        if (!sink.Write(decoded.bytes.data() + start, block.end - start)) return DecodeStatus::WriteFailed;
        start = block.end;
    }
    consumed = decoded.consumed;
    return decoded.status;
}

EntryResult ResultOf(DecodeStatus status) {
    switch (status) {
        case DecodeStatus::Ok: return EntryResult::Ok;
        case DecodeStatus::WriteFailed: return EntryResult::WriteFailed;
        case DecodeStatus::BadData:
        case DecodeStatus::Truncated:
        case DecodeStatus::OutputFull: break;
    }
    return EntryResult::CorruptData;
}

}  // namespace

bool ZipExtractor::PassOver(ArchiveInput& archive, Member& member, std::uint64_t& next) {
    if (member.sizesKnown) {
        next = member.dataOffset + member.entry.compressedSize;
        return member.dataOffset != kNoOffset && next >= member.dataOffset;
    }
    // The end of data without sizes shows only by decoding it.
    if (member.entry.flags & (kFlagEncrypted | kFlagStrongEncryption)) return false;
    std::uint64_t streamLength = 0;
    bool ended = false;
    MeasureUnsized(archive, member, streamLength, next, ended);
    return ended;
}

bool ZipExtractor::WriteMember(ArchiveInput& archive, Member& member, const std::string& path, Progress& progress,
                               std::uint64_t& next) {
    EntryInfo& entry = member.entry;
    if (entry.flags & (kFlagEncrypted | kFlagStrongEncryption)) {
        ReportEnd(EntryResult::Encrypted, path);
        return PassOver(archive, member, next);
    }
    if (member.dataOffset == kNoOffset) {
        ReportEnd(EntryResult::NoLocalHeader, path);  // missing or damaged: the data cannot be found
        return true;
    }
    if (member.localDiffers) {
        ReportEnd(EntryResult::HeaderMismatch, path);
        return PassOver(archive, member, next);
    }
    if (!output_) {
        ReportEnd(EntryResult::CannotCreate, path);
        return PassOver(archive, member, next);
    }
    const bool mayKeep = overwriteMode == OverwriteMode::Skip || (confirmOverwrites && onConfirmOverwrite);
    if (mayKeep && output_->FileExists(path)) {
        const bool replace = confirmOverwrites && onConfirmOverwrite ? onConfirmOverwrite(path)
                                                                     : overwriteMode == OverwriteMode::Overwrite;
        if (!replace) {
            ReportEnd(EntryResult::Skipped, path);
            return PassOver(archive, member, next);
        }
    }
    output_->CreateFolderPath(FolderOf(path));
    std::unique_ptr<OutputFile> file = output_->CreateOutputFile(path);
    if (!file) {
        ReportEnd(EntryResult::CannotCreate, path);
        return PassOver(archive, member, next);
    }
    if (output_->WrittenBefore(path, std::min(extractFolder_.size(), path.size()))) {
        // Another name of a file this extraction wrote (an 8.3 alias): two entries, one file.
        file.reset();
        ReportEnd(EntryResult::DuplicateName, path);
        return PassOver(archive, member, next);
    }

    // What the entry may occupy and write: its stated sizes; without them, a first pass over the
    // stream finds its end and its descriptor, whose sizes then bound the writing pass. Either
    // way no more than the method's largest ratio allows for the bytes it reads.
    const DecodeFunction decode = DecoderFor(entry.method);
    const bool sizesKnown = member.sizesKnown;
    const std::uint64_t available = archive.Size() - std::min(archive.Size(), member.dataOffset);
    std::uint64_t length = sizesKnown ? std::min(entry.compressedSize, available) : available;
    bool walkOn = true;
    if (decode && !sizesKnown) {
        std::uint64_t streamLength = 0;
        MeasureUnsized(archive, member, streamLength, next, walkOn);
        if (walkOn) length = streamLength;
    }
    const std::uint64_t limit = walkOn ? std::min(entry.uncompressedSize, MaxDecodedSize(entry.method, length))
                                       : MaxDecodedSize(entry.method, length);
    ArchiveRange source(archive, member.dataOffset, length);
    // The member as the second thread decoded it, when it did; its blocks are then written here
    // as the decoder would have written them.
    const std::unique_ptr<DecodedMember> ahead = decode && ahead_ ? ahead_->Take(aheadIndex_) : nullptr;
    std::uint64_t aheadConsumed = 0;
    const auto consumedSoFar = [&] { return ahead ? aheadConsumed : source.Consumed(); };
    EntrySink sink(*file, !ahead, [&](std::uint64_t written) {
        const std::uint64_t consumed = std::min(consumedSoFar(), entry.compressedSize);
        progress.Report(Progress::Percent(written, entry.uncompressedSize),
                        Progress::Percent(progress.doneBefore + (sizesKnown ? consumed : consumedSoFar()),
                                          progress.total));
    });

    EntryResult result = EntryResult::Ok;
    if (!decode) {
        result = EntryResult::UnsupportedMethod;
        walkOn = PassOver(archive, member, next);
    } else if (!sizesKnown && entry.method != 8 && entry.method != 9) {
        result = EntryResult::CorruptData;  // no descriptor found, and a method without an end of its own
    } else {
        // A deflate stream without its end or its descriptor still leaves what it decodes, within
        // the ratio: the file keeps what was written so far.
        result = ResultOf(ahead ? Replay(*ahead, sink, aheadConsumed) : decode(source, sink, limit, entry.flags));
        if (sizesKnown) next = member.dataOffset + entry.compressedSize;
        if (!walkOn && result == EntryResult::Ok) result = EntryResult::CorruptData;  // no descriptor
    }
    if (result == EntryResult::Ok) {
        const Crc32& crc = ahead ? ahead->crc : sink.Crc();
        const bool crcMatches = crc.Value() == entry.crc || crc.Register() == entry.crc;
        if (sink.Written() != entry.uncompressedSize) {
            result = EntryResult::CorruptData;  // the stream ended early
        } else if (!crcMatches) {
            result = EntryResult::BadCrc;
        }
    }
    // The time, and the attributes unless they are the archive bit alone; a failure is ignored.
    const std::uint32_t attributes = entry.externalAttributes & 0xFFu;
    const bool applyAttributes = restoreAttributes && attributes != kDosArchive;
    const bool bothSet = applyAttributes && file->SetDosTimeAndAttributes(entry.dosDate, entry.dosTime, attributes);
    if (!bothSet) file->SetDosTime(entry.dosDate, entry.dosTime);
    if (!file->Close() && result == EntryResult::Ok) result = EntryResult::WriteFailed;
    file.reset();
    if (applyAttributes && !bothSet) output_->SetAttributes(path, attributes);
    if (sink.Blocks() == 0) {
        progress.Report(Progress::Percent(sink.Written(), entry.uncompressedSize),
                        Progress::Percent(progress.doneBefore + std::min(consumedSoFar(), entry.compressedSize),
                                          progress.total));
    }
    ReportEnd(result, path);
    return walkOn;
}

}  // namespace zip
