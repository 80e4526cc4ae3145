// The extractor's file output on POSIX systems, for the native tools, tests and benchmarks.
// Paths arrive in Windows form (backslashes, ANSI 1252) and are turned into "/" and UTF-8.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <set>

#include "zip/OutputFolder.h"
#include "zip/ZipNames.h"

namespace zip {
namespace {

std::string Native(const std::string& path) {
    std::string p = AnsiToUtf8(path);
    for (char& c : p) {
        if (c == '\\') c = '/';
    }
    return p;
}

class PosixFile : public OutputFile {
public:
    explicit PosixFile(int fd) : fd_(fd) {}
    ~PosixFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    bool Write(const std::uint8_t* data, std::size_t n) override {
        while (n > 0) {
            const ssize_t done = ::write(fd_, data, n);
            if (done < 0 && errno == EINTR) continue;
            if (done <= 0) return false;
            data += done;
            n -= static_cast<std::size_t>(done);
        }
        return true;
    }

    bool SetDosTime(std::uint16_t dosDate, std::uint16_t dosTime) override {
        // The files of one package mostly share their time: the last one read is kept, since
        // each reading as local time looks at the time zone file again.
        thread_local std::uint32_t lastStamp = 0;
        thread_local std::time_t lastWhen = 0;
        const std::uint32_t stamp = (std::uint32_t{dosDate} << 16 | dosTime) + 1;  // never 0
        if (stamp != lastStamp) {
            if (!LocalTimeOf(dosDate, dosTime, lastWhen)) return false;
            lastStamp = stamp;
        }
        struct timespec times[2];
        times[0].tv_sec = lastWhen;
        times[0].tv_nsec = 0;
        times[1] = times[0];
        return ::futimens(fd_, times) == 0;
    }

    bool Close() override {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    static bool LocalTimeOf(std::uint16_t dosDate, std::uint16_t dosTime, std::time_t& when) {
        // APPNOTE 4.4.6: date = (year - 1980) << 9 | month << 5 | day; time = hour << 11 |
        // minute << 5 | seconds / 2. Read as local time.
        std::tm t{};
        t.tm_year = ((dosDate >> 9) & 0x7F) + 80;
        t.tm_mon = ((dosDate >> 5) & 0x0F) - 1;
        t.tm_mday = dosDate & 0x1F;
        t.tm_hour = (dosTime >> 11) & 0x1F;
        t.tm_min = (dosTime >> 5) & 0x3F;
        t.tm_sec = (dosTime & 0x1F) * 2;
        t.tm_isdst = -1;
        if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday == 0 || t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 59) {
            return false;
        }
        when = std::mktime(&t);
        return when != static_cast<std::time_t>(-1);
    }

    int fd_;
};

// Creates a folder and its missing parents: one call when the folder is already there.
bool MakeFolder(const std::string& p) {
    if (p.empty()) return false;
    if (::mkdir(p.c_str(), 0777) == 0) return true;
    if (errno == ENOENT) {
        const std::size_t cut = p.rfind('/');
        if (cut == std::string::npos || cut == 0 || !MakeFolder(p.substr(0, cut))) return false;
        if (::mkdir(p.c_str(), 0777) == 0) return true;
    }
    struct stat st;
    return errno == EEXIST && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class PosixFolder : public OutputFolder {
public:
    bool CreateFolderPath(const std::string& path) override {
        std::string p = Native(path);
        while (p.size() > 1 && p.back() == '/') p.pop_back();
        // A folder made once is not asked for again, whatever order the entries come in.
        if (foldersMade_.count(p) != 0) return true;
        if (!MakeFolder(p)) return false;
        foldersMade_.insert(p);
        return true;
    }

    bool FileExists(const std::string& path) override {
        struct stat st;
        return ::lstat(Native(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
    }

    std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) override {
        const std::string p = Native(path);
        // An existing file is removed first, so that a read-only one goes too and a link in the
        // way is removed rather than followed.
        int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) {
            struct stat st;
            if (::lstat(p.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(p.c_str());
            fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        }
        if (fd < 0 && errno == ENOENT) {
            // The folder went away since it was made: make it again.
            foldersMade_.clear();
            const std::size_t cut = p.rfind('/');
            if (cut != std::string::npos && cut > 0 && MakeFolder(p.substr(0, cut))) {
                fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            }
        }
        if (fd < 0) return nullptr;
        return std::unique_ptr<OutputFile>(new PosixFile(fd));
    }

    bool SetAttributes(const std::string& path, std::uint32_t dosAttributes) override {
        // Only read-only has a meaning here.
        if ((dosAttributes & 0x01u) == 0) return true;
        const std::string p = Native(path);
        struct stat st;
        if (::stat(p.c_str(), &st) != 0) return false;
        return ::chmod(p.c_str(), st.st_mode & ~static_cast<mode_t>(0222)) == 0;
    }

    std::string NativePath(const std::string& path) const override { return Native(path); }

private:
    std::set<std::string> foldersMade_;  // folders made or found in this extraction
};

}  // namespace

std::unique_ptr<OutputFolder> MakeFileSystemOutput() { return std::unique_ptr<OutputFolder>(new PosixFolder); }

}  // namespace zip
