// The decompression step: the package unpacked into a work folder of its own.
#include <functional>
#include <memory>

#include "worker/EarlyUnpack.h"
#include "worker/UThread.h"
#include "zip/OutputFolder.h"
#include "zip/ZipExtractor.h"

namespace {

// The file system's output with one more question in the room check: the package passes through
// two volumes, the temporary folder's (unpacked there) and the install folder's (moved or copied
// there), and each must hold what the package declares.
class RoomCheckedOutput : public zip::OutputFolder {
public:
    RoomCheckedOutput(std::unique_ptr<zip::OutputFolder> system, std::function<bool(std::uint64_t)> hasRoom)
        : system_(std::move(system)), hasRoom_(std::move(hasRoom)) {}
    bool CreateFolderPath(const std::string& path) override { return system_->CreateFolderPath(path); }
    bool FileExists(const std::string& path) override { return system_->FileExists(path); }
    std::unique_ptr<zip::OutputFile> CreateOutputFile(const std::string& path) override {
        return system_->CreateOutputFile(path);
    }
    bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
        return system_->SetAttributes(path, attributes);
    }
    std::string NativePath(const std::string& path) const override { return system_->NativePath(path); }
    std::string OemNameToAnsi(const std::string& oem) const override { return system_->OemNameToAnsi(oem); }
    bool HasRoomFor(std::uint64_t bytes) override { return hasRoom_(bytes) && system_->HasRoomFor(bytes); }
    bool WrittenBefore(const std::string& path, std::size_t rootLength) override {
        return system_->WrittenBefore(path, rootLength);
    }

private:
    std::unique_ptr<zip::OutputFolder> system_;
    std::function<bool(std::uint64_t)> hasRoom_;
};

}  // namespace

bool TThreadLiveUpdate::HasRoomFor(std::uint64_t bytes) {
    const std::string* folders[2] = {&settings_.TempFolder, &settings_.InstallFolder};
    for (int i = 0; i < 2; ++i) {
        const std::string& folder = *folders[i];
        std::uint64_t available = 0;
        if (roomFigures_[i].taken) {
            // Taken when the early pass began, before anything was unpacked.
            if (!roomFigures_[i].known) continue;
            available = roomFigures_[i].bytes;
        } else if (folder.empty() || !FreeSpace || !FreeSpace(folder, available)) {
            continue;  // no figure: no verdict
        }
        if (available >= bytes) continue;
        spaceShortage_ = "Not enough free disk space: the update needs " + std::to_string(bytes) + " bytes, " +
                         folder + " has " + std::to_string(available) + " bytes free.";
        return false;
    }
    return true;
}

void TThreadLiveUpdate::CreateExtractor() {
    extractor_.reset(new zip::ZipExtractor());
    extractor_->SetOutput(std::unique_ptr<zip::OutputFolder>(new RoomCheckedOutput(
        zip::MakeFileSystemOutput(), [this](std::uint64_t bytes) { return HasRoomFor(bytes); })));
    extractor_->onProgress = [this](int, int archivePercent) { SetPendingPosition(archivePercent); };
    extractor_->onFileBegin = [this](const std::string& path, int, bool&) { settings_.ExtractedFiles.Add(path); };
    extractor_->onEndOfFile = [this](const std::string&, zip::EntryResult result) {
        if (result != zip::EntryResult::Ok && result != zip::EntryResult::Skipped) ++failedEntries_;
    };
}

void TThreadLiveUpdate::ConfigureExtractor(zip::ZipExtractor& extractor) const {
    extractor.SetArchiveFile(ArchivePath());
    extractor.confirmOverwrites = false;
    extractor.recurseFolders = true;
    extractor.ClearFileSpec();
    extractor.AddFileSpec("*.*");
    extractor.SetExtractFolder(WorkFolder());
}

void TThreadLiveUpdate::UnpackPackage() {
    settings_.WorkFolderName = platform::NewGuidText();
    platform::CreateDir(WorkFolder());
    ConfigureExtractor(*extractor_);
    extractor_->Extract();
}

bool TThreadLiveUpdate::ExtractPackage() {
    SetPending(0, 100);
    SetLabelPending(Lang().S_Unzip);
    StepOverall();
    unpackedEarly_ = false;
    const std::string refusal = PackageRefusal();
    if (!refusal.empty()) {  // nothing of a package that its publisher did not sign is unpacked
        DiscardEarlyUnpack();
        ReportStatus(Lang().S_ZipEmpty + "\r\n" + refusal, 0);
        return false;
    }
    settings_.ExtractedFiles.Clear();
    failedEntries_ = 0;
    spaceShortage_.clear();
    const zip::EarlyWalk* early = FinishEarlyUnpack();
    unpackedEarly_ = early != nullptr && ConfirmEarlyUnpack(*early);
    if (!unpackedEarly_) {
        DiscardEarlyUnpack();
        UnpackPackage();
    }
    early_.reset();
    earlyFolderMade_ = false;
    if (!extractor_->Refusal().empty()) ++failedEntries_;  // a bomb, or a cut archive

    if (!spaceShortage_.empty()) {
        // Refused before anything was written (or, confirmed, would have been).
        platform::RemoveFolderTree(WorkFolder());
        settings_.ExtractedFiles.Clear();
        ReportStatus(Lang().S_ZipEmpty + "\r\n" + spaceShortage_, 0);
        return false;
    }
    if (failedEntries_ > 0) {
        // Nothing of a damaged package may reach the install folder: what was unpacked goes, so
        // that the clean-up leaves no work folder behind either.
        platform::RemoveFolderTree(WorkFolder());
        settings_.ExtractedFiles.Clear();
    }
    if (settings_.ExtractedFiles.Count() > 0) return true;
    ReportStatus(Lang().S_ZipEmpty, 0);
    return false;
}
