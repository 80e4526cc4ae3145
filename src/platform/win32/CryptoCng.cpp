// The signature check's cryptography on Windows: CNG. Every function is called through a pointer
// taken from bcrypt.dll, loaded from the system folder on first use, never from the program's
// folder or the path.
#include <windows.h>
// Types and constants only.
#include <bcrypt.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Crypto.h"
#include "platform/win32/SystemLibrary.h"

namespace platform {
namespace {

constexpr LONG kStatusSuccess = 0;
constexpr LONG kStatusInvalidSignature = static_cast<LONG>(0xC000A000);

struct Bcrypt {
    NTSTATUS(WINAPI* openAlgorithm)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG) = nullptr;
    NTSTATUS(WINAPI* closeAlgorithm)(BCRYPT_ALG_HANDLE, ULONG) = nullptr;
    NTSTATUS(WINAPI* createHash)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG) = nullptr;
    NTSTATUS(WINAPI* hashData)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG) = nullptr;
    NTSTATUS(WINAPI* finishHash)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG) = nullptr;
    NTSTATUS(WINAPI* destroyHash)(BCRYPT_HASH_HANDLE) = nullptr;
    NTSTATUS(WINAPI* importKeyPair)(BCRYPT_ALG_HANDLE, BCRYPT_KEY_HANDLE, LPCWSTR, BCRYPT_KEY_HANDLE*, PUCHAR, ULONG,
                                    ULONG) = nullptr;
    NTSTATUS(WINAPI* destroyKey)(BCRYPT_KEY_HANDLE) = nullptr;
    NTSTATUS(WINAPI* verifySignature)(BCRYPT_KEY_HANDLE, VOID*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG) = nullptr;
    BCRYPT_ALG_HANDLE sha256 = nullptr;
    BCRYPT_ALG_HANDLE ecdsa = nullptr;
};

template <typename F>
void Bind(HMODULE module, F& function, const char* name) {
    function = SystemFunction<F>(module, name);
    if (!function) throw sign::CryptoError(std::string("bcrypt.dll has no ") + name);
}

std::string Failure(const char* call, NTSTATUS status) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
    return std::string(call) + " failed (" + code + ")";
}

// Loaded once and kept for the life of the process; a failure is raised again at each use.
const Bcrypt& Library() {
    static std::mutex lock;
    static Bcrypt bcrypt;
    static bool loaded = false;
    std::lock_guard<std::mutex> hold(lock);
    if (loaded) return bcrypt;
    HMODULE module = LoadSystemLibrary("bcrypt.dll");
    if (!module) throw sign::CryptoError("Cannot load bcrypt.dll");
    Bcrypt b;
    Bind(module, b.openAlgorithm, "BCryptOpenAlgorithmProvider");
    Bind(module, b.closeAlgorithm, "BCryptCloseAlgorithmProvider");
    Bind(module, b.createHash, "BCryptCreateHash");
    Bind(module, b.hashData, "BCryptHashData");
    Bind(module, b.finishHash, "BCryptFinishHash");
    Bind(module, b.destroyHash, "BCryptDestroyHash");
    Bind(module, b.importKeyPair, "BCryptImportKeyPair");
    Bind(module, b.destroyKey, "BCryptDestroyKey");
    Bind(module, b.verifySignature, "BCryptVerifySignature");
    NTSTATUS status = b.openAlgorithm(&b.sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (status != kStatusSuccess) throw sign::CryptoError(Failure("BCryptOpenAlgorithmProvider(SHA256)", status));
    status = b.openAlgorithm(&b.ecdsa, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
    if (status != kStatusSuccess) {
        b.closeAlgorithm(b.sha256, 0);
        throw sign::CryptoError(Failure("BCryptOpenAlgorithmProvider(ECDSA_P256)", status));
    }
    bcrypt = b;
    loaded = true;
    return bcrypt;
}

class CngSha256 : public sign::Sha256 {
public:
    CngSha256() : bcrypt_(Library()) {
        const NTSTATUS status = bcrypt_.createHash(bcrypt_.sha256, &hash_, nullptr, 0, nullptr, 0, 0);
        if (status != kStatusSuccess) throw sign::CryptoError(Failure("BCryptCreateHash", status));
    }
    ~CngSha256() override { bcrypt_.destroyHash(hash_); }
    CngSha256(const CngSha256&) = delete;
    CngSha256& operator=(const CngSha256&) = delete;

    void Update(const void* data, std::size_t n) override {
        auto* p = static_cast<PUCHAR>(const_cast<void*>(data));
        while (n > 0) {
            const ULONG piece = n > 0x40000000u ? 0x40000000u : static_cast<ULONG>(n);
            const NTSTATUS status = bcrypt_.hashData(hash_, p, piece, 0);
            if (status != kStatusSuccess) throw sign::CryptoError(Failure("BCryptHashData", status));
            p += piece;
            n -= piece;
        }
    }
    sign::Digest Finish() override {
        sign::Digest digest;
        const NTSTATUS status = bcrypt_.finishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0);
        if (status != kStatusSuccess) throw sign::CryptoError(Failure("BCryptFinishHash", status));
        return digest;
    }

private:
    const Bcrypt& bcrypt_;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};

class CngCrypto : public sign::Crypto {
public:
    std::unique_ptr<sign::Sha256> NewSha256() override { return std::unique_ptr<sign::Sha256>(new CngSha256()); }

    bool VerifyP256(const sign::PublicPoint& key, const sign::Digest& digest, const sign::Signature& signature) override {
        const Bcrypt& b = Library();
        // BCRYPT_ECCKEY_BLOB: magic, key length in bytes, then X and Y.
        std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + key.size());
        BCRYPT_ECCKEY_BLOB header;
        header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
        header.cbKey = static_cast<ULONG>(key.size() / 2);
        std::memcpy(blob.data(), &header, sizeof header);
        std::memcpy(blob.data() + sizeof header, key.data(), key.size());
        BCRYPT_KEY_HANDLE handle = nullptr;
        NTSTATUS status =
            b.importKeyPair(b.ecdsa, nullptr, BCRYPT_ECCPUBLIC_BLOB, &handle, blob.data(), static_cast<ULONG>(blob.size()), 0);
        if (status != kStatusSuccess) throw sign::CryptoError(Failure("BCryptImportKeyPair", status));
        sign::Digest hashed = digest;
        sign::Signature rs = signature;
        status = b.verifySignature(handle, nullptr, hashed.data(), static_cast<ULONG>(hashed.size()), rs.data(),
                                   static_cast<ULONG>(rs.size()), 0);
        b.destroyKey(handle);
        if (status == kStatusSuccess) return true;
        if (status == kStatusInvalidSignature) return false;
        throw sign::CryptoError(Failure("BCryptVerifySignature", status));
    }
};

}  // namespace

sign::Crypto& SystemCrypto() {
    static CngCrypto crypto;
    return crypto;
}

}  // namespace platform
