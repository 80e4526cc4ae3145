// libFuzzer target: the signature check's parsers over any bytes. The input is taken as a whole
// package (with a stand-in for the cryptography that accepts the signature of a fixed key id),
// as a signature comment and as a PEM text. Nothing may crash; the verdicts must hold together.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sign/PackageCheck.h"
#include "sign/SignatureFormat.h"

namespace {

class StandIn : public sign::Crypto {
public:
    struct Hash : sign::Sha256 {
        std::size_t total = 0;
        void Update(const void*, std::size_t n) override { total += n; }
        sign::Digest Finish() override { return sign::Digest{}; }  // the key id 00...00
    };
    std::unique_ptr<sign::Sha256> NewSha256() override { return std::unique_ptr<sign::Sha256>(new Hash()); }
    bool VerifyP256(const sign::PublicPoint&, const sign::Digest&, const sign::Signature& s) override {
        return s[0] == 0x5a;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    StandIn crypto;
    zip::MemoryArchive archive(data, size);
    const sign::CheckResult result = sign::CheckPackage(archive, sign::PublicPoint{}, crypto);
    // Signed only with a comment that reaches the end: the last 154 bytes, a signature.
    if (result.verdict == sign::Verdict::Signed) {
        sign::SignatureComment comment;
        if (size < sign::kCommentSize ||
            sign::ParseSignatureComment(data + size - sign::kCommentSize, data + size, comment) !=
                sign::CommentKind::Signature ||
            comment.signature[0] != 0x5a) {
            std::abort();
        }
    }
    sign::SignatureComment comment;
    if (sign::ParseSignatureComment(data, data + size, comment) == sign::CommentKind::Signature &&
        (size != sign::kCommentSize || sign::FormatSignatureComment(comment) != std::string(reinterpret_cast<const char*>(data), size))) {
        std::abort();  // one spelling only: what reads as a signature is what would be written
    }
    sign::PublicPoint point;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (sign::ParsePublicKeyPem(text, point)) {
        const std::vector<std::uint8_t> der = sign::SubjectPublicKeyInfo(point);
        sign::PublicPoint again;
        if (!sign::PointFromSubjectPublicKeyInfo(der.data(), der.data() + der.size(), again) || again != point) std::abort();
    }
    return 0;
}
