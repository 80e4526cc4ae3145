// Hostile packages and hostile answers through the whole install chain. Every row must end with
// its stated error, the install folder byte for byte as before, nothing created or changed around
// the run's work folder and archive (canary files above and beside them), the temporary files
// gone and nothing registered.
#include <map>

#include "WorkerFixture.h"
#include "hostile/HostileArchives.h"

namespace {

// Every file and folder below root, by relative path: contents for files, "<folder>" for folders.
void Snapshot(const std::string& root, const std::string& relative, std::map<std::string, std::string>& out) {
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

std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> out;
    Snapshot(root, "", out);
    return out;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
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
            RunToEnd(worker);
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

// A raw answer: the status line and header lines, then the body.
std::string Answer(const std::string& head, const std::string& body) { return head + "\r\n" + body; }

TEST_F(HostileTest, HostilePackagesFailTheDecompressionAndChangeNothing) {
    std::vector<Row> rows;
    for (const hostile::ArchiveCase& c : hostile::ArchiveCases()) {
        if (c.installFails) rows.push_back({c.label, "pkg", c.archive, language.S_ZipEmpty, ""});
    }
    ASSERT_GT(rows.size(), 50u);
    RunRows(rows);
}

TEST_F(HostileTest, HostileAnswersFailTheDownloadAndChangeNothing) {
    const std::string failed = language.S_DownloadError + "\r\n";
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n";
    const std::string invalidChunk = failed + "Invalid chunk size.";
    const std::string invalidLength = failed + "Invalid Content-Length.";
    std::string manyLines = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 101; ++i) manyLines += "X-Line-" + std::to_string(i) + ": x\r\n";
    std::string bigBlock = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 70; ++i) bigBlock += "X-Big-" + std::to_string(i) + ": " + std::string(1000, 'b') + "\r\n";
    const std::vector<Row> rows = {
        // Chunk sizes and chunk framing.
        {"chunk size -1", "raw", Answer(chunked, "-1\r\nabc\r\n0\r\n\r\n"), invalidChunk, ""},
        {"chunk size +5", "raw", Answer(chunked, "+5\r\nabcde\r\n0\r\n\r\n"), invalidChunk, ""},
        {"chunk size 0x5", "raw", Answer(chunked, "0x5\r\nabcde\r\n0\r\n\r\n"), invalidChunk, ""},
        {"chunk size 1_f", "raw", Answer(chunked, "1_f\r\nabcde\r\n0\r\n\r\n"), invalidChunk, ""},
        {"chunk size of seventeen digits", "raw", Answer(chunked, "10000000000000000\r\nabc\r\n0\r\n\r\n"),
         failed + "Chunk size is too large.", ""},
        {"chunk without its CR LF", "raw", Answer(chunked, "3\r\nabcdef\r\n0\r\n\r\n"),
         failed + "Chunk data does not match its size.", ""},
        {"no final chunk", "raw", Answer(chunked, "3\r\nabc\r\n"), failed + "Connection Closed Gracefully.", ""},
        // Content-Length values.
        {"length -1", "raw", Answer("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n", "abc"), invalidLength, ""},
        {"length +5", "raw", Answer("HTTP/1.1 200 OK\r\nContent-Length: +5\r\n", "abcde"), invalidLength, ""},
        {"length 4294967296", "raw", Answer("HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n", "abc"),
         failed + "Content-Length is too large.", ""},
        {"length of twenty digits", "raw",
         Answer("HTTP/1.1 200 OK\r\nContent-Length: 12345678901234567890\r\n", "abc"),
         failed + "Content-Length is too large.", ""},
        {"length 5, 6", "raw", Answer("HTTP/1.1 200 OK\r\nContent-Length: 5, 6\r\n", "abcde"), invalidLength, ""},
        {"two different lengths", "raw",
         Answer("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n", "abcdef"), invalidLength, ""},
        // Endless headers.
        {"more than 100 header lines", "raw", Answer(manyLines, "x"), failed + "Too many header lines.", ""},
        {"header block over 64 KiB", "raw", Answer(bigBlock, "x"), failed + "Header block too large.", ""},
        {"header line over 16384 bytes", "raw",
         Answer("HTTP/1.1 200 OK\r\nX-Long: " + std::string(17000, 'l') + "\r\n", "x"),
         failed + "Max line length exceeded.", ""},
        // Addresses that would smuggle bytes into the request: refused before any connection.
        {"blank in the host", "pkg", "", failed + "Invalid character in address", "http://127.0.0.1 x/pkg/a.zip"},
        {"CR in the path", "pkg", "", failed + "Invalid character in address", ServerUrl("pkg", "a\r.zip")},
        {"LF in the path", "pkg", "", failed + "Invalid character in address",
         ServerUrl("pkg", "a.zip\nHost: elsewhere")},
        {"NUL in the path", "pkg", "", failed + "Invalid character in address",
         ServerUrl("pkg", std::string("a\0.zip", 6))},
        // A file name that would lead the archive out of the temporary folder.
        {"backslashes in the file name", "pkg", "", failed + "Invalid file name in address",
         ServerUrl("pkg", "..\\..\\..\\evil.zip")},
        {"drive in the file name", "pkg", "", failed + "Invalid file name in address", ServerUrl("pkg", "C:evil.zip")},
    };
    RunRows(rows);
}

}  // namespace
