// The signature check's cryptography natively: SHA-256 and ECDSA P-256 from libcrypto.
#include "platform/Crypto.h"

#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

namespace platform {
namespace {

class OpenSslSha256 : public sign::Sha256 {
public:
    OpenSslSha256() : context_(EVP_MD_CTX_new()) {
        if (!context_ || EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) != 1) {
            EVP_MD_CTX_free(context_);
            throw sign::CryptoError("EVP_DigestInit_ex failed");
        }
    }
    ~OpenSslSha256() override { EVP_MD_CTX_free(context_); }
    OpenSslSha256(const OpenSslSha256&) = delete;
    OpenSslSha256& operator=(const OpenSslSha256&) = delete;

    void Update(const void* data, std::size_t n) override {
        if (EVP_DigestUpdate(context_, data, n) != 1) throw sign::CryptoError("EVP_DigestUpdate failed");
    }
    sign::Digest Finish() override {
        sign::Digest digest;
        unsigned int n = 0;
        if (EVP_DigestFinal_ex(context_, digest.data(), &n) != 1 || n != digest.size()) {
            throw sign::CryptoError("EVP_DigestFinal_ex failed");
        }
        return digest;
    }

private:
    EVP_MD_CTX* context_;
};

// The DER form of r and s that libcrypto verifies; empty when they cannot be put in it.
std::vector<unsigned char> DerSignature(const sign::Signature& signature) {
    std::vector<unsigned char> der;
    ECDSA_SIG* sig = ECDSA_SIG_new();
    BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
    BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
    if (sig && r && s && ECDSA_SIG_set0(sig, r, s) == 1) {
        r = s = nullptr;  // owned by sig now
        unsigned char* out = nullptr;
        const int n = i2d_ECDSA_SIG(sig, &out);
        if (n > 0) der.assign(out, out + n);
        OPENSSL_free(out);
    }
    BN_free(r);
    BN_free(s);
    ECDSA_SIG_free(sig);
    return der;
}

class OpenSslCrypto : public sign::Crypto {
public:
    std::unique_ptr<sign::Sha256> NewSha256() override { return std::unique_ptr<sign::Sha256>(new OpenSslSha256()); }

    bool VerifyP256(const sign::PublicPoint& key, const sign::Digest& digest, const sign::Signature& signature) override {
        const std::vector<std::uint8_t> spki = sign::SubjectPublicKeyInfo(key);
        const unsigned char* p = spki.data();
        EVP_PKEY* pkey = d2i_PUBKEY(nullptr, &p, static_cast<long>(spki.size()));
        if (!pkey) throw sign::CryptoError("the public key is not a P-256 point");
        const std::vector<unsigned char> der = DerSignature(signature);
        EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(pkey, nullptr);
        int verified = -1;
        if (context && EVP_PKEY_verify_init(context) == 1) {
            // A zero r or s does not even take DER form: that is a bad signature, not a failure.
            verified = der.empty() ? 0 : EVP_PKEY_verify(context, der.data(), der.size(), digest.data(), digest.size());
        }
        EVP_PKEY_CTX_free(context);
        EVP_PKEY_free(pkey);
        if (verified < 0) throw sign::CryptoError("EVP_PKEY_verify failed");
        return verified == 1;
    }
};

}  // namespace

sign::Crypto& SystemCrypto() {
    static OpenSslCrypto crypto;
    return crypto;
}

}  // namespace platform
