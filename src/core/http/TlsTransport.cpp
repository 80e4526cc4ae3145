#include "http/TlsTransport.h"

#include <algorithm>
#include <cstring>

#include "http/HttpErrors.h"

namespace http {

namespace {

// Room for the server's bytes: a whole record at its largest (2^14 plaintext bytes plus 2048 of
// expansion and the 5-byte header, RFC 8446 5.2 and RFC 5246 6.2.3) fits several times, so that
// one read usually takes several records.
constexpr std::size_t kInputRoom = 65536;

}  // namespace

TlsTransport::TlsTransport(Transport& inner, TlsEngineFactory engines)
    : inner_(inner), engines_(std::move(engines)), in_(kInputRoom) {}

TlsTransport::~TlsTransport() { Disconnect(); }

void TlsTransport::Connect(const std::string& host, int port, int timeoutMs) {
    Disconnect();
    inner_.Connect(host, port, timeoutMs);
    Secure(host, timeoutMs);
}

void TlsTransport::Secure(const std::string& host, int timeoutMs) {
    engine_.reset();
    closed_ = sinceSend_ = false;
    inUsed_ = 0;
    plain_.clear();
    plainHead_ = 0;
    try {
        std::unique_ptr<TlsEngine> engine = engines_(host);
        while (true) {
            std::size_t consumed = 0;
            out_.clear();
            const TlsEngine::Result result = engine->Handshake(in_.data(), inUsed_, consumed, out_);
            std::memmove(in_.data(), in_.data() + consumed, inUsed_ - consumed);
            inUsed_ -= consumed;
            SendRaw(out_);
            if (result == TlsEngine::Result::Done) break;
            if (!Fill(timeoutMs)) {
                throw HttpError(std::string(kTlsHandshakeFailed) + " The server closed the connection.");
            }
        }
        engine_ = std::move(engine);
    } catch (...) {
        // No close_notify for a session that never was.
        inner_.Disconnect();
        throw;
    }
}

void TlsTransport::Disconnect() {
    if (engine_ && inner_.Connected()) {
        try {
            out_.clear();
            engine_->Close(out_);
            SendRaw(out_);
        } catch (...) {
            // The connection is going anyway; a peer that is gone cannot be told.
        }
    }
    engine_.reset();
    inner_.Disconnect();
    inUsed_ = 0;
    plain_.clear();
    plainHead_ = 0;
    closed_ = sinceSend_ = false;
}

bool TlsTransport::Connected() const { return engine_ != nullptr && inner_.Connected(); }

void TlsTransport::Send(const char* data, std::size_t size) {
    if (!Connected()) throw SocketError(kWsaENOTCONN);
    out_.clear();
    engine_->Encrypt(data, size, out_);
    SendRaw(out_);
    sinceSend_ = plainHead_ < plain_.size();
}

std::size_t TlsTransport::Receive(char* buffer, std::size_t size, int timeoutMs) {
    if (!Connected()) throw SocketError(kWsaENOTCONN);
    while (plainHead_ == plain_.size()) {
        plain_.clear();
        plainHead_ = 0;
        if (closed_) return 0;
        std::size_t consumed = 0;
        out_.clear();
        const TlsEngine::Result result = engine_->Decrypt(in_.data(), inUsed_, consumed, plain_, out_);
        std::memmove(in_.data(), in_.data() + consumed, inUsed_ - consumed);
        inUsed_ -= consumed;
        SendRaw(out_);
        if (!plain_.empty()) sinceSend_ = true;
        if (result == TlsEngine::Result::Closed) closed_ = true;
        if (!plain_.empty() || closed_) continue;
        // A record without application data (a session ticket, a key update): look again.
        if (result == TlsEngine::Result::Done && consumed > 0) continue;
        if (Fill(timeoutMs)) continue;
        if (!sinceSend_) return 0;
        throw HttpError(kTlsClosedEarly);
    }
    const std::size_t piece = std::min(size, plain_.size() - plainHead_);
    std::memcpy(buffer, plain_.data() + plainHead_, piece);
    plainHead_ += piece;
    return piece;
}

bool TlsTransport::Fill(int timeoutMs) {
    // A full buffer that the engine could not take is no record TLS allows.
    if (inUsed_ == in_.size()) throw HttpError(std::string(kTlsBadRecord) + " The record is too large.");
    const std::size_t got = inner_.Receive(in_.data() + inUsed_, in_.size() - inUsed_, timeoutMs);
    inUsed_ += got;
    return got > 0;
}

void TlsTransport::SendRaw(const std::string& bytes) {
    if (!bytes.empty()) inner_.Send(bytes.data(), bytes.size());
}

}  // namespace http
