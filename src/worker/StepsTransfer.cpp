// The frame's preparation and clean-up, and the download step.
#include <cstdlib>
#include <exception>
#include <new>

#include "http/HttpClient.h"
#include "http/HttpErrors.h"
#include "http/ProxyList.h"
#include "http/ResumingDownload.h"
#include "http/Url.h"
#include "platform/FileTarget.h"
#include "platform/Leftovers.h"
#include "platform/Proxy.h"
#include "platform/SocketTransport.h"
#include "platform/Tls.h"
#include "worker/EarlyUnpack.h"
#include "worker/UThread.h"
#include "zip/ZipExtractor.h"

namespace {

// `bound`, or the environment variable's value when a test set it to a shorter one.
int ShortenedForTests(const char* variable, int bound) {
    if (const char* text = std::getenv(variable)) {
        const int wanted = std::atoi(text);
        if (wanted > 0 && wanted < bound) return wanted;
    }
    return bound;
}

}  // namespace

void TThreadLiveUpdate::InitializeRun() {
    httpClient_.reset(new http::HttpClient(platform::MakeSocketTransport(), platform::MakeTlsEngine));
    // Neither a connect that never completes nor a server that never answers keeps the run
    // waiting: 30 s each (KLU_TEST_HTTP_TIMEOUT_MS shortens both for tests, never lengthens).
    const int bound = ShortenedForTests("KLU_TEST_HTTP_TIMEOUT_MS", kConnectAndHeadTimeoutMs);
    // The waits before further requests after a dropped download: 1, 2, 4, 8, 16 s
    // (KLU_TEST_RETRY_WAIT_MS shortens the first, and so all of them).
    firstRetryWaitMs_ = ShortenedForTests("KLU_TEST_RETRY_WAIT_MS", kFirstRetryWaitMs);
    httpClient_->SetConnectTimeout(bound);
    httpClient_->SetHeadTimeout(bound);
    // The body's expected size and the bytes received drive the pending bar.
    httpClient_->OnWorkBegin = [this](http::WorkMode, std::int64_t total) {
        spanCount_ = 0;
        SetPending(0, static_cast<int>(total));
    };
    httpClient_->OnWork = [this](http::WorkMode, std::int64_t count) {
        downloadedBytes_.fetch_add(count - spanCount_);
        spanCount_ = count;
        SetPendingPosition(static_cast<int>(count));
    };
    std::string server;
    int port = -1;
    // A proxy value that names no plain host and port is not followed: the download goes direct.
    if (DiscoverProxy && DiscoverProxy(server, port) && http::UsableProxy(server, port)) {
        httpClient_->SetProxy(server, port);
    }
    CreateExtractor();
    downloading_.store(false);
    settings_.TempFolder = platform::TempDirectory();
}

void TThreadLiveUpdate::FinalizeRun() {
    // The folders the copy step has emptied go first, each removed without a listing, children
    // before their parents; whatever stays (a file the copy left, a read-only folder) goes with
    // the work folder's own removal below.
    for (auto folder = unpackedFolders_.rbegin(); folder != unpackedFolders_.rend(); ++folder)
        platform::RemoveDir(*folder);
    // The work folder is the run's own: the folders the package brought go with it.
    RemoveRunFiles();
    extractor_.reset();
    httpClient_.reset();
}

void TThreadLiveUpdate::RemoveRunFiles() noexcept {
    if (early_) early_->Stop();  // nothing writes into the work folder while it goes
    try {
        if (!settings_.WorkFolderName.empty()) platform::RemoveFolderTreeOrAtRestart(WorkFolder());
        if (!settings_.ArchiveFileName.empty()) {
            // A package still open by a suspended download goes when the process ends.
            http::Target* open = openPackage_.load();
            if (open == nullptr || !platform::DeleteWhenClosed(*open)) platform::RemoveFileOrAtRestart(ArchivePath());
        }
    } catch (...) {
        // Best effort: the clean-up never changes the outcome of the run.
    }
}

bool TThreadLiveUpdate::DownloadPackage() {
    const PreparedOnExit prepared{*this};  // however the download ends
    SetPending(0, 0);
    SetLabelPending(Lang().S_Download);
    StepOverall();
    settings_.ArchiveFileName = TLiveUpdate::GetUrlFileName(settings_.DownloadUrl);
    try {
        // The address is checked before anything is created: a blank or a control byte would
        // end up in the request, and a backslash or a colon in the file name would lead the
        // archive out of the temporary folder.
        (void)http::SplitUrl(settings_.DownloadUrl);
        const std::string& name = settings_.ArchiveFileName;
        if (name.find_first_of("\\:") != std::string::npos || name == "." || name == "..") {
            throw http::HttpError("Invalid file name in address");
        }
    } catch (const std::bad_alloc&) {
        throw;  // out of memory is no download error: the frame reports it
    } catch (const std::exception& e) {
        settings_.ArchiveFileName.clear();  // nothing of this name may be deleted afterwards
        ReportStatus(Lang().S_DownloadError + "\r\n" + e.what(), 0);
        return false;
    }
    const std::string target = ArchivePath();
    early_.reset();
    earlyFolderMade_ = false;
    for (RoomFigure& figure : roomFigures_) figure = RoomFigure();
    if (platform::FileExists(target) && !platform::RemoveFile(target) && platform::FileExists(target)) {
        downloading_.store(false);
        ReportStatus(Lang().S_DownloadError + " (2)", 0);
        return false;
    }
    try {
        // Open, unshared, until the step ends, so that nothing else writes into the package.
        std::unique_ptr<http::Target> file = platform::CreateFileTarget(target);
        struct Published {  // openPackage_ names the file exactly while it is open
            std::atomic<http::Target*>& slot;
            ~Published() { slot.store(nullptr); }
        } published{openPackage_};
        openPackage_.store(file.get());
        lastWatchedPosition_.store(0);
        downloadedBytes_.store(0);
        lastWatchedBytes_.store(0);
        downloading_.store(true);
        // A dropped connection is taken up again, the bar going on from what is kept; the
        // watch goes on measuring through the further requests and the waits between them.
        // Once the answer's head gives the length, the package is unpacked behind the download.
        worker::FollowedTarget followed(*file, [this](std::int64_t length) { return StartEarlyUnpack(length); });
        http::RetrySettings retry;
        retry.firstWaitMs = firstRetryWaitMs_;
        retry.onWholeLength = [&followed](std::int64_t length) { followed.Expect(length); };
        http::ResumingDownload(*httpClient_, retry).Run(settings_.DownloadUrl, followed);
        downloading_.store(false);
        if (pending_.Position() != pending_.Maximum()) {
            if (early_) early_->Abandon();
            ReportStatus(Lang().S_DownloadError, 0);
            return false;
        }
        if (early_) early_->Ended();
        return true;
    } catch (const std::bad_alloc&) {
        downloading_.store(false);
        if (early_) early_->Abandon();
        throw;
    } catch (const std::exception& e) {
        downloading_.store(false);
        if (early_) early_->Abandon();
        ReportStatus(Lang().S_DownloadError + "\r\n" + e.what(), 0);
        return false;
    }
}

void TThreadLiveUpdate::NotifyUrl(const std::string& url, int readTimeoutMs) {
    if (!httpClient_) httpClient_.reset(new http::HttpClient(platform::MakeSocketTransport(), platform::MakeTlsEngine));
    httpClient_->SetReadTimeout(readTimeoutMs);
    (void)httpClient_->Get(url);
}
