// Win32 implementation of the platform operations: errors, start-up, files and folders,
// processes, code pages, version. The registry, threads and shell links, resources and the
// Internet settings query live in their own files.
#include <windows.h>
#include <objbase.h>

#include "platform/Platform.h"
#include "platform/win32/Scoped.h"

namespace platform {


std::string SystemErrorMessage(unsigned long code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message;
    if (n != 0 && text != nullptr) message.assign(text, n);
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    if (message.empty()) message = "System error " + std::to_string(code);
    return message;
}

unsigned long LastErrorCode() { return GetLastError(); }

void RaiseLastError() {
    const DWORD code = GetLastError();
    throw SystemError(code, SystemErrorMessage(code));
}

std::string CommandLine() {
    const char* line = GetCommandLineA();
    return line != nullptr ? std::string(line) : std::string();
}

std::string ModuleFileName() {
    std::string buf(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, &buf[0], static_cast<DWORD>(buf.size()));
        if (n == 0) return std::string();
        if (n < buf.size()) return buf.substr(0, n);
        buf.resize(buf.size() * 2);
    }
}

// ---- Files and folders ------------------------------------------------------------------------

std::string NativePath(const std::string& path) {
    if (path.find("\\\\", 2) == std::string::npos) return path;
    std::string out = path.substr(0, 2);
    for (std::size_t i = 2; i < path.size(); ++i) {
        if (path[i] == '\\' && out.back() == '\\' && out.size() >= 2) continue;
        out += path[i];
    }
    return out;
}

std::string WindowsDirectory() {
    char buf[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryA(buf, MAX_PATH);
    return n > 0 && n <= MAX_PATH ? std::string(buf, n) : std::string();
}

std::string SystemDirectory() {
    char buf[MAX_PATH + 1] = {};
    const UINT n = GetSystemDirectoryA(buf, MAX_PATH);
    return n > 0 && n <= MAX_PATH ? std::string(buf, n) : std::string();
}

std::string TempDirectory() {
    char buf[MAX_PATH + 2] = {};
    const DWORD n = GetTempPathA(MAX_PATH + 1, buf);
    return n > 0 && n <= MAX_PATH + 1 ? std::string(buf, n) : std::string();
}

bool CreateDir(const std::string& path) { return CreateDirectoryA(NativePath(path).c_str(), nullptr) != 0; }

bool DirectoryExists(const std::string& path) {
    const DWORD attr = GetFileAttributesA(NativePath(path).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ForceDirectories(const std::string& path) {
    std::string dir = path;
    while (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    if (dir.empty()) return false;
    if (DirectoryExists(dir)) return true;
    const std::size_t slash = dir.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0) {
        const std::string parent = dir.substr(0, slash);
        // "C:" is a drive, not a folder to create.
        if (!(parent.size() == 2 && parent[1] == ':') && !ForceDirectories(parent)) return false;
    }
    return CreateDir(dir) || DirectoryExists(dir);
}

bool FileExists(const std::string& path) {
    const DWORD attr = GetFileAttributesA(NativePath(path).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

PathKind KindOf(const std::string& path) {
    const DWORD attr = GetFileAttributesA(NativePath(path).c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
    return (attr & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
}

bool FileSize(const std::string& path, std::uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(NativePath(path).c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool SetAttributesNormal(const std::string& path) {
    return SetFileAttributesA(NativePath(path).c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool RemoveFile(const std::string& path) {
    SetAttributesNormal(path);
    return DeleteFileA(NativePath(path).c_str()) != 0;
}

bool RemoveDir(const std::string& path) { return RemoveDirectoryA(NativePath(path).c_str()) != 0; }

bool RemoveFolderTree(const std::string& path) {
    if (path.empty()) return false;
    WIN32_FIND_DATAA found;
    scoped::FindHandle search((path + "\\*").c_str(), found);
    if (search.Valid()) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = path + "\\" + name;
            // A link to a folder is removed as itself, never followed.
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveFolderTree(child);
            else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDir(child);
            else
                RemoveFile(child);
        } while (FindNextFileA(search.Get(), &found));
    }
    SetAttributesNormal(path);
    return RemoveDir(path);
}

bool MoveFileTo(const std::string& from, const std::string& to) {
    return MoveFileA(NativePath(from).c_str(), NativePath(to).c_str()) != 0;
}

bool CopyFileOverwrite(const std::string& from, const std::string& to) {
    return CopyFileA(NativePath(from).c_str(), NativePath(to).c_str(), FALSE) != 0;
}

namespace {

// A path the system rewrites (GetShortPathNameA, GetLongPathNameA): one call with room for
// MAX_PATH characters usually does; a longer answer is asked for again with the size the system
// gave. Each call walks the path's folders, a round trip per folder under Wine, so the size is
// not asked for first. The path unchanged when the system has no answer.
std::string RewrittenPath(DWORD(WINAPI* rewrite)(LPCSTR, LPSTR, DWORD), const std::string& path) {
    std::string buffer(MAX_PATH + 1, '\0');
    DWORD n = rewrite(path.c_str(), &buffer[0], static_cast<DWORD>(buffer.size()));
    if (n >= buffer.size()) {
        buffer.assign(n, '\0');
        n = rewrite(path.c_str(), &buffer[0], n);
    }
    if (n == 0 || n >= buffer.size()) return path;
    buffer.resize(n);
    return buffer;
}

}  // namespace

std::string ShortPathName(const std::string& path) { return RewrittenPath(GetShortPathNameA, path); }

std::string LongPathName(const std::string& path) { return RewrittenPath(GetLongPathNameA, path); }

void SetCurrentDir(const std::string& path) {
    if (!SetCurrentDirectoryA(path.c_str())) RaiseLastError();
}

std::string CurrentDir() {
    const DWORD need = GetCurrentDirectoryA(0, nullptr);
    if (need == 0) return std::string();
    std::string buf(need, '\0');
    const DWORD n = GetCurrentDirectoryA(need, &buf[0]);
    buf.resize(n < need ? n : 0);
    return buf;
}

std::string NewGuidText() {
    GUID g;
    if (FAILED(CoCreateGuid(&g))) RaiseLastError();
    char text[40];
    wsprintfA(text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned long>(g.Data1),
              g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
              g.Data4[7]);
    return text;
}

// ---- Processes and threads --------------------------------------------------------------------

Handle::~Handle() { Reset(); }

Handle& Handle::operator=(Handle&& o) noexcept {
    if (this != &o) {
        Reset(o.h_);
        o.h_ = nullptr;
    }
    return *this;
}

void Handle::Reset(void* h) {
    if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    h_ = h;
}

namespace {
// One process from a command line, shown or hidden, without handle inheritance. program null: the
// program is the command line's first word, searched for as the system does.
bool CreateFrom(const char* program, const std::string& commandLine, bool hidden, DWORD flags, const char* folder,
                PROCESS_INFORMATION& pi) {
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = hidden ? SW_HIDE : SW_SHOWNORMAL;
    ZeroMemory(&pi, sizeof pi);
    std::string line = commandLine;  // CreateProcessA may write into the command line
    line.push_back('\0');
    return CreateProcessA(program, &line[0], nullptr, nullptr, FALSE, flags, nullptr, folder, &si, &pi) != 0;
}
}  // namespace

Handle StartProcess(const std::string& commandLine, bool hidden, const std::string& folder) {
    PROCESS_INFORMATION pi;
    if (!CreateFrom(nullptr, commandLine, hidden, 0, folder.empty() ? nullptr : folder.c_str(), pi)) return Handle();
    CloseHandle(pi.hThread);
    return Handle(pi.hProcess);
}

ProcessTree StartProcessTree(const std::string& program, const std::string& commandLine, bool hidden) {
    // Suspended until it is in its job, so that nothing it starts escapes the job.
    ProcessTree tree;
    PROCESS_INFORMATION pi;
    if (!CreateFrom(program.c_str(), commandLine, hidden, CREATE_SUSPENDED, nullptr, pi)) return tree;
    tree.process.Reset(pi.hProcess);
    tree.job.Reset(CreateJobObjectA(nullptr, nullptr));
    // A program already in a job that allows no nesting keeps the process outside any job.
    if (tree.job.Valid() && !AssignProcessToJobObject(tree.job.Get(), pi.hProcess)) tree.job.Reset();
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    return tree;
}

void TerminateProcessTree(const ProcessTree& tree, unsigned int exitCode) {
    if (tree.job.Valid()) TerminateJobObject(tree.job.Get(), exitCode);
    if (tree.process.Valid()) ::TerminateProcess(tree.process.Get(), exitCode);
}

Handle OpenProcessForTermination(unsigned long processId) {
    return Handle(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
}

bool TerminateProcess(const Handle& process, unsigned int exitCode) {
    return process.Valid() && ::TerminateProcess(process.Get(), exitCode) != 0;
}

unsigned long WaitFor(const Handle& object, unsigned long milliseconds) {
    return WaitForSingleObject(object.Get(), milliseconds);
}

bool ProcessExitCode(const Handle& process, unsigned long& exitCode) {
    DWORD code = 0;
    if (!GetExitCodeProcess(process.Get(), &code)) return false;
    exitCode = code;
    return true;
}

void SleepMs(unsigned long milliseconds) { Sleep(milliseconds); }
unsigned long TickCount() { return GetTickCount(); }
unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

// ---- Code pages -------------------------------------------------------------------------------

std::string OemToAnsiText(const std::string& oem) {
    if (oem.empty()) return oem;
    const int size = static_cast<int>(oem.size());
    const int wide = MultiByteToWideChar(CP_OEMCP, 0, oem.data(), size, nullptr, 0);
    if (wide <= 0) return std::string(oem.size(), '_');
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_OEMCP, 0, oem.data(), size, &text[0], wide);
    const int ansi = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, nullptr, 0, "_", nullptr);
    if (ansi <= 0) return std::string(oem.size(), '_');
    std::string out(static_cast<std::size_t>(ansi), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, &out[0], ansi, "_", nullptr);
    return out;
}

// ---- Version ----------------------------------------------------------------------------------

unsigned long PlatformId() {
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) return 0;
#pragma GCC diagnostic pop
    return info.dwPlatformId;
}

}  // namespace platform
