// The decompression step: the package unpacked into a work folder of its own.
#include "worker/UThread.h"
#include "zip/ZipExtractor.h"

void TThreadLiveUpdate::CreateExtractor() {
    extractor_.reset(new zip::ZipExtractor());
    extractor_->SetOutput(zip::MakeFileSystemOutput());
    extractor_->onProgress = [this](int, int archivePercent) { SetPendingPosition(archivePercent); };
    extractor_->onFileBegin = [this](const std::string& path, int, bool&) { settings_.ExtractedFiles.Add(path); };
    extractor_->onEndOfFile = [this](const std::string&, zip::EntryResult result) {
        if (result != zip::EntryResult::Ok && result != zip::EntryResult::Skipped) ++failedEntries_;
    };
}

bool TThreadLiveUpdate::ExtractPackage() {
    SetPending(0, 100);
    SetLabelPending(Lang().S_Unzip);
    StepOverall();
    const std::string refusal = PackageRefusal();
    if (!refusal.empty()) {  // nothing of a package that its publisher did not sign is unpacked
        ReportStatus(Lang().S_ZipEmpty + "\r\n" + refusal, 0);
        return false;
    }
    settings_.WorkFolderName = platform::NewGuidText();
    platform::CreateDir(WorkFolder());
    settings_.ExtractedFiles.Clear();
    failedEntries_ = 0;

    extractor_->SetArchiveFile(ArchivePath());
    extractor_->confirmOverwrites = false;
    extractor_->recurseFolders = true;
    extractor_->ClearFileSpec();
    extractor_->AddFileSpec("*.*");
    extractor_->SetExtractFolder(WorkFolder());
    extractor_->Extract();
    if (!extractor_->Refusal().empty()) ++failedEntries_;  // a bomb, or a cut archive

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
