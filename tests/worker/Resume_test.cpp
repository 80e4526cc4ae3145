// Downloads taken up again after a dropped connection, through the whole install chain. The
// package server cuts its first answer at 40 % and answers the further requests by kind.
#include <algorithm>

#include "HostileFixture.h"

namespace {

using hostilerun::HostileTest;
using hostilerun::Row;

std::size_t PackageSize(const std::string& name) {
    const char* folder = std::getenv("KLU_TEST_PACKAGES");
    return folder == nullptr ? 0 : ReadFileBytes(std::string(folder) + "\\" + name).size();
}

// How often the pending bar's position went back while it showed a download of one of `sizes`.
int BarSetBacks(const std::vector<RecordingView::Bar>& bars, const std::vector<int>& sizes) {
    int backs = 0, last = 0;
    for (const RecordingView::Bar& bar : bars) {
        if (std::find(sizes.begin(), sizes.end(), bar.maximum) == sizes.end()) continue;
        if (bar.position < last) ++backs;
        last = bar.position;
    }
    return backs;
}

TEST_F(WorkerTest, ACutDownloadIsTakenUpAgainAndInstalls) {
    const int first = static_cast<int>(PackageSize("pluvionfull.zip"));
    const int second = static_cast<int>(PackageSize("second.zip"));
    ASSERT_GT(first, 0) << "run through run_worker_tests.sh";
    const std::string resumed = "- -\nbytes=" + std::to_string(first * 2 / 5) + "- \"v1\"\n";
    struct Case {
        const char* kind;
        std::string ranges;  // the Range and If-Range of each request
        int setBacks;        // the bar starts again only with the whole file
        bool secondVersion;
        bool early;          // what was unpacked during the download stands: the file was never cut back
    } cases[] = {
        {"range", resumed, 0, false, true},      // the rest as 206
        {"changed", resumed, 1, true, false},    // If-Range brings the new version whole
        {"ignore", resumed, 1, false, false},    // the server ignores Range: from zero
        {"chunk_cut", "- -\n- -\n", 1, false, false},  // chunked: no length, no early pass
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        TLiveUpdate settings("KestrumLiveUpdate.exe");
        Prepare(settings, ServerUrl("resume", std::string(c.kind) + "/pluvionfull.zip"));
        RecordingView view;
        TThreadLiveUpdate worker(settings, view);
        worker.DiscoverProxy = [](std::string&, int&) { return false; };
        RunToEnd(worker);

        ASSERT_EQ(view.finishes.size(), 1u);
        EXPECT_EQ(view.finishes[0].message, language.S_Successfull);
        EXPECT_EQ(ExitCode.load(), 0);
        EXPECT_EQ(ServerRanges("resume", std::string(c.kind) + "/pluvionfull.zip"), c.ranges);
        EXPECT_EQ(BarSetBacks(view.pending, {first, second, first * 2 / 5}), c.setBacks);
        EXPECT_EQ(Steps::UnpackedEarly(worker), c.early);
        // One version whole, never a mix: the second one alone brings new.txt.
        EXPECT_EQ(ReadFileBytes(installFolder + "\\sub\\b.dll").size(), 1300u);
        EXPECT_EQ(platform::FileExists(installFolder + "\\new.txt"), c.secondVersion);
        EXPECT_FALSE(platform::FileExists(settings.TempFolder + "\\pluvionfull.zip"));
        platform::SetCurrentDir(platform::TempDirectory());  // the batch step left it in the install folder
        platform::RemoveFolderTree(installFolder);
        CleanRegistry();
    }
}

// Downloads that cannot be made whole fail after their further requests with the last error, and
// leave nothing: no package in the temporary folder, the install folder as it was.
TEST_F(HostileTest, DownloadsThatStayCutFailAfterTheirRetries) {
    const std::string failed = language.S_DownloadError + "\r\n";
    const std::string reset = failed + "Socket Error # 10054\r\nConnection reset by peer.";
    const std::string partial = failed + "HTTP/1.1 206 Partial Content";
    const std::string cut = "bytes=" + std::to_string(PackageSize("pluvionfull.zip") * 2 / 5) + "- \"v1\"\n";
    const std::string sixWhole = "- -\n- -\n- -\n- -\n- -\n- -\n";
    struct Case {
        Row row;
        const char* kind;
        std::string name;
        std::string ranges;
    } cases[] = {
        {{"a part that starts elsewhere", "pkg", "", partial, ""}, "resume", "bad_start/pluvionfull.zip", "- -\n" + cut},
        {{"a part of another total", "pkg", "", partial, ""}, "resume", "bad_total/pluvionfull.zip", "- -\n" + cut},
        {{"five cuts in a row after the first", "pkg", "", reset, ""}, "resume", "cut_always/pluvionfull.zip",
         "- -\n" + cut + cut + cut + cut + cut},
        // Without a validator each further request asks for the whole file again. (A folder of
        // their own in the address: the server counts requests by path, and other tests fetch
        // the same answers.)
        {{"shorter than announced, then a close", "pkg", "", language.S_DownloadError, ""}, "truncated",
         "retries/pluvionfull.zip", sixWhole},
        {{"shorter than announced, then a reset", "pkg", "", reset, ""}, "cutreset", "retries/pluvionfull.zip",
         sixWhole},
    };
    std::vector<Row> rows;
    for (Case& c : cases) {
        c.row.url = ServerUrl(c.kind, c.name);
        rows.push_back(c.row);
    }
    RunRows(rows);
    for (const Case& c : cases) EXPECT_EQ(ServerRanges(c.kind, c.name), c.ranges) << c.row.label;
}

}  // namespace
