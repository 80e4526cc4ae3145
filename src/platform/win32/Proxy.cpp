#include "platform/Proxy.h"

#include <windows.h>
#include <wininet.h>

#include "http/ProxyList.h"
#include "platform/win32/SystemLibrary.h"

namespace platform {

namespace {
using QueryOption = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD);

// WinINet from the system folder only, loaded when first asked (never at program start, when a
// DLL planted beside the program would be found first). Kept loaded for the process's life.
QueryOption LoadQueryOption() {
    static QueryOption query =
        SystemFunction<QueryOption>(LoadSystemLibrary("wininet.dll"), "InternetQueryOptionA");
    return query;
}
}  // namespace

bool QueryInternetProxy(unsigned long& accessType, std::string& proxyList) {
    const QueryOption queryOption = LoadQueryOption();
    if (queryOption == nullptr) return false;
    // Asked without an Internet handle: the global setting, into 4096 bytes. The answer is an
    // INTERNET_PROXY_INFO record whose texts live in the same buffer; an
    // answer that does not fit makes the query fail.
    union {
        INTERNET_PROXY_INFO info;
        unsigned char bytes[4096];
    } buffer;
    DWORD size = sizeof buffer;
    if (!queryOption(nullptr, INTERNET_OPTION_PROXY, &buffer, &size)) return false;
    accessType = buffer.info.dwAccessType;
    const char* list = reinterpret_cast<const char*>(buffer.info.lpszProxy);
    proxyList = list ? list : "";
    return true;
}

bool DiscoverProxy(std::string& server, int& port) {
    return http::DiscoverProxy(QueryInternetProxy, server, port);
}

}  // namespace platform
