// EarlyUnpack: the package unpacked on a second thread while the download still writes it, so
// that the decompression step finds its work done and only has to confirm it.
//
// The follower walks the local headers of the growing package (ZipExtractor::ExtractGrowing)
// into the run's work folder. Anything that makes its result doubtful abandons it: the download
// cutting its file back, a failed download, an entry that fails, a streamed entry, more declared
// bytes than the cap, the program closing. Abandoned, the follower stops at its next read; the
// decompression step then wipes the folder and unpacks as usual. The follower raises no event
// the user sees and writes nowhere but the work folder.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <atomic>
#include <thread>

#include "http/Target.h"
#include "zip/GrowingArchive.h"
#include "zip/ZipExtractor.h"

namespace worker {

class EarlyUnpack {
public:
    // Starts the follower over file (the package opened for reading), whose announced length is
    // length, with extractor set up for the work folder; writeCap bounds what the local
    // headers may declare in all.
    EarlyUnpack(std::unique_ptr<zip::ArchiveInput> file, std::uint64_t length,
                std::unique_ptr<zip::ZipExtractor> extractor, std::uint64_t writeCap);
    ~EarlyUnpack();  // abandons and waits for the follower
    EarlyUnpack(const EarlyUnpack&) = delete;
    EarlyUnpack& operator=(const EarlyUnpack&) = delete;

    // The download's side.
    void Written(std::uint64_t bytes) { input_.Written(bytes); }
    void Ended() { input_.Ended(); }
    void Abandon() { input_.Abandon(); }

    // The worker's: waits for the follower's end (once the download has ended or the pass was
    // abandoned, it reads only what is in the file); its walk, or null when it was abandoned or
    // is unsound.
    const zip::EarlyWalk* Finish();
    // Abandons the pass and waits, at most kStopWaitMs, until the follower has stopped. Takes
    // no lock: safe from the window's thread while the worker is suspended anywhere.
    void Stop() noexcept;
    static constexpr int kStopWaitMs = 10000;

private:
    void Run(std::uint64_t writeCap) noexcept;

    zip::GrowingArchive input_;
    std::unique_ptr<zip::ZipExtractor> extractor_;
    zip::EarlyWalk walk_;
    bool failed_ = false;  // the follower ended on an exception
    std::atomic<bool> stopped_{false};  // the follower has returned
    std::thread thread_;
};

// The package's target as the download writes it, followed by an early pass: once an answer's
// head has announced the whole body's length (Expect) and the file, empty, is extended to it,
// start is asked for one (null: none), once per download; every write publishes the written
// length; a cut abandons the pass.
class FollowedTarget : public http::Target {
public:
    using Starter = std::function<EarlyUnpack*(std::int64_t length)>;
    FollowedTarget(http::Target& inner, Starter start) : inner_(inner), start_(std::move(start)) {}

    void Expect(std::int64_t length) { expected_ = length; }
    std::int64_t Position() override { return inner_.Position(); }
    void Write(const char* data, std::size_t size) override;
    void SetSize(std::int64_t size) override;
    void CutTo(std::int64_t size) override;

private:
    http::Target& inner_;
    Starter start_;
    std::int64_t expected_ = 0;
    bool asked_ = false;
    EarlyUnpack* early_ = nullptr;
};

}  // namespace worker
