// The copy step over an installed version: destinations that would change kind stop it before
// anything is moved, and a hidden run answers the retry question itself.
#include "WorkerFixture.h"

class CopyChecksTest : public WorkerTest {
protected:
    // One run of a package: nobatch.zip (Pluvion.exe, a.txt, sub\b.dll, data\deep\weather.dat) unless named.
    void Install(TLiveUpdate& settings, RecordingView& view, const std::function<void(TThreadLiveUpdate&)>& tune = {},
                 const char* package = "nobatch.zip") {
        Prepare(settings, ServerUrl("pkg", package));
        TThreadLiveUpdate worker(settings, view);
        worker.DiscoverProxy = [](std::string&, int&) { return false; };
        if (tune) tune(worker);
        RunToEnd(worker);
    }
};

TEST_F(CopyChecksTest, AKindConflictFailsAtOnceWithTheNamesAndMovesNothing) {
    struct Case {
        const char* what;
        std::vector<const char*> folders;  // made below the install folder before the run
        std::vector<const char*> files;
        std::string named;                 // the names the failure gives, after S_CopyError
    };
    const Case cases[] = {
        {"a package file named like an installed folder", {"\\a.txt\\inner"}, {}, "\r\n\\a.txt"},
        {"a package folder named like an installed file", {}, {"\\sub"}, "\r\n\\sub"},
        {"both, deep", {"\\data\\deep\\weather.dat"}, {"\\sub"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::RemoveFolderTree(installFolder);
        ASSERT_TRUE(platform::ForceDirectories(installFolder));
        for (const char* folder : c.folders) ASSERT_TRUE(platform::ForceDirectories(installFolder + folder));
        for (const char* file : c.files) std::ofstream(installFolder + file) << "installed";
        TLiveUpdate settings("KestrumLiveUpdate.exe");
        RecordingView view;
        Install(settings, view);

        ASSERT_EQ(view.finishes.size(), 1u);
        const std::string& message = view.finishes[0].message;
        EXPECT_EQ(message.substr(0, language.S_CopyError.size()), language.S_CopyError);
        if (!c.named.empty()) {
            // The name is the full destination path.
            std::string expected = c.named;
            expected.insert(2, installFolder);
            EXPECT_EQ(message.substr(language.S_CopyError.size()), expected);
        } else {
            EXPECT_NE(message.find("\r\n" + installFolder + "\\data\\deep\\weather.dat"), std::string::npos) << message;
            EXPECT_NE(message.find("\r\n" + installFolder + "\\sub"), std::string::npos) << message;
        }
        EXPECT_EQ(ExitCode.load(), 1);
        EXPECT_TRUE(view.retryQuestions.empty()) << "no retry: retrying cannot help";
        // Nothing moved, nothing registered, nothing left in the temporary folder.
        EXPECT_FALSE(platform::FileExists(installFolder + "\\Pluvion.exe"));
        EXPECT_FALSE(platform::FileExists(installFolder + "\\sub\\b.dll"));
        EXPECT_EQ(AppValue("\\Uninstall", "Files"), "<no key>");
        EXPECT_FALSE(platform::DirectoryExists(settings.TempFolder + "\\" + settings.WorkFolderName));
        for (const char* file : c.files) EXPECT_EQ(ReadFileBytes(installFolder + file), "installed");
        for (const char* folder : c.folders) EXPECT_TRUE(platform::DirectoryExists(installFolder + folder));
    }
}

// A destination held open without sharing by another process can never be placed: a hidden run
// retries three times, 5 s apart, and fails as a Cancel does, without a question.
TEST_F(CopyChecksTest, AHiddenRunRetriesThreeTimesThenFailsWithoutAsking) {
    ASSERT_TRUE(platform::ForceDirectories(installFolder));
    const std::string locked = installFolder + "\\a.txt";
    std::ofstream(locked, std::ios::binary) << "old";
    const std::string ready = scratch + "\\ready", release = scratch + "\\release";
    platform::Handle locker = StartChild("locker", "\"" + locked + "\" \"" + ready + "\" \"" + release + "\"");
    ASSERT_TRUE(locker.Valid());
    ASSERT_TRUE(WaitForFile(ready, 20000));

    TLiveUpdate settings("KestrumLiveUpdate.exe /HIDE");
    RecordingView view;
    std::vector<unsigned long> pauses;
    Install(settings, view, [&](TThreadLiveUpdate& worker) {
        worker.PauseMs = [&](unsigned long ms) { pauses.push_back(ms); };
    });
    std::ofstream(release) << "go";
    platform::WaitFor(locker, 20000);

    EXPECT_TRUE(view.retryQuestions.empty());
    EXPECT_EQ(pauses, (std::vector<unsigned long>{5000, 5000, 5000}));
    ASSERT_EQ(view.finishes.size(), 1u);
    EXPECT_EQ(view.finishes[0].message, language.S_CopyError);
    EXPECT_EQ(ExitCode.load(), 1);
    EXPECT_EQ(ReadFileBytes(locked), "old");
    EXPECT_EQ(AppValue("\\Uninstall", "Files"), "<no key>");
}

// A package folder missing at the destination arrives whole, beside an installed folder that
// keeps what it holds; the files are listed for the uninstall one by one, in the usual order.
TEST_F(CopyChecksTest, MissingFoldersArriveWholeBesideInstalledOnes) {
    ASSERT_TRUE(platform::ForceDirectories(installFolder + "\\data"));
    std::ofstream(installFolder + "\\data\\kept.txt", std::ios::binary) << "installed";
    std::ofstream(installFolder + "\\a.txt", std::ios::binary) << "old";
    TLiveUpdate settings("KestrumLiveUpdate.exe");
    RecordingView view;
    Install(settings, view);

    ASSERT_EQ(view.finishes.size(), 1u);
    EXPECT_EQ(view.finishes[0].message, language.S_Successfull);
    EXPECT_EQ(ReadFileBytes(installFolder + "\\data\\kept.txt"), "installed");
    EXPECT_EQ(ReadFileBytes(installFolder + "\\data\\deep\\weather.dat").size(), 16384u);
    EXPECT_EQ(ReadFileBytes(installFolder + "\\sub\\b.dll").size(), 1300u);
    EXPECT_EQ(ReadFileBytes(installFolder + "\\a.txt"), "alpha\r\n");
    std::string files;
    for (const char* f : {"\\data\\deep\\weather.dat", "\\sub\\b.dll", "\\a.txt", "\\Pluvion.exe"})
        files += installFolder + f + ";";
    EXPECT_EQ(AppValue("\\Uninstall", "Files").substr(0, files.size()), files);
    EXPECT_FALSE(platform::DirectoryExists(settings.TempFolder + "\\" + settings.WorkFolderName));
}

// One folder spelled in several letter cases arrives once, with every file of every spelling.
TEST_F(CopyChecksTest, AFolderSpelledInSeveralCasesArrivesWithEveryFile) {
    TLiveUpdate settings("KestrumLiveUpdate.exe");
    RecordingView view;
    Install(settings, view, {}, "cases.zip");
    ASSERT_EQ(view.finishes.size(), 1u);
    EXPECT_EQ(view.finishes[0].message, language.S_Successfull);
    EXPECT_EQ(ReadFileBytes(installFolder + "\\data\\one.txt"), "one\r\n");
    EXPECT_EQ(ReadFileBytes(installFolder + "\\data\\two.txt"), "two\r\n");
    EXPECT_EQ(ReadFileBytes(installFolder + "\\data\\deep\\three.txt"), "three\r\n");
    EXPECT_EQ(ReadFileBytes(installFolder + "\\data\\deep\\four.txt"), "four\r\n");
    EXPECT_TRUE(view.retryQuestions.empty());
    EXPECT_FALSE(platform::DirectoryExists(settings.TempFolder + "\\" + settings.WorkFolderName));
}
