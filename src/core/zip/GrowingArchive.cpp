#include "zip/GrowingArchive.h"

#include <algorithm>
#include <chrono>

namespace zip {

std::size_t GrowingArchive::ReadAt(std::uint64_t offset, void* buf, std::size_t n) {
    if (n == 0 || offset >= length_ || !file_) return 0;
    const std::uint64_t wanted = offset + std::min<std::uint64_t>(n, length_ - offset);
    const auto ready = [&] { return abandoned_.load() || ended_.load() || written_.load() >= wanted; };
    if (!ready()) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!grew_.wait_for(lock, std::chrono::milliseconds(kPollMs), ready)) {
        }
    }
    if (abandoned_.load()) return 0;
    const std::uint64_t written = written_.load();
    if (written <= offset) return 0;
    const std::size_t got = file_->ReadAt(offset, buf, static_cast<std::size_t>(std::min<std::uint64_t>(n, written - offset)));
    // Bytes read while the file was cut back may be another version's: they count for nothing.
    return abandoned_.load() ? 0 : got;
}

void GrowingArchive::Written(std::uint64_t bytes) {
    if (bytes <= written_.load()) return;
    written_.store(bytes);
    grew_.notify_all();
}

void GrowingArchive::Ended() {
    ended_.store(true);
    grew_.notify_all();
}

void GrowingArchive::Abandon() {
    abandoned_.store(true);
    grew_.notify_all();
}

}  // namespace zip
