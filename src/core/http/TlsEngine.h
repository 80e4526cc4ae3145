// The system's TLS library seen as a machine that turns bytes into bytes: the handshake, records
// taken apart and records made. It never touches a connection; TlsTransport moves the bytes
// between it and the socket. Implementations: Schannel (SSPI) on Win32, OpenSSL natively, both
// in src/platform.
//
// Contract shared by both:
// - TLS 1.2 and 1.3 only; the host name is sent for SNI (when it is a name, not an address).
// - The server's certificate is checked by the system before Handshake answers Done: chain to a
//   trusted root, dates, the host name. A failed check raises HttpError with one of the texts
//   kTlsUntrusted, kTlsExpired, kTlsNameMismatch, kTlsRevoked (then the system's reason); any
//   other failure of the handshake raises kTlsHandshakeFailed with the system's reason.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace http {

class TlsEngine {
public:
    enum class Result {
        Done,      // Handshake: the session is up. Decrypt: plaintext or nothing, go on
        NeedMore,  // nothing more can be done before more bytes arrive from the server
        Closed,    // Decrypt: the server's close_notify alert
    };

    virtual ~TlsEngine() = default;

    // Takes the server's bytes `in` (possibly none, for the first call); sets `consumed` to the
    // count it used (the rest must be offered again, with more behind it) and appends to `out`
    // what must be sent to the server.
    virtual Result Handshake(char* in, std::size_t size, std::size_t& consumed, std::string& out) = 0;

    // Takes records from `in` (may change the bytes in place), appends their plaintext to
    // `plain` and anything to send (answers to post-handshake messages) to `out`. Returns
    // NeedMore when `in` holds no whole record, Closed at close_notify. Raises HttpError
    // kTlsBadRecord (with the system's reason) for a record that does not decrypt.
    virtual Result Decrypt(char* in, std::size_t size, std::size_t& consumed, std::string& plain,
                           std::string& out) = 0;

    // Appends the records that carry `data` to `out`.
    virtual void Encrypt(const char* data, std::size_t size, std::string& out) = 0;

    // Appends the close_notify alert to `out`.
    virtual void Close(std::string& out) = 0;
};

// A new engine for a connection to `host`.
using TlsEngineFactory = std::function<std::unique_ptr<TlsEngine>(const std::string& host)>;

}  // namespace http
