#include "worker/EarlyUnpack.h"

#include <chrono>

namespace worker {

EarlyUnpack::EarlyUnpack(std::unique_ptr<zip::ArchiveInput> file, std::uint64_t length,
                         std::unique_ptr<zip::ZipExtractor> extractor, std::uint64_t writeCap)
    : input_(std::move(file), length), extractor_(std::move(extractor)) {
    thread_ = std::thread([this, writeCap] { Run(writeCap); });
}

EarlyUnpack::~EarlyUnpack() {
    input_.Abandon();
    if (thread_.joinable()) thread_.join();
}

void EarlyUnpack::Run(std::uint64_t writeCap) noexcept {
    try {
        walk_ = extractor_->ExtractGrowing(input_, writeCap);
    } catch (...) {
        failed_ = true;  // out of memory, or a failure of the file system layer: the result is doubtful
    }
    input_.Release();  // the package is deleted on every way out: nothing may hold it open
    stopped_.store(true);
}

const zip::EarlyWalk* EarlyUnpack::Finish() {
    if (thread_.joinable()) thread_.join();
    if (failed_ || input_.Abandoned() || !walk_.sound) return nullptr;
    return &walk_;
}

void EarlyUnpack::Stop() noexcept {
    input_.Abandon();
    for (int waited = 0; !stopped_.load() && waited < kStopWaitMs; waited += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void FollowedTarget::Write(const char* data, std::size_t size) {
    inner_.Write(data, size);
    if (early_) early_->Written(static_cast<std::uint64_t>(inner_.Position()));
}

void FollowedTarget::SetSize(std::int64_t size) {
    inner_.SetSize(size);
    if (asked_ || expected_ <= 0 || size != expected_ || inner_.Position() != 0) return;
    asked_ = true;
    early_ = start_(size);
}

void FollowedTarget::CutTo(std::int64_t size) {
    // What was written may give way to another version: the early result is doubtful.
    if (early_) early_->Abandon();
    inner_.CutTo(size);
}

}  // namespace worker
