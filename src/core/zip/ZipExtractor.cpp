#include "zip/ZipExtractor.h"

#include <algorithm>
#include <cmath>

#include "zip/DecodeAhead.h"
#include "zip/ZipLocalWalk.h"
#include "zip/ZipMethods.h"

namespace zip {

const char* EntryResultText(EntryResult result) {
    switch (result) {
        case EntryResult::Ok: return "ok";
        case EntryResult::BadCrc: return "bad CRC";
        case EntryResult::UnsupportedMethod: return "unsupported method";
        case EntryResult::Encrypted: return "encrypted";
        case EntryResult::CorruptData: return "corrupt data";
        case EntryResult::UnsafeName: return "unsafe name";
        case EntryResult::CannotCreate: return "cannot create";
        case EntryResult::WriteFailed: return "cannot write";
        case EntryResult::Skipped: return "skipped";
        case EntryResult::DuplicateName: return "duplicate name";
        case EntryResult::PathTooLong: return "path too long";
        case EntryResult::HeaderMismatch: return "local header differs";
        case EntryResult::NoLocalHeader: return "no local header";
    }
    return "unknown";
}

void ZipExtractor::Progress::Report(int filePercent, int archivePercent) {
    lastFile = filePercent;
    lastArchive = archivePercent;
    if (handler && *handler) (*handler)(filePercent, archivePercent);
}

int ZipExtractor::Progress::Percent(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return 0;
    if (done >= total) return 100;
    const long double share = 100.0L * static_cast<long double>(done) / static_cast<long double>(total);
    const long rounded = std::lround(static_cast<double>(share));
    return static_cast<int>(std::min<long>(100, std::max<long>(0, rounded)));
}

ZipExtractor::ZipExtractor() { fileSpec_.push_back("*.*"); }

void ZipExtractor::SetExtractFolder(const std::string& folder) {
    extractFolder_ = folder;
    std::replace(extractFolder_.begin(), extractFolder_.end(), '/', '\\');
    if (extractFolder_.empty() || extractFolder_.back() != '\\') extractFolder_ += '\\';
}

void ZipExtractor::ReportEnd(EntryResult result, const std::string& path) {
    ended_ = true;
    endedPath_ = path;
    endedResult_ = result;
    if (quiet_) return;
    if (result == EntryResult::Ok) ++extracted_;
    if (onEndOfFile) onEndOfFile(path, result);
}

void ZipExtractor::Reset() {
    extracted_ = 0;
    usedDirectory_ = false;
    readAsZip_ = false;
    refusal_.clear();
    seenNames_.clear();
}

int ZipExtractor::Extract() {
    Reset();
    std::unique_ptr<ArchiveInput> archive = OpenArchiveFile(archiveFile_);
    if (!archive) return 0;
    return Extract(*archive);
}

int ZipExtractor::Extract(ArchiveInput& archive) {
    Reset();
    ZipDirectory directory;
    const DirectoryVerdict verdict = directory.Read(archive, limits);
    if (verdict == DirectoryVerdict::Cut) {
        // Without its end the archive's entries are unknown: nothing of it is unpacked, even when
        // every local header before the cut looks whole.
        std::uint8_t signature[4];
        const bool startsAsZip = ReadExactly(archive, 0, signature, sizeof signature) && Get32(signature) == kLocalHeaderSig;
        readAsZip_ = startsAsZip || directory.SawEndSignature();
        if (readAsZip_) refusal_ = "archive ends early";
        return 0;
    }
    if (verdict == DirectoryVerdict::Unusable) {
        ExtractByWalking(archive);
        return extracted_;
    }
    usedDirectory_ = true;
    readAsZip_ = true;
    if (verdict == DirectoryVerdict::Overlapping) {
        // Entries sharing bytes expand one stream many times over: nothing is extracted, and the
        // local headers are not walked either, since they would lead to the same bytes.
        refusal_ = "overlapping entries";
        return 0;
    }
    if (verdict == DirectoryVerdict::Refused) {
        refusal_ = directory.Refusal();
        return 0;
    }
    // The room for what the directory declares is asked before anything is written.
    std::uint64_t declared = 0;
    for (const Member& member : directory.Members())
        declared += std::min(member.entry.uncompressedSize, UINT64_MAX - declared);
    if (output_ && !output_->HasRoomFor(declared)) {
        refusal_ = "not enough free space";
        return 0;
    }
    ExtractMembers(archive, directory.Members(), directory.CompressedTotal());
    return extracted_;
}

std::unique_ptr<DecodeAhead> ZipExtractor::StartDecodeAhead(ArchiveInput& archive, const std::vector<Member>& members) {
    if (decodeAhead == 0 || members.size() < 2) return nullptr;
    try {
        std::unique_ptr<ArchiveInput> second = archive.Reopen();
        if (!second) return nullptr;
        // What the writing would decode, as it would bound it.
        std::vector<AheadJob> jobs(members.size());
        for (std::size_t i = 0; i < members.size(); ++i) {
            const Member& member = members[i];
            const EntryInfo& entry = member.entry;
            if (!member.sizesKnown || member.dataOffset == kNoOffset || member.localDiffers) continue;
            if ((entry.flags & (kFlagEncrypted | kFlagStrongEncryption)) || !DecoderFor(entry.method)) continue;
            AheadJob& job = jobs[i];
            job.offset = member.dataOffset;
            job.length = std::min(entry.compressedSize, archive.Size() - std::min(archive.Size(), member.dataOffset));
            job.limit = std::min(entry.uncompressedSize, MaxDecodedSize(entry.method, job.length));
            job.method = entry.method;
            job.flags = entry.flags;
            job.taken = job.limit <= decodeAhead;
        }
        return std::unique_ptr<DecodeAhead>(new DecodeAhead(std::move(second), std::move(jobs), decodeAhead));
    } catch (...) {
        return nullptr;  // no memory or no thread: each member is decoded as it is written
    }
}

void ZipExtractor::ExtractMembers(ArchiveInput& archive, std::vector<Member>& members, std::uint64_t total) {
    Progress progress;
    progress.handler = &onProgress;
    progress.total = total;
    std::unique_ptr<DecodeAhead> ahead = StartDecodeAhead(archive, members);
    struct Using {
        DecodeAhead*& current;
        ~Using() { current = nullptr; }
    } using_{ahead_};
    ahead_ = ahead.get();
    int number = 0;
    for (Member& member : members) {
        std::uint64_t next = 0;
        aheadIndex_ = static_cast<std::size_t>(number);
        ProcessMember(archive, member, number++, progress, next);
        if (ahead) ahead->Release(aheadIndex_);
        progress.doneBefore += std::min(member.entry.compressedSize, archive.Size());
    }
    if (progress.lastArchive >= 0 && progress.lastArchive < 100 && number > 0) progress.Report(progress.lastFile, 100);
}

void ZipExtractor::ExtractByWalking(ArchiveInput& archive) {
    Progress progress;
    progress.handler = &onProgress;
    progress.total = archive.Size();
    LocalHeaderWalk walk(archive);
    int number = 0;
    Member member;
    while (walk.Next(member)) {
        readAsZip_ = true;
        if (static_cast<std::size_t>(number) >= limits.entries) {
            refusal_ = "too many entries";  // what each entry leaves behind (its name) stays bounded
            break;
        }
        progress.doneBefore = walk.Position();
        std::uint64_t next = 0;
        if (!ProcessMember(archive, member, number++, progress, next)) break;
        if (!walk.Advance(member, next)) break;
    }
    // A whole archive goes on after its last entry with its directory (or at least its end
    // record); anything else means it was cut or damaged there.
    if (readAsZip_ && refusal_.empty() && !walk.StoppedOnDirectory()) refusal_ = "archive ends early";
    if (progress.lastArchive >= 0 && progress.lastArchive < 100 && number > 0) progress.Report(progress.lastFile, 100);
}

bool ZipExtractor::ProcessMember(ArchiveInput& archive, Member& member, int number, Progress& progress,
                                 std::uint64_t& next) {
    std::string path;
    if (!OutputPath(member.entry, path)) return PassOver(archive, member, next);
    bool extract = true;
    if (onFileBegin) onFileBegin(path, number, extract);
    if (!extract) {
        ReportEnd(EntryResult::Skipped, path);
        return PassOver(archive, member, next);
    }
    return WriteMember(archive, member, path, progress, next);
}

}  // namespace zip
