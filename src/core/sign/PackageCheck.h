// The signature check of a downloaded package (the format: SignatureFormat.h), over the system's
// cryptography, which the caller hands in: CNG on Windows, libcrypto natively (platform/Crypto.h).
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "sign/SignatureFormat.h"
#include "zip/ArchiveInput.h"

namespace sign {

// The system's cryptography could not be had or refused its input (a library that does not load,
// a key it does not take). The message says which call failed.
class CryptoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// SHA-256 fed in pieces.
class Sha256 {
public:
    virtual ~Sha256() = default;
    virtual void Update(const void* data, std::size_t n) = 0;
    virtual Digest Finish() = 0;
};

class Crypto {
public:
    virtual ~Crypto() = default;
    virtual std::unique_ptr<Sha256> NewSha256() = 0;
    // True when signature is key's ECDSA P-256 signature of digest; false when it is not.
    virtual bool VerifyP256(const PublicPoint& key, const Digest& digest, const Signature& signature) = 0;
};

KeyId KeyIdOf(const PublicPoint& key, Crypto& crypto);

// Where the archive's end record and its comment lie. The end record is the one the extractor
// takes (zip::EndRecordCandidates): the last whose comment reaches the end of the file exactly,
// else the last one at all.
struct ArchiveTail {
    bool found = false;                 // an end record was found in the last 64 KiB + 22 bytes
    bool reachesEnd = false;            // its comment ends where the file ends
    std::uint64_t commentOffset = 0;    // where its comment starts (the signed bytes end)
    std::vector<std::uint8_t> comment;  // as stored
};
// Reads the archive's tail; false when it cannot be read.
bool ReadArchiveTail(zip::ArchiveInput& archive, ArchiveTail& out);

enum class Verdict {
    Signed,        // signed by the key
    Unsigned,      // no signature comment, other text, a malformed or unknown one, bytes after it
    OtherKey,      // a signature by another key
    Changed,       // the key's id, but the signature does not match the bytes
    NoEndRecord,   // not a whole ZIP archive: cut, or not ZIP at all
    Unreadable,    // the file could not be read
};

struct CheckResult {
    Verdict verdict = Verdict::Unreadable;
    KeyId keyId{};  // the signature's key id, when a signature comment was found
};

// Hashes every byte before the comment in blocks, never the whole file at once. Raises CryptoError.
CheckResult CheckPackage(zip::ArchiveInput& archive, const PublicPoint& key, Crypto& crypto);

// The user's text for a verdict other than Signed (the installer shows it after S_ZipEmpty):
//   Unsigned, OtherKey: "The package is not signed by its publisher."
//   Changed:            "The package was changed after it was signed."
//   NoEndRecord:        "The package is incomplete: its ZIP end record is missing."
//   Unreadable:         "The package could not be read to check its signature."
const char* VerdictText(Verdict verdict);
// A CryptoError's text for the user: "The package's signature could not be checked: " + message.
std::string CryptoFailureText(const CryptoError& error);

// The check of the package file at path: empty when it is signed with the key, otherwise the text
// that says why it must not be unpacked (a CryptoError included).
std::string PackageFileRefusal(const std::string& path, const PublicPoint& key, Crypto& crypto);

}  // namespace sign
