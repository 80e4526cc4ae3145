// The install chain end to end under Wine: download from the scripted server, unpack, place,
// configure, clean up and register; then the finishing operations.
#include "WorkerFixture.h"

namespace {
const char* const kSixDataFiles[] = {"\\ad.gif", "\\ad.xml", "\\id.xml", "\\obs.xml", "\\reg.xml", "\\PluvionApp.log"};
}

TEST_F(WorkerTest, InstallsAPackageThenFinishesAndUpdatesWithoutDuplicates) {
    TLiveUpdate settings("KestrumLiveUpdate.exe");
    Prepare(settings, ServerUrl("pkg", "pluvionfull.zip"));
    RecordingView view;
    TThreadLiveUpdate worker(settings, view);
    worker.DiscoverProxy = [](std::string&, int&) { return false; };
    bool preparedAtResult = false;
    view.onShowFinish = [&] { preparedAtResult = worker.WaitPrepared(0); };
    RunToEnd(worker);
    EXPECT_TRUE(preparedAtResult);
    EXPECT_EQ(view.ends, 1);
    EXPECT_EQ(view.finishesAtEnd, 1u) << "the end notice comes after the result";

    ASSERT_EQ(view.finishes.size(), 1u) << view.finishes[0].message;
    EXPECT_EQ(view.finishes[0].message, language.S_Successfull);
    EXPECT_EQ(view.finishes[0].kind, 2);
    EXPECT_EQ(ExitCode.load(), 0);
    EXPECT_TRUE(view.createDesktopVisible);
    EXPECT_EQ(view.labelTop, std::vector<std::string>{language.S_LabelTopComplete});
    EXPECT_EQ(view.labels, (std::vector<std::string>{language.S_Download, language.S_Unzip, language.S_Kill,
                                                     language.S_Copy, language.S_ExecBatch, language.S_Delete}));
    EXPECT_EQ(Steps::Overall(worker).Position(), 5) << "six steps on a bar of five: held full";

    // Files in place, subfolders included; the batch ran its three lines in order and is gone.
    EXPECT_EQ(ReadFileBytes(installFolder + "\\a.txt"), "alpha\r\n");
    EXPECT_EQ(ReadFileBytes(installFolder + "\\sub\\b.dll").size(), 1300u);
    EXPECT_EQ(ReadFileBytes(installFolder + "\\data\\deep\\weather.dat").size(), 16384u);
    EXPECT_EQ(ReadFileBytes(installFolder + "\\order.log"), "first\r\nsecond\r\nthird\r\n");
    EXPECT_FALSE(platform::FileExists(installFolder + "\\LiveUpdate.bat"));

    // Nothing left in the temporary folder.
    EXPECT_EQ(settings.ExtractedFiles.Count(), 0);
    EXPECT_EQ(settings.WorkFolderName.size(), 38u);
    EXPECT_FALSE(platform::DirectoryExists(settings.TempFolder + "\\" + settings.WorkFolderName));
    EXPECT_FALSE(platform::FileExists(settings.TempFolder + "\\pluvionfull.zip"));

    // The registry layout.
    EXPECT_EQ(AppValue("", "UserName"), "");
    EXPECT_EQ(AppValue("", "PlaceCode"), "");
    EXPECT_EQ(AppValue("", "Language"), "EN");
    EXPECT_EQ(AppValue("", "DownloadLocation"), "VLT");
    EXPECT_EQ(AppValue("", "ProxyInfo"), "");
    {
        platform::RegKey key;
        ASSERT_TRUE(key.OpenReadOnly(HKCU, "Software\\Kestrum\\Pluvion"));
        std::uint32_t useProxy = 7;
        EXPECT_TRUE(key.TryReadInteger("UseProxy", useProxy)) << "a DWORD value";
        EXPECT_EQ(useProxy, 0u);
    }
    EXPECT_EQ(AppValue("\\Uninstall", "UninstallKey"), "Pluvion");
    // Installed files in the order they were placed (last extracted first), then the six.
    std::string files;
    for (const char* f : {"\\LiveUpdate.bat", "\\data\\deep\\weather.dat", "\\sub\\b.dll", "\\a.txt", "\\Pluvion.exe"})
        files += installFolder + f + ";";
    for (const char* f : kSixDataFiles) files += installFolder + f + ";";
    EXPECT_EQ(AppValue("\\Uninstall", "Files"), files);

    // The finishing operations, as the window runs them at close (in a process of their own: the
    // shell keeps the folders of a link it saved busy while the process lives).
    ASSERT_EQ(RunChild("finish", "\"" + installFolder + "\" 1"), 0);
    platform::RegKey folders;
    ASSERT_TRUE(folders.OpenReadOnly(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"));
    const std::string menu = folders.ReadString("Programs") + "\\Veltrona";
    const std::string desktop = folders.ReadString("Desktop");
    const std::string menuLink = menu + "\\Pluvion.lnk";
    const std::string desktopLink = desktop + "\\Pluvion.lnk";
    const std::string uninstallLink = menu + "\\Uninstall Pluvion.lnk";
    platform::ShellLink::Contents link;
    ASSERT_TRUE(platform::ShellLink::Read(menuLink, link));
    EXPECT_TRUE(SameTextNoCase(link.path, installFolder + "\\Pluvion.exe")) << link.path;
    EXPECT_EQ(link.arguments, "");
    EXPECT_TRUE(SameTextNoCase(link.workingDirectory, installFolder)) << link.workingDirectory;
    ASSERT_TRUE(platform::ShellLink::Read(desktopLink, link));
    EXPECT_TRUE(SameTextNoCase(link.path, installFolder + "\\Pluvion.exe"));
    ASSERT_TRUE(platform::ShellLink::Read(uninstallLink, link));
    EXPECT_TRUE(SameTextNoCase(link.path, installFolder + "\\KestrumLiveUpdate.exe")) << link.path;
    const std::string arguments =
        "/language ENGLISH /uninstall HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Pluvion,"
        "HKEY_CURRENT_USER\\Software\\Kestrum\\Pluvion";
    EXPECT_EQ(link.arguments, arguments);
    EXPECT_TRUE(SameTextNoCase(link.workingDirectory, installFolder));

    platform::RegKey run;
    ASSERT_TRUE(run.OpenReadOnly(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"));
    EXPECT_EQ(run.ReadString("Pluvion"), "\"" + installFolder + "\\Pluvion.exe\"");
    platform::RegKey entry;
    ASSERT_TRUE(entry.OpenReadOnly(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pluvion"));
    EXPECT_EQ(entry.ReadString("DisplayName"), "Pluvion");
    EXPECT_EQ(entry.ReadString("UninstallString"), "\"" + installFolder + "\\KestrumLiveUpdate.exe\" " + arguments);
    EXPECT_EQ(entry.ReadString("QuietUninstallString"),
              "\"" + installFolder + "\\KestrumLiveUpdate.exe\" " + arguments + " /HIDE");
    EXPECT_EQ(entry.ReadString("InstallLocation"), installFolder);
    EXPECT_EQ(entry.ReadString("DisplayIcon"), installFolder + "\\Pluvion.exe");
    EXPECT_EQ(entry.ReadString("Publisher"), "Veltrona");
    std::uint32_t n = 0;
    EXPECT_TRUE(entry.TryReadInteger("NoModify", n) && n == 1);
    EXPECT_TRUE(entry.TryReadInteger("NoRepair", n) && n == 1);
    files += menuLink + ";" + desktopLink + ";" + uninstallLink + ";";
    // The files that exist: 25 + 7 + 1300 + 16384 bytes of the package, and the three links.
    std::uint64_t bytes = 25 + 7 + 1300 + 16384;
    for (const std::string& f : {menuLink, desktopLink, uninstallLink}) {
        std::uint64_t size = 0;
        ASSERT_TRUE(platform::FileSize(f, size));
        bytes += size;
    }
    EXPECT_TRUE(entry.TryReadInteger("EstimatedSize", n));
    EXPECT_EQ(n, (bytes + 1023) / 1024);
    EXPECT_EQ(AppValue("\\Uninstall", "Files"), files);

    // An update: "A.TXT" differs only in letter case and adds nothing; "new.txt" is added.
    TLiveUpdate again("KestrumLiveUpdate.exe");
    Prepare(again, ServerUrl("pkg", "second.zip"));
    RecordingView view2;
    TThreadLiveUpdate worker2(again, view2);
    worker2.DiscoverProxy = [](std::string&, int&) { return false; };
    RunToEnd(worker2);
    ASSERT_EQ(view2.finishes.size(), 1u);
    EXPECT_EQ(view2.finishes[0].kind, 2) << view2.finishes[0].message;
    EXPECT_EQ(AppValue("\\Uninstall", "Files"), files + installFolder + "\\new.txt;");
    EXPECT_EQ(view2.labels.size(), 5u) << "no batch file: no configuration step";

    // Without the desktop shortcut, two more links at most (they are there already).
    platform::RemoveFile(desktopLink);
    ASSERT_EQ(RunChild("finish", "\"" + installFolder + "\" 0"), 0);
    EXPECT_FALSE(platform::FileExists(desktopLink));
    EXPECT_TRUE(platform::FileExists(menuLink));
    {
        // The size counts every listed file that is there, asked of the system file by file here
        // (the listed files that are not there, the application's own and the removed desktop
        // link, add nothing), the update's new.txt among them.
        const TStringParam listed(AppValue("\\Uninstall", "Files"), ";");
        std::uint64_t total = 0;
        for (int i = 0; i < listed.Count(); ++i) {
            std::uint64_t size = 0;
            if (platform::FileSize(listed[i], size)) total += size;
        }
        platform::RegKey updated;
        ASSERT_TRUE(updated.OpenReadOnly(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pluvion"));
        EXPECT_TRUE(updated.TryReadInteger("EstimatedSize", n));
        EXPECT_EQ(n, (total + 1023) / 1024);
    }
    platform::RemoveFolderTree(menu);
}

TEST_F(WorkerTest, FailuresReportTheirTextAndLeaveNothingBehind) {
    struct Case {
        const char* kind;
        const char* name;
        std::string message;
    } cases[] = {
        {"missing", "pluvionfull.zip", language.S_DownloadError + "\r\nHTTP/1.1 404 Not Found"},
        {"truncated", "pluvionfull.zip", language.S_DownloadError},
        {"empty", "pluvionfull.zip", language.S_ZipEmpty},
        {"pkg", "corrupt.zip", language.S_ZipEmpty},
        {"pkg", "notzip.zip", language.S_ZipEmpty},
        // Refused before any connection: a blank would end up in the request line.
        {"pkg", "pluvion full.zip", language.S_DownloadError + "\r\nInvalid character in address"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + "/" + c.name);
        TLiveUpdate settings("KestrumLiveUpdate.exe");
        Prepare(settings, ServerUrl(c.kind, c.name));
        RecordingView view;
        TThreadLiveUpdate worker(settings, view);
        worker.DiscoverProxy = [](std::string&, int&) { return false; };
        // The window waits for the worker's preparation before it makes its controls, and the
        // worker's result waits for the controls: the result must never come unprepared.
        bool preparedAtResult = false;
        view.onShowFinish = [&] { preparedAtResult = worker.WaitPrepared(0); };
        RunToEnd(worker);
        EXPECT_TRUE(preparedAtResult);
        EXPECT_EQ(view.ends, 1);
        EXPECT_EQ(view.finishesAtEnd, 1u) << "the end notice comes after the result";
        ASSERT_EQ(view.finishes.size(), 1u);
        EXPECT_EQ(view.finishes[0].message, c.message);
        EXPECT_EQ(view.finishes[0].kind, 0);
        EXPECT_EQ(ExitCode.load(), 1);
        EXPECT_FALSE(platform::DirectoryExists(installFolder)) << "the install folder is untouched";
        EXPECT_FALSE(platform::FileExists(settings.TempFolder + "\\" + c.name)) << "the archive is deleted";
        if (!settings.WorkFolderName.empty()) {
            EXPECT_FALSE(platform::DirectoryExists(settings.TempFolder + "\\" + settings.WorkFolderName));
        }
        EXPECT_EQ(AppValue("", "Language"), "<no value>") << "nothing registered";
    }
}

TEST_F(WorkerTest, AnExceptionInAStepIsReportedAsAnUnknownError) {
    TLiveUpdate settings("KestrumLiveUpdate.exe");
    Prepare(settings, ServerUrl("pkg", "nobatch.zip"));
    // A key list whose root is no root at all: recording the placed files raises.
    settings.ApplicationKeys.Clear();
    settings.ApplicationKeys.Add("Software\\Kestrum\\Pluvion", 0x80000099u);
    RecordingView view;
    TThreadLiveUpdate worker(settings, view);
    worker.DiscoverProxy = [](std::string&, int&) { return false; };
    RunToEnd(worker);
    ASSERT_EQ(view.finishes.size(), 1u);
    const std::string& message = view.finishes[0].message;
    const std::string head = language.S_UnknownError + "\r\n";
    EXPECT_EQ(message.substr(0, head.size()), head);
    EXPECT_GT(message.size(), head.size()) << "the exception's own message follows";
    EXPECT_EQ(view.finishes[0].kind, 0);
    EXPECT_EQ(ExitCode.load(), 1);
    EXPECT_EQ(view.ends, 1);
    EXPECT_EQ(view.finishesAtEnd, 1u);
}

TEST_F(WorkerTest, ProxySettingsAndPendingDeletionsAtRegistration) {
    {
        platform::RegKey runOnce;
        ASSERT_TRUE(runOnce.Open(HKLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", true));
        runOnce.WriteString("KestrumLU_DEL_1", "CMD.EXE /C DEL \"C:\\x\"");
        runOnce.WriteString("KestrumLU_DEL_7", "CMD.EXE /C DEL \"C:\\y\"");
        runOnce.WriteString("OtherSetup_2", "keep me");
    }
    TLiveUpdate settings("KestrumLiveUpdate.exe");
    Prepare(settings, "http://unused/");
    RecordingView view;
    TThreadLiveUpdate worker(settings, view);
    worker.DiscoverProxy = [](std::string& server, int& port) {
        server = "proxy.example";
        port = 3128;
        return true;
    };
    EXPECT_TRUE(Steps::RegisterApplication(worker));
    EXPECT_EQ(AppValue("", "ProxyInfo"), "proxy.example;3128");
    platform::RegKey key;
    ASSERT_TRUE(key.OpenReadOnly(HKCU, "Software\\Kestrum\\Pluvion"));
    std::uint32_t useProxy = 0;
    EXPECT_TRUE(key.TryReadInteger("UseProxy", useProxy));
    EXPECT_EQ(useProxy, 1u);
    platform::RegKey runOnce;
    ASSERT_TRUE(runOnce.Open(HKLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", false));
    EXPECT_FALSE(runOnce.ValueExists("KestrumLU_DEL_1"));
    EXPECT_FALSE(runOnce.ValueExists("KestrumLU_DEL_7"));
    EXPECT_EQ(runOnce.ReadString("OtherSetup_2"), "keep me");
    runOnce.DeleteValue("OtherSetup_2");
    EXPECT_TRUE(view.finishes.empty());
}

TEST_F(WorkerTest, DownloadWatchSeesAStalledTransfer) {
    TLiveUpdate settings("KestrumLiveUpdate.exe");
    Prepare(settings, ServerUrl("stall", "pluvionfull.zip"));
    RecordingView view;
    TThreadLiveUpdate worker(settings, view);
    worker.DiscoverProxy = [](std::string&, int&) { return false; };
    EXPECT_EQ(worker.DownloadWatchDelta(), -1) << "no transfer runs";
    worker.Resume();
    // The server sends 10 of 1000 bytes and then stays silent for a while: fewer than 1024 new
    // bytes in a tick are no progress, from the first tick on.
    std::vector<int> deltas;
    for (int i = 0; i < 200 && deltas.size() < 2; ++i) {
        platform::SleepMs(50);
        const int d = worker.DownloadWatchDelta();
        if (d >= 0) deltas.push_back(d);
    }
    EXPECT_EQ(deltas, (std::vector<int>{0, 0}));
    ASSERT_TRUE(worker.WaitFinished(60000));
    EXPECT_EQ(worker.DownloadWatchDelta(), -1);
    ASSERT_EQ(view.finishes.size(), 1u);
    EXPECT_EQ(view.finishes[0].message, language.S_DownloadError) << "1000 announced, 10 received";
}
