// Memory that runs out in any step of a run: the worker's frame reports S_UnknownError, the run
// fails with exit code 1, the process goes on and the run's temporary files are gone.
//
// This test program replaces the global allocator: once armed for one thread, it makes the N-th
// allocation of that thread fail with std::bad_alloc, exactly once, as an exhausted heap would;
// with a size limit (AllocationLimit.h) every larger allocation of that thread fails.
#include <cstdlib>
#include <new>

#include "AllocationLimit.h"
#include "WorkerFixture.h"

namespace {

std::atomic<unsigned long> gFailThread{0};  // 0: disarmed
std::atomic<int> gFailCountdown{0};
std::atomic<bool> gFired{false};

// The N-th allocation of the calling thread from now on fails.
void ArmAllocationFailure(int n) {
    gFired.store(false);
    gFailCountdown.store(n);
    gFailThread.store(GetCurrentThreadId());
}

void DisarmAllocationFailure() { gFailThread.store(0); }

std::atomic<unsigned long> gLimitThread{0};  // 0: no size limit
std::atomic<std::size_t> gSizeLimit{0};

}  // namespace

void LimitAllocationSize(std::size_t bytes) {
    gSizeLimit.store(bytes);
    gLimitThread.store(GetCurrentThreadId());
}
void LiftAllocationLimit() { gLimitThread.store(0); }

void* operator new(std::size_t size) {
    if (size > gSizeLimit.load() && gLimitThread.load() != 0 && gLimitThread.load() == GetCurrentThreadId())
        throw std::bad_alloc();
    if (gFailThread.load() != 0 && gFailThread.load() == GetCurrentThreadId() && gFailCountdown.fetch_sub(1) == 1) {
        gFailThread.store(0);
        gFired.store(true);
        throw std::bad_alloc();
    }
    void* p = std::malloc(size != 0 ? size : 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
// The library's operator delete frees with free(), which matches.

namespace {

// Where a run is armed: the worker's preparation (the proxy question comes in its middle) or the
// start of a step (its label).
struct FailureRow {
    const char* where;  // "InitializeRun" or a label key
    int nth;            // which allocation of the worker thread after that point fails
};

class ArmingView : public RecordingView {
public:
    std::string armAtLabel;
    int nth = 1;

    void SetLabelPending(const std::string& text) override {
        RecordingView::SetLabelPending(text);
        if (!armAtLabel.empty() && text == armAtLabel) ArmAllocationFailure(nth);
    }
    void ShowFinish(const std::string& message, int kind) override {
        DisarmAllocationFailure();  // the recording itself allocates
        RecordingView::ShowFinish(message, kind);
    }
};

}  // namespace

class OutOfMemoryTest : public WorkerTest {
protected:
    void TearDown() override {
        DisarmAllocationFailure();
        WorkerTest::TearDown();
    }

    std::string LabelText(const std::string& key) {
        if (key == "S_Download") return language.S_Download;
        if (key == "S_Unzip") return language.S_Unzip;
        if (key == "S_Kill") return language.S_Kill;
        if (key == "S_Copy") return language.S_Copy;
        if (key == "S_ExecBatch") return language.S_ExecBatch;
        if (key == "S_Delete") return language.S_Delete;
        return std::string();
    }

    // One install run with the failure armed as the row says; checks what every row must give.
    void RunRow(const FailureRow& row) {
        SCOPED_TRACE(std::string(row.where) + ", allocation " + std::to_string(row.nth));
        TLiveUpdate settings("KestrumLiveUpdate.exe");
        Prepare(settings, ServerUrl("pkg", "pluvionfull.zip"));
        ArmingView view;
        view.nth = row.nth;
        const std::string where = row.where;
        if (where != "InitializeRun") view.armAtLabel = LabelText(where);
        TThreadLiveUpdate worker(settings, view);
        const int nth = row.nth;
        worker.DiscoverProxy = [where, nth](std::string&, int&) {
            if (where == "InitializeRun") ArmAllocationFailure(nth);
            return false;
        };
        ExitCode.store(0);
        RunToEnd(worker);
        DisarmAllocationFailure();

        ASSERT_TRUE(gFired.load()) << "the armed allocation was never made";
        ASSERT_FALSE(view.finishes.empty());
        EXPECT_EQ(view.finishes.back().message, language.S_UnknownError + "\r\nstd::bad_alloc");
        EXPECT_EQ(view.finishes.back().kind, 0);
        EXPECT_EQ(ExitCode.load(), 1);
        // The run's package and work folder are gone on this way out too (a failure early in the
        // preparation comes before the temporary folder is known).
        if (settings.TempFolder.empty()) return;
        EXPECT_FALSE(platform::FileExists(settings.TempFolder + "\\pluvionfull.zip"));
        if (!settings.WorkFolderName.empty()) {
            EXPECT_FALSE(platform::DirectoryExists(settings.TempFolder + "\\" + settings.WorkFolderName));
        }
    }
};

TEST_F(OutOfMemoryTest, EveryStepReportsTheUnknownErrorAndCleansUp) {
    const FailureRow rows[] = {
        {"InitializeRun", 1}, {"InitializeRun", 4},                        // the extractor, the temp folder
        {"S_Download", 1},    {"S_Download", 12},    {"S_Download", 40},  // the address, the request, the body
        {"S_Unzip", 1},       {"S_Unzip", 15},       {"S_Unzip", 40},     // the work folder, the entries
        {"S_Kill", 1},        {"S_Kill", 3},                               // the process list
        {"S_Copy", 1},        {"S_Copy", 8},         {"S_Copy", 30},       // the destinations, the moves
        {"S_ExecBatch", 1},   {"S_ExecBatch", 6},                          // the lines, the commands
        {"S_Delete", 1},      {"S_Delete", 6},       {"S_Delete", 60},     // the leftovers, the registry
    };
    for (const FailureRow& row : rows) {
        RunRow(row);
        if (HasFatalFailure()) return;
    }
}

// The success report itself fails: the run is not counted as completed.
TEST_F(OutOfMemoryTest, AFailedSuccessReportLeavesTheRunFailed) {
    TLiveUpdate settings("KestrumLiveUpdate.exe");
    Prepare(settings, ServerUrl("pkg", "nobatch.zip"));
    class FailingSuccessView : public RecordingView {
    public:
        bool failed = false;
        void ShowFinish(const std::string& message, int kind) override {
            RecordingView::ShowFinish(message, kind);
            if (kind == 2 && !failed) {
                failed = true;
                throw std::bad_alloc();  // as the window's side of the hand-off would raise it
            }
        }
    } view;
    TThreadLiveUpdate worker(settings, view);
    worker.DiscoverProxy = [](std::string&, int&) { return false; };
    RunToEnd(worker);
    ASSERT_TRUE(view.failed);
    ASSERT_EQ(view.finishes.size(), 2u);
    EXPECT_EQ(view.finishes[1].message, language.S_UnknownError + "\r\nstd::bad_alloc");
    EXPECT_EQ(ExitCode.load(), 1) << "the finishing actions must not run";
}
