// klu-sign: the publisher's tool for signed packages (native only, OpenSSL's libcrypto).
//   klu-sign keygen PRIVATE.pem PUBLIC.pem   a new P-256 key pair; an existing file is never replaced
//   klu-sign sign PRIVATE.pem PACKAGE.zip    signs the package in place, replacing an earlier signature
//   klu-sign verify PUBLIC.pem PACKAGE.zip   prints "signed by KEYID", or why not
// Exit 0: done (verify: signed); 1: refused or failed (verify: not signed), the files as they were;
// 2: usage, or a key file that cannot be read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/Crypto.h"
#include "sign/PackageCheck.h"

namespace {

struct Failed {
    int code;
    std::string text;
};

[[noreturn]] void Fail(int code, const std::string& text) { throw Failed{code, text}; }

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(2, path + ": cannot be read");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

sign::PublicPoint ReadPublicKey(const std::string& path) {
    sign::PublicPoint key;
    if (!sign::ParsePublicKeyPem(ReadText(path), key)) Fail(2, path + ": not a P-256 public key in PEM form");
    return key;
}

// The private key, and its public point (which says it is a P-256 key).
EVP_PKEY* ReadPrivateKey(const std::string& path, sign::PublicPoint& point) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) Fail(2, path + ": cannot be read");
    EVP_PKEY* key = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    if (!key) Fail(2, path + ": not a private key in PEM form");
    unsigned char* der = nullptr;
    const int n = i2d_PUBKEY(key, &der);
    const bool p256 = n > 0 && sign::PointFromSubjectPublicKeyInfo(der, der + n, point);
    OPENSSL_free(der);
    if (!p256) {
        EVP_PKEY_free(key);
        Fail(2, path + ": not a P-256 key");
    }
    return key;
}

// A new file that must not exist yet, readable by its owner only when it is private.
void WriteNewFile(const std::string& path, const std::string& bytes, bool secret) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, secret ? 0600 : 0644);
    if (fd < 0) Fail(1, path + (errno == EEXIST ? ": exists already; it is not replaced" : ": cannot be created"));
    const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!written) {
        ::unlink(path.c_str());
        Fail(1, path + ": cannot be written");
    }
}

std::string PemOf(EVP_PKEY* key, bool secret) {
    BIO* bio = BIO_new(BIO_s_mem());
    const int ok = secret ? PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr)
                          : PEM_write_bio_PUBKEY(bio, key);
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    std::string text = ok == 1 && n > 0 ? std::string(data, static_cast<std::size_t>(n)) : std::string();
    BIO_free(bio);
    if (text.empty()) Fail(1, "the key cannot be written as PEM");
    return text;
}

int Keygen(const std::string& privatePath, const std::string& publicPath) {
    if (::access(privatePath.c_str(), F_OK) == 0) Fail(1, privatePath + ": exists already; it is not replaced");
    if (::access(publicPath.c_str(), F_OK) == 0) Fail(1, publicPath + ": exists already; it is not replaced");
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (!key) Fail(1, "no P-256 key could be made");
    std::string secret, open;
    try {
        secret = PemOf(key, true);
        open = PemOf(key, false);
    } catch (...) {
        EVP_PKEY_free(key);
        throw;
    }
    EVP_PKEY_free(key);
    WriteNewFile(privatePath, secret, true);
    try {
        WriteNewFile(publicPath, open, false);
    } catch (...) {
        ::unlink(privatePath.c_str());
        throw;
    }
    sign::PublicPoint point;
    sign::ParsePublicKeyPem(open, point);
    const sign::KeyId id = sign::KeyIdOf(point, platform::SystemCrypto());
    std::printf("key %s\n", sign::HexText(id.data(), id.size()).c_str());
    return 0;
}

// r then s, 32 bytes each, of libcrypto's DER signature of digest.
sign::Signature SignDigest(EVP_PKEY* key, const sign::Digest& digest) {
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key, nullptr);
    std::size_t n = 0;
    std::string der;
    if (context && EVP_PKEY_sign_init(context) == 1 &&
        EVP_PKEY_sign(context, nullptr, &n, digest.data(), digest.size()) == 1) {
        der.resize(n);
        if (EVP_PKEY_sign(context, reinterpret_cast<unsigned char*>(&der[0]), &n, digest.data(), digest.size()) == 1)
            der.resize(n);
        else
            der.clear();
    }
    EVP_PKEY_CTX_free(context);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    ECDSA_SIG* sig = der.empty() ? nullptr : d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der.size()));
    sign::Signature rs;
    const bool ok = sig && BN_bn2binpad(ECDSA_SIG_get0_r(sig), rs.data(), 32) == 32 &&
                    BN_bn2binpad(ECDSA_SIG_get0_s(sig), rs.data() + 32, 32) == 32;
    ECDSA_SIG_free(sig);
    if (!ok) Fail(1, "the signature could not be made");
    return rs;
}

// Copies the package up to its comment into a new file beside it while hashing it, with the
// comment length of a signature, signs, appends the comment, checks the result with the public
// key and only then puts it in the package's place.
int Sign(const std::string& privatePath, const std::string& packagePath) {
    sign::PublicPoint point;
    EVP_PKEY* key = ReadPrivateKey(privatePath, point);
    struct KeyHolder {
        EVP_PKEY* key;
        ~KeyHolder() { EVP_PKEY_free(key); }
    } holder{key};

    std::unique_ptr<zip::ArchiveInput> package = zip::OpenArchiveFile(packagePath);
    if (!package) Fail(1, packagePath + ": cannot be read");
    sign::ArchiveTail tail;
    if (!sign::ReadArchiveTail(*package, tail)) Fail(1, packagePath + ": cannot be read");
    if (!tail.found) Fail(1, packagePath + ": no ZIP end record found; not signed");
    if (!tail.reachesEnd) Fail(1, packagePath + ": bytes follow the archive comment; not signed");
    sign::SignatureComment earlier;
    if (!tail.comment.empty() &&
        sign::ParseSignatureComment(tail.comment.data(), tail.comment.data() + tail.comment.size(), earlier) !=
            sign::CommentKind::Signature) {
        Fail(1, packagePath + ": the archive comment holds other text; not signed");
    }
    struct stat info;
    if (::stat(packagePath.c_str(), &info) != 0) Fail(1, packagePath + ": cannot be read");

    std::string temp = packagePath + ".klu-sign-XXXXXX";
    const int fd = ::mkstemp(&temp[0]);
    if (fd < 0) Fail(1, temp + ": cannot be created");
    struct TempFile {
        int fd;
        std::string path;
        bool keep = false;
        ~TempFile() {
            if (fd >= 0) ::close(fd);
            if (!keep) ::unlink(path.c_str());
        }
    } out{fd, temp};

    sign::Crypto& crypto = platform::SystemCrypto();
    std::unique_ptr<sign::Sha256> hash = crypto.NewSha256();
    const std::uint64_t lengthField = tail.commentOffset - 2;
    std::string block(1 << 18, '\0');
    auto put = [&](const void* data, std::size_t n) {
        if (::write(out.fd, data, n) != static_cast<ssize_t>(n)) Fail(1, temp + ": cannot be written");
    };
    for (std::uint64_t offset = 0; offset < lengthField;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), lengthField - offset));
        if (package->ReadAt(offset, &block[0], n) != n) Fail(1, packagePath + ": cannot be read");
        hash->Update(block.data(), n);
        put(block.data(), n);
        offset += n;
    }
    const unsigned char length[2] = {sign::kCommentSize & 0xFF, sign::kCommentSize >> 8};
    hash->Update(length, sizeof length);
    put(length, sizeof length);
    sign::SignatureComment comment;
    comment.keyId = sign::KeyIdOf(point, crypto);
    comment.signature = SignDigest(key, hash->Finish());
    const std::string text = sign::FormatSignatureComment(comment);
    put(text.data(), text.size());
    if (::fsync(out.fd) != 0 || ::fchmod(out.fd, info.st_mode & 07777) != 0) Fail(1, temp + ": cannot be written");
    package.reset();

    std::unique_ptr<zip::ArchiveInput> signedCopy = zip::OpenArchiveFile(temp);
    if (!signedCopy || sign::CheckPackage(*signedCopy, point, crypto).verdict != sign::Verdict::Signed)
        Fail(1, temp + ": the signed copy does not verify; the package is left as it was");
    signedCopy.reset();
    if (::rename(temp.c_str(), packagePath.c_str()) != 0) Fail(1, packagePath + ": cannot be replaced");
    out.keep = true;
    std::printf("signed by %s\n", sign::HexText(comment.keyId.data(), comment.keyId.size()).c_str());
    return 0;
}

int Verify(const std::string& publicPath, const std::string& packagePath) {
    const sign::PublicPoint key = ReadPublicKey(publicPath);
    sign::Crypto& crypto = platform::SystemCrypto();
    std::unique_ptr<zip::ArchiveInput> package = zip::OpenArchiveFile(packagePath);
    const sign::CheckResult result =
        package ? sign::CheckPackage(*package, key, crypto) : sign::CheckResult{sign::Verdict::Unreadable, {}};
    const sign::KeyId id = sign::KeyIdOf(key, crypto);
    if (result.verdict == sign::Verdict::Signed) {
        std::printf("signed by %s\n", sign::HexText(id.data(), id.size()).c_str());
        return 0;
    }
    std::printf("%s\n", sign::VerdictText(result.verdict));
    if (result.verdict == sign::Verdict::OtherKey) {
        std::printf("signed by %s, not by %s\n", sign::HexText(result.keyId.data(), result.keyId.size()).c_str(),
                    sign::HexText(id.data(), id.size()).c_str());
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (argc != 4 || (command != "keygen" && command != "sign" && command != "verify")) {
        std::fprintf(stderr,
                     "usage: klu-sign keygen PRIVATE.pem PUBLIC.pem\n"
                     "       klu-sign sign PRIVATE.pem PACKAGE.zip\n"
                     "       klu-sign verify PUBLIC.pem PACKAGE.zip\n");
        return 2;
    }
    try {
        if (command == "keygen") return Keygen(argv[2], argv[3]);
        if (command == "sign") return Sign(argv[2], argv[3]);
        return Verify(argv[2], argv[3]);
    } catch (const Failed& failure) {
        std::fflush(stdout);
        std::fprintf(stderr, "klu-sign: %s\n", failure.text.c_str());
        return failure.code;
    } catch (const sign::CryptoError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "klu-sign: %s\n", error.what());
        return 1;
    }
}
