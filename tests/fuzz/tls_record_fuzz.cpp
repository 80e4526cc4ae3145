// Fuzzes the TLS layer's record handling natively: TlsTransport with the OpenSSL engine against an
// in-process OpenSSL server (its key and certificate made at start-up, trusted through
// SSL_CERT_FILE). The input chooses the protocol version, the sizes of the server's records, how
// the server's bytes are cut for delivery, whether it ends with close_notify, and bytes of its
// stream to change. Whatever comes, the client must end with plaintext and a clean end or an
// HttpError, and every byte it hands out must be the server's own, in order: a changed record
// never yields changed plaintext.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "http/HttpErrors.h"
#include "http/TlsTransport.h"
#include "platform/Tls.h"

namespace {

EVP_PKEY* gKey = nullptr;
X509* gCertificate = nullptr;

// A self-signed certificate for "localhost", written where the client's OpenSSL looks.
void MakeServerIdentity() {
    gKey = EVP_EC_gen("P-256");
    gCertificate = X509_new();
    X509_set_version(gCertificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(gCertificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(gCertificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(gCertificate), 86400);
    X509_NAME* name = X509_get_subject_name(gCertificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(gCertificate, name);
    X509_set_pubkey(gCertificate, gKey);
    X509V3_CTX context;
    X509V3_set_ctx(&context, gCertificate, gCertificate, nullptr, nullptr, 0);
    X509_EXTENSION* names = X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "DNS:localhost");
    X509_add_ext(gCertificate, names, -1);
    X509_EXTENSION_free(names);
    X509_sign(gCertificate, gKey, EVP_sha256());
    char path[] = "/tmp/klu-tls-fuzz-XXXXXX";
    const int fd = mkstemp(path);
    FILE* file = fdopen(fd, "w");
    PEM_write_X509(file, gCertificate);
    std::fclose(file);
    setenv("SSL_CERT_FILE", path, 1);
    setenv("SSL_CERT_DIR", "/nonexistent", 1);
}

// Reads the input from the front, a byte at a time; zeros when it runs out.
struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::uint8_t Next() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
};

// The server's side of the connection, behind the client's inner transport.
class ServerLoop : public http::Transport {
public:
    ServerLoop(Input& input, SSL_CTX* context) : input_(input) {
        const std::uint8_t mode = input_.Next();
        cleanEnd_ = (mode & 1) != 0;
        corruptAt_ = (mode & 2) ? input_.Next() * 7 + input_.Next() : -1;
        corruptWith_ = input_.Next() | 1;
        ssl_ = SSL_new(context);
        in_ = BIO_new(BIO_s_mem());
        out_ = BIO_new(BIO_s_mem());
        SSL_set_bio(ssl_, in_, out_);
        SSL_set_accept_state(ssl_);
        SSL_set_max_proto_version(ssl_, (mode & 4) ? TLS1_2_VERSION : TLS1_3_VERSION);
    }
    ~ServerLoop() override { SSL_free(ssl_); }

    void Connect(const std::string&, int, int) override { connected_ = true; }
    void Disconnect() override { connected_ = false; }
    bool Connected() const override { return connected_; }
    void Send(const char* data, std::size_t size) override {
        BIO_write(in_, data, static_cast<int>(size));
        Pump();
    }
    std::size_t Receive(char* buffer, std::size_t size, int) override {
        if (pending_.empty()) Pump();
        if (pending_.empty()) {
            if (done_) return 0;
            throw http::HttpError(http::kReadTimeout);  // nothing more will come
        }
        std::size_t piece = 1 + input_.Next() % 64;
        if (input_.Next() & 1) piece *= 97;
        if (piece > size) piece = size;
        if (piece > pending_.size()) piece = pending_.size();
        for (std::size_t i = 0; i < piece; ++i) {
            buffer[i] = pending_[i];
            if (static_cast<long>(delivered_ + i) == corruptAt_) buffer[i] = static_cast<char>(buffer[i] ^ corruptWith_);
        }
        pending_.erase(0, piece);
        delivered_ += piece;
        return piece;
    }

    std::string sent;  // the plaintext the server sent
    bool Changed() const { return corruptAt_ >= 0 && static_cast<std::size_t>(corruptAt_) < delivered_; }
    bool EndsClean() const { return cleanEnd_; }

private:
    void Pump() {
        if (!done_ && SSL_do_handshake(ssl_) == 1) {
            // The answer in records of sizes the input chooses, then the end.
            const std::size_t records = input_.Next() % 8;
            for (std::size_t r = 0; r < records; ++r) {
                std::string record(1 + input_.Next() * 67, '\0');
                for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<char>('a' + (sent.size() + i) % 26);
                if (SSL_write(ssl_, record.data(), static_cast<int>(record.size())) > 0) sent += record;
            }
            if (cleanEnd_) SSL_shutdown(ssl_);
            done_ = true;
        }
        char* data = nullptr;
        const long size = BIO_get_mem_data(out_, &data);
        if (size > 0) pending_.append(data, static_cast<std::size_t>(size));
        (void)BIO_reset(out_);
    }

    Input& input_;
    SSL* ssl_ = nullptr;
    BIO* in_ = nullptr;
    BIO* out_ = nullptr;
    bool connected_ = false;
    bool cleanEnd_ = false;
    bool done_ = false;
    long corruptAt_ = -1;
    std::uint8_t corruptWith_ = 1;
    std::size_t delivered_ = 0;
    std::string pending_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    MakeServerIdentity();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static SSL_CTX* server = [] {
        SSL_CTX* made = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate(made, gCertificate);
        SSL_CTX_use_PrivateKey(made, gKey);
        SSL_CTX_set_num_tickets(made, 1);
        return made;
    }();
    Input input{data, size};
    ServerLoop loop(input, server);
    http::TlsTransport tls(loop, platform::MakeTlsEngine);
    std::string received;
    bool cleanEnd = false;
    bool failed = false;
    try {
        tls.Connect("localhost", 443, 1000);
        char buffer[4096];
        while (true) {
            const std::size_t got = tls.Receive(buffer, 1 + input.Next() % sizeof buffer, 1000);
            if (got == 0) {
                cleanEnd = true;
                break;
            }
            received.append(buffer, got);
        }
    } catch (const http::HttpError&) {
        failed = true;
    }
    // Only the server's own bytes, in order; an unchanged stream arrives whole.
    if (received.size() > loop.sent.size() || loop.sent.compare(0, received.size(), received) != 0) std::abort();
    if (cleanEnd && received.size() != loop.sent.size() && !loop.sent.empty()) std::abort();
    if (!loop.Changed()) {
        // Unchanged: the whole answer, then the end as the server made it. Without close_notify
        // that is an error, unless nothing at all arrived (an idle connection dropped).
        if (received != loop.sent) std::abort();
        const bool expectClean = loop.EndsClean() || loop.sent.empty();
        if (cleanEnd != expectClean || failed == expectClean) std::abort();
    }
    return 0;
}
