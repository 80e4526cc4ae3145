// libFuzzer target: a whole archive in memory through ZipExtractor. Every path the extractor
// announces or creates must stay below the extract folder; nothing may crash or hang. Every row
// of the hostile package table goes through the same checks before the fuzzing starts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "zip/ArchiveInput.h"
#include "zip/Decoder.h"
#include "zip/ZipDirectory.h"
#include "zip/ZipExtractor.h"

#include "hostile/HostileArchives.h"

namespace {

const std::string kFolder = "C:\\W\\";

void CheckInside(const std::string& path) {
    if (path.compare(0, kFolder.size(), kFolder) != 0 || path.find("\\..\\") != std::string::npos ||
        path.find(':', 2) != std::string::npos) {
        std::abort();
    }
}

// Takes every block, keeps nothing: a crafted entry may declare gigabytes.
class DiscardFile : public zip::OutputFile {
public:
    bool Write(const std::uint8_t*, std::size_t n) override { return n <= zip::kBlockSize ? true : (std::abort(), false); }
    bool SetDosTime(std::uint16_t, std::uint16_t) override { return true; }
    bool Close() override { return true; }
};

class DiscardOutput : public zip::OutputFolder {
public:
    bool CreateFolderPath(const std::string& path) override {
        CheckInside(path + "\\");
        return true;
    }
    bool FileExists(const std::string&) override { return false; }
    std::unique_ptr<zip::OutputFile> CreateOutputFile(const std::string& path) override {
        CheckInside(path);
        // Never a path over the limit, and never the same file twice in one archive.
        if (path.size() > zip::ZipExtractor::kMaxPath) std::abort();
        std::string folded = path;
        for (char& c : folded) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        }
        if (!created_.insert(folded).second) std::abort();
        return std::unique_ptr<zip::OutputFile>(new DiscardFile);
    }
    bool SetAttributes(const std::string& path, std::uint32_t) override {
        CheckInside(path);
        return true;
    }

private:
    std::set<std::string> created_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zip::ZipExtractor extractor;
    extractor.SetOutput(std::unique_ptr<zip::OutputFolder>(new DiscardOutput));
    extractor.SetExtractFolder("C:\\W");
    extractor.createStoredFolders = true;
    int begun = 0;
    std::size_t ended = 0;
    extractor.onEndOfFile = [&ended](const std::string&, zip::EntryResult) { ++ended; };
    extractor.onFileBegin = [&begun](const std::string& path, int, bool&) {
        CheckInside(path);
        ++begun;
    };
    extractor.onProgress = [](int file, int archive) {
        if (file < 0 || file > 100 || archive < 0 || archive > 100) std::abort();
    };
    zip::MemoryArchive input(data, size);
    extractor.Extract(input);
    // An archive refused whole has written nothing.
    if (extractor.Refusal() == "overlapping entries" && begun != 0) std::abort();
    // Every central record is extracted, skipped as a folder or reported as failed; a ZIP archive
    // without its end, or with overlapping entries, is refused whole; input that is not ZIP at all
    // begins nothing and is reported as not ZIP.
    zip::ZipDirectory directory;
    const zip::DirectoryVerdict verdict = directory.Read(input);
    if (verdict == zip::DirectoryVerdict::Usable) {
        std::size_t files = 0;
        for (const zip::Member& m : directory.Members()) {
            std::string name = m.entry.rawName;
            for (char& c : name) c = c == '/' ? '\\' : c;
            if (!zip::ZipExtractor::IsFolderEntry(m.entry, name)) ++files;
        }
        // Folders may be reported too (a folder name that leaves the folder is refused).
        if (ended < files || ended > directory.Members().size()) std::abort();
    } else if (verdict != zip::DirectoryVerdict::Unusable &&
               (begun != 0 || (extractor.ReadAsZip() && extractor.Refusal().empty()))) {
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (const hostile::ArchiveCase& c : hostile::ArchiveCases()) {
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(c.archive.data()), c.archive.size());
    }
    return 0;
}
