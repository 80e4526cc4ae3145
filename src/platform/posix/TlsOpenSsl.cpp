// The TLS engine of the native build: OpenSSL over memory BIOs, so that the bytes go through
// TlsTransport and the inner Transport like any others.
#include "platform/Tls.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <string>

#include "http/HttpErrors.h"

namespace platform {

namespace {

std::string Reason(const char* text, const char* reason) {
    std::string message = text;
    if (reason && *reason) message += std::string(" ") + reason + ".";
    return message;
}

std::string LastReason() {
    const unsigned long code = ERR_peek_last_error();
    if (code == 0) return std::string();
    const char* reason = ERR_reason_error_string(code);
    return reason ? reason : std::string();
}

// One client context for the process: TLS 1.2 at least, the default trust, peers verified.
SSL_CTX* Context() {
    static SSL_CTX* const context = [] {
        SSL_CTX* made = SSL_CTX_new(TLS_client_method());
        if (!made) return made;
        SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION);
        SSL_CTX_set_default_verify_paths(made);
        SSL_CTX_set_verify(made, SSL_VERIFY_PEER, nullptr);
        return made;
    }();
    return context;
}

bool IsAddress(const std::string& host) {
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

class OpenSslEngine : public http::TlsEngine {
public:
    explicit OpenSslEngine(const std::string& host) {
        SSL_CTX* context = Context();
        if (!context) throw http::HttpError(Reason(http::kHttpsUnsupported, LastReason().c_str()));
        ssl_ = SSL_new(context);
        BIO* in = BIO_new(BIO_s_mem());
        BIO* out = BIO_new(BIO_s_mem());
        if (!ssl_ || !in || !out) {
            BIO_free(in);
            BIO_free(out);
            SSL_free(ssl_);
            throw http::HttpError(Reason(http::kTlsHandshakeFailed, "Out of memory"));
        }
        SSL_set_bio(ssl_, in, out);
        in_ = in;
        out_ = out;
        SSL_set_connect_state(ssl_);
        // Server Name Indication carries names only (RFC 6066 3); the certificate must name
        // the host either way (an address literal matches an IP address entry).
        if (!IsAddress(host)) SSL_set_tlsext_host_name(ssl_, host.c_str());
        SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (SSL_set1_host(ssl_, host.c_str()) != 1) {
            SSL_free(ssl_);
            throw http::HttpError(Reason(http::kTlsNameMismatch, "The host name cannot be checked"));
        }
    }
    ~OpenSslEngine() override { SSL_free(ssl_); }

    Result Handshake(char* in, std::size_t size, std::size_t& consumed, std::string& out) override {
        Feed(in, size, consumed);
        ERR_clear_error();
        const int done = SSL_do_handshake(ssl_);
        Drain(out);
        if (done == 1) return Result::Done;
        if (SSL_get_error(ssl_, done) == SSL_ERROR_WANT_READ) return Result::NeedMore;
        const long verify = SSL_get_verify_result(ssl_);
        if (verify != X509_V_OK) throw http::HttpError(Reason(CertificateText(verify), X509_verify_cert_error_string(verify)));
        throw http::HttpError(Reason(http::kTlsHandshakeFailed, LastReason().c_str()));
    }

    Result Decrypt(char* in, std::size_t size, std::size_t& consumed, std::string& plain,
                   std::string& out) override {
        Feed(in, size, consumed);
        while (true) {
            const std::size_t before = plain.size();
            plain.resize(before + kPiece);
            ERR_clear_error();
            const int got = SSL_read(ssl_, &plain[before], static_cast<int>(kPiece));
            plain.resize(before + (got > 0 ? static_cast<std::size_t>(got) : 0));
            if (got > 0) continue;
            Drain(out);
            switch (SSL_get_error(ssl_, got)) {
                case SSL_ERROR_WANT_READ: return Result::NeedMore;
                case SSL_ERROR_ZERO_RETURN: return Result::Closed;
                default: throw http::HttpError(Reason(http::kTlsBadRecord, LastReason().c_str()));
            }
        }
    }

    void Encrypt(const char* data, std::size_t size, std::string& out) override {
        while (size > 0) {
            const int piece = size > kPiece ? static_cast<int>(kPiece) : static_cast<int>(size);
            ERR_clear_error();
            const int written = SSL_write(ssl_, data, piece);
            if (written <= 0) throw http::HttpError(Reason(http::kTlsBadRecord, LastReason().c_str()));
            data += written;
            size -= static_cast<std::size_t>(written);
            Drain(out);
        }
    }

    void Close(std::string& out) override {
        ERR_clear_error();
        SSL_shutdown(ssl_);
        Drain(out);
    }

private:
    static constexpr std::size_t kPiece = 16384;  // the largest plaintext of one record

    static const char* CertificateText(long verify) {
        switch (verify) {
            case X509_V_ERR_CERT_HAS_EXPIRED:
            case X509_V_ERR_CERT_NOT_YET_VALID: return http::kTlsExpired;
            case X509_V_ERR_HOSTNAME_MISMATCH:
            case X509_V_ERR_IP_ADDRESS_MISMATCH: return http::kTlsNameMismatch;
            case X509_V_ERR_CERT_REVOKED: return http::kTlsRevoked;
            default: return http::kTlsUntrusted;
        }
    }

    // The memory BIO takes everything; the engine holds what is not a whole record yet.
    void Feed(const char* in, std::size_t size, std::size_t& consumed) {
        consumed = 0;
        while (consumed < size) {
            const int written = BIO_write(in_, in + consumed, static_cast<int>(size - consumed));
            if (written <= 0) throw http::HttpError(Reason(http::kTlsBadRecord, "Out of memory"));
            consumed += static_cast<std::size_t>(written);
        }
    }

    void Drain(std::string& out) {
        char* data = nullptr;
        const long size = BIO_get_mem_data(out_, &data);
        if (size > 0) out.append(data, static_cast<std::size_t>(size));
        (void)BIO_reset(out_);
    }

    SSL* ssl_ = nullptr;
    BIO* in_ = nullptr;   // owned by ssl_
    BIO* out_ = nullptr;  // owned by ssl_
};

}  // namespace

std::unique_ptr<http::TlsEngine> MakeTlsEngine(const std::string& host) {
    return std::make_unique<OpenSslEngine>(host);
}

}  // namespace platform
