// The early pass of the decompression step: the package unpacked while it downloads, confirmed
// once it is whole and signed.
#include <memory>
#include <new>

#include "platform/FileTarget.h"
#include "worker/EarlyUnpack.h"
#include "worker/UThread.h"
#include "zip/ArchiveInput.h"
#include "zip/OutputFolder.h"
#include "zip/ZipExtractor.h"

namespace {

// What the local headers may declare in all, as a multiple of the package's length: beyond any
// package the publisher makes; a package past it is unpacked the usual way, after the download.
constexpr std::uint64_t kEarlyRatioCap = 1100;

}  // namespace

worker::EarlyUnpack* TThreadLiveUpdate::StartEarlyUnpack(std::int64_t length) {
    const PreparedOnExit prepared{*this};  // the follower is under way, or the download goes without it
    try {
        // The room check's figures, taken once for the run before anything is unpacked: the
        // files of a confirmed pass are then counted in what the directory declares, not twice.
        const std::uint64_t size = static_cast<std::uint64_t>(length);
        const std::string* folders[2] = {&settings_.TempFolder, &settings_.InstallFolder};
        std::uint64_t cap = size > UINT64_MAX / kEarlyRatioCap ? UINT64_MAX : size * kEarlyRatioCap;
        for (int i = 0; i < 2; ++i) {
            RoomFigure& figure = roomFigures_[i];
            figure.taken = true;
            figure.known = !folders[i]->empty() && FreeSpace && FreeSpace(*folders[i], figure.bytes);
            if (!figure.known) continue;
            // Too little room even for the package's length: the room check refuses it anyway,
            // asking no more than it needs.
            if (figure.bytes < size) return nullptr;
            if (figure.bytes < cap) cap = figure.bytes;
        }
        const std::string name = platform::NewGuidText();
        if (!platform::CreateDir(settings_.TempFolder + "\\" + name)) return nullptr;
        settings_.WorkFolderName = name;  // from here the clean-up removes it on every way out
        earlyFolderMade_ = true;
        std::unique_ptr<zip::ArchiveInput> file = platform::OpenWhileWritten(ArchivePath());
        if (!file) return nullptr;
        std::unique_ptr<zip::ZipExtractor> extractor(new zip::ZipExtractor());
        extractor->SetOutput(zip::MakeFileSystemOutput());
        // A walked entry has no attributes: each file is left normal, through its open handle
        // (never read-only, should the result be wiped); the confirmation changes those whose
        // stored attributes differ.
        extractor->restoreAttributes = true;
        ConfigureExtractor(*extractor);
        early_.reset(new worker::EarlyUnpack(std::move(file), size, std::move(extractor), cap));
        return early_.get();
    } catch (const std::bad_alloc&) {
        throw;  // out of memory is no download error: the frame reports it
    } catch (...) {
        return nullptr;  // no early pass: the decompression step unpacks as usual
    }
}

const zip::EarlyWalk* TThreadLiveUpdate::FinishEarlyUnpack() {
    if (!early_) return nullptr;
    return early_->Finish();
}

void TThreadLiveUpdate::DiscardEarlyUnpack() noexcept {
    if (early_) early_->Stop();
    try {
        if (earlyFolderMade_) {
            platform::RemoveFolderTree(WorkFolder());
            settings_.WorkFolderName.clear();
        }
        earlyFolderMade_ = false;
    } catch (...) {
        // The clean-up at the end of the run tries again.
    }
}

bool TThreadLiveUpdate::ConfirmEarlyUnpack(const zip::EarlyWalk& early) {
    std::unique_ptr<zip::ArchiveInput> archive = zip::OpenArchiveFile(ArchivePath());
    if (!archive) return false;
    ConfigureExtractor(*extractor_);
    bool confirmed = false;
    extractor_->ExtractConfirmed(*archive, early, confirmed);
    return confirmed;
}
