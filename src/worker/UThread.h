// TThreadLiveUpdate: the worker thread that carries out one run (install, update or uninstall).
//
// The window creates it suspended at start and resumes it when the user confirms the run. The body
// prepares the HTTP client and the ZIP extractor, runs the step chain (each step returns true to go
// on, false after reporting its own failure), keeps the progress state, and hands exactly one status
// message to the window. The object outlives the body: the window calls the finishing operations
// (CreateShortcuts, StartApplication) on it when it closes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "InstallLayout.h"
#include "UClasses.h"
#include "UFileXML.h"
#include "platform/Platform.h"
#include "platform/Proxy.h"
#include "worker/ExitCode.h"
#include "worker/PackageKey.h"
#include "worker/WorkerView.h"

namespace http {
class HttpClient;
class Target;
}
namespace zip {
class ZipExtractor;
struct EarlyWalk;
}
namespace worker {
class EarlyUnpack;
}

using layout::CollapseBackslashes;

// File sizes by path, as the installed size asks them.
using FileSizes = std::map<std::string, std::uint64_t>;

// Takes the sizes of the files a Files list names, except the skipped ones, on a thread of its
// own while the caller goes on.
class SizeTaker {
public:
    SizeTaker(const std::string& listed, std::set<std::string> skipped);
    ~SizeTaker();  // waits for the thread
    SizeTaker(const SizeTaker&) = delete;
    SizeTaker& operator=(const SizeTaker&) = delete;
    // Waits for the thread; the sizes, or null when they could not be taken.
    const FileSizes* Taken();

private:
    const std::set<std::string> skipped_;
    FileSizes sizes_;
    bool taken_ = false;
    std::thread thread_;
};

class TThreadLiveUpdate {
public:
    // Creates the thread suspended and reads the uninstall notice address.
    TThreadLiveUpdate(TLiveUpdate& settings, WorkerView& view);
    ~TThreadLiveUpdate();
    TThreadLiveUpdate(const TThreadLiveUpdate&) = delete;
    TThreadLiveUpdate& operator=(const TThreadLiveUpdate&) = delete;

    // The thread.
    void Resume() { thread_.Resume(); }
    void Suspend() { thread_.Suspend(); }
    bool Finished() const { return thread_.Finished(); }
    bool WaitFinished(unsigned long ms) const { return thread_.WaitFinished(ms); }
    // True once the chain has shown its result: the thread then only cleans up and ends by itself.
    bool ResultReported() const { return resultReported_.load(); }
    // Waits, at most ms, until the run is under way: its HTTP client made, the package's answer
    // begun and the unpacking behind it started (or the download has ended, or a result is
    // shown). True when it is. The system libraries the run needs are loaded by then.
    bool WaitPrepared(unsigned long ms);

    // Called by the window's download watch: -1 when no transfer runs, otherwise the growth of the
    // pending bar's position since the previous call.
    // How long the download's connect, and the wait for its answer's head, may each take.
    static constexpr int kConnectAndHeadTimeoutMs = 30000;
    // The wait before the first further request after a dropped download; each next one doubles.
    static constexpr int kFirstRetryWaitMs = 1000;
    // The fewest new body bytes a watch tick counts as progress.
    static constexpr std::int64_t kWatchMinimumBytes = 1024;
    int DownloadWatchDelta();

    // The finishing operations, run by the window on its own thread after a successful run.
    void CreateShortcuts(bool createDesktop);
    bool StartApplication();

    // Seams for tests: the platform id (2: NT family) and the proxy discovery.
    std::function<unsigned long()> GetPlatformId = [] { return platform::PlatformId(); };
    // Fills server and port and answers true when the user's settings name an HTTP proxy.
    std::function<bool(std::string& server, int& port)> DiscoverProxy = [](std::string& server, int& port) {
        return platform::DiscoverProxy(server, port);
    };

    // The PEM public key whose signature every package must carry; empty: packages are not checked.
    // The build's key (KLU_PACKAGE_KEY) unless a test sets another.
    std::string packageKey = BuiltInPackageKeyPem() != nullptr ? BuiltInPackageKeyPem() : "";

    // The pause between the copy step's own retries in a hidden run: 5 s, which the environment
    // variable KLU_TEST_RETRY_PAUSE_MS may shorten for tests; and how the step pauses.
    unsigned long HiddenRetryPauseMs = 5000;
    std::function<void(unsigned long)> PauseMs = [](unsigned long ms) { platform::SleepMs(ms); };

    // The free space of a folder's volume, for the room check before the extraction.
    std::function<bool(const std::string& folder, std::uint64_t& bytes)> FreeSpace =
        [](const std::string& folder, std::uint64_t& bytes) { return platform::FreeDiskSpace(folder, bytes); };

    // Removes the run's package and work folder; what is still open is deleted when the process
    // ends or, failing that, at the next start of Windows. Never raises. Safe from the window's
    // thread once the worker is suspended for good or has ended.
    void RemoveRunFiles() noexcept;

private:
    // Everything below is the worker's own; tests reach it through TThreadLiveUpdateTestAccess.
    friend struct TThreadLiveUpdateTestAccess;

    // The thread body.
    void Execute();
    static void RunProgram(const std::string& commandLine);

    // The uninstall command line: "\"FOLDER\KestrumLiveUpdate.exe\" /language NAME /uninstall KEYS".
    std::string UninstallCommandLine() const;
    std::string UninstallArguments() const;  // the same from "/language " on

    const std::string& UninstallNoticeURL() const { return uninstallNoticeUrl_; }
    const std::string& PendingMessage() const { return pendingMessage_; }
    int PendingKind() const { return pendingKind_; }

    // The steps, in chain order.
    bool DownloadPackage();
    bool ExtractPackage();
    bool TerminateApplication();
    bool TerminateProcessById(unsigned long processId);
    bool CopyNewFiles();
    bool CopyOneFile(const std::string& source, const std::string& destination);
    // The highest folder above the entry, below the work folder, whose destination is missing
    // together with every folder below it on the way to the entry; empty when the entry's own
    // destination folder exists. Such a folder holds nothing but unpacked files and their folders,
    // so that it can be moved whole. Each destination folder is asked for once (kinds). None whose
    // name holds a tilde or a byte beyond ASCII.
    std::string WholeFolderFor(const std::string& entry, std::map<std::string, platform::PathKind>& kinds) const;
    // The destinations that would change kind: a folder where the package has a file, a file
    // where it has a folder.
    std::vector<std::string> KindConflicts() const;
    bool ExecuteBatch();
    // Runs one interpreter command line hidden, the interpreter named by its full path, and waits
    // for its end (in a hidden run at most HiddenBatchLineLimitMs).
    void RunAndWait(const std::string& commandLine);
    bool DeleteTempFiles();
    bool RegisterApplication();
    void RegisterUninstallFiles(std::string text);
    bool UninstallFiles();
    bool UninstallRegistries();
    void ReportUninstallResult(const std::string& url, const std::string& result);
    void DeleteUninstallEntry(const std::string& path, platform::RootKey root);
    void DeleteRegistryPath(const std::string& path, platform::RootKey root);
    void DeleteOnReboot(const std::string& filePath);

    // Progress state as the window shows it.
    const ProgressModel& Overall() const { return overall_; }
    const ProgressModel& Pending() const { return pending_; }

    // The install chain and its success tail (the body without the outer guard, for tests).
    void RunInstallChain();
    // The uninstall chain, with its own guard and result notice.
    void RunUninstallChain();
    void InitializeRun();
    void FinalizeRun();

    static void ThreadBody(void* self);
    void CreateExtractor();
    // The settings of the decompression step: every file, below the work folder, replaced.
    void ConfigureExtractor(zip::ZipExtractor& extractor) const;
    // StepEarlyUnpack.cpp: the early pass, started by the download once the answer's head gives
    // the package's length: makes the work folder and starts the follower; null (no early pass)
    // when the folder cannot be made or the package cannot be read while it is written.
    worker::EarlyUnpack* StartEarlyUnpack(std::int64_t length);
    // The early pass's confirmed walk once the package is whole and signed, or null: then the
    // pass is stopped and whatever it wrote is gone.
    const zip::EarlyWalk* FinishEarlyUnpack();
    // Stops the early pass and removes the work folder it made. Never raises.
    void DiscardEarlyUnpack() noexcept;
    // The extraction over the whole package, as when there is no early pass.
    void UnpackPackage();
    // The early pass's result confirmed against the directory: true when it stands (the
    // extractor then raised the usual events), false when nothing was changed.
    bool ConfirmEarlyUnpack(const zip::EarlyWalk& early);
    // Whether the temporary folder's and the install folder's volumes can each hold bytes; when
    // not, spaceShortage_ says which and how much.
    bool HasRoomFor(std::uint64_t bytes);
    // Empty when the package may be unpacked; otherwise why not, for the user.
    std::string PackageRefusal();
    // One GET of url with the HTTP client, its body read and dropped; the read time-out also
    // bounds the connect. Raises on any failure.
    void NotifyUrl(const std::string& url, int readTimeoutMs);
    // The install folder's path for an entry of the extracted-file list.
    std::string DestinationOf(const std::string& entry) const;
    // The retry question, or in a hidden run the step's own bounded answer.
    bool AnswerRetry(const std::vector<std::string>& failed, int& hiddenRetries);
    void ReportStatus(const std::string& message, int kind);
    // The frame's report of an exception: S_UnknownError, CR LF and the exception's message; the
    // language text alone when even that cannot be built. Never raises.
    void ReportUnknownError(const char* what) noexcept;
    const TFileXML& Lang() const { return *settings_.LanguageTable; }
    std::string ArchivePath() const { return settings_.TempFolder + "\\" + settings_.ArchiveFileName; }
    std::string WorkFolder() const { return settings_.TempFolder + "\\" + settings_.WorkFolderName; }

    // The Files value of the application's key.
    std::string ListedFiles() const;
    // KiB of the files that the uninstall list names and that exist, rounded up; known gives
    // sizes already taken.
    std::uint32_t InstalledSizeKiB(const FileSizes* known = nullptr) const;

    // What the window was last given for one bar.
    struct ShownBar {
        int position = -1;
        int maximum = -1;
    };
    void ShowBar(ProgressBar bar, const ProgressModel& model, ShownBar& shown);

    // Progress changes: the model first, then the window.
    void SetOverall(int position, int maximum);
    void StepOverall() { SetOverall(overall_.Position() + 1, overall_.Maximum()); }
    void SetPending(int position, int maximum);
    void SetPendingPosition(int position) { SetPending(position, pending_.Maximum()); }
    void StepPending() { SetPending(pending_.Position() + 1, pending_.Maximum()); }
    void SetLabelPending(const std::string& text) { view_.SetLabelPending(text); }

    TLiveUpdate& settings_;
    WorkerView& view_;
    ProgressModel overall_{5};  // the layout gives the overall bar a maximum of 5
    ProgressModel pending_{100};
    ShownBar shownOverall_;
    ShownBar shownPending_;
    std::unique_ptr<http::HttpClient> httpClient_;
    int firstRetryWaitMs_ = kFirstRetryWaitMs;
    std::unique_ptr<zip::ZipExtractor> extractor_;
    std::string pendingMessage_;
    int pendingKind_ = 0;
    int failedEntries_ = 0;  // entries of the package that could not be unpacked whole
    std::string spaceShortage_;  // why the extraction found too little room, or empty
    // The folders below the work folder that held the package's files, parents included; taken
    // when the copy step starts, so that the clean-up can remove them without listing them.
    std::vector<std::string> unpackedFolders_;
    // The early pass, while it runs and until the decompression step has used or dropped it.
    std::unique_ptr<worker::EarlyUnpack> early_;
    // The free space of the temporary and the install folder's volumes, taken once when the early
    // pass was about to begin (taken false: the room check asks then): the room check uses these,
    // as the files it counts may already be written.
    struct RoomFigure {
        bool taken = false;
        bool known = false;
        std::uint64_t bytes = 0;
    };
    RoomFigure roomFigures_[2];
    bool earlyFolderMade_ = false;  // the work folder is the early pass's
    bool unpackedEarly_ = false;  // the last decompression step confirmed the early pass
    std::atomic<bool> downloading_{false};
    std::atomic<bool> resultReported_{false};
    void MarkPrepared() noexcept;
    struct PreparedOnExit {  // marks the run prepared when it leaves its scope, whichever way
        TThreadLiveUpdate& run;
        ~PreparedOnExit() { run.MarkPrepared(); }
    };
    std::mutex preparedLock_;
    std::condition_variable preparedChanged_;
    bool prepared_ = false;
    // The package file while the download step holds it open (cleared before it is closed), so
    // that the clean-up can mark it for deletion from the window's thread.
    std::atomic<http::Target*> openPackage_{nullptr};
    std::atomic<int> lastWatchedPosition_{0};
    // Body bytes taken by the running download, and the count the previous watch saw: the
    // watch measures bytes, since the bar's position starts again with every chunk.
    std::atomic<std::int64_t> downloadedBytes_{0};
    std::atomic<std::int64_t> lastWatchedBytes_{0};
    std::int64_t spanCount_ = 0;  // the work count within the current span (worker thread)
    std::string uninstallNoticeUrl_;
    platform::Thread thread_;
};
