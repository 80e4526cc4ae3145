// The extractor's early pass over a package still being downloaded, and the confirmation of what
// it wrote against the central directory once the package is whole.
#include <algorithm>

#include "zip/ZipExtractor.h"
#include "zip/ZipLocalWalk.h"

namespace zip {
namespace {

constexpr std::uint32_t kDosArchive = 0x20;
constexpr std::uint16_t kReadFlags = kFlagEncrypted | kFlagDataDescriptor | kFlagStrongEncryption | kFlagUtf8;

// Whether a walked entry's local header states what the central record states about the data
// and the file: the same method, flags that change the reading, CRC-32, sizes and time.
bool SameData(const EntryInfo& central, const EntryInfo& local) {
    return central.method == local.method && (central.flags & kReadFlags) == (local.flags & kReadFlags) &&
           central.crc == local.crc && central.compressedSize == local.compressedSize &&
           central.uncompressedSize == local.uncompressedSize && central.dosDate == local.dosDate &&
           central.dosTime == local.dosTime;
}

}  // namespace

EarlyWalk ZipExtractor::ExtractGrowing(ArchiveInput& archive, std::uint64_t writeCap) {
    Reset();
    EarlyWalk early;
    early.attributesApplied = restoreAttributes;
    Progress progress;
    progress.handler = &onProgress;
    progress.total = archive.Size();
    LocalHeaderWalk walk(archive);
    std::uint64_t declared = 0;
    int number = 0;
    Member member;
    while (walk.Next(member)) {
        readAsZip_ = true;
        early.stoppedAt = walk.Position();
        if (static_cast<std::size_t>(number) >= limits.entries) return early;
        // Streamed: the end of its data, and the sizes that bound it, only the directory tells.
        if (member.entry.flags & kFlagDataDescriptor) return early;
        declared += std::min(member.entry.uncompressedSize, UINT64_MAX - declared);
        if (declared > writeCap) return early;
        WalkedEntry walked;
        walked.headerOffset = walk.Position();
        walked.dataOffset = member.dataOffset;
        walked.entry = member.entry;
        ended_ = false;
        progress.doneBefore = walk.Position();
        std::uint64_t next = 0;
        const bool goesOn = ProcessMember(archive, member, number++, progress, next);
        if (ended_) {
            walked.path = endedPath_;
            walked.result = endedResult_;
        }
        early.entries.push_back(std::move(walked));
        if (ended_ && endedResult_ != EntryResult::Ok) return early;
        if (!goesOn || !walk.Advance(member, next)) return early;
    }
    early.stoppedAt = walk.Position();
    early.sound = readAsZip_ && walk.StoppedOnDirectory();
    return early;
}

bool ZipExtractor::Agrees(const std::vector<Member>& members, const EarlyWalk& early) {
    if (!early.sound || early.entries.size() != members.size()) return false;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const Member& member = members[i];
        const WalkedEntry& walked = early.entries[i];
        if (member.localDiffers || member.dataOffset != walked.dataOffset ||
            member.entry.localHeaderOffset != walked.headerOffset || member.entry.rawName != walked.entry.rawName) {
            return false;
        }
        ended_ = false;
        std::string path;
        const bool file = OutputPath(member.entry, path);
        if (ended_) return false;  // a name the rules refuse: the early walk wrote nothing of it as Ok
        if (!file) {
            if (!walked.path.empty()) return false;
            continue;
        }
        if (path != walked.path || walked.result != EntryResult::Ok || !SameData(member.entry, walked.entry)) {
            return false;
        }
    }
    return true;
}

int ZipExtractor::ExtractConfirmed(ArchiveInput& archive, const EarlyWalk& early, bool& confirmed) {
    Reset();
    confirmed = false;
    ZipDirectory directory;
    if (directory.Read(archive, limits) != DirectoryVerdict::Usable) return 0;
    if (directory.DirectoryStart() != early.stoppedAt) return 0;  // bytes the walk did not account for
    std::vector<Member>& members = directory.Members();
    quiet_ = true;
    const bool agrees = Agrees(members, early);
    quiet_ = false;
    seenNames_.clear();
    if (!agrees) return 0;
    confirmed = true;
    usedDirectory_ = true;
    readAsZip_ = true;
    std::uint64_t declared = 0;
    for (const Member& member : members) declared += std::min(member.entry.uncompressedSize, UINT64_MAX - declared);
    if (output_ && !output_->HasRoomFor(declared)) {
        refusal_ = "not enough free space";
        return 0;
    }
    Progress progress;
    progress.handler = &onProgress;
    progress.total = directory.CompressedTotal();
    int number = 0;
    for (Member& member : members) {
        std::string path;
        const EntryInfo& entry = member.entry;
        const bool file = OutputPath(entry, path);
        bool extract = true;
        if (file && onFileBegin) onFileBegin(path, number, extract);
        if (file && !extract) {
            ReportEnd(EntryResult::Skipped, path);
        } else if (file) {
            // What the writing would have left: the stored attributes, unless the archive bit
            // alone. Changed only where the walk left others, a question to the system each.
            const std::uint32_t attributes = entry.externalAttributes & 0xFFu;
            const std::uint32_t left = early.attributesApplied
                                           ? early.entries[static_cast<std::size_t>(number)].entry.externalAttributes & 0xFFu
                                           : kDosArchive;
            if (restoreAttributes && attributes != left && output_) output_->SetAttributes(path, attributes);
            progress.Report(Progress::Percent(entry.uncompressedSize, entry.uncompressedSize),
                            Progress::Percent(progress.doneBefore + std::min(entry.compressedSize, archive.Size()),
                                              progress.total));
            ReportEnd(EntryResult::Ok, path);
        }
        ++number;
        progress.doneBefore += std::min(entry.compressedSize, archive.Size());
    }
    if (progress.lastArchive >= 0 && progress.lastArchive < 100 && number > 0) progress.Report(progress.lastFile, 100);
    return extracted_;
}

}  // namespace zip
