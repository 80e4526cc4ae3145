// The package unpacked during its download, through the whole install chain: a package served
// slowly installs what the usual unpacking after the download installs, with the same events;
// a package whose local headers and directory disagree ends as it always did.
#include "HostileFixture.h"
#include "hostile/HostileArchives.h"

namespace {

using hostilerun::HostileTest;
using hostilerun::Row;
using hostilerun::Snapshot;

// What one install left and showed.
struct Outcome {
    std::map<std::string, std::string> installed;
    std::vector<std::string> labels;
    std::vector<RecordingView::Bar> overall;
    std::vector<RecordingView::Bar> afterUnpacking;  // the pending bar from the step after it
    std::vector<RecordingView::Bar> unpacking;       // the pending bar during the decompression step
    std::string message;
    std::string uninstallFiles;
    bool early = false;
};

class EarlyUnpackTest : public WorkerTest {
protected:
    Outcome Install(const std::string& url) {
        TLiveUpdate settings("KestrumLiveUpdate.exe");
        Prepare(settings, url);
        RecordingView view;
        Outcome outcome;
        {
            TThreadLiveUpdate worker(settings, view);
            worker.DiscoverProxy = [](std::string&, int&) { return false; };
            RunToEnd(worker);
            outcome.early = Steps::UnpackedEarly(worker);
        }
        outcome.installed = Snapshot(installFolder);
        outcome.labels = view.labels;
        outcome.overall = view.overall;
        // The decompression step's bar runs from 0 of 100 to its end; the download's before it
        // differs with the answer (a length or none), the next step's bar follows it.
        std::size_t at = 0;
        while (at < view.pending.size() && !(view.pending[at].position == 0 && view.pending[at].maximum == 100)) ++at;
        for (; at < view.pending.size() && view.pending[at].maximum == 100; ++at) outcome.unpacking.push_back(view.pending[at]);
        outcome.afterUnpacking.assign(view.pending.begin() + static_cast<std::ptrdiff_t>(at), view.pending.end());
        if (view.finishes.size() == 1) outcome.message = view.finishes[0].message;
        outcome.uninstallFiles = AppValue("\\Uninstall", "Files");
        EXPECT_FALSE(platform::FileExists(settings.TempFolder + "\\pluvionfull.zip"));
        EXPECT_TRUE(settings.WorkFolderName.empty() || !platform::DirectoryExists(settings.TempFolder + "\\" +
                                                                                  settings.WorkFolderName));
        platform::SetCurrentDir(platform::TempDirectory());  // the batch step left it in the install folder
        platform::RemoveFolderTree(installFolder);
        CleanRegistry();
        return outcome;
    }
};

bool SameBars(const std::vector<RecordingView::Bar>& a, const std::vector<RecordingView::Bar>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].position != b[i].position || a[i].maximum != b[i].maximum) return false;
    }
    return true;
}

TEST_F(EarlyUnpackTest, APackageServedSlowlyInstallsWhatTheUsualUnpackingInstalls) {
    // Without a length there is no early pass: the package is unpacked after its download.
    const Outcome usual = Install(ServerUrl("nolength", "close-0/pluvionfull.zip"));
    const Outcome slow = Install(ServerUrl("slow", "pluvionfull.zip"));
    EXPECT_FALSE(usual.early);
    EXPECT_TRUE(slow.early);
    EXPECT_EQ(usual.message, language.S_Successfull);
    EXPECT_EQ(slow.message, usual.message);
    EXPECT_GE(usual.installed.size(), 5u);
    EXPECT_TRUE(slow.installed == usual.installed) << "the installed files differ";
    EXPECT_EQ(slow.uninstallFiles, usual.uninstallFiles);
    EXPECT_EQ(slow.labels, usual.labels);
    EXPECT_TRUE(SameBars(slow.overall, usual.overall));
    EXPECT_TRUE(SameBars(slow.afterUnpacking, usual.afterUnpacking));
    // The decompression bar may move in other steps, but forward only, to its end.
    ASSERT_FALSE(slow.unpacking.empty());
    EXPECT_EQ(slow.unpacking.back().position, 100);
    for (std::size_t i = 1; i < slow.unpacking.size(); ++i) {
        EXPECT_GE(slow.unpacking[i].position, slow.unpacking[i - 1].position);
    }
}

// The local header names another file than the directory: the early pass writes it, the
// confirmation refuses it, and the usual unpacking fails the package as before.
TEST_F(HostileTest, ALocalNameTheDirectoryDoesNotGiveEndsAsWithoutTheEarlyPass) {
    const hostile::ArchiveCase c =
        hostile::LocalDiffers("local name differs", [](std::string& a) { a[zip::kLocalHeaderSize] = 'b'; });
    int runs = 0;
    afterRun = [&runs](TThreadLiveUpdate& worker) {
        ++runs;
        EXPECT_FALSE(Steps::UnpackedEarly(worker));
    };
    RunRows({{c.label + ", served slowly", "slow", c.archive, language.S_ZipEmpty, ""},
             {c.label, "pkg", c.archive, language.S_ZipEmpty, ""}});
    EXPECT_EQ(runs, 2);
}

}  // namespace
