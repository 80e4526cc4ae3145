// TLS over another Transport: what an "https" address is fetched through. The HTTP code above
// sees a Transport like any other; the bytes it sends and receives are the plaintext.
//
// Contract, beyond Transport's:
// - Connect connects the inner transport and runs the handshake; Secure runs the handshake over
//   an inner connection that is already open (the tunnel a proxy opened with CONNECT). Every read
//   of the handshake waits at most the given time-out ("Read Timeout"), 0 without limit.
// - Receive returns 0 after the server's close_notify. A connection that ends without it raises
//   kTlsClosedEarly ("a truncated transfer is never a success"), except when nothing at all
//   arrived since the last Send: that is a server dropping an idle connection, and reads as the
//   orderly close, so that the HTTP client reports or retries it as it does for plain HTTP.
// - Disconnect sends close_notify (best effort) before the inner connection is closed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "http/TlsEngine.h"
#include "http/Transport.h"

namespace http {

class TlsTransport : public Transport {
public:
    // `inner` must outlive this transport.
    TlsTransport(Transport& inner, TlsEngineFactory engines);
    ~TlsTransport() override;

    void Connect(const std::string& host, int port, int timeoutMs) override;
    void Secure(const std::string& host, int timeoutMs);
    void Disconnect() override;
    bool Connected() const override;
    void Send(const char* data, std::size_t size) override;
    std::size_t Receive(char* buffer, std::size_t size, int timeoutMs) override;

private:
    // Reads more of the server's bytes behind what is held; false at the end of the connection.
    bool Fill(int timeoutMs);
    void SendRaw(const std::string& bytes);

    Transport& inner_;
    TlsEngineFactory engines_;
    std::unique_ptr<TlsEngine> engine_;
    bool closed_ = false;           // close_notify received
    bool sinceSend_ = false;        // plaintext arrived since the last Send
    std::vector<char> in_;          // the server's bytes not yet taken by the engine
    std::size_t inUsed_ = 0;
    std::string plain_;             // plaintext decrypted but not yet handed out
    std::size_t plainHead_ = 0;
    std::string out_;               // bytes the engine asks to send
};

}  // namespace http
