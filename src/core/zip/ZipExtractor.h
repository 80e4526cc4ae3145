// ZipExtractor: unpacks a ZIP archive (PKWARE APPNOTE) into a folder.
//
// Entries are taken in the order the archive stores them, from the central directory, or by
// walking the local headers when the end record holds together but its directory does not (an
// archive without its end record is cut and yields nothing). Names are converted from
// the OEM code page (or from UTF-8 when flagged) to ANSI with "/" made "\". Only file entries that
// match the file specification are extracted; a name whose path would leave the extract folder is
// refused. Failures stay inside: an entry that fails is reported through the end-of-file event and
// extraction goes on; Extract never throws.
//
// Bounds: an entry never writes more than the size its central record declares (walking: its
// local header, or its data descriptor, read by a first decoding pass into nothing when the
// sizes follow the data), nor more than its method's largest ratio times its compressed bytes
// (MaxDecodedSize); past it the entry fails as corrupt data. What the directory reader keeps is
// bounded by limits (DirectoryLimits), beyond which the archive is refused.
//
// Events, all on the caller's thread:
//   file begin (output path, entry number, extract flag): before any data of a selected file
//     entry; clearing the flag skips the entry. The entry number counts archive entries from 0.
//   progress (file percentage, archive percentage): after each block written (at most
//     kBlockSize bytes), and once for an entry that wrote no block. File percentage: share of the
//     entry's uncompressed size written; archive percentage: share of all entries' compressed
//     bytes consumed, skipped entries counting as consumed. Whole numbers 0..100.
//   end of file (output path, result): once per selected file entry that got past the name check,
//     and for refused names.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "zip/ArchiveInput.h"
#include "zip/OutputFolder.h"
#include "zip/ZipDirectory.h"
#include "zip/ZipRecords.h"

namespace zip {

enum class EntryResult {
    Ok,                 // written in full, CRC-32 matched
    BadCrc,             // written, but its CRC-32 differs from the stored one (the file stays)
    UnsupportedMethod,  // method not decoded: an empty file stays
    Encrypted,          // no password: no file
    CorruptData,        // the data could not be decoded in full (the file keeps what was written)
    UnsafeName,         // the name leads outside the extract folder: no file-begin event, no file
    CannotCreate,       // the output file could not be created
    WriteFailed,        // writing the file failed
    Skipped,            // the file-begin handler cleared the extract flag, or an existing file was kept
    DuplicateName,      // an earlier entry already named this file (letter case folded): no file
    PathTooLong,        // the output path is longer than the system allows: no file-begin event, no file
    HeaderMismatch,     // the local header disagrees with the central record: no file
    NoLocalHeader,      // no local header where the central record says (a wrong offset): no file
};

// "ok", "bad CRC", "unsupported method", "encrypted", "corrupt data", "unsafe name", "cannot
// create", "cannot write", "skipped", "duplicate name", "path too long", "local header differs",
// "no local header".
const char* EntryResultText(EntryResult result);

enum class OverwriteMode { Overwrite, Skip };

// One entry an early walk met (ExtractGrowing), as it left it.
struct WalkedEntry {
    std::uint64_t headerOffset = 0;
    std::uint64_t dataOffset = 0;
    EntryInfo entry;                        // as its local header states it
    std::string path;                       // the file written; empty when the entry is no file
    EntryResult result = EntryResult::Ok;   // of the file written
};

// What an early walk leaves: its entries in archive order and where it stopped.
struct EarlyWalk {
    std::vector<WalkedEntry> entries;
    std::uint64_t stoppedAt = 0;
    // Every file entry written Ok, and the walk stopped on a signature of the directory.
    bool sound = false;
    // Whether the walk applied its entries' attributes (a local header has none: each file was
    // left normal); otherwise each file kept a new file's (the archive bit).
    bool attributesApplied = false;
};

class DecodeAhead;

class ZipExtractor {
public:
    using FileBeginHandler = std::function<void(const std::string& path, int number, bool& extract)>;
    using ProgressHandler = std::function<void(int filePercent, int archivePercent)>;
    using EndOfFileHandler = std::function<void(const std::string& path, EntryResult result)>;
    // Asked before an existing file is replaced, when confirm overwrites is on; true replaces.
    using ConfirmOverwriteHandler = std::function<bool(const std::string& path)>;

    ZipExtractor();

    void SetArchiveFile(const std::string& path) { archiveFile_ = path; }
    const std::string& ArchiveFile() const { return archiveFile_; }
    // "/" becomes "\" and a trailing backslash is added when missing.
    void SetExtractFolder(const std::string& folder);
    const std::string& ExtractFolder() const { return extractFolder_; }
    void ClearFileSpec() { fileSpec_.clear(); }
    void AddFileSpec(const std::string& pattern) { fileSpec_.push_back(pattern); }
    const std::vector<std::string>& FileSpec() const { return fileSpec_; }

    // The settings, with their defaults.
    bool recurseFolders = true;
    bool confirmOverwrites = false;
    OverwriteMode overwriteMode = OverwriteMode::Overwrite;
    bool useStoredFolders = true;
    bool createStoredFolders = false;
    bool restoreAttributes = true;
    bool translateOemNames = true;
    // How many entries, and how many bytes of names, the extractor keeps at most (ZipDirectory.h:
    // 262144 entries, 32 MiB of names); an archive beyond them is refused. Lowered by tests.
    DirectoryLimits limits;
    // Up to this many bytes of the entries after the one being written are decoded ahead, on a
    // second thread, while the files are made on this one (0: none). Only for an archive with a
    // usable central directory whose reader can be opened again, and only entries with their sizes
    // stated and no larger than this; the events, their order and the files are the same.
    std::size_t decodeAhead = 0;

    FileBeginHandler onFileBegin;
    ProgressHandler onProgress;
    EndOfFileHandler onEndOfFile;
    ConfirmOverwriteHandler onConfirmOverwrite;

    // Where files go; without one nothing can be written (every file fails as cannot create).
    void SetOutput(std::unique_ptr<OutputFolder> output) { output_ = std::move(output); }
    OutputFolder* Output() const { return output_.get(); }

    // Processes the whole archive file; returns the number of files written with a matching CRC.
    int Extract();
    // The same over archive bytes at hand.
    int Extract(ArchiveInput& archive);

    // The early pass, over an archive that may still grow (its ReadAt waits for the bytes):
    // walks the local headers from offset 0 in order and writes each file entry as Extract does
    // (the same name rules, duplicate and alias checks, size and ratio bounds), and stops quietly
    // at the first signature that is not a local header. It stops, unsound, at the first entry
    // that does not end Ok, at an entry whose sizes follow its data (its end is the directory's
    // to tell), and once the local headers declare more than writeCap bytes in all. Attributes
    // are not applied: the directory's are, when the walk is confirmed.
    EarlyWalk ExtractGrowing(ArchiveInput& archive, std::uint64_t writeCap);
    // Extract over the whole archive when an early walk already wrote the files: when the central
    // directory accounts for every walked entry, in order, at its offset, with the same output
    // path, CRC-32, sizes, method, flags and time (and no other), and the walk ended Ok, the
    // events run as Extract raises them (file begin, progress, end of file) and the directory's
    // attributes are applied, without writing the data again; confirmed is then true. Otherwise
    // nothing is raised or changed, confirmed is false and 0 is returned. Once the walk agrees,
    // the room check is asked as Extract asks it; its refusal counts as confirmed (Extract would
    // refuse too): nothing is raised and Refusal says why.
    int ExtractConfirmed(ArchiveInput& archive, const EarlyWalk& early, bool& confirmed);

    // Whether the last Extract found a central directory (false: it walked the local headers).
    bool UsedCentralDirectory() const { return usedDirectory_; }
    // Whether the last Extract could read the archive as ZIP at all (a directory, or at least one
    // local header). False for a missing file, an empty file or anything else.
    bool ReadAsZip() const { return readAsZip_; }
    // Why the last Extract found the whole archive unsound, or empty when it did not:
    //   "overlapping entries": two entries share bytes, as zip bombs do; nothing was extracted.
    //   "archive ends early": the archive has no end record at its end, or one that does not hold
    //   together, so it was cut or damaged there: nothing was extracted. Also when the end record
    //   holds together but its directory does not, and walking the local headers ended on neither
    //   a directory nor an end record: what came before was extracted.
    //   "too many entries", "names too long", "entry count does not fit": the directory is beyond
    //   the limits, or counts more records than it can hold; nothing was extracted. A walk of
    //   the local headers stops with "too many entries" after the limit's number of entries,
    //   what came before extracted.
    const std::string& Refusal() const { return refusal_; }

    // The longest output path (and folder) the system accepts; longer ones fail as path too long.
    static constexpr std::size_t kMaxPath = 259;
    static constexpr std::size_t kMaxFolder = 247;

    // Whether an entry, whose name converted is name, is a folder: a trailing backslash, or the
    // MS-DOS folder attribute (0x10). Folders are never extracted as files.
    static bool IsFolderEntry(const EntryInfo& entry, const std::string& name);
    static constexpr std::uint32_t kDosFolder = 0x10;

private:
    // The progress event's state through one Extract.
    struct Progress {
        ProgressHandler* handler = nullptr;
        std::uint64_t total = 0;       // the archive's compressed bytes (or its size when walking)
        std::uint64_t doneBefore = 0;  // consumed before the current entry
        int lastFile = -1;
        int lastArchive = -1;
        void Report(int filePercent, int archivePercent);
        // 100 x done / total, rounded, within 0..100; 0 when total is 0.
        static int Percent(std::uint64_t done, std::uint64_t total);
    };

    // Clears what one Extract leaves behind: counts, verdicts and the names seen.
    void Reset();
    void ExtractMembers(ArchiveInput& archive, std::vector<Member>& members, std::uint64_t total);
    void ExtractByWalking(ArchiveInput& archive);
    // One member: its name, its output path, then writing it. Sets next to the offset after the
    // member's data (and descriptor), for the walk; false when that cannot be known.
    bool ProcessMember(ArchiveInput& archive, Member& member, int number, Progress& progress, std::uint64_t& next);

    // ZipEntryPath.cpp: the entry's name in ANSI with "\" separators.
    std::string EntryName(const EntryInfo& entry) const;
    // The output path of a file entry: selection, drive removal, safety, length, duplicates.
    // False when no file is to be written for the name (a folder entry, not selected, or refused:
    // a refusal is reported here).
    bool OutputPath(const EntryInfo& entry, std::string& path);
    bool Selected(const std::string& name) const;
    static std::string FolderOf(const std::string& path);

    // ZipMemberWriter.cpp: decodes a member into the file at path and checks its size and CRC,
    // then sets its time and attributes; reports the result.
    bool WriteMember(ArchiveInput& archive, Member& member, const std::string& path, Progress& progress,
                     std::uint64_t& next);
    // Where a member not decoded ends.
    bool PassOver(ArchiveInput& archive, Member& member, std::uint64_t& next);
    // The end-of-file event (quiet: only noted, for the confirmation's dry run).
    void ReportEnd(EntryResult result, const std::string& path);
    // ZipEarlyWalk.cpp: whether the directory's members are what the early walk wrote.
    bool Agrees(const std::vector<Member>& members, const EarlyWalk& early);

    // Starts the decoding ahead of members, when asked for and possible; null otherwise.
    std::unique_ptr<DecodeAhead> StartDecodeAhead(ArchiveInput& archive, const std::vector<Member>& members);

    std::string archiveFile_;
    std::string extractFolder_;
    std::vector<std::string> fileSpec_;
    std::unique_ptr<OutputFolder> output_;
    bool usedDirectory_ = false;
    bool readAsZip_ = false;
    std::string refusal_;
    std::set<std::string> seenNames_;  // letter case folded
    int extracted_ = 0;
    // The last end-of-file event's path and result; quiet_ keeps it from the handler.
    bool quiet_ = false;
    bool ended_ = false;
    std::string endedPath_;
    EntryResult endedResult_ = EntryResult::Ok;
    // The decoding ahead of the current ExtractMembers, and the member being processed.
    DecodeAhead* ahead_ = nullptr;
    std::size_t aheadIndex_ = 0;
};

}  // namespace zip
