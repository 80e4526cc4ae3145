#include "platform/SocketTransport.h"

#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "http/HttpErrors.h"

namespace platform {

namespace {

// errno values onto the Windows Sockets numbers the client's messages are made from.
int WinsockCode(int error) {
    switch (error) {
        case EINTR: return http::kWsaEINTR;
        case EBADF: return http::kWsaEBADF;
        case EACCES: return http::kWsaEACCES;
        case EPERM: return http::kWsaEACCES;
        case EFAULT: return http::kWsaEFAULT;
        case EINVAL: return http::kWsaEINVAL;
        case EMFILE: return http::kWsaEMFILE;
        case ENFILE: return http::kWsaEMFILE;
        case EWOULDBLOCK: return http::kWsaEWOULDBLOCK;
        case EINPROGRESS: return http::kWsaEINPROGRESS;
        case EALREADY: return http::kWsaEALREADY;
        case ENOTSOCK: return http::kWsaENOTSOCK;
        case EMSGSIZE: return http::kWsaEMSGSIZE;
        case EAFNOSUPPORT: return http::kWsaEAFNOSUPPORT;
        case EADDRINUSE: return http::kWsaEADDRINUSE;
        case EADDRNOTAVAIL: return http::kWsaEADDRNOTAVAIL;
        case ENETDOWN: return http::kWsaENETDOWN;
        case ENETUNREACH: return http::kWsaENETUNREACH;
        case ENETRESET: return http::kWsaENETRESET;
        case ECONNABORTED: return http::kWsaECONNABORTED;
        case ECONNRESET: return http::kWsaECONNRESET;
        case EPIPE: return http::kWsaECONNRESET;
        case ENOBUFS: return http::kWsaENOBUFS;
        case ENOMEM: return http::kWsaENOBUFS;
        case EISCONN: return http::kWsaEISCONN;
        case ENOTCONN: return http::kWsaENOTCONN;
        case ESHUTDOWN: return http::kWsaESHUTDOWN;
        case ETIMEDOUT: return http::kWsaETIMEDOUT;
        case ECONNREFUSED: return http::kWsaECONNREFUSED;
        case EHOSTDOWN: return http::kWsaEHOSTDOWN;
        case EHOSTUNREACH: return http::kWsaEHOSTUNREACH;
        default: return 10000 + error;  // not described: the number alone
    }
}

int ResolverCode(int error) {
    switch (error) {
        case EAI_AGAIN: return http::kWsaTryAgain;
        case EAI_FAIL: return http::kWsaNoRecovery;
#ifdef EAI_NODATA
        case EAI_NODATA: return http::kWsaNoData;
#endif
        case EAI_MEMORY: return http::kWsaENOBUFS;
        case EAI_SYSTEM: return WinsockCode(errno);
        default: return http::kWsaHostNotFound;
    }
}

// Milliseconds for poll: 0 means wait without limit.
int PollTimeout(int timeoutMs) { return timeoutMs > 0 ? timeoutMs : -1; }

class PosixSocketTransport : public http::Transport {
public:
    ~PosixSocketTransport() override { Disconnect(); }

    void Connect(const std::string& host, int port, int timeoutMs) override {
        Disconnect();
        if (host.empty()) throw http::SocketError(http::kWsaHostNotFound);
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        addrinfo* found = nullptr;
        const std::string service = std::to_string(port);
        const int resolved = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
        if (resolved != 0) throw http::SocketError(ResolverCode(resolved));
        int lastError = http::kWsaHostNotFound;
        bool timedOut = false;
        for (addrinfo* a = found; a; a = a->ai_next) {
            const int error = TryConnect(a, timeoutMs, timedOut);
            if (error == 0) break;
            lastError = error;
        }
        freeaddrinfo(found);
        if (fd_ >= 0) return;
        if (timedOut) throw http::HttpError(http::kConnectTimedOut);
        throw http::SocketError(lastError);
    }

    void Disconnect() override {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

    bool Connected() const override { return fd_ >= 0; }

    void Send(const char* data, std::size_t size) override {
        if (fd_ < 0) throw http::SocketError(http::kWsaENOTCONN);
        while (size > 0) {
            const ssize_t sent = send(fd_, data, size, MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EINTR) continue;
                throw http::SocketError(WinsockCode(errno));
            }
            data += sent;
            size -= static_cast<std::size_t>(sent);
        }
    }

    std::size_t Receive(char* buffer, std::size_t size, int timeoutMs) override {
        if (fd_ < 0) throw http::SocketError(http::kWsaENOTCONN);
        while (true) {
            if (timeoutMs > 0) {
                pollfd p{fd_, POLLIN, 0};
                const int ready = poll(&p, 1, timeoutMs);
                if (ready < 0) {
                    if (errno == EINTR) continue;
                    throw http::SocketError(WinsockCode(errno));
                }
                if (ready == 0) throw http::HttpError(http::kReadTimeout);
            }
            const ssize_t got = recv(fd_, buffer, size, 0);
            if (got < 0) {
                if (errno == EINTR) continue;
                throw http::SocketError(WinsockCode(errno));
            }
            return static_cast<std::size_t>(got);
        }
    }

private:
    // Returns 0 when connected (fd_ set), else the Windows Sockets number of the failure.
    int TryConnect(const addrinfo* a, int timeoutMs, bool& timedOut) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) return WinsockCode(errno);
        if (timeoutMs <= 0) {
            int result;
            do {
                result = connect(fd, a->ai_addr, a->ai_addrlen);
            } while (result < 0 && errno == EINTR);
            if (result < 0) {
                const int error = errno;
                close(fd);
                return WinsockCode(error);
            }
        } else {
            const int flags = fcntl(fd, F_GETFL);
            fcntl(fd, F_SETFL, flags | O_NONBLOCK);
            if (connect(fd, a->ai_addr, a->ai_addrlen) < 0) {
                if (errno != EINPROGRESS) {
                    const int error = errno;
                    close(fd);
                    return WinsockCode(error);
                }
                pollfd p{fd, POLLOUT, 0};
                int ready;
                do {
                    ready = poll(&p, 1, PollTimeout(timeoutMs));
                } while (ready < 0 && errno == EINTR);
                if (ready == 0) {
                    close(fd);
                    timedOut = true;
                    return http::kWsaETIMEDOUT;
                }
                int error = 0;
                socklen_t length = sizeof error;
                if (ready < 0) error = errno;
                else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0) error = errno;
                if (error != 0) {
                    close(fd);
                    return WinsockCode(error);
                }
            }
            fcntl(fd, F_SETFL, flags);
        }
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        fd_ = fd;
        timedOut = false;
        return 0;
    }

    int fd_ = -1;
};

}  // namespace

std::unique_ptr<http::Transport> MakeSocketTransport() {
    return std::make_unique<PosixSocketTransport>();
}

}  // namespace platform
