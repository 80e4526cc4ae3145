#include "sign/SignatureFormat.h"

#include <cstring>

namespace sign {
namespace {

constexpr std::size_t kVersionAt = 7;
constexpr std::size_t kKeyIdAt = 9;
constexpr std::size_t kSignatureAt = 26;

// DER of SEQUENCE { SEQUENCE { OID id-ecPublicKey, OID prime256v1 }, BIT STRING { 0 unused bits,
// 0x04 (uncompressed) ... } }: everything of a P-256 SubjectPublicKeyInfo but X and Y.
constexpr std::uint8_t kSpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce,
                                        0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d,
                                        0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

int HexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;  // upper case too: one spelling only
}

template <std::size_t N>
bool ReadHex(const std::uint8_t* text, std::array<std::uint8_t, N>& out) {
    for (std::size_t i = 0; i < N; ++i) {
        const int high = HexDigit(text[2 * i]);
        const int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// RFC 4648 base64 with its padding; false for any other character or a cut group.
bool DecodeBase64(const std::string& text, std::vector<std::uint8_t>& out) {
    if (text.size() % 4 != 0) return false;
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const int pad = last ? (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=') : 0;
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const int v = j >= 4u - pad ? 0 : Base64Value(text[i + j]);
            if (v < 0) return false;
            group = group << 6 | static_cast<std::uint32_t>(v);
        }
        out.push_back(static_cast<std::uint8_t>(group >> 16));
        if (pad < 2) out.push_back(static_cast<std::uint8_t>(group >> 8));
        if (pad < 1) out.push_back(static_cast<std::uint8_t>(group));
    }
    return true;
}

}  // namespace

CommentKind ParseSignatureComment(const std::uint8_t* begin, const std::uint8_t* end, SignatureComment& out) {
    const std::size_t size = begin <= end ? static_cast<std::size_t>(end - begin) : 0;
    const std::size_t magic = sizeof kMagic - 1;
    if (size < magic + 2 || std::memcmp(begin, kMagic, magic) != 0 || begin[magic] != '/') return CommentKind::Other;
    if (begin[kVersionAt] < '0' || begin[kVersionAt] > '9') return CommentKind::Other;
    if (begin[kVersionAt] - '0' != kFormatVersion) return CommentKind::UnknownVersion;
    if (size != kCommentSize) return CommentKind::Other;  // cut, or more after it (a second signature)
    if (begin[kKeyIdAt - 1] != ' ' || begin[kSignatureAt - 1] != ' ') return CommentKind::Other;
    SignatureComment parsed;
    if (!ReadHex(begin + kKeyIdAt, parsed.keyId) || !ReadHex(begin + kSignatureAt, parsed.signature)) {
        return CommentKind::Other;
    }
    out = parsed;
    return CommentKind::Signature;
}

std::string FormatSignatureComment(const SignatureComment& comment) {
    return std::string(kMagic) + "/" + std::to_string(kFormatVersion) + " " +
           HexText(comment.keyId.data(), comment.keyId.size()) + " " +
           HexText(comment.signature.data(), comment.signature.size());
}

std::string HexText(const std::uint8_t* bytes, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::vector<std::uint8_t> UncompressedPoint(const PublicPoint& point) {
    std::vector<std::uint8_t> bytes(1 + point.size(), 0x04);
    std::memcpy(bytes.data() + 1, point.data(), point.size());
    return bytes;
}

std::vector<std::uint8_t> SubjectPublicKeyInfo(const PublicPoint& point) {
    std::vector<std::uint8_t> der(sizeof kSpkiPrefix + point.size());
    std::memcpy(der.data(), kSpkiPrefix, sizeof kSpkiPrefix);
    std::memcpy(der.data() + sizeof kSpkiPrefix, point.data(), point.size());
    return der;
}

bool PointFromSubjectPublicKeyInfo(const std::uint8_t* begin, const std::uint8_t* end, PublicPoint& out) {
    if (begin > end || static_cast<std::size_t>(end - begin) != sizeof kSpkiPrefix + out.size()) return false;
    if (std::memcmp(begin, kSpkiPrefix, sizeof kSpkiPrefix) != 0) return false;
    std::memcpy(out.data(), begin + sizeof kSpkiPrefix, out.size());
    return true;
}

bool ParsePublicKeyPem(const std::string& text, PublicPoint& out) {
    const std::string first = "-----BEGIN PUBLIC KEY-----";
    const std::string last = "-----END PUBLIC KEY-----";
    const std::size_t open = text.find(first);
    if (open == std::string::npos) return false;
    const std::size_t close = text.find(last, open + first.size());
    if (close == std::string::npos) return false;
    if (text.find(first, open + first.size()) != std::string::npos) return false;  // one key only
    std::string body;
    for (std::size_t i = open + first.size(); i < close; ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t') continue;
        body += c;
    }
    std::vector<std::uint8_t> der;
    return DecodeBase64(body, der) && PointFromSubjectPublicKeyInfo(der.data(), der.data() + der.size(), out);
}

}  // namespace sign
