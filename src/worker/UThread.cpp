// The worker's frame: creation, the thread body, the status hand-off and the download watch.
#include "worker/UThread.h"

#include <chrono>
#include <cstdlib>
#include <exception>

#include "http/HttpClient.h"
#include "worker/EarlyUnpack.h"
#include "zip/ZipExtractor.h"

std::atomic<int> ExitCode{0};

TThreadLiveUpdate::TThreadLiveUpdate(TLiveUpdate& settings, WorkerView& view)
    : settings_(settings), view_(view), thread_(&TThreadLiveUpdate::ThreadBody, this) {
    if (const char* pause = std::getenv("KLU_TEST_RETRY_PAUSE_MS")) {
        const unsigned long shorter = std::strtoul(pause, nullptr, 10);
        if (shorter < HiddenRetryPauseMs) HiddenRetryPauseMs = shorter;  // a test may only shorten it
    }
    // ReadUninstallNotice: the key is created when missing; any failure leaves the address empty.
    try {
        platform::RegKey key;
        if (key.Open(rootkey::CurrentUser, layout::StripRootKey(ApplicationKey), true))
            uninstallNoticeUrl_ = key.ReadString(layout::kUninstallNoticeValue);
    } catch (...) {
        uninstallNoticeUrl_.clear();
    }
}

TThreadLiveUpdate::~TThreadLiveUpdate() = default;

void TThreadLiveUpdate::ThreadBody(void* self) { static_cast<TThreadLiveUpdate*>(self)->Execute(); }

void TThreadLiveUpdate::Execute() {
    ExitCode.store(1);
    struct EndNotice {
        WorkerView& view;
        ~EndNotice() { view.RunEnded(); }
    } endNotice{view_};
    const PreparedOnExit prepared{*this};  // however the thread ends, nobody waits for it
    try {
        InitializeRun();
        if (settings_.UninstallFlag)
            RunUninstallChain();
        else
            RunInstallChain();
        FinalizeRun();
        return;
    } catch (const std::exception& e) {
        ExitCode.store(1);  // a failure after the chain had completed is a failure too
        RemoveRunFiles();
        ReportUnknownError(e.what());
    } catch (...) {
        ExitCode.store(1);
        RemoveRunFiles();
        ReportUnknownError("");
    }
}

void TThreadLiveUpdate::MarkPrepared() noexcept {
    std::lock_guard<std::mutex> lock(preparedLock_);
    prepared_ = true;
    preparedChanged_.notify_all();
}

bool TThreadLiveUpdate::WaitPrepared(unsigned long ms) {
    std::unique_lock<std::mutex> lock(preparedLock_);
    return preparedChanged_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return prepared_; });
}

void TThreadLiveUpdate::ReportUnknownError(const char* what) noexcept {
    MarkPrepared();
    try {
        ReportStatus(Lang().S_UnknownError + "\r\n" + what, 0);
        return;
    } catch (...) {
        // Too little memory even for the message: the language text alone, which needs no copy.
    }
    try {
        pendingKind_ = 0;
        view_.ShowFinish(Lang().S_UnknownError, 0);
        resultReported_.store(true);
    } catch (...) {
        // Nothing more can be said; the exit code says that the run failed.
    }
}

void TThreadLiveUpdate::RunInstallChain() {
    const bool completed = DownloadPackage() && ExtractPackage() && TerminateApplication() && CopyNewFiles() &&
                           ExecuteBatch() && DeleteTempFiles();
    if (!completed) return;
    RegisterApplication();  // its result does not change the outcome
    view_.SetCreateDesktopVisible(true);
    view_.SetLabelTop(Lang().S_LabelTopComplete);
    ExitCode.store(0);
    ReportStatus(Lang().S_Successfull, 2);
}

void TThreadLiveUpdate::ReportStatus(const std::string& message, int kind) {
    MarkPrepared();  // the result needs the window
    pendingMessage_ = message;
    pendingKind_ = kind;
    view_.ShowFinish(message, kind);
    resultReported_.store(true);
}

int TThreadLiveUpdate::DownloadWatchDelta() {
    if (!downloading_.load()) return -1;
    lastWatchedPosition_.store(pending_.Position());
    const std::int64_t bytes = downloadedBytes_.load();
    const std::int64_t delta = bytes - lastWatchedBytes_.exchange(bytes);
    // A tick with fewer than kWatchMinimumBytes new bytes is no progress: a body that trickles
    // a byte a second would otherwise pass every tick for ever.
    if (delta < kWatchMinimumBytes) return 0;
    return delta > 2147483647 ? 2147483647 : static_cast<int>(delta);
}

void TThreadLiveUpdate::SetOverall(int position, int maximum) {
    overall_.Set(position, maximum);
    ShowBar(ProgressBar::Overall, overall_, shownOverall_);
}

void TThreadLiveUpdate::SetPending(int position, int maximum) {
    pending_.Set(position, maximum);
    ShowBar(ProgressBar::Pending, pending_, shownPending_);
}

// Every change reaches the model at once; the window sees a new maximum, the ends of the bar and
// steps of at least half a percent. A call to the window's thread per received block or per file
// would cost more than the work it reports.
void TThreadLiveUpdate::ShowBar(ProgressBar bar, const ProgressModel& model, ShownBar& shown) {
    const int position = model.Position();
    const int maximum = model.Maximum();
    if (position == shown.position && maximum == shown.maximum) return;
    const long long moved = position > shown.position ? position - shown.position : shown.position - position;
    const bool worthShowing =
        maximum != shown.maximum || position == 0 || position == maximum || moved * 200 >= maximum;
    if (!worthShowing) return;
    shown = ShownBar{position, maximum};
    view_.SetProgress(bar, position, maximum);
}
