// Every operating-system operation that the worker and the window call, listed once.
// The Win32 implementation is in platform/win32; text is 8-bit (ANSI code page) throughout and
// every call uses the "A" functions. Operations return success as a bool unless said otherwise;
// handles are owned by small RAII classes so that every way out closes them.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// A Win32 failure carried as an exception whose message is the system's own text.
class SystemError : public std::runtime_error {
public:
    SystemError(unsigned long code, const std::string& message) : std::runtime_error(message), code_(code) {}
    unsigned long Code() const { return code_; }

private:
    unsigned long code_;
};

// The system's text for an error code (FormatMessageA), without the trailing line break.
std::string SystemErrorMessage(unsigned long code);
unsigned long LastErrorCode();
// Raises SystemError for the calling thread's last error.
[[noreturn]] void RaiseLastError();

// ---- Process start-up -------------------------------------------------------------------------
std::string CommandLine();  // the process's whole command line (GetCommandLineA)
std::string ModuleFileName();  // full path of the running program

// ---- Registry ---------------------------------------------------------------------------------
// Roots are the predefined handles, as the key list carries them (rootkey:: in UClasses.h).
using RootKey = std::uintptr_t;

class RegKey {
public:
    RegKey() = default;
    ~RegKey();
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    RegKey(RegKey&& other) noexcept;
    RegKey& operator=(RegKey&& other) noexcept;

    // Opens path under root for reading and writing; with create, missing keys are created.
    bool Open(RootKey root, const std::string& path, bool create);
    // Opens path under root for reading only.
    bool OpenReadOnly(RootKey root, const std::string& path);
    bool IsOpen() const { return key_ != 0; }
    void Close();

    // A missing or non-string value reads as empty.
    std::string ReadString(const std::string& name) const;
    // False when the value is missing or is not a string.
    bool TryReadString(const std::string& name, std::string& value) const;
    bool TryReadInteger(const std::string& name, std::uint32_t& value) const;
    // The value's registry type (REG_SZ = 1, REG_DWORD = 4), or -1 when it does not exist.
    long ValueType(const std::string& name) const;
    // Writers raise SystemError on failure, as the worker reports such errors by their text.
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, std::uint32_t value);
    bool ValueExists(const std::string& name) const;
    std::vector<std::string> ValueNames() const;
    std::vector<std::string> SubKeyNames() const;
    bool DeleteValue(const std::string& name);

private:
    std::uintptr_t key_ = 0;
};

bool KeyExists(RootKey root, const std::string& path);
// Deletes the key with everything below it. A path that is empty or names a root is refused.
bool DeleteKey(RootKey root, const std::string& path);

// ---- Files and folders ------------------------------------------------------------------------
// The path as the file functions hand it to the system: runs of backslashes after the first two
// characters made one (the run's paths join the temporary folder, which ends in a backslash, with
// "\" + name; a doubled separator is valid but makes every call resolve the path the slow way).
// A leading "\\" of a share or device path stays.
std::string NativePath(const std::string& path);
std::string WindowsDirectory();
std::string SystemDirectory();  // the system folder (GetSystemDirectoryA), "" when unknown
std::string TempDirectory();  // as the system reports it, with its trailing backslash
bool CreateDir(const std::string& path);
bool ForceDirectories(const std::string& path);  // creates missing parents too
bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path);  // an existing file, not a folder
// What stands at a path, found with one question to the system.
enum class PathKind { Missing, File, Folder };
PathKind KindOf(const std::string& path);
bool FileSize(const std::string& path, std::uint64_t& size);
// The bytes free for this user on the volume that holds the folder (GetDiskFreeSpaceExA).
bool FreeDiskSpace(const std::string& folder, std::uint64_t& bytes);
bool RemoveFile(const std::string& path);  // sets the attributes to normal first
bool RemoveDir(const std::string& path);   // only an empty folder
// Deletes the folder with every file and folder below it (read-only ones too).
bool RemoveFolderTree(const std::string& path);
bool SetAttributesNormal(const std::string& path);
bool MoveFileTo(const std::string& from, const std::string& to);
bool CopyFileOverwrite(const std::string& from, const std::string& to);
std::string ShortPathName(const std::string& path);  // the path unchanged when it has none
std::string LongPathName(const std::string& path);   // the same, every part in its long form
void SetCurrentDir(const std::string& path);         // raises SystemError on failure
std::string CurrentDir();
std::string NewGuidText();  // a new GUID in its braced registry form {XXXXXXXX-XXXX-...}

// ---- Processes and threads --------------------------------------------------------------------
class Handle {
public:
    Handle() = default;
    explicit Handle(void* h) : h_(h) {}
    ~Handle();
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
    Handle& operator=(Handle&& o) noexcept;
    void* Get() const { return h_; }
    bool Valid() const { return h_ != nullptr; }
    void Reset(void* h = nullptr);

private:
    void* h_ = nullptr;
};

constexpr unsigned long kWaitTimeout = 258;  // WAIT_TIMEOUT
constexpr unsigned long kInfinite = 0xFFFFFFFFu;

// Starts commandLine as given (no separate program name); hidden when asked. folder empty: the
// current one. The process handle is returned (invalid when the start failed).
Handle StartProcess(const std::string& commandLine, bool hidden, const std::string& folder = std::string());

// A process started with its program named by full path (never searched for), in a job of its own
// so that ending it also ends every process it started.
struct ProcessTree {
    Handle process;  // invalid when the start failed
    Handle job;      // invalid when the system gave no job; the process alone is ended then
};
ProcessTree StartProcessTree(const std::string& program, const std::string& commandLine, bool hidden);
// Ends the process and, with its job, every process it started.
void TerminateProcessTree(const ProcessTree& tree, unsigned int exitCode);
Handle OpenProcessForTermination(unsigned long processId);
bool TerminateProcess(const Handle& process, unsigned int exitCode);
unsigned long WaitFor(const Handle& object, unsigned long milliseconds);
bool ProcessExitCode(const Handle& process, unsigned long& exitCode);
void SleepMs(unsigned long milliseconds);
unsigned long TickCount();
unsigned long CurrentProcessId();

// A native thread created suspended, so that its owner can suspend and resume it at will. The body
// runs once resumed; the object never waits for it (the process may end with it suspended).
class Thread {
public:
    explicit Thread(void (*body)(void*), void* arg);
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    bool Valid() const { return handle_.Valid(); }
    // Suspend and resume are counted by the system.
    void Resume();
    void Suspend();
    // True once the body has returned (the handle tested with a zero time-out).
    bool Finished() const;
    bool WaitFinished(unsigned long milliseconds) const;

private:
    Handle handle_;
};

// ---- Shell links ------------------------------------------------------------------------------
// One shell link object (COM ShellLink with IShellLinkA and IPersistFile), reusable for several
// links. Every failure raises SystemError with the system's text.
class ShellLink {
public:
    ShellLink();
    ~ShellLink();
    ShellLink(const ShellLink&) = delete;
    ShellLink& operator=(const ShellLink&) = delete;
    void SetPath(const std::string& target);
    void SetArguments(const std::string& arguments);
    void SetWorkingDirectory(const std::string& folder);
    // Saves the link as a .lnk file (not remembered as the link's current file).
    void Save(const std::string& linkFile);

    // What a saved link holds, for checks.
    struct Contents {
        std::string path, arguments, workingDirectory;
    };
    static bool Read(const std::string& linkFile, Contents& contents);

private:
    struct Impl;
    Impl* impl_;
};

// ---- Code pages -------------------------------------------------------------------------------
// Text from the system's OEM code page into its ANSI code page, through the wide form. A character
// the ANSI page lacks becomes "_" (no best-fit look-alike, which could be a separator).
std::string OemToAnsiText(const std::string& oem);

// ---- Version ----------------------------------------------------------------------------------
// 2 for the NT family, anything else for the older family (GetVersionExA).
unsigned long PlatformId();

// ---- Resources --------------------------------------------------------------------------------
// The bytes of a raw-data (RCDATA) resource of the running program; names compare without case.
bool LoadProgramResource(const std::string& name, std::string& bytes);

// ---- Internet settings ------------------------------------------------------------------------
// The user's Internet settings (InternetQueryOptionA, option 38): access type and proxy list.
bool QueryInternetProxy(unsigned long& accessType, std::string& proxyList);

}  // namespace platform
