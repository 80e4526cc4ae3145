// What the worker tests share: a recording view, a scratch install folder, the registry cleaned
// before and after, and the scripted package server's address.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "UClasses.h"
#include "UFileXML.h"
#include "http/HttpClient.h"
#include "platform/Platform.h"
#include "platform/SocketTransport.h"
#include "worker/UThread.h"
#include "WorkerTestAccess.h"

// Records what the worker shows; answers the retry question with a scripted function.
class RecordingView : public WorkerView {
public:
    void SetProgress(ProgressBar bar, int position, int maximum) override {
        std::lock_guard<std::mutex> lock(mutex);
        (bar == ProgressBar::Overall ? overall : pending).push_back({position, maximum});
    }
    void SetLabelPending(const std::string& text) override { Push(labels, text); }
    void SetLabelTop(const std::string& text) override { Push(labelTop, text); }
    void SetFinishLabelTop(const std::string& text) override { Push(finishLabelTop, text); }
    void SetCreateDesktopVisible(bool visible) override { createDesktopVisible = visible; }
    void SetRestartVisible(bool visible) override { restartVisible = visible; }
    void ShowFinish(const std::string& message, int kind) override {
        if (onShowFinish) onShowFinish();
        std::lock_guard<std::mutex> lock(mutex);
        finishes.push_back({message, kind});
    }
    void RunEnded() noexcept override {
        std::lock_guard<std::mutex> lock(mutex);
        ++ends;
        finishesAtEnd = finishes.size();
    }
    bool AskRetry(const TFileXML&, const std::vector<std::string>& files) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            retryQuestions.push_back(files);
        }
        return answerRetry ? answerRetry(files) : false;
    }

    struct Bar {
        int position, maximum;
    };
    struct Finish {
        std::string message;
        int kind;
    };
    std::mutex mutex;
    std::vector<Bar> overall, pending;
    std::vector<std::string> labels, labelTop, finishLabelTop;
    bool createDesktopVisible = false;
    bool restartVisible = false;
    std::vector<Finish> finishes;
    std::vector<std::vector<std::string>> retryQuestions;
    std::function<bool(const std::vector<std::string>&)> answerRetry;
    std::function<void()> onShowFinish;  // runs on the worker's thread as the result is shown
    int ends = 0;                        // the worker's end notices
    std::size_t finishesAtEnd = 0;       // results shown before the (last) end notice

private:
    void Push(std::vector<std::string>& list, const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        list.push_back(text);
    }
};

inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline std::string ExeFolder() {
    const std::string exe = platform::ModuleFileName();
    return exe.substr(0, exe.find_last_of('\\'));
}

// Starts a child program of the tests (beside this test program) with arguments.
inline platform::Handle StartChild(const std::string& name, const std::string& args) {
    return platform::StartProcess("\"" + ExeFolder() + "\\worker_child_" + name + ".exe\" " + args, true);
}

// Runs a child to its end; its exit status, or -1 when it could not start or did not end.
inline long RunChild(const std::string& name, const std::string& args) {
    platform::Handle child = StartChild(name, args);
    if (!child.Valid() || platform::WaitFor(child, 60000) != 0) return -1;
    unsigned long code = 0;
    return platform::ProcessExitCode(child, code) ? static_cast<long>(code) : -1;
}

// True once the file exists (a child's ready mark), false after ms.
inline bool WaitForFile(const std::string& path, int ms) {
    for (int waited = 0; waited < ms; waited += 50) {
        if (platform::FileExists(path)) return true;
        platform::SleepMs(50);
    }
    return false;
}

inline std::string WorkerTest_ServerUrl(const std::string& kind, const std::string& name) {
    const char* port = std::getenv("KLU_TEST_PORT");
    return "http://127.0.0.1:" + std::string(port != nullptr ? port : "9") + "/" + kind + "/" + name;
}

// The Range and If-Range fields of each request the package server saw for /KIND/NAME, one
// request a line ("-" for a field not sent).
inline std::string ServerRanges(const std::string& kind, const std::string& name) {
    http::HttpClient client(platform::MakeSocketTransport());
    client.SetReadTimeout(5000);
    return client.Get(WorkerTest_ServerUrl("ranges/" + kind, name));
}

class WorkerTest : public ::testing::Test {
protected:
    static constexpr platform::RootKey HKCU = rootkey::CurrentUser;
    static constexpr platform::RootKey HKLM = rootkey::LocalMachine;

    TFileXML language;
    std::string scratch;        // removed after the test
    std::string installFolder;  // inside scratch, with a blank in its name

    void SetUp() override {
        CleanRegistry();
        language.SetLanguage("ENGLISH");
        language.LoadDefaults();
        scratch = platform::TempDirectory() + "klu-worker-" + platform::NewGuidText();
        ASSERT_TRUE(platform::CreateDir(scratch));
        installFolder = scratch + "\\Program Files\\Veltrona\\Pluvion";
        ExitCode.store(0);
    }

    void TearDown() override {
        // The batch step leaves the process in the install folder, which would keep it alive.
        platform::SetCurrentDir(platform::TempDirectory());
        platform::RemoveFolderTree(scratch);
        EXPECT_FALSE(platform::DirectoryExists(scratch));
        CleanRegistry();
    }

    static void CleanRegistry() {
        platform::DeleteKey(HKCU, "Software\\Kestrum");
        platform::DeleteKey(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pluvion");
        platform::RegKey run;
        if (run.Open(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", false)) run.DeleteValue("Pluvion");
    }

    static std::string ServerUrl(const std::string& kind, const std::string& name) {
        return WorkerTest_ServerUrl(kind, name);
    }

    // Settings as the window fills them before it resumes the worker.
    void Prepare(TLiveUpdate& settings, const std::string& url) {
        settings.LanguageTable = &language;
        settings.InstallFolder = installFolder;
        settings.DownloadUrl = url;
        settings.SetApplicationKeys(ApplicationKey);
    }

    // Runs the worker's thread from resume to its end.
    static void RunToEnd(TThreadLiveUpdate& worker) {
        worker.Resume();
        ASSERT_TRUE(worker.WaitFinished(180000)) << "the worker did not finish";
    }

    static std::string AppValue(const std::string& subkey, const std::string& name) {
        platform::RegKey key;
        if (!key.OpenReadOnly(HKCU, "Software\\Kestrum\\Pluvion" + subkey)) return "<no key>";
        std::string value;
        return key.TryReadString(name, value) ? value : "<no value>";
    }
};
