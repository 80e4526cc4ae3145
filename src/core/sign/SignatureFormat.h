// The signature comment of a signed package, and the publisher's public key, as bytes. Pure.
//
// A signed package is an ordinary ZIP archive whose end record (APPNOTE 4.3.16) carries, as its
// archive comment, exactly one signature comment of 154 ASCII bytes:
//
//   offset  size  field
//        0     6  "KLUSIG"         magic text
//        6     1  "/"
//        7     1  "1"              format version, one decimal digit; only 1 is known
//        8     1  " "
//        9    16  key id           lower-case hexadecimal: the first 8 bytes of the SHA-256 of the
//                                  publisher's public point in uncompressed form (0x04, X, Y)
//       25     1  " "
//       26   128  signature        lower-case hexadecimal: the ECDSA P-256 signature (r, then s,
//                                  32 big-endian bytes each) of the SHA-256 of the signed bytes
//
// The signed bytes are every byte of the file before the comment, the end record's comment-length
// field (154) included. Nothing may follow the comment. The comment holds no ZIP signature and no
// byte outside "0-9a-z/ KLUSIG", so no reader can take anything unsigned in it for a record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sign {

using Digest = std::array<std::uint8_t, 32>;       // SHA-256
using PublicPoint = std::array<std::uint8_t, 64>;  // P-256 point: X, then Y, big-endian
using Signature = std::array<std::uint8_t, 64>;    // ECDSA: r, then s, big-endian
using KeyId = std::array<std::uint8_t, 8>;

constexpr char kMagic[] = "KLUSIG";
constexpr int kFormatVersion = 1;
constexpr std::size_t kCommentSize = 154;

struct SignatureComment {
    KeyId keyId{};
    Signature signature{};
};

// What a comment is, for the check's answer.
enum class CommentKind {
    Signature,       // one well-formed signature comment of a known version
    UnknownVersion,  // the magic text with a version this program does not know
    Other,           // empty, other text, a second signature, or a malformed one
};

// Reads [begin, end) as a whole comment: it must be exactly one signature comment.
CommentKind ParseSignatureComment(const std::uint8_t* begin, const std::uint8_t* end, SignatureComment& out);
std::string FormatSignatureComment(const SignatureComment& comment);

// Lower-case hexadecimal of n bytes.
std::string HexText(const std::uint8_t* bytes, std::size_t n);

// The bytes that the key id hashes: 0x04, X, Y.
std::vector<std::uint8_t> UncompressedPoint(const PublicPoint& point);

// X.509 SubjectPublicKeyInfo (DER) of a P-256 key, the body of a "PUBLIC KEY" PEM block.
std::vector<std::uint8_t> SubjectPublicKeyInfo(const PublicPoint& point);
// The point of such a DER body; false for any other key, curve or point form.
bool PointFromSubjectPublicKeyInfo(const std::uint8_t* begin, const std::uint8_t* end, PublicPoint& out);

// A PEM text holding one "PUBLIC KEY" block of a P-256 key (other lines around it are ignored).
bool ParsePublicKeyPem(const std::string& text, PublicPoint& out);

}  // namespace sign
