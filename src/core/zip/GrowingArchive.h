// GrowingArchive: the package as a download writes it, read by a second thread while it grows.
//
// Reads wait until the bytes they ask for are written, the download has ended or the reading was
// abandoned. An abandoned archive answers every read with nothing, at once, so that a reader
// blocked on it stops promptly. The writer publishes how many bytes from the start are in the
// file; the bytes themselves are read back from the file. The writer's side takes no lock (a
// thread suspended in it holds nothing another needs): a reader that misses a wake-up looks
// again after kPollMs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "zip/ArchiveInput.h"

namespace zip {

class GrowingArchive : public ArchiveInput {
public:
    // file: the package opened for reading while it is written; length: the length the
    // download announced, which Size reports.
    GrowingArchive(std::unique_ptr<ArchiveInput> file, std::uint64_t length)
        : file_(std::move(file)), length_(length) {}

    std::uint64_t Size() const override { return length_; }
    std::size_t ReadAt(std::uint64_t offset, void* buf, std::size_t n) override;

    // The writer's side, from any thread.
    void Written(std::uint64_t bytes);  // the bytes from offset 0 that are in the file
    void Ended();                       // nothing more will be written
    void Abandon();                     // every read from now on returns nothing
    bool Abandoned() const { return abandoned_.load(); }
    // The reader's: closes the file once it reads no more (reads then return nothing).
    void Release() { file_.reset(); }

    static constexpr int kPollMs = 20;

private:
    std::unique_ptr<ArchiveInput> file_;
    const std::uint64_t length_;
    std::mutex mutex_;  // the reader's, for its waits
    std::condition_variable grew_;
    std::atomic<std::uint64_t> written_{0};
    std::atomic<bool> ended_{false};
    std::atomic<bool> abandoned_{false};
};

}  // namespace zip
