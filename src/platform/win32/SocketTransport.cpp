#include "platform/SocketTransport.h"

// Types and constants only: every Windows Sockets function is called through a pointer taken
// from WS2_32.DLL, loaded from the system folder when the first transport is made.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <mutex>
#include <string>

#include "http/HttpErrors.h"
#include "platform/win32/SystemLibrary.h"

namespace platform {

namespace {

struct Winsock {
    HMODULE module = nullptr;
    int users = 0;
    int(WSAAPI* startup)(WORD, LPWSADATA) = nullptr;
    int(WSAAPI* cleanup)() = nullptr;
    int(WSAAPI* lastError)() = nullptr;
    SOCKET(WSAAPI* socket)(int, int, int) = nullptr;
    int(WSAAPI* closesocket)(SOCKET) = nullptr;
    int(WSAAPI* connect)(SOCKET, const sockaddr*, int) = nullptr;
    int(WSAAPI* send)(SOCKET, const char*, int, int) = nullptr;
    int(WSAAPI* recv)(SOCKET, char*, int, int) = nullptr;
    int(WSAAPI* select)(int, fd_set*, fd_set*, fd_set*, const timeval*) = nullptr;
    int(WSAAPI* ioctlsocket)(SOCKET, long, u_long*) = nullptr;
    int(WSAAPI* getsockopt)(SOCKET, int, int, char*, int*) = nullptr;
    int(WSAAPI* setsockopt)(SOCKET, int, int, const char*, int) = nullptr;
    int(WSAAPI* getaddrinfo)(const char*, const char*, const addrinfo*, addrinfo**) = nullptr;
    void(WSAAPI* freeaddrinfo)(addrinfo*) = nullptr;
};

// One socket layer for the process, started (WSAStartup) by the first transport alive and
// released (WSACleanup) by the last, under a lock that all transports share.
std::mutex gLock;
Winsock gWinsock;

template <typename F>
bool Bind(HMODULE module, F& function, const char* name) {
    function = SystemFunction<F>(module, name);
    return function != nullptr;
}

void Acquire() {
    std::lock_guard<std::mutex> hold(gLock);
    if (gWinsock.users > 0) {
        ++gWinsock.users;
        return;
    }
    if (!gWinsock.module) {
        Winsock ws;
        ws.module = LoadSystemLibrary("WS2_32.DLL");  // never from the program's folder or the path
        if (!ws.module) throw http::HttpError("Cannot load WS2_32.DLL");
        const bool bound =
            Bind(ws.module, ws.startup, "WSAStartup") && Bind(ws.module, ws.cleanup, "WSACleanup") &&
            Bind(ws.module, ws.lastError, "WSAGetLastError") && Bind(ws.module, ws.socket, "socket") &&
            Bind(ws.module, ws.closesocket, "closesocket") && Bind(ws.module, ws.connect, "connect") &&
            Bind(ws.module, ws.send, "send") && Bind(ws.module, ws.recv, "recv") &&
            Bind(ws.module, ws.select, "select") && Bind(ws.module, ws.ioctlsocket, "ioctlsocket") &&
            Bind(ws.module, ws.getsockopt, "getsockopt") && Bind(ws.module, ws.setsockopt, "setsockopt") &&
            Bind(ws.module, ws.getaddrinfo, "getaddrinfo") && Bind(ws.module, ws.freeaddrinfo, "freeaddrinfo");
        if (!bound) {
            FreeLibrary(ws.module);
            throw http::HttpError("Cannot load WS2_32.DLL");
        }
        gWinsock = ws;
    }
    WSADATA data;
    const int started = gWinsock.startup(MAKEWORD(2, 2), &data);
    if (started != 0) throw http::SocketError(started);
    gWinsock.users = 1;
}

// The last transport ends the socket layer's use. The library itself stays mapped for the
// process's life: Wine's WS2_32 does not survive being unloaded and loaded again (its sockets
// then fail with 10038), and a mapped library costs nothing once the layer is released.
void Release() {
    std::lock_guard<std::mutex> hold(gLock);
    if (--gWinsock.users > 0) return;
    gWinsock.cleanup();
}

// A set holding one socket; the FD_ macros would call into the library directly.
fd_set SetOf(SOCKET s) {
    fd_set set;
    set.fd_count = 1;
    set.fd_array[0] = s;
    return set;
}

timeval Interval(int ms) {
    timeval t;
    t.tv_sec = ms / 1000;
    t.tv_usec = (ms % 1000) * 1000;
    return t;
}

class WinsockTransport : public http::Transport {
public:
    WinsockTransport() { Acquire(); }
    ~WinsockTransport() override {
        Disconnect();
        Release();
    }

    void Connect(const std::string& host, int port, int timeoutMs) override {
        Disconnect();
        if (host.empty()) throw http::SocketError(http::kWsaHostNotFound);
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        addrinfo* found = nullptr;
        const std::string service = std::to_string(port);
        const int resolved = gWinsock.getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
        if (resolved != 0) throw http::SocketError(resolved);
        int lastError = http::kWsaHostNotFound;
        bool timedOut = false;
        for (addrinfo* a = found; a; a = a->ai_next) {
            const int error = TryConnect(a, timeoutMs, timedOut);
            if (error == 0) break;
            lastError = error;
        }
        gWinsock.freeaddrinfo(found);
        if (socket_ != INVALID_SOCKET) return;
        if (timedOut) throw http::HttpError(http::kConnectTimedOut);
        throw http::SocketError(lastError);
    }

    void Disconnect() override {
        if (socket_ != INVALID_SOCKET) gWinsock.closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

    bool Connected() const override { return socket_ != INVALID_SOCKET; }

    void Send(const char* data, std::size_t size) override {
        if (socket_ == INVALID_SOCKET) throw http::SocketError(http::kWsaENOTCONN);
        while (size > 0) {
            const int piece = size > 0x10000000 ? 0x10000000 : static_cast<int>(size);
            const int sent = gWinsock.send(socket_, data, piece, 0);
            if (sent == SOCKET_ERROR) throw http::SocketError(gWinsock.lastError());
            data += sent;
            size -= static_cast<std::size_t>(sent);
        }
    }

    std::size_t Receive(char* buffer, std::size_t size, int timeoutMs) override {
        if (socket_ == INVALID_SOCKET) throw http::SocketError(http::kWsaENOTCONN);
        if (timeoutMs > 0) {
            fd_set readable = SetOf(socket_);
            const timeval wait = Interval(timeoutMs);
            const int ready = gWinsock.select(0, &readable, nullptr, nullptr, &wait);
            if (ready == SOCKET_ERROR) throw http::SocketError(gWinsock.lastError());
            if (ready == 0) throw http::HttpError(http::kReadTimeout);
        }
        const int piece = size > 0x10000000 ? 0x10000000 : static_cast<int>(size);
        const int got = gWinsock.recv(socket_, buffer, piece, 0);
        if (got == SOCKET_ERROR) throw http::SocketError(gWinsock.lastError());
        // Only an orderly close ends the stream. Wine can hand a reset back from recv as 0 bytes,
        // as if the server had closed in order; a send of nothing tells them apart: it passes
        // on a connection the server only closed its side of and fails on one that is gone.
        if (got == 0 && gWinsock.send(socket_, buffer, 0, 0) == SOCKET_ERROR) {
            throw http::SocketError(gWinsock.lastError());
        }
        return static_cast<std::size_t>(got);
    }

private:
    // Returns 0 when connected (socket_ set), else the Windows Sockets number of the failure.
    int TryConnect(const addrinfo* a, int timeoutMs, bool& timedOut) {
        const SOCKET s = gWinsock.socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) return gWinsock.lastError();
        if (timeoutMs <= 0) {
            if (gWinsock.connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == SOCKET_ERROR) {
                const int error = gWinsock.lastError();
                gWinsock.closesocket(s);
                return error;
            }
        } else {
            u_long nonBlocking = 1;
            gWinsock.ioctlsocket(s, FIONBIO, &nonBlocking);
            if (gWinsock.connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == SOCKET_ERROR) {
                const int error = gWinsock.lastError();
                if (error != WSAEWOULDBLOCK) {
                    gWinsock.closesocket(s);
                    return error;
                }
                fd_set writable = SetOf(s);
                fd_set failed = SetOf(s);
                const timeval wait = Interval(timeoutMs);
                const int ready = gWinsock.select(0, nullptr, &writable, &failed, &wait);
                if (ready == 0) {
                    gWinsock.closesocket(s);
                    timedOut = true;
                    return WSAETIMEDOUT;
                }
                int soError = 0;
                int length = sizeof soError;
                if (ready == SOCKET_ERROR) {
                    soError = gWinsock.lastError();
                } else if (failed.fd_count > 0 || writable.fd_count == 0) {
                    if (gWinsock.getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length) ==
                            SOCKET_ERROR ||
                        soError == 0) {
                        soError = WSAECONNREFUSED;
                    }
                }
                if (soError != 0) {
                    gWinsock.closesocket(s);
                    return soError;
                }
            }
            u_long blocking = 0;
            gWinsock.ioctlsocket(s, FIONBIO, &blocking);
        }
        const BOOL one = TRUE;
        gWinsock.setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
        socket_ = s;
        timedOut = false;
        return 0;
    }

    SOCKET socket_ = INVALID_SOCKET;
};

}  // namespace

std::unique_ptr<http::Transport> MakeSocketTransport() {
    return std::make_unique<WinsockTransport>();
}

}  // namespace platform
