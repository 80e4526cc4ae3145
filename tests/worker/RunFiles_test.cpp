// The run's package and work folder on the ways out that the chain does not reach: a process
// that ends with its download suspended, and files that are still open when the clean-up runs.
#include "WorkerFixture.h"

#include "platform/Leftovers.h"

namespace {

const char* const kSessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char* const kPendingValue = "PendingFileRenameOperations";

// The deletions and renames scheduled for the next start of Windows: the raw value, and the list
// of its strings (a source, then its target, "" for a deletion).
bool ReadPending(std::string& raw) {
    raw.clear();
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    bool found = RegQueryValueExA(key, kPendingValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (found && size > 0) {
        raw.resize(size);
        found = RegQueryValueExA(key, kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(&raw[0]), &size) ==
                ERROR_SUCCESS;
        raw.resize(found ? size : 0);
    }
    RegCloseKey(key);
    return found;
}

void RestorePending(bool existed, const std::string& raw) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (existed)
        RegSetValueExA(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(raw.data()),
                       static_cast<DWORD>(raw.size()));
    else
        RegDeleteValueA(key, kPendingValue);
    RegCloseKey(key);
}

std::vector<std::string> Strings(const std::string& raw) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < raw.size()) {
        const std::size_t end = raw.find('\0', at);
        out.push_back(raw.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return out;
}

// The scheduled deletions whose path ends with the text (letter case ignored), in schedule order.
std::vector<std::string> ScheduledDeletions(const std::string& raw, const std::string& inside) {
    const std::vector<std::string> list = Strings(raw);
    std::vector<std::string> found;
    for (std::size_t i = 0; i + 1 < list.size(); i += 2) {
        if (!list[i + 1].empty()) continue;
        std::string lower = list[i], needle = inside;
        for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        for (char& c : needle) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        const std::size_t at = lower.find(needle);
        if (at != std::string::npos) found.push_back(list[i].substr(at));
    }
    return found;
}

}  // namespace

class RunFilesTest : public WorkerTest {
protected:
    bool pendingExisted = false;
    std::string pendingBefore;
    void SetUp() override {
        WorkerTest::SetUp();
        pendingExisted = ReadPending(pendingBefore);
    }
    void TearDown() override {
        RestorePending(pendingExisted, pendingBefore);
        WorkerTest::TearDown();
    }
};

// The download watch, or the close question, suspends the worker with the package open and the
// process ends: the package is marked for deletion and goes with the process. The watch fails a
// download that stalls after ten bytes, right after its head, or in a further request after a
// cut: the retries never keep a stalled download alive.
TEST_F(RunFilesTest, APackageStillOpenWhenTheProcessEndsGoesWithIt) {
    struct Case {
        const char* kind;
        const char* name;  // the stalled answers send the start of a real package
        const char* ranges;
    } cases[] = {
        // A folder of their own in the address: the server counts requests by path, and other
        // tests fetch the same packages.
        {"stall", "runfiles/pluvionfull.zip", "- -\n"},
        {"stall0", "runfiles/pluvionfull.zip", "- -\n"},
        {"resume", "stall/big.zip", nullptr},  // a 206 for the rest, checked below
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const std::string file = std::string(c.name).substr(std::string(c.name).rfind('/') + 1);
        const std::string package = platform::TempDirectory() + file;
        ASSERT_EQ(RunChild("stall", ServerUrl(c.kind, c.name)), 0);
        EXPECT_FALSE(platform::FileExists(package)) << "the stalled package stayed in the temporary folder";
        std::string pending;
        ReadPending(pending);
        EXPECT_TRUE(ScheduledDeletions(pending, file).empty()) << "deleted at once, not at the next start";
        const std::string ranges = ServerRanges(c.kind, c.name);
        if (c.ranges != nullptr) {
            EXPECT_EQ(ranges, c.ranges);
        } else {
            const std::string packages = std::getenv("KLU_TEST_PACKAGES");
            const std::size_t cut = ReadFileBytes(packages + "\\" + file).size() * 2 / 5;
            EXPECT_EQ(ranges, "- -\nbytes=" + std::to_string(cut) + "- \"v1\"\n")
                << "the stall came in the second request";
        }
    }
}

// A file that the suspended worker still holds (here: this process, without sharing) cannot go
// now: it and the folders that hold it are scheduled for the next start, each after its contents;
// everything else goes at once.
TEST_F(RunFilesTest, WhatIsStillOpenIsDeletedAtTheNextStart) {
    const std::string work = scratch + "\\{work}";
    ASSERT_TRUE(platform::ForceDirectories(work + "\\sub\\deeper"));
    for (const char* file : {"\\a.txt", "\\sub\\b.txt", "\\sub\\deeper\\c.txt"}) {
        std::ofstream(work + file) << "x";
    }
    HANDLE held = CreateFileA((work + "\\sub\\b.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    platform::RemoveFolderTreeOrAtRestart(work);

    EXPECT_FALSE(platform::FileExists(work + "\\a.txt"));
    EXPECT_FALSE(platform::DirectoryExists(work + "\\sub\\deeper"));
    EXPECT_TRUE(platform::FileExists(work + "\\sub\\b.txt"));
    std::string pending;
    ASSERT_TRUE(ReadPending(pending));
    EXPECT_EQ(ScheduledDeletions(pending, "\\{work}"),
              (std::vector<std::string>{"\\{work}\\sub\\b.txt", "\\{work}\\sub", "\\{work}"}));
    CloseHandle(held);

    // A file that is already gone, or removable, is not scheduled.
    const std::string loose = scratch + "\\loose.txt";
    std::ofstream(loose) << "x";
    EXPECT_TRUE(platform::RemoveFileOrAtRestart(loose));
    EXPECT_TRUE(platform::RemoveFileOrAtRestart(loose));
    ReadPending(pending);
    EXPECT_TRUE(ScheduledDeletions(pending, "loose.txt").empty());
}
