// Single steps under Wine: ending processes, placing files past a lock, the configuration batch.
#include "WorkerFixture.h"

#include "AllocationLimit.h"
#include "BatchLines.h"


TEST_F(WorkerTest, TerminateEndsTheListedProcessesAndReportsBadIds) {
    const std::string pidFile = scratch + "\\pid.txt";
    platform::Handle child = StartChild("sleeper", "\"" + pidFile + "\"");
    ASSERT_TRUE(child.Valid());
    ASSERT_TRUE(WaitForFile(pidFile, 20000));
    platform::SleepMs(100);
    const std::string pid = ReadFileBytes(pidFile);
    ASSERT_FALSE(pid.empty());

    {
        TLiveUpdate settings("KestrumLiveUpdate.exe /hide /kill " + pid + ",");
        Prepare(settings, "http://unused/");
        RecordingView view;
        TThreadLiveUpdate worker(settings, view);
        EXPECT_TRUE(Steps::TerminateApplication(worker));
        EXPECT_EQ(platform::WaitFor(child, 0), 0u) << "ended and awaited";
        EXPECT_EQ(settings.ProcessList.Count(), 1) << "a trailing comma adds no item";
        EXPECT_EQ(Steps::Pending(worker).Position(), 2);
        EXPECT_EQ(Steps::Pending(worker).Maximum(), 2);
        EXPECT_TRUE(view.finishes.empty());
    }
    {
        // No switch: nothing to do, the bar goes from 0 to 1 of 1.
        TLiveUpdate settings("KestrumLiveUpdate.exe");
        Prepare(settings, "http://unused/");
        RecordingView view;
        TThreadLiveUpdate worker(settings, view);
        EXPECT_TRUE(Steps::TerminateApplication(worker));
        EXPECT_EQ(Steps::Pending(worker).Position(), 1);
        EXPECT_EQ(Steps::Pending(worker).Maximum(), 1);
    }
    {
        // The ended process's id no longer exists: not an error.
        TLiveUpdate settings("KestrumLiveUpdate.exe /KILL " + pid);
        Prepare(settings, "http://unused/");
        RecordingView view;
        TThreadLiveUpdate worker(settings, view);
        EXPECT_TRUE(Steps::TerminateApplication(worker));
    }
    for (const char* list : {"12,,34", "12,x", "12,99999999999999999999"}) {
        SCOPED_TRACE(list);
        TLiveUpdate settings(std::string("KestrumLiveUpdate.exe /KILL ") + list);
        Prepare(settings, "http://unused/");
        RecordingView view;
        TThreadLiveUpdate worker(settings, view);
        EXPECT_FALSE(Steps::TerminateApplication(worker));
        ASSERT_EQ(view.finishes.size(), 1u);
        EXPECT_EQ(view.finishes[0].message.substr(0, 2), "1 ");
        EXPECT_GT(view.finishes[0].message.size(), 2u);
        EXPECT_EQ(view.finishes[0].kind, 0);
        EXPECT_EQ(Steps::Pending(worker).Position(), 1) << "the first id was handled before the bad one";
    }
}

TEST_F(WorkerTest, ALockedDestinationIsOfferedForRetryThenPlaced) {
    // A first install puts a.txt in place.
    {
        TLiveUpdate settings("KestrumLiveUpdate.exe");
        Prepare(settings, ServerUrl("pkg", "nobatch.zip"));
        RecordingView view;
        TThreadLiveUpdate worker(settings, view);
        worker.DiscoverProxy = [](std::string&, int&) { return false; };
        RunToEnd(worker);
        ASSERT_EQ(view.finishes.size(), 1u);
        ASSERT_EQ(view.finishes[0].kind, 2) << view.finishes[0].message;
    }
    const std::string locked = installFolder + "\\a.txt";
    const std::string filesBefore = AppValue("\\Uninstall", "Files");
    // Another process holds it open without sharing; a read-only file beside it must be replaced.
    SetFileAttributesA((installFolder + "\\sub\\b.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    std::ofstream(locked, std::ios::binary) << "old";

    for (bool retry : {false, true}) {
        SCOPED_TRACE(retry ? "Retry" : "Cancel");
        const std::string ready = scratch + "\\ready" + (retry ? "1" : "0");
        const std::string release = scratch + "\\release" + (retry ? "1" : "0");
        platform::Handle locker = StartChild("locker", "\"" + locked + "\" \"" + ready + "\" \"" + release + "\"");
        ASSERT_TRUE(locker.Valid());
        ASSERT_TRUE(WaitForFile(ready, 20000));

        TLiveUpdate settings("KestrumLiveUpdate.exe");
        Prepare(settings, ServerUrl("pkg", "second.zip"));
        RecordingView view;
        view.answerRetry = [&](const std::vector<std::string>&) {
            std::ofstream(release) << "go";
            platform::WaitFor(locker, 20000);
            return retry;
        };
        TThreadLiveUpdate worker(settings, view);
        worker.DiscoverProxy = [](std::string&, int&) { return false; };
        RunToEnd(worker);

        ASSERT_EQ(view.retryQuestions.size(), 1u);
        // second.zip names it A.TXT: the destination keeps the archive's spelling.
        EXPECT_EQ(view.retryQuestions[0], std::vector<std::string>{installFolder + "\\A.TXT"});
        ASSERT_EQ(view.finishes.size(), 1u);
        if (retry) {
            EXPECT_EQ(view.finishes[0].kind, 2) << view.finishes[0].message;
            EXPECT_EQ(ReadFileBytes(locked), "alpha\r\n");
            EXPECT_EQ(AppValue("\\Uninstall", "Files"), filesBefore + installFolder + "\\new.txt;");
        } else {
            EXPECT_EQ(view.finishes[0].message, language.S_CopyError);
            EXPECT_EQ(view.finishes[0].kind, 0);
            EXPECT_EQ(ExitCode.load(), 1);
            EXPECT_EQ(ReadFileBytes(locked), "old");
            EXPECT_EQ(AppValue("\\Uninstall", "Files"), filesBefore) << "nothing registered after Cancel";
        }
        EXPECT_EQ(ReadFileBytes(installFolder + "\\sub\\b.dll").size(), 1300u);
    }
}

TEST_F(WorkerTest, BatchLinesRunOneByOneAndTheFileGoesEvenReadOnly) {
    ASSERT_TRUE(platform::ForceDirectories(installFolder));
    const std::string batch = installFolder + "\\LiveUpdate.bat";
    // A variable set on one line is not seen by the next: each line has its own interpreter.
    std::ofstream(batch, std::ios::binary) << "set KLU_X=1\r\necho [%KLU_X%]>out.txt\n\recho done>>out.txt";
    SetFileAttributesA(batch.c_str(), FILE_ATTRIBUTE_READONLY);
    TLiveUpdate settings("KestrumLiveUpdate.exe");
    Prepare(settings, "http://unused/");
    RecordingView view;
    TThreadLiveUpdate worker(settings, view);
    const std::string before = platform::CurrentDir();
    EXPECT_TRUE(Steps::ExecuteBatch(worker));
    platform::SetCurrentDir(before);
    EXPECT_EQ(ReadFileBytes(installFolder + "\\out.txt"), "[%KLU_X%]\r\ndone\r\n");
    EXPECT_EQ(Steps::Pending(worker).Position(), 4) << "four lines, the empty one too";
    EXPECT_EQ(Steps::Pending(worker).Maximum(), 4);
    EXPECT_FALSE(platform::FileExists(batch));
    EXPECT_EQ(view.labels, std::vector<std::string>{language.S_ExecBatch});

    // The interpreter of every line is the system folder's cmd.exe, never one in the install folder
    // (the current folder of the lines).
    std::ofstream(batch, std::ios::binary) << "echo system>where.txt\r\n";
    platform::CopyFileOverwrite(ExeFolder() + "\\worker_child_sleeper.exe", installFolder + "\\CMD.EXE");
    EXPECT_TRUE(Steps::ExecuteBatch(worker));
    platform::SetCurrentDir(before);
    EXPECT_EQ(ReadFileBytes(installFolder + "\\where.txt"), "system\r\n");

    // Without a batch file nothing moves.
    RecordingView quiet;
    TThreadLiveUpdate idle(settings, quiet);
    EXPECT_TRUE(Steps::ExecuteBatch(idle));
    EXPECT_TRUE(quiet.labels.empty());
    EXPECT_TRUE(quiet.overall.empty());
}

TEST_F(WorkerTest, AHiddenRunEndsABatchLineAfterTheLimitAndGoesOn) {
    ASSERT_TRUE(platform::ForceDirectories(installFolder));
    const std::string batch = installFolder + "\\LiveUpdate.bat";
    // The first line starts a program that would run for a minute; the second must still run.
    std::ofstream(batch, std::ios::binary) << "\"" + ExeFolder() + "\\worker_child_sleeper.exe\" sleeper.pid\r\n"
                                           << "echo next>next.txt\r\n";
    TLiveUpdate settings("KestrumLiveUpdate.exe /HIDE");
    Prepare(settings, "http://unused/");
    settings.HiddenBatchLineLimitMs = 1500;
    RecordingView view;
    TThreadLiveUpdate worker(settings, view);
    const std::string before = platform::CurrentDir();
    const unsigned long start = platform::TickCount();
    EXPECT_TRUE(Steps::ExecuteBatch(worker));
    const unsigned long took = platform::TickCount() - start;
    platform::SetCurrentDir(before);
    EXPECT_LT(took, 30000ul) << "the line was awaited to its end";
    EXPECT_EQ(ReadFileBytes(installFolder + "\\next.txt"), "next\r\n");
    EXPECT_EQ(Steps::Pending(worker).Position(), 2);
    EXPECT_FALSE(platform::FileExists(batch));
    // The program the interpreter started went with it.
    const unsigned long pid = std::strtoul(ReadFileBytes(installFolder + "\\sleeper.pid").c_str(), nullptr, 10);
    ASSERT_NE(pid, 0ul) << "the sleeper did not start";
    platform::Handle sleeper = platform::OpenProcessForTermination(pid);
    if (sleeper.Valid()) {
        EXPECT_EQ(platform::WaitFor(sleeper, 5000), 0ul) << "the sleeper still runs";
    }
}

TEST_F(WorkerTest, BatchLinesLongerThanACommandLineAreSkipped) {
    ASSERT_TRUE(platform::ForceDirectories(installFolder));
    const std::string batch = installFolder + "\\LiveUpdate.bat";
    {
        // A line just past the limit that would write if it were cut; then 4 MiB of one line;
        // the lines around them run.
        std::ofstream out(batch, std::ios::binary);
        out << "echo first>>out.txt\r\n";
        out << "echo cut>>out.txt & rem " << std::string(kLongestBatchLine, 'x') << "\r\n";
        out << std::string(4 << 20, 'y') << "\n";
        out << "echo last>>out.txt";
    }
    TLiveUpdate settings("KestrumLiveUpdate.exe");
    Prepare(settings, "http://unused/");
    RecordingView view;
    TThreadLiveUpdate worker(settings, view);
    const std::string before = platform::CurrentDir();
    // Read as a stream, the file never needs a block of memory near its size.
    LimitAllocationSize(1 << 20);
    bool ran = false;
    try {
        ran = Steps::ExecuteBatch(worker);
    } catch (const std::bad_alloc&) {
    }
    LiftAllocationLimit();
    platform::SetCurrentDir(before);
    ASSERT_TRUE(ran) << "the batch step took memory in proportion to its longest line";
    EXPECT_EQ(ReadFileBytes(installFolder + "\\out.txt"), "first\r\nlast\r\n");
    EXPECT_EQ(Steps::Pending(worker).Position(), 4) << "skipped lines count on the bar";
    EXPECT_EQ(Steps::Pending(worker).Maximum(), 4);
    EXPECT_FALSE(platform::FileExists(batch));
}
