// Win32 threads created suspended, and shell links through COM.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "platform/Platform.h"
#include "platform/win32/Scoped.h"

namespace platform {

namespace {
struct ThreadStart {
    void (*body)(void*);
    void* arg;
};

// Nothing escapes a thread: an exception leaving its body would end the process.
DWORD WINAPI ThreadEntry(LPVOID p) {
    ThreadStart* start = static_cast<ThreadStart*>(p);
    try {
        start->body(start->arg);
    } catch (...) {
        // The body reports its own failures; this is the last guard.
    }
    delete start;
    return 0;
}
}  // namespace

Thread::Thread(void (*body)(void*), void* arg) {
    ThreadStart* start = new ThreadStart{body, arg};
    DWORD id = 0;
    HANDLE h = CreateThread(nullptr, 0, ThreadEntry, start, CREATE_SUSPENDED, &id);
    if (h == nullptr) {
        delete start;
        RaiseLastError();
    }
    handle_.Reset(h);
}

Thread::~Thread() = default;

void Thread::Resume() { ResumeThread(handle_.Get()); }
void Thread::Suspend() { SuspendThread(handle_.Get()); }
bool Thread::Finished() const { return WaitForSingleObject(handle_.Get(), 0) == WAIT_OBJECT_0; }
bool Thread::WaitFinished(unsigned long milliseconds) const {
    return WaitForSingleObject(handle_.Get(), milliseconds) == WAIT_OBJECT_0;
}

// ---- Shell links ------------------------------------------------------------------------------

namespace {
[[noreturn]] void RaiseHresult(HRESULT hr) {
    throw SystemError(static_cast<unsigned long>(hr), SystemErrorMessage(static_cast<unsigned long>(hr)));
}
void Check(HRESULT hr) {
    if (FAILED(hr)) RaiseHresult(hr);
}
std::wstring Wide(const std::string& text) {
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? n : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &w[0], n);
    w.resize(n > 0 ? n - 1 : 0);
    return w;
}
}  // namespace

// The members go in reverse order: the interfaces before the apartment.
struct ShellLink::Impl {
    scoped::ComApartment apartment;
    scoped::ComPtr<IShellLinkA> link;
    scoped::ComPtr<IPersistFile> file;
};

ShellLink::ShellLink() : impl_(new Impl) {
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, impl_->link.Out());
    if (SUCCEEDED(hr)) hr = impl_->link->QueryInterface(IID_IPersistFile, impl_->file.Out());
    if (FAILED(hr)) {
        delete impl_;
        impl_ = nullptr;
        RaiseHresult(hr);
    }
}

ShellLink::~ShellLink() { delete impl_; }

void ShellLink::SetPath(const std::string& target) { Check(impl_->link->SetPath(target.c_str())); }
void ShellLink::SetArguments(const std::string& arguments) { Check(impl_->link->SetArguments(arguments.c_str())); }
void ShellLink::SetWorkingDirectory(const std::string& folder) {
    Check(impl_->link->SetWorkingDirectory(folder.c_str()));
}
void ShellLink::Save(const std::string& linkFile) { Check(impl_->file->Save(Wide(linkFile).c_str(), FALSE)); }

bool ShellLink::Read(const std::string& linkFile, Contents& contents) {
    try {
        ShellLink reader;
        if (FAILED(reader.impl_->file->Load(Wide(linkFile).c_str(), STGM_READ))) return false;
        char buf[MAX_PATH * 4] = {};
        if (FAILED(reader.impl_->link->GetPath(buf, sizeof buf, nullptr, SLGP_RAWPATH))) return false;
        contents.path = buf;
        buf[0] = 0;
        if (FAILED(reader.impl_->link->GetArguments(buf, sizeof buf))) return false;
        contents.arguments = buf;
        buf[0] = 0;
        if (FAILED(reader.impl_->link->GetWorkingDirectory(buf, sizeof buf))) return false;
        contents.workingDirectory = buf;
        return true;
    } catch (const SystemError&) {
        return false;
    }
}

}  // namespace platform
