// The uninstall chain under Wine: what an install recorded is deleted, files in use are scheduled
// for the next start of Windows, and the result is reported to the notice address.
#include "WorkerFixture.h"

#include "http/HttpClient.h"
#include "platform/SocketTransport.h"

namespace {

const char* const kRunOnce = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// The key list that the install registers after "/uninstall".
const char* const kKeyList =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Pluvion,"
    "HKEY_CURRENT_USER\\Software\\Kestrum\\Pluvion";

void ClearPendingDeletes() {
    platform::RegKey key;
    if (!key.Open(rootkey::LocalMachine, kRunOnce, false)) return;
    for (const std::string& name : key.ValueNames())
        if (name.find("KestrumLU_DEL_") != std::string::npos || name.find("Setup_") != std::string::npos)
            key.DeleteValue(name);
}

// Points the user's Desktop and Programs menu at folders of the test's own while it lives.
class ShellFoldersAt {
public:
    explicit ShellFoldersAt(const std::string& root) {
        platform::RegKey key;
        key.Open(rootkey::CurrentUser, kShellFolders, true);
        for (const char* name : {"Desktop", "Programs"}) {
            saved_.push_back(key.ReadString(name));
            platform::ForceDirectories(root + "\\" + name);
            key.WriteString(name, root + "\\" + name);
        }
    }
    ~ShellFoldersAt() {
        platform::RegKey key;
        key.Open(rootkey::CurrentUser, kShellFolders, true);
        key.WriteString("Desktop", saved_[0]);
        key.WriteString("Programs", saved_[1]);
    }
    static constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

private:
    std::vector<std::string> saved_;
};

std::string Notices() {
    http::HttpClient client(platform::MakeSocketTransport());
    client.SetReadTimeout(5000);
    return client.Get(WorkerTest_ServerUrl("notices", ""));
}

}  // namespace

class UninstallTest : public WorkerTest {
protected:
    void SetUp() override {
        WorkerTest::SetUp();
        ClearPendingDeletes();
    }
    void TearDown() override {
        ClearPendingDeletes();
        WorkerTest::TearDown();
    }

    // An install with its finishing operations, as a user's run leaves it.
    void Install() {
        TLiveUpdate settings("KestrumLiveUpdate.exe");
        Prepare(settings, ServerUrl("pkg", "nobatch.zip"));
        RecordingView view;
        TThreadLiveUpdate worker(settings, view);
        worker.DiscoverProxy = [](std::string&, int&) { return false; };
        RunToEnd(worker);
        ASSERT_EQ(view.finishes.size(), 1u);
        ASSERT_EQ(view.finishes[0].kind, 2) << view.finishes[0].message;
        ASSERT_EQ(RunChild("finish", "\"" + installFolder + "\" 1"), 0);
    }

    // The uninstall mode's settings, as the registered uninstall command gives them.
    void UninstallMode(TLiveUpdate& settings) {
        settings.LanguageTable = &language;
        settings.UninstallFlag = true;
        settings.SetApplicationKeys(kKeyList);
    }

    void SetNotice(const std::string& url) {
        platform::RegKey key;
        ASSERT_TRUE(key.Open(HKCU, "Software\\Kestrum\\Pluvion", true));
        key.WriteString("UnistallNotice", url);
    }
};

TEST_F(UninstallTest, RemovesWhatTheInstallRecordedAndReportsTrue) {
    // A Desktop and a Programs menu that hold nothing but what the install puts there.
    ShellFoldersAt shell(scratch + "\\user");
    Install();
    platform::RegKey folders;
    ASSERT_TRUE(folders.OpenReadOnly(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"));
    const std::string menu = folders.ReadString("Programs") + "\\Veltrona";
    const std::string desktopLink = folders.ReadString("Desktop") + "\\Pluvion.lnk";
    ASSERT_TRUE(platform::FileExists(desktopLink));
    {
        platform::RegKey run;
        ASSERT_TRUE(run.Open(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", true));
        run.WriteString("SomethingElse", "keep");
    }
    SetNotice(ServerUrl("notice", "ok1?result="));

    TLiveUpdate settings("KestrumLiveUpdate.exe");
    UninstallMode(settings);
    RecordingView view;
    TThreadLiveUpdate worker(settings, view);
    RunToEnd(worker);

    ASSERT_EQ(view.finishes.size(), 1u);
    EXPECT_EQ(view.finishes[0].message, language.S_UninstallMessage);
    EXPECT_EQ(view.finishes[0].kind, 2);
    EXPECT_EQ(ExitCode.load(), 0);
    EXPECT_TRUE(view.restartVisible);
    EXPECT_EQ(view.finishLabelTop, std::vector<std::string>{language.S_UninstallComplete});
    EXPECT_EQ(view.labels, (std::vector<std::string>{language.S_UninstallFiles, language.S_UninstallRegistries}));
    EXPECT_EQ(Steps::Overall(worker).Maximum(), 2);
    EXPECT_EQ(Steps::Overall(worker).Position(), 2);

    // Every file, the folders the package brought, the install folder and the brand folder.
    EXPECT_FALSE(platform::DirectoryExists(installFolder));
    EXPECT_TRUE(platform::DirectoryExists(scratch + "\\Program Files\\Veltrona")) << "folders above stay";
    EXPECT_FALSE(platform::FileExists(desktopLink));
    EXPECT_FALSE(platform::DirectoryExists(menu));
    // Folders the install did not make stay, even when the uninstall left them empty.
    EXPECT_TRUE(platform::DirectoryExists(scratch + "\\user\\Desktop")) << "the Desktop stays";
    EXPECT_TRUE(platform::DirectoryExists(scratch + "\\user\\Programs")) << "the Programs menu stays";
    // The registry: the application key with its subkey, the Run value (not the Run key), the entry.
    EXPECT_FALSE(platform::KeyExists(HKCU, "Software\\Kestrum\\Pluvion"));
    EXPECT_FALSE(platform::KeyExists(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pluvion"));
    platform::RegKey run;
    ASSERT_TRUE(run.Open(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", false));
    EXPECT_FALSE(run.ValueExists("Pluvion"));
    EXPECT_EQ(run.ReadString("SomethingElse"), "keep");
    run.DeleteValue("SomethingElse");
    platform::RegKey runOnce;
    if (runOnce.OpenReadOnly(HKLM, kRunOnce)) {
        for (const std::string& name : runOnce.ValueNames())
            EXPECT_EQ(name.find("KestrumLU_DEL_"), std::string::npos) << "nothing was in use";
    }
    EXPECT_EQ(Notices().find("/notice/ok1?result=true\n") != std::string::npos, true) << Notices();
}

TEST_F(UninstallTest, AFileInUseIsScheduledAndFailuresReportFalse) {
    Install();
    const std::string held = installFolder + "\\a.txt";
    const std::string ready = scratch + "\\ready";
    const std::string release = scratch + "\\release";
    platform::Handle locker = StartChild("locker", "\"" + held + "\" \"" + ready + "\" \"" + release + "\"");
    ASSERT_TRUE(locker.Valid());
    for (int i = 0; i < 400 && !platform::FileExists(ready); ++i) platform::SleepMs(50);
    SetNotice(ServerUrl("notice", "busy?result="));

    TLiveUpdate settings("KestrumLiveUpdate.exe");
    UninstallMode(settings);
    RecordingView view;
    TThreadLiveUpdate worker(settings, view);
    RunToEnd(worker);
    std::ofstream(release) << "go";
    platform::WaitFor(locker, 20000);

    ASSERT_EQ(view.finishes.size(), 1u);
    EXPECT_EQ(view.finishes[0].kind, 2);
    platform::RegKey runOnce;
    ASSERT_TRUE(runOnce.OpenReadOnly(HKLM, kRunOnce));
    EXPECT_EQ(runOnce.ReadString("KestrumLU_DEL_1"), "CMD.EXE /C DEL \"" + held + "\"");
    EXPECT_TRUE(platform::FileExists(held));
    EXPECT_NE(Notices().find("/notice/busy?result=true\n"), std::string::npos);

    // A chain that raises reports "false" and nothing else: here the platform query fails at the
    // start of the file step, so nothing is deleted.
    Install();
    platform::Handle locker2 = StartChild("locker", "\"" + held + "\" \"" + ready + "2\" \"" + release + "2\"");
    for (int i = 0; i < 400 && !platform::FileExists(ready + "2"); ++i) platform::SleepMs(50);
    SetNotice(ServerUrl("notice", "broken?result="));
    TLiveUpdate failing("KestrumLiveUpdate.exe");
    UninstallMode(failing);
    RecordingView view2;
    TThreadLiveUpdate worker2(failing, view2);
    worker2.GetPlatformId = []() -> unsigned long { throw std::runtime_error("platform query failed"); };
    RunToEnd(worker2);
    std::ofstream(release + "2") << "go";
    platform::WaitFor(locker2, 20000);
    ASSERT_EQ(view2.finishes.size(), 1u);
    EXPECT_EQ(view2.finishes[0].message, language.S_UnknownError + "\r\nplatform query failed");
    EXPECT_EQ(view2.finishes[0].kind, 0);
    EXPECT_EQ(ExitCode.load(), 1);
    const std::string notices = Notices();
    EXPECT_NE(notices.find("/notice/broken?result=false\n"), std::string::npos) << notices;
    EXPECT_EQ(notices.find("/notice/broken?result=true"), std::string::npos) << notices;
    EXPECT_TRUE(platform::FileExists(installFolder + "\\Pluvion.exe"));
    EXPECT_TRUE(platform::KeyExists(HKCU, "Software\\Kestrum\\Pluvion\\Uninstall"));
}

TEST_F(UninstallTest, ScheduledDeletionsAreNumberedAfterTheOthers) {
    const std::string file = scratch + "\\dir\\in use.dat";
    ASSERT_TRUE(platform::ForceDirectories(scratch + "\\dir"));
    std::ofstream(file) << "x";
    TLiveUpdate settings("KestrumLiveUpdate.exe");
    settings.LanguageTable = &language;
    RecordingView view;
    TThreadLiveUpdate worker(settings, view);

    platform::RegKey key;
    ASSERT_TRUE(key.Open(HKLM, kRunOnce, true));
    key.WriteString("KestrumLU_DEL_1", "CMD.EXE /C DEL \"C:\\other1\"");
    key.WriteString("KestrumLU_DEL_2", "CMD.EXE /C DEL \"C:\\other2\"");
    // A doubled backslash inside the path is written once.
    const std::string doubled = scratch + "\\dir\\\\in use.dat";
    Steps::DeleteOnReboot(worker, doubled);
    EXPECT_EQ(key.ReadString("KestrumLU_DEL_3"), "CMD.EXE /C DEL \"" + file + "\"");
    Steps::DeleteOnReboot(worker, file);  // the same command again reuses its number
    EXPECT_FALSE(key.ValueExists("KestrumLU_DEL_4"));
    key.WriteString("Setup_9", "foreign");
    Steps::DeleteOnReboot(worker, scratch + "\\dir\\in use.dat\\..\\in use.dat");  // another text: a new number
    EXPECT_TRUE(key.ValueExists("KestrumLU_DEL_10"));
    Steps::DeleteOnReboot(worker, scratch + "\\missing.dat");  // no file: nothing scheduled
    EXPECT_FALSE(key.ValueExists("KestrumLU_DEL_11"));

    // The older family runs COMMAND.COM with the short form of the path.
    ClearPendingDeletes();
    worker.GetPlatformId = [] { return 1ul; };
    Steps::DeleteOnReboot(worker, file);
    const std::string command = key.ReadString("KestrumLU_DEL_1");
    EXPECT_EQ(command, "COMMAND.COM /C DEL \"" + platform::ShortPathName(file) + "\"");
    EXPECT_EQ(command.find("in use"), std::string::npos) << "no blank survives in the short form";

    EXPECT_EQ(CollapseBackslashes("C:\\dir\\\\file.dat"), "C:\\dir\\file.dat");
    EXPECT_EQ(CollapseBackslashes("\\\\server\\\\\\share"), "\\server\\share");
    EXPECT_EQ(CollapseBackslashes("plain"), "plain");
}

TEST_F(UninstallTest, RegistryPathsDeleteKeysOrOneValueButNeverATopLevelName) {
    TLiveUpdate settings("KestrumLiveUpdate.exe");
    settings.LanguageTable = &language;
    RecordingView view;
    TThreadLiveUpdate worker(settings, view);
    {
        platform::RegKey key;
        ASSERT_TRUE(key.Open(HKCU, "Software\\Kestrum\\Pluvion\\Uninstall\\Deeper", true));
        key.WriteString("v", "1");
        platform::RegKey app;
        ASSERT_TRUE(app.Open(HKCU, "Software\\Kestrum\\Pluvion", true));
        app.WriteString("Keep", "x");
    }
    Steps::DeleteRegistryPath(worker, "Software", HKCU);
    Steps::DeleteRegistryPath(worker, "\\Software\\Kestrum", HKCU);
    EXPECT_TRUE(platform::KeyExists(HKCU, "Software\\Kestrum\\Pluvion\\Uninstall\\Deeper"));
    Steps::DeleteRegistryPath(worker, "Software\\Kestrum\\Pluvion\\Keep", HKCU);  // a value
    platform::RegKey app;
    ASSERT_TRUE(app.OpenReadOnly(HKCU, "Software\\Kestrum\\Pluvion"));
    EXPECT_FALSE(app.ValueExists("Keep"));
    app.Close();
    Steps::DeleteRegistryPath(worker, "Software\\Kestrum\\Pluvion", HKCU);
    EXPECT_FALSE(platform::KeyExists(HKCU, "Software\\Kestrum\\Pluvion"));
    EXPECT_TRUE(platform::KeyExists(HKCU, "Software\\Kestrum"));

    // The uninstall entry named under the application key, on either family's root.
    for (unsigned long id : {2ul, 1ul}) {
        const platform::RootKey root = id == 2 ? HKCU : HKLM;
        platform::RegKey entry;
        ASSERT_TRUE(entry.Open(root, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PluvionTest", true));
        entry.Close();
        platform::RegKey sub;
        ASSERT_TRUE(sub.Open(HKCU, "Software\\Kestrum\\Pluvion\\Uninstall", true));
        sub.WriteString("UninstallKey", "PluvionTest");
        worker.GetPlatformId = [id] { return id; };
        Steps::DeleteUninstallEntry(worker, "Software\\Kestrum\\Pluvion", HKCU);
        EXPECT_FALSE(platform::KeyExists(root, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PluvionTest"));
    }
    // An empty name never takes the whole list of programs with it.
    platform::RegKey sub;
    ASSERT_TRUE(sub.Open(HKCU, "Software\\Kestrum\\Pluvion\\Uninstall", true));
    sub.WriteString("UninstallKey", "");
    worker.GetPlatformId = [] { return 2ul; };
    Steps::DeleteUninstallEntry(worker, "Software\\Kestrum\\Pluvion", HKCU);
    EXPECT_TRUE(platform::KeyExists(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
}

TEST_F(UninstallTest, NoNoticeWithoutAnAddress) {
    // Without the value nothing is sent; the install writes none.
    TLiveUpdate settings("KestrumLiveUpdate.exe");
    UninstallMode(settings);
    RecordingView view;
    TThreadLiveUpdate worker(settings, view);
    EXPECT_EQ(Steps::UninstallNoticeURL(worker), "");
    const std::string before = Notices();
    RunToEnd(worker);
    ASSERT_EQ(view.finishes.size(), 1u);
    EXPECT_EQ(view.finishes[0].kind, 2);
    EXPECT_EQ(Notices(), before);
}
