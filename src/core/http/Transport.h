// The connection under the HTTP client: one TCP stream at a time. Implementations live in
// src/platform (Windows Sockets loaded at run time on Win32, POSIX sockets natively); tests and
// the fuzzer supply their own.
#pragma once

#include <cstddef>
#include <string>

namespace http {

class Transport {
public:
    virtual ~Transport() = default;

    // Resolves `host` and connects to it. `timeoutMs` 0 waits as long as the system does; above
    // 0 it bounds the connect, raising HttpError "Connect timed out." when it elapses. Other
    // failures raise SocketError with the Windows Sockets number.
    virtual void Connect(const std::string& host, int port, int timeoutMs) = 0;

    // Closes the connection; harmless when there is none.
    virtual void Disconnect() = 0;

    virtual bool Connected() const = 0;

    // Writes all `size` bytes; raises SocketError on failure.
    virtual void Send(const char* data, std::size_t size) = 0;

    // Reads at most `size` bytes (size > 0) into `buffer`, waiting at most `timeoutMs` (0: no
    // limit) for the first byte. Returns the count read, 0 when the peer closed the connection
    // in order. Raises HttpError "Read Timeout" when the wait elapses and SocketError on failure.
    virtual std::size_t Receive(char* buffer, std::size_t size, int timeoutMs) = 0;
};

}  // namespace http
