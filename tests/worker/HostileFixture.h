// The hostile-run fixture: a run's temporary folder deep inside the scratch folder, canaries
// around everything, and rows of runs that must each fail with their text and change nothing.
#pragma once

#include <functional>
#include <map>

#include "WorkerFixture.h"

namespace hostilerun {

// Every file and folder below root, by relative path: contents for files, "<folder>" for folders.
inline void Snapshot(const std::string& root, const std::string& relative, std::map<std::string, std::string>& out) {
    WIN32_FIND_DATAA data;
    const std::string folder = relative.empty() ? root : root + "\\" + relative;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = relative.empty() ? name : relative + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[path] = "<folder>";
            Snapshot(root, path, out);
        } else {
            out[path] = ReadFileBytes(root + "\\" + path);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

inline std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> out;
    Snapshot(root, "", out);
    return out;
}

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return static_cast<bool>(out);
}

struct Row {
    std::string label;
    std::string kind;     // the server's kind of answer: "pkg" or "raw"
    std::string content;  // the package, or the whole raw answer
    std::string message;  // what the finish page says
    std::string url;      // instead of the served name, when given
};

class HostileTest : public WorkerTest {
protected:
    std::string packages;
    std::string temp;
    std::string savedTmp, savedTemp;
    std::string packageKey;  // the key the runs' packages must be signed with; empty: none
    std::function<void(TThreadLiveUpdate&)> afterRun;  // further checks of each row's worker

    void SetUp() override {
        WorkerTest::SetUp();
        const char* folder = std::getenv("KLU_TEST_PACKAGES");
        ASSERT_NE(folder, nullptr) << "run through run_worker_tests.sh";
        packages = folder;
        savedTmp = Env("TMP");
        savedTemp = Env("TEMP");
        // The run's temporary folder lies deep inside the scratch folder, so that a write that
        // escapes it upwards lands among the canaries.
        temp = scratch + "\\tmp\\one\\two";
        ASSERT_TRUE(platform::ForceDirectories(temp));
        SetEnvironmentVariableA("TMP", temp.c_str());
        SetEnvironmentVariableA("TEMP", temp.c_str());
        // An earlier version in the install folder, and canaries around everything.
        ASSERT_TRUE(platform::ForceDirectories(installFolder + "\\sub"));
        const std::pair<std::string, std::string> files[] = {
            {installFolder + "\\Pluvion.exe", "MZ earlier version"},
            {installFolder + "\\a.txt", "earlier alpha"},
            {installFolder + "\\sub\\b.dll", std::string("earlier\0bravo", 13)},
            {scratch + "\\canary.txt", "top"},
            {scratch + "\\tmp\\canary.txt", "tmp"},
            {scratch + "\\tmp\\one\\canary.txt", "one"},
            {scratch + "\\Program Files\\Veltrona\\canary.txt", "beside"},
        };
        for (const auto& f : files) ASSERT_TRUE(WriteBytes(f.first, f.second)) << f.first;
    }

    void TearDown() override {
        SetEnvironmentVariableA("TMP", savedTmp.empty() ? nullptr : savedTmp.c_str());
        SetEnvironmentVariableA("TEMP", savedTemp.empty() ? nullptr : savedTemp.c_str());
        WorkerTest::TearDown();
    }

    static std::string Env(const char* name) {
        char value[1024];
        const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
        return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
    }

    void RunRows(const std::vector<Row>& rows) {
        const auto installBefore = Snapshot(installFolder);
        const auto tempBefore = Snapshot(temp);
        const auto allBefore = Snapshot(scratch);
        ASSERT_EQ(installBefore.size(), 4u);
        ASSERT_TRUE(tempBefore.empty());
        int number = 0;
        for (const Row& row : rows) {
            SCOPED_TRACE(row.label);
            const std::string name = "hostile-" + std::to_string(number++) + ".zip";
            ASSERT_TRUE(WriteBytes(packages + "\\" + name, row.content));
            TLiveUpdate settings("KestrumLiveUpdate.exe");
            Prepare(settings, row.url.empty() ? ServerUrl(row.kind, name) : row.url);
            RecordingView view;
            TThreadLiveUpdate worker(settings, view);
            worker.DiscoverProxy = [](std::string&, int&) { return false; };
            worker.packageKey = packageKey;
            RunToEnd(worker);
            if (afterRun) afterRun(worker);
            ASSERT_EQ(settings.TempFolder.compare(0, temp.size(), temp), 0) << settings.TempFolder;

            // 1. The stated error.
            ASSERT_EQ(view.finishes.size(), 1u);
            EXPECT_EQ(view.finishes[0].message, row.message);
            EXPECT_EQ(view.finishes[0].kind, 0);
            EXPECT_EQ(ExitCode.load(), 1);
            // 2. The install folder as it was.
            EXPECT_TRUE(Snapshot(installFolder) == installBefore) << "the install folder changed";
            // 3. The temporary files gone.
            EXPECT_TRUE(Snapshot(temp) == tempBefore) << "temporary files are left";
            // 4. Nothing else changed: canaries, their folders, and the roots a name could reach.
            EXPECT_TRUE(Snapshot(scratch) == allBefore) << "something changed beside the run";
            for (const char* escaped : {"C:\\x", "C:\\evil", "C:\\tmp\\x"}) {
                EXPECT_FALSE(platform::FileExists(escaped) || platform::DirectoryExists(escaped)) << escaped;
            }
            EXPECT_EQ(AppValue("", "Language"), "<no value>") << "nothing registered";
            platform::RemoveFile(packages + "\\" + name);
        }
    }
};

}  // namespace hostilerun
