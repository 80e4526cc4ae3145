// The Windows operations against the real registry, files and processes (under Wine).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "UClasses.h"
#include "platform/Platform.h"

namespace {

const platform::RootKey HKCU = rootkey::CurrentUser;

// A scratch key under HKCU\Software that the test removes again.
class ScratchKey : public ::testing::Test {
protected:
    std::string path = "Software\\KluPlatformTest\\" + platform::NewGuidText();
    void TearDown() override {
        platform::DeleteKey(HKCU, "Software\\KluPlatformTest");
        EXPECT_FALSE(platform::KeyExists(HKCU, "Software\\KluPlatformTest"));
    }
};

// A scratch folder in the temporary folder that the test removes again.
class ScratchFolder : public ::testing::Test {
protected:
    std::string dir = platform::TempDirectory() + "klu-platform-" + platform::NewGuidText();
    void SetUp() override { ASSERT_TRUE(platform::CreateDir(dir)); }
    void TearDown() override {
        std::string cmd = "cmd.exe /c rmdir /s /q \"" + dir + "\"";
        platform::Handle p = platform::StartProcess(cmd, true);
        if (p.Valid()) platform::WaitFor(p, 20000);
        EXPECT_FALSE(platform::DirectoryExists(dir));
    }
    void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
};

}  // namespace

TEST_F(ScratchKey, ValuesRoundTripWithTheirTypes) {
    platform::RegKey key;
    ASSERT_FALSE(key.Open(HKCU, path, false)) << "opening without creation must not create";
    ASSERT_FALSE(platform::KeyExists(HKCU, path));
    ASSERT_TRUE(key.Open(HKCU, "\\" + path, true));  // a leading backslash is accepted
    key.WriteString("Text", "C:\\Program Files\\Veltrona\\Pluvion\\a.txt;\xe9;");
    key.WriteString("Empty", "");
    key.WriteInteger("UseProxy", 1);
    EXPECT_EQ(key.ReadString("Text"), "C:\\Program Files\\Veltrona\\Pluvion\\a.txt;\xe9;");
    EXPECT_EQ(key.ValueType("Text"), REG_SZ);
    EXPECT_EQ(key.ValueType("UseProxy"), REG_DWORD);
    EXPECT_EQ(key.ValueType("Missing"), -1);
    EXPECT_TRUE(key.ValueExists("Empty"));
    EXPECT_EQ(key.ReadString("Missing"), "");
    EXPECT_EQ(key.ReadString("UseProxy"), "") << "a number does not read as text";
    std::uint32_t n = 0;
    EXPECT_TRUE(key.TryReadInteger("UseProxy", n));
    EXPECT_EQ(n, 1u);
    EXPECT_FALSE(key.TryReadInteger("Text", n));

    std::vector<std::string> names = key.ValueNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Empty", "Text", "UseProxy"}));
    EXPECT_TRUE(key.DeleteValue("Empty"));
    EXPECT_FALSE(key.DeleteValue("Empty"));
    EXPECT_FALSE(key.ValueExists("Empty"));
    key.Close();

    platform::RegKey reader;
    ASSERT_TRUE(reader.OpenReadOnly(HKCU, path));
    EXPECT_EQ(reader.ReadString("Text").back(), ';');
    EXPECT_THROW(reader.WriteString("X", "y"), platform::SystemError) << "a read-only key refuses writes";
}

TEST_F(ScratchKey, DeleteKeyRemovesEverythingBelowAndNeverARoot) {
    for (const char* sub : {"\\A\\B\\C", "\\A\\D", "\\E"}) {
        platform::RegKey key;
        ASSERT_TRUE(key.Open(HKCU, path + sub, true));
        key.WriteString("v", sub);
    }
    platform::RegKey parent;
    ASSERT_TRUE(parent.OpenReadOnly(HKCU, path));
    std::vector<std::string> subs = parent.SubKeyNames();
    std::sort(subs.begin(), subs.end());
    EXPECT_EQ(subs, (std::vector<std::string>{"A", "E"}));
    parent.Close();

    EXPECT_TRUE(platform::DeleteKey(HKCU, path + "\\A"));
    EXPECT_FALSE(platform::KeyExists(HKCU, path + "\\A"));
    EXPECT_TRUE(platform::KeyExists(HKCU, path + "\\E"));
    EXPECT_FALSE(platform::DeleteKey(HKCU, path + "\\A")) << "a missing key is not deleted twice";
    EXPECT_FALSE(platform::DeleteKey(HKCU, ""));
    EXPECT_FALSE(platform::DeleteKey(HKCU, "\\"));
    EXPECT_TRUE(platform::KeyExists(HKCU, "Software"));
}

TEST_F(ScratchFolder, FilesMoveCopyAndDeleteEvenWhenReadOnly) {
    const std::string a = dir + "\\a.txt";
    const std::string b = dir + "\\sub\\deeper\\b.txt";
    Write(a, "alpha");
    EXPECT_TRUE(platform::FileExists(a));
    EXPECT_FALSE(platform::FileExists(dir)) << "a folder is not a file";
    EXPECT_TRUE(platform::DirectoryExists(dir));

    EXPECT_FALSE(platform::CopyFileOverwrite(a, b)) << "the folder does not exist yet";
    EXPECT_TRUE(platform::ForceDirectories(dir + "\\sub\\deeper\\"));
    EXPECT_TRUE(platform::ForceDirectories(dir + "\\sub\\deeper")) << "an existing folder is fine";
    EXPECT_TRUE(platform::CopyFileOverwrite(a, b));
    Write(a, "beta");
    EXPECT_TRUE(platform::CopyFileOverwrite(a, b)) << "copy replaces";
    EXPECT_EQ(Read(b), "beta");

    SetFileAttributesA(b.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(DeleteFileA(b.c_str())) << "the system refuses a read-only file";
    EXPECT_TRUE(platform::RemoveFile(b)) << "our delete sets the attributes to normal first";
    EXPECT_FALSE(platform::FileExists(b));

    EXPECT_TRUE(platform::MoveFileTo(a, dir + "\\sub\\moved.txt"));
    EXPECT_FALSE(platform::FileExists(a));
    EXPECT_FALSE(platform::RemoveDir(dir + "\\sub")) << "not empty";
    EXPECT_TRUE(platform::RemoveFile(dir + "\\sub\\moved.txt"));
    EXPECT_TRUE(platform::RemoveDir(dir + "\\sub\\deeper"));
    EXPECT_TRUE(platform::RemoveDir(dir + "\\sub"));
}

TEST_F(ScratchFolder, ALockedFileCannotBeDeleted) {
    const std::string f = dir + "\\locked.dat";
    Write(f, "x");
    HANDLE h = CreateFileA(f.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(platform::RemoveFile(f));
    EXPECT_EQ(platform::LastErrorCode(), 32u);
    EXPECT_FALSE(platform::SystemErrorMessage(32).empty());
    CloseHandle(h);
    EXPECT_TRUE(platform::RemoveFile(f));
}

TEST_F(ScratchFolder, CurrentFolderAndShortNames) {
    const std::string before = platform::CurrentDir();
    platform::SetCurrentDir(dir);
    EXPECT_TRUE(SameTextNoCase(platform::CurrentDir(), dir));
    platform::SetCurrentDir(before);
    EXPECT_THROW(platform::SetCurrentDir(dir + "\\missing"), platform::SystemError);
    const std::string longName = dir + "\\A folder with a long name";
    ASSERT_TRUE(platform::CreateDir(longName));
    const std::string shortName = platform::ShortPathName(longName);
    EXPECT_EQ(shortName.find(' '), std::string::npos) << shortName;
    EXPECT_TRUE(platform::DirectoryExists(shortName));
    EXPECT_EQ(platform::ShortPathName(dir + "\\missing"), dir + "\\missing");
}

TEST(Platform, NativePathsHoldSingleSeparatorsButKeepShares) {
    struct Case {
        const char* path;
        const char* native;
    } cases[] = {
        {"C:\\users\\Temp\\\\{GUID}\\a.txt", "C:\\users\\Temp\\{GUID}\\a.txt"},
        {"C:\\dir\\\\\\file.dat", "C:\\dir\\file.dat"},
        {"\\\\server\\share\\\\x", "\\\\server\\share\\x"},
        {"\\\\?\\C:\\x", "\\\\?\\C:\\x"},
        {"C:\\plain\\path", "C:\\plain\\path"},
        {"", ""},
        {"\\", "\\"},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::NativePath(c.path), c.native) << c.path;
    // The file functions accept the joined form of the run's paths.
    const std::string doubled = platform::TempDirectory() + "\\klu-native-" + platform::NewGuidText() + ".txt";
    std::ofstream(platform::NativePath(doubled)) << "x";
    EXPECT_TRUE(platform::FileExists(doubled));
    EXPECT_TRUE(platform::RemoveFile(doubled));
    EXPECT_FALSE(platform::FileExists(doubled));
}

TEST(Platform, FoldersGuidsAndVersion) {
    const std::string windows = platform::WindowsDirectory();
    ASSERT_GE(windows.size(), 3u);
    EXPECT_EQ(windows.substr(1, 2), ":\\");
    EXPECT_EQ(platform::TempDirectory().back(), '\\');
    const std::string g1 = platform::NewGuidText();
    const std::string g2 = platform::NewGuidText();
    EXPECT_NE(g1, g2);
    ASSERT_EQ(g1.size(), 38u);
    for (std::size_t i = 0; i < g1.size(); ++i) {
        const char c = g1[i];
        if (i == 0) EXPECT_EQ(c, '{');
        else if (i == 37) EXPECT_EQ(c, '}');
        else if (i == 9 || i == 14 || i == 19 || i == 24) EXPECT_EQ(c, '-');
        else EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << g1;
    }
    EXPECT_EQ(platform::PlatformId(), 2u);
    EXPECT_NE(platform::ModuleFileName().find("win32_tests"), std::string::npos);
}

// The run-time's parameter rule, checked on a real child: what it parses from its own
// GetCommandLineA must be what we meant to pass.
TEST(Platform, ChildParsesItsOwnCommandLineAsTheSplitterSays) {
    std::string exe = platform::ModuleFileName();
    exe = exe.substr(0, exe.find_last_of('\\') + 1) + "child_cmdline.exe";
    struct Case {
        std::string args;
        std::string expected;
    } cases[] = {
        {"/HIDE /KILL 12,34", "[/HIDE]\n[/KILL]\n[12,34]\nhide=1 kill=[12,34]\n"},
        {"\"/HIDE\" \"\" x", "[/HIDE]\n[x]\nhide=1 kill=[]\n"},
        {"a\t\"b c\"d  /kill", "[a]\n[b cd]\n[/kill]\nhide=0 kill=[]\n"},
        {"/kill 5,,6 /hide:1", "[/kill]\n[5,,6]\n[/hide:1]\nhide=0 kill=[5,,6]\n"},
        {"/KILL /HIDE", "[/KILL]\n[/HIDE]\nhide=1 kill=[/HIDE]\n"},
    };
    for (const Case& c : cases) {
        // The child inherits the name of its report file through the environment, so that its
        // command line is exactly ours.
        const std::string out = platform::TempDirectory() + "klu-cmdline-" + platform::NewGuidText() + ".txt";
        SetEnvironmentVariableA("KLU_CHILD_OUT", out.c_str());
        platform::Handle p = platform::StartProcess("\"" + exe + "\" " + c.args, true);
        SetEnvironmentVariableA("KLU_CHILD_OUT", nullptr);
        ASSERT_TRUE(p.Valid()) << c.args;
        ASSERT_EQ(platform::WaitFor(p, 60000), 0u) << c.args;
        unsigned long code = 99;
        EXPECT_TRUE(platform::ProcessExitCode(p, code));
        EXPECT_EQ(code, 0u);
        std::ifstream in(out, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        in.close();
        std::string got = ss.str();
        got.erase(std::remove(got.begin(), got.end(), '\r'), got.end());
        EXPECT_EQ(got, c.expected) << c.args;
        platform::RemoveFile(out);
    }
}
