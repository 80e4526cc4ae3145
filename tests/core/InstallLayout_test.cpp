// The install layout's pure choices: the interpreter by family, and scheduled deletions.
#include <gtest/gtest.h>

#include "InstallLayout.h"
#include "UClasses.h"

TEST(InstallLayout, TheInterpreterFollowsTheFamilyAndIsNamedByFullPath) {
    EXPECT_EQ(layout::InterpreterPrefix(2), "CMD.EXE /C");
    EXPECT_EQ(layout::InterpreterPrefix(1), "COMMAND.COM /C");
    EXPECT_EQ(layout::InterpreterPrefix(0), "COMMAND.COM /C");
    EXPECT_EQ(layout::InterpreterPath(2, "C:\\Windows\\system32", "C:\\Windows"), "C:\\Windows\\system32\\cmd.exe");
    EXPECT_EQ(layout::InterpreterPath(1, "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS"), "C:\\WINDOWS\\COMMAND.COM");
    EXPECT_EQ(layout::InterpreterPath(2, "C:\\", "C:\\Windows"), "C:\\cmd.exe");
    // Without the folder there is no full path, and no bare name to be searched for.
    EXPECT_EQ(layout::InterpreterPath(2, "", "C:\\Windows"), "");
    EXPECT_EQ(layout::InterpreterPath(1, "C:\\Windows\\system32", ""), "");
}

TEST(InstallLayout, ScheduledDeletionsCollapseSeparatorsButKeepANetworkPath) {
    struct Row {
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {"C:\\dir\\\\file.dat", "C:\\dir\\file.dat"},
        {"C:\\\\\\dir\\file.dat", "C:\\dir\\file.dat"},
        {"\\\\server\\share\\Pluvion\\a.txt", "\\\\server\\share\\Pluvion\\a.txt"},
        {"\\\\server\\\\share\\\\a.txt", "\\\\server\\share\\a.txt"},
        {"\\\\\\server\\share", "\\\\server\\share"},
        {"\\single\\rooted", "\\single\\rooted"},
        {"plain", "plain"},
    };
    for (const Row& row : rows) EXPECT_EQ(layout::DeleteOnRebootPath(row.in), row.out) << row.in;
    EXPECT_EQ(layout::DeleteOnRebootCommand(2, layout::DeleteOnRebootPath("\\\\server\\share\\a b.txt")),
              "CMD.EXE /C DEL \"\\\\server\\share\\a b.txt\"");
    EXPECT_EQ(layout::DeleteOnRebootCommand(1, "C:\\PROGRA~1\\A.TXT"), "COMMAND.COM /C DEL \"C:\\PROGRA~1\\A.TXT\"");
    // The spelled-out collapse itself makes every run one backslash.
    EXPECT_EQ(layout::CollapseBackslashes("\\\\server\\\\\\share"), "\\server\\share");
}

TEST(InstallLayout, RegistryPathsLoseTheirRootNameAndEntriesFollowTheFamily) {
    EXPECT_EQ(layout::StripRootKey("HKEY_CURRENT_USER\\Software\\Kestrum\\Pluvion"), "Software\\Kestrum\\Pluvion");
    EXPECT_EQ(layout::StripRootKey("Software\\Kestrum"), "Software\\Kestrum");
    EXPECT_EQ(layout::StripRootKey("HKEY_CURRENT_USER"), "");
    EXPECT_EQ(layout::RemoveRootKey("HKEY_CURRENT_USER"), "HKEY_CURRENT_USER");
    EXPECT_EQ(layout::UninstallEntryRoot(2), rootkey::CurrentUser);
    EXPECT_EQ(layout::UninstallEntryRoot(1), rootkey::LocalMachine);
    EXPECT_EQ(layout::UninstallEntryKey("Pluvion"), "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pluvion");
}

TEST(InstallLayout, TheFileListTakesEachNewPathOnceInItsOrder) {
    // The list's text form ends each path with the separator.
    EXPECT_EQ(layout::MergeFileList("C:\\a.txt;C:\\b.txt", "c:\\A.TXT;C:\\c.txt;C:\\d.txt"),
              "C:\\a.txt;C:\\b.txt;C:\\c.txt;C:\\d.txt;");
    EXPECT_EQ(layout::MergeFileList("C:\\a.txt;", ""), "C:\\a.txt;");
    EXPECT_EQ(layout::MergeFileList("C:\\a.txt;", "C:\\a.txt;"), "C:\\a.txt;");
    // A path the new list names twice, in two letter cases, is taken once, in its first form;
    // a path the stored list holds twice stays as it is.
    EXPECT_EQ(layout::MergeFileList("C:\\a.txt;C:\\A.txt", "C:\\x\\e.dll;c:\\X\\E.DLL;C:\\f.dll"),
              "C:\\a.txt;C:\\A.txt;C:\\x\\e.dll;C:\\f.dll;");
}
