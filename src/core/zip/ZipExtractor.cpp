#include "zip/ZipExtractor.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "zip/Crc32.h"
#include "zip/Decoder.h"
#include "zip/Inflate.h"
#include "zip/ZipMethods.h"
#include "zip/ZipNames.h"

namespace zip {
namespace {

constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();
// The end record sits in the last 22 bytes plus a comment of at most 65535 bytes.
constexpr std::size_t kTailSearch = kEndOfDirectorySize + 65535;
constexpr std::uint32_t kDosArchive = 0x20;

int Percent(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return 0;
    if (done >= total) return 100;
    const long double share = 100.0L * static_cast<long double>(done) / static_cast<long double>(total);
    const long rounded = std::lround(static_cast<double>(share));
    return static_cast<int>(std::min<long>(100, std::max<long>(0, rounded)));
}

// The compressed bytes of one entry, read from the archive as the decoder asks for them.
class EntrySource : public ByteSource {
public:
    EntrySource(ArchiveInput& archive, std::uint64_t offset, std::uint64_t length)
        : archive_(archive), offset_(offset), remaining_(length) {}
    std::size_t Read(std::uint8_t* buf, std::size_t n) override {
        if (n > remaining_) n = static_cast<std::size_t>(remaining_);
        if (n == 0) return 0;
        const std::size_t got = archive_.ReadAt(offset_, buf, n);
        offset_ += got;
        remaining_ -= got;
        consumed_ += got;
        return got;
    }
    std::uint64_t Consumed() const { return consumed_; }

private:
    ArchiveInput& archive_;
    std::uint64_t offset_;
    std::uint64_t remaining_;
    std::uint64_t consumed_ = 0;
};

class NullSink : public ByteSink {
public:
    bool Write(const std::uint8_t*, std::size_t) override { return true; }
};

bool ReadExactly(ArchiveInput& archive, std::uint64_t offset, void* buf, std::size_t n) {
    return archive.ReadAt(offset, buf, n) == n;
}

// Reads the data descriptor at offset into entry; sets next past it.
bool ReadDescriptor(ArchiveInput& archive, std::uint64_t offset, EntryInfo& entry, std::uint64_t& next) {
    std::uint8_t buf[24] = {};
    const std::size_t got = archive.ReadAt(offset, buf, sizeof buf);
    std::size_t size = 0;
    if (!ParseDataDescriptor(buf, buf + got, entry.zip64, entry, size)) return false;
    next = offset + size;
    return true;
}

// For a local header without sizes: decodes the deflated data to find where it ends, then reads
// the descriptor that follows. Other methods carry no end of their own: false.
bool SkipUnsizedEntry(ArchiveInput& archive, EntryInfo& entry, std::uint64_t dataOffset, std::uint64_t& next) {
    if (entry.method != 8 && entry.method != 9) return false;
    if (entry.flags & (kFlagEncrypted | kFlagStrongEncryption)) return false;
    EntrySource source(archive, dataOffset, archive.Size() - std::min(archive.Size(), dataOffset));
    NullSink sink;
    Inflater inflater(entry.method == 9 ? DeflateVariant::Deflate64 : DeflateVariant::Deflate);
    if (inflater.Run(source, sink, kUnlimited) != DecodeStatus::Ok) return false;
    return ReadDescriptor(archive, dataOffset + inflater.ConsumedBytes(), entry, next);
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

std::string FolderOf(const std::string& path) {
    const std::size_t cut = path.rfind('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

// Letter case folded as the file system folds it for the ANSI code page 1252: ASCII, the Latin-1
// letters and the few letters of 0x80-0x9F.
std::string FoldCase(std::string name) {
    for (char& c : name) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) {
            c = static_cast<char>(b + 0x20);
        } else if (b == 0x8A || b == 0x8C || b == 0x8E) {
            c = static_cast<char>(b + 0x10);  // S, OE, Z with caron
        } else if (b == 0x9F) {
            c = static_cast<char>(0xFF);  // Y with diaeresis
        }
    }
    return name;
}

std::string NameOf(const std::string& path) {
    const std::size_t cut = path.rfind('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Whether a local header tells the same as its central record: the same name bytes, method and
// flags that change how the data is read, and the same CRC and sizes unless the local header
// leaves them to a data descriptor (zeros there, or the same values).
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
        return same || (local.crc == 0 && local.compressedSize == 0 && local.uncompressedSize == 0);
    }
    return same;
}

}  // namespace

struct ZipExtractor::Progress {
    ProgressHandler* handler = nullptr;
    std::uint64_t total = 0;       // the archive's compressed bytes (or its size when walking)
    std::uint64_t doneBefore = 0;  // consumed before the current entry
    int lastFile = -1;
    int lastArchive = -1;

    void Raise(int filePercent, int archivePercent) {
        lastFile = filePercent;
        lastArchive = archivePercent;
        if (handler && *handler) (*handler)(filePercent, archivePercent);
    }
};

namespace {

// Writes decoded blocks to the file, keeps the CRC and raises progress after each block.
class EntrySink : public ByteSink {
public:
    using Progress = std::function<void(std::uint64_t written)>;
    EntrySink(OutputFile& file, Progress progress) : file_(file), progress_(std::move(progress)) {}
    bool Write(const std::uint8_t* data, std::size_t n) override {
        if (!file_.Write(data, n)) return false;
        crc_.Update(data, n);
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
    Progress progress_;
    Crc32 crc_;
    std::uint64_t written_ = 0;
    std::uint64_t blocks_ = 0;
};

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
    }
    return "unknown";
}

ZipExtractor::ZipExtractor() { fileSpec_.push_back("*.*"); }

void ZipExtractor::SetExtractFolder(const std::string& folder) {
    extractFolder_ = folder;
    std::replace(extractFolder_.begin(), extractFolder_.end(), '/', '\\');
    if (extractFolder_.empty() || extractFolder_.back() != '\\') extractFolder_ += '\\';
}

void ZipExtractor::Raise(EntryResult result, const std::string& path) {
    if (result == EntryResult::Ok) ++extracted_;
    if (onEndOfFile) onEndOfFile(path, result);
}

bool ZipExtractor::Selected(const std::string& name) const {
    // With recurse folders off, only entries at the archive's root can match.
    if (!recurseFolders && name.find('\\') != std::string::npos) return false;
    const std::string fileName = NameOf(name);
    for (const std::string& pattern : fileSpec_) {
        if (MatchesFileSpec(fileName, pattern)) return true;
    }
    return false;
}

int ZipExtractor::Extract() {
    extracted_ = 0;
    usedDirectory_ = false;
    readAsZip_ = false;
    std::unique_ptr<ArchiveInput> archive = OpenArchiveFile(archiveFile_);
    if (!archive) return 0;
    return Extract(*archive);
}

int ZipExtractor::Extract(ArchiveInput& archive) {
    extracted_ = 0;
    usedDirectory_ = false;
    readAsZip_ = false;
    refusal_.clear();
    seenNames_.clear();
    for (const std::uint64_t recordStart : EndRecordCandidates(archive)) {
        DirectoryEnd end;
        std::uint64_t shift = 0;
        std::uint64_t total = 0;
        if (!ReadDirectoryEnd(archive, recordStart, end, shift)) continue;
        const DirectoryCheck check = CheckDirectory(archive, end, shift, total);
        if (check == DirectoryCheck::Unusable) continue;
        usedDirectory_ = true;
        readAsZip_ = true;
        if (check == DirectoryCheck::Overlapping) {
            // Entries sharing bytes expand one stream many times over: nothing is extracted, and
            // the local headers are not walked either, since they would lead to the same bytes.
            refusal_ = "overlapping entries";
            return 0;
        }
        ExtractFromDirectory(archive, end, shift, total);
        return extracted_;
    }
    ExtractByWalking(archive);
    return extracted_;
}

std::vector<std::uint64_t> ZipExtractor::EndRecordCandidates(ArchiveInput& archive) {
    std::vector<std::uint64_t> exact, others;
    const std::uint64_t size = archive.Size();
    if (size < kEndOfDirectorySize) return exact;
    const std::size_t tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(size, kTailSearch));
    const std::uint64_t tailStart = size - tailSize;
    std::vector<std::uint8_t> tail(tailSize);
    if (!ReadExactly(archive, tailStart, tail.data(), tailSize)) return exact;
    for (std::size_t i = tailSize - kEndOfDirectorySize + 1; i-- > 0;) {
        if (Get32(&tail[i]) != kEndOfDirectorySig) continue;
        const std::size_t commentLength = Get16(&tail[i + 20]);
        if (i + kEndOfDirectorySize + commentLength > tailSize) continue;
        // A signature inside another record's comment rarely reaches the end of the file exactly.
        (i + kEndOfDirectorySize + commentLength == tailSize ? exact : others).push_back(tailStart + i);
    }
    exact.insert(exact.end(), others.begin(), others.end());
    return exact;
}

bool ZipExtractor::ReadDirectoryEnd(ArchiveInput& archive, std::uint64_t recordStart, DirectoryEnd& end,
                                    std::uint64_t& shift) {
    std::uint8_t fixed[kEndOfDirectorySize];
    if (!ReadExactly(archive, recordStart, fixed, sizeof fixed) || !ParseEndOfDirectory(fixed, fixed + sizeof fixed, end)) {
        return false;
    }
    // A Zip64 locator right before the end record points to the Zip64 end record.
    std::uint64_t zip64Offset = 0;
    std::uint8_t locator[kZip64LocatorSize];
    if (recordStart >= kZip64LocatorSize &&
        ReadExactly(archive, recordStart - kZip64LocatorSize, locator, sizeof locator) &&
        ParseZip64Locator(locator, locator + sizeof locator, zip64Offset)) {
        std::uint8_t record[kZip64EndSize];
        const std::uint64_t locatorStart = recordStart - kZip64LocatorSize;
        if (zip64Offset <= locatorStart && locatorStart - zip64Offset >= kZip64EndSize &&
            ReadExactly(archive, zip64Offset, record, sizeof record) &&
            ParseZip64End(record, record + sizeof record, end)) {
            recordStart = zip64Offset;
        } else {
            return false;
        }
    }
    // Data before the archive (a self-extracting stub) shifts every offset by the same amount.
    if (end.directoryOffset > recordStart || end.directorySize > recordStart - end.directoryOffset) return false;
    shift = recordStart - (end.directoryOffset + end.directorySize);
    return true;
}

ZipExtractor::DirectoryCheck ZipExtractor::CheckDirectory(ArchiveInput& archive, const DirectoryEnd& end,
                                                          std::uint64_t shift, std::uint64_t& total) {
    // Every record must parse and point inside the archive, or the directory is not used at all.
    // Nothing is sized from the end record's count: the records themselves are counted.
    const std::uint64_t size = archive.Size();
    std::uint64_t pos = end.directoryOffset + shift;
    const std::uint64_t stop = pos + end.directorySize;
    std::vector<std::uint8_t> record;
    std::vector<std::uint8_t> variable;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> extents;  // each entry's header and data
    std::uint64_t count = 0;
    total = 0;
    localHeaders_.clear();
    while (pos < stop) {
        std::uint8_t fixed[kCentralHeaderSize];
        if (stop - pos < kCentralHeaderSize || !ReadExactly(archive, pos, fixed, sizeof fixed)) {
            return DirectoryCheck::Unusable;
        }
        if (Get32(fixed) != kCentralHeaderSig) return DirectoryCheck::Unusable;
        const std::size_t length = kCentralHeaderSize + Get16(fixed + 28) + Get16(fixed + 30) + Get16(fixed + 32);
        if (stop - pos < length) return DirectoryCheck::Unusable;
        record.resize(length);
        if (!ReadExactly(archive, pos, record.data(), length)) return DirectoryCheck::Unusable;
        EntryInfo entry;
        std::size_t recordSize = 0;
        if (!ParseCentralHeader(record.data(), record.data() + length, entry, recordSize)) {
            return DirectoryCheck::Unusable;
        }
        if (entry.localHeaderOffset > size || size - entry.localHeaderOffset < shift) return DirectoryCheck::Unusable;
        total += std::min(entry.compressedSize, size);
        const std::uint64_t headerOffset = entry.localHeaderOffset + shift;
        std::uint8_t local[kLocalHeaderSize];
        EntryInfo localInfo;
        std::uint16_t nameLength = 0, extraLength = 0;
        LocalHeader found{kUnlimited, false};
        if (ReadExactly(archive, headerOffset, local, sizeof local) &&
            ParseLocalHeader(local, local + sizeof local, localInfo, nameLength, extraLength)) {
            found.dataOffset = headerOffset + kLocalHeaderSize + nameLength + extraLength;
            const std::uint64_t dataEnd = found.dataOffset + std::min(entry.compressedSize, size);
            extents.emplace_back(headerOffset, std::min(dataEnd, size));
            variable.resize(nameLength + extraLength);
            found.differs = !ReadExactly(archive, headerOffset + kLocalHeaderSize, variable.data(), variable.size()) ||
                            !LocalHeaderAgrees(entry, localInfo, variable.data(), nameLength, extraLength);
        }
        localHeaders_.push_back(found);
        pos += recordSize;
        ++count;
    }
    // The end record's count is only 16 bits wide without Zip64; the records themselves decide.
    if (count == 0 && end.entryCount != 0) return DirectoryCheck::Unusable;
    std::sort(extents.begin(), extents.end());
    for (std::size_t i = 1; i < extents.size(); ++i) {
        if (extents[i].first < extents[i - 1].second) return DirectoryCheck::Overlapping;
    }
    return DirectoryCheck::Usable;
}

void ZipExtractor::ExtractFromDirectory(ArchiveInput& archive, const DirectoryEnd& end, std::uint64_t shift,
                                        std::uint64_t total) {
    Progress progress;
    progress.handler = &onProgress;
    progress.total = total;
    std::uint64_t pos = end.directoryOffset + shift;
    const std::uint64_t stop = pos + end.directorySize;
    std::vector<std::uint8_t> record;
    int number = 0;
    while (pos < stop) {
        std::uint8_t fixed[kCentralHeaderSize];
        if (!ReadExactly(archive, pos, fixed, sizeof fixed)) break;  // read failure: stop here
        const std::size_t length = kCentralHeaderSize + Get16(fixed + 28) + Get16(fixed + 30) + Get16(fixed + 32);
        record.resize(length);
        EntryInfo entry;
        std::size_t recordSize = 0;
        if (!ReadExactly(archive, pos, record.data(), length) ||
            !ParseCentralHeader(record.data(), record.data() + length, entry, recordSize)) {
            break;
        }
        pos += recordSize;

        // APPNOTE 4.3.7: the local header's name and extra lengths give where the data starts;
        // sizes, CRC and flags come from the central record. The directory check read it.
        const LocalHeader local = static_cast<std::size_t>(number) < localHeaders_.size()
                                      ? localHeaders_[static_cast<std::size_t>(number)]
                                      : LocalHeader{kUnlimited, false};
        std::uint64_t next = 0;
        ProcessEntry(archive, entry, number++, local.dataOffset, true, progress, next, local.differs);
        progress.doneBefore += std::min(entry.compressedSize, archive.Size());
    }
    if (progress.lastArchive >= 0 && progress.lastArchive < 100 && number > 0) progress.Raise(progress.lastFile, 100);
}

void ZipExtractor::ExtractByWalking(ArchiveInput& archive) {
    const std::uint64_t size = archive.Size();
    Progress progress;
    progress.handler = &onProgress;
    progress.total = size;
    std::uint64_t pos = 0;
    int number = 0;
    std::vector<std::uint8_t> variable;
    for (;;) {
        std::uint8_t fixed[kLocalHeaderSize];
        EntryInfo entry;
        std::uint16_t nameLength = 0, extraLength = 0;
        if (!ReadExactly(archive, pos, fixed, sizeof fixed) ||
            !ParseLocalHeader(fixed, fixed + sizeof fixed, entry, nameLength, extraLength)) {
            break;  // the central directory, the end, or something else: no more entries
        }
        variable.resize(nameLength + extraLength);
        if (!ReadExactly(archive, pos + kLocalHeaderSize, variable.data(), variable.size())) break;
        entry.rawName.assign(reinterpret_cast<const char*>(variable.data()), nameLength);
        ApplyLocalExtra(variable.data() + nameLength, variable.data() + variable.size(), entry);
        entry.localHeaderOffset = pos;
        readAsZip_ = true;
        const std::uint64_t dataOffset = pos + kLocalHeaderSize + nameLength + extraLength;
        bool sizesKnown = (entry.flags & kFlagDataDescriptor) == 0;
        std::size_t descriptorLength = 0;
        if (!sizesKnown && entry.method != 8 && entry.method != 9) {
            sizesKnown = ScanForDescriptor(archive, dataOffset, entry, descriptorLength);
        }
        progress.doneBefore = pos;
        std::uint64_t next = 0;
        if (!ProcessEntry(archive, entry, number++, dataOffset, sizesKnown, progress, next)) break;
        next += descriptorLength;
        if (next <= pos || next > size) break;
        pos = next;
    }
    if (readAsZip_) {
        // A whole archive goes on after its last entry with its directory (or at least its end
        // record); anything else means it was cut or damaged there.
        std::uint8_t signature[4];
        const bool ended = ReadExactly(archive, pos, signature, sizeof signature) &&
                           (Get32(signature) == kCentralHeaderSig || Get32(signature) == kEndOfDirectorySig ||
                            Get32(signature) == kZip64EndSig);
        if (!ended) refusal_ = "archive ends early";
    }
    if (progress.lastArchive >= 0 && progress.lastArchive < 100 && number > 0) progress.Raise(progress.lastFile, 100);
}

bool ZipExtractor::ProcessEntry(ArchiveInput& archive, EntryInfo& entry, int number, std::uint64_t dataOffset,
                                bool sizesKnown, Progress& progress, std::uint64_t& next, bool localDiffers) {
    // Where the next local header starts, for the walk, when this entry's data is not decoded.
    auto passOver = [&]() {
        if (sizesKnown) {
            next = dataOffset + entry.compressedSize;
            return dataOffset != kUnlimited && next >= dataOffset;
        }
        return SkipUnsizedEntry(archive, entry, dataOffset, next);
    };

    std::string name = entry.rawName;
    if (entry.hasUnicodeName) {
        name = Utf8ToAnsi(entry.unicodeName);
    } else if (entry.flags & kFlagUtf8) {
        name = Utf8ToAnsi(name);
    } else if (translateOemNames) {
        name = output_ ? output_->OemNameToAnsi(name) : OemToAnsi(name);
    }
    std::replace(name.begin(), name.end(), '/', '\\');

    if (name.size() > 1 && name.back() == '\\') {
        // A folder entry: never a file. It creates its folder only when asked to; one whose name
        // leads outside is refused like a file.
        const std::string relative = StripDriveAndRoot(name.substr(0, name.size() - 1));
        std::string cleaned;
        if (!SafeRelativePath(relative, cleaned)) {
            Raise(EntryResult::UnsafeName, JoinPath(extractFolder_, relative));
        } else if (createStoredFolders && useStoredFolders && output_) {
            output_->CreateFolderPath(JoinPath(extractFolder_, cleaned));
        }
        return passOver();
    }
    if (!Selected(name)) return passOver();

    const std::string relative = StripDriveAndRoot(name);
    std::string cleaned;
    if (!SafeRelativePath(relative, cleaned)) {
        Raise(EntryResult::UnsafeName, JoinPath(extractFolder_, relative));
        return passOver();
    }
    if (!useStoredFolders) cleaned = NameOf(cleaned);
    const std::string path = JoinPath(extractFolder_, cleaned);
    if (path.size() > kMaxPath || FolderOf(path).size() > kMaxFolder) {
        // Never cut: a shortened path would name another file.
        Raise(EntryResult::PathTooLong, path);
        return passOver();
    }
    if (!seenNames_.insert(FoldCase(cleaned)).second) {
        Raise(EntryResult::DuplicateName, path);
        return passOver();
    }

    bool extract = true;
    if (onFileBegin) onFileBegin(path, number, extract);
    if (!extract) {
        Raise(EntryResult::Skipped, path);
        return passOver();
    }
    if (entry.flags & (kFlagEncrypted | kFlagStrongEncryption)) {
        Raise(EntryResult::Encrypted, path);
        return passOver();
    }
    if (dataOffset == kUnlimited) {
        Raise(EntryResult::CorruptData, path);  // the local header is missing or damaged
        return true;
    }
    if (localDiffers) {
        Raise(EntryResult::HeaderMismatch, path);
        return passOver();
    }
    if (!output_) {
        Raise(EntryResult::CannotCreate, path);
        return passOver();
    }
    const bool mayKeep = overwriteMode == OverwriteMode::Skip || (confirmOverwrites && onConfirmOverwrite);
    if (mayKeep && output_->FileExists(path)) {
        const bool replace = confirmOverwrites && onConfirmOverwrite ? onConfirmOverwrite(path)
                                                                     : overwriteMode == OverwriteMode::Overwrite;
        if (!replace) {
            Raise(EntryResult::Skipped, path);
            return passOver();
        }
    }
    output_->CreateFolderPath(FolderOf(path));
    std::unique_ptr<OutputFile> file = output_->CreateOutputFile(path);
    if (!file) {
        Raise(EntryResult::CannotCreate, path);
        return passOver();
    }

    const std::uint64_t available = archive.Size() - std::min(archive.Size(), dataOffset);
    EntrySource source(archive, dataOffset, sizesKnown ? std::min(entry.compressedSize, available) : available);
    EntrySink sink(*file, [&](std::uint64_t written) {
        const std::uint64_t consumed = std::min(source.Consumed(), entry.compressedSize);
        progress.Raise(Percent(written, entry.uncompressedSize),
                       Percent(progress.doneBefore + (sizesKnown ? consumed : source.Consumed()), progress.total));
    });

    EntryResult result = EntryResult::Ok;
    bool walkOn = true;
    const DecodeFunction decode = DecoderFor(entry.method);
    if (!decode) {
        result = EntryResult::UnsupportedMethod;
        walkOn = passOver();
    } else if (sizesKnown) {
        result = ResultOf(decode(source, sink, entry.uncompressedSize, entry.flags));
        next = dataOffset + entry.compressedSize;
    } else {
        // No sizes before the data: only the deflate methods find their own end.
        Inflater inflater(entry.method == 9 ? DeflateVariant::Deflate64 : DeflateVariant::Deflate);
        if (entry.method != 8 && entry.method != 9) {
            result = EntryResult::CorruptData;
            walkOn = false;
        } else {
            result = ResultOf(inflater.Run(source, sink, kUnlimited));
            walkOn = result == EntryResult::Ok &&
                     ReadDescriptor(archive, dataOffset + inflater.ConsumedBytes(), entry, next);
            if (!walkOn && result == EntryResult::Ok) result = EntryResult::CorruptData;
        }
    }
    if (result == EntryResult::Ok) {
        const bool crcMatches = sink.Crc().Value() == entry.crc || sink.Crc().Register() == entry.crc;
        if (sink.Written() != entry.uncompressedSize) {
            result = EntryResult::CorruptData;  // the stream ended early
        } else if (!crcMatches) {
            result = EntryResult::BadCrc;
        }
    }
    file->SetDosTime(entry.dosDate, entry.dosTime);  // a failure here is ignored
    if (!file->Close() && result == EntryResult::Ok) result = EntryResult::WriteFailed;
    file.reset();
    const std::uint32_t attributes = entry.externalAttributes & 0xFFu;
    if (restoreAttributes && attributes != kDosArchive) output_->SetAttributes(path, attributes);
    if (sink.Blocks() == 0) {
        progress.Raise(Percent(sink.Written(), entry.uncompressedSize),
                       Percent(progress.doneBefore + std::min(source.Consumed(), entry.compressedSize), progress.total));
    }
    Raise(result, path);
    return walkOn;
}

}  // namespace zip
