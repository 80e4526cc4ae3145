// The signature comment, the public key's PEM form and the check's flow (which bytes are hashed,
// in which blocks, which verdict), with a recording stand-in for the cryptography. The real
// cryptography is checked by the signing suite (klu-sign, klu-unzip --key, the worker under Wine).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/ZipTestSupport.h"
#include "sign/PackageCheck.h"
#include "sign/SignatureFormat.h"

namespace {

using sign::CommentKind;

const std::uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

CommentKind Parse(const std::string& text, sign::SignatureComment& out) {
    return sign::ParseSignatureComment(Bytes(text), Bytes(text) + text.size(), out);
}

sign::SignatureComment SampleComment() {
    sign::SignatureComment c;
    for (std::size_t i = 0; i < c.keyId.size(); ++i) c.keyId[i] = static_cast<std::uint8_t>(0xA0 + i);
    for (std::size_t i = 0; i < c.signature.size(); ++i) c.signature[i] = static_cast<std::uint8_t>(i * 7);
    return c;
}

TEST(SignatureComment, HasTheDocumentedLayoutAndReadsBack) {
    const std::string text = sign::FormatSignatureComment(SampleComment());
    ASSERT_EQ(text.size(), sign::kCommentSize);
    EXPECT_EQ(text.substr(0, 26), "KLUSIG/1 a0a1a2a3a4a5a6a7 ");
    EXPECT_EQ(text.substr(26, 8), "00070e15");  // r starts 0, 7, 14, 21
    EXPECT_EQ(text.substr(146), "a4abb2b9");    // s ends 60 * 7 ... 63 * 7, modulo 256
    sign::SignatureComment back;
    ASSERT_EQ(Parse(text, back), CommentKind::Signature);
    EXPECT_EQ(back.keyId, SampleComment().keyId);
    EXPECT_EQ(back.signature, SampleComment().signature);
}

TEST(SignatureComment, AnythingButOneExactSignatureIsNotOne) {
    const std::string good = sign::FormatSignatureComment(SampleComment());
    sign::SignatureComment out;
    // Every cut of it.
    for (std::size_t n = 0; n < good.size(); ++n) EXPECT_EQ(Parse(good.substr(0, n), out), CommentKind::Other) << n;
    // Anything after it: a second signature, a line end, a NUL.
    EXPECT_EQ(Parse(good + good, out), CommentKind::Other);
    EXPECT_EQ(Parse(good + "\r\n", out), CommentKind::Other);
    EXPECT_EQ(Parse(good + std::string(1, '\0'), out), CommentKind::Other);
    // Each byte replaced by one that the format does not allow there.
    for (std::size_t i = 0; i < good.size(); ++i) {
        std::string bad = good;
        bad[i] = i == 7 ? 'x' : (good[i] >= 'a' && good[i] <= 'f') ? static_cast<char>(good[i] - 32) : 'g';
        EXPECT_EQ(Parse(bad, out), CommentKind::Other) << i;
    }
    // Other texts.
    for (const char* text : {"", "Created by Info-ZIP", "KLUSIG", "KLUSIG/", "klusig/1", " KLUSIG/1"}) {
        EXPECT_EQ(Parse(text, out), CommentKind::Other) << text;
    }
}

TEST(SignatureComment, AnotherVersionIsKnownAsSuch) {
    std::string later = sign::FormatSignatureComment(SampleComment());
    sign::SignatureComment out;
    for (char v : {'0', '2', '9'}) {
        later[7] = v;
        EXPECT_EQ(Parse(later, out), CommentKind::UnknownVersion) << v;
        EXPECT_EQ(Parse(later.substr(0, 8) + " something else", out), CommentKind::UnknownVersion) << v;
    }
}

// RFC 4648 base64, for building PEM texts.
std::string Base64(const std::vector<std::uint8_t>& bytes) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (n > 1) group |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        if (n > 2) group |= bytes[i + 2];
        for (std::size_t j = 0; j < 4; ++j) out += j <= n ? alphabet[(group >> (18 - 6 * j)) & 63] : '=';
    }
    return out;
}

std::string Pem(const std::vector<std::uint8_t>& der, const std::string& eol = "\n") {
    const std::string body = Base64(der);
    std::string text = "-----BEGIN PUBLIC KEY-----" + eol;
    for (std::size_t i = 0; i < body.size(); i += 64) text += body.substr(i, 64) + eol;
    return text + "-----END PUBLIC KEY-----" + eol;
}

sign::PublicPoint SamplePoint() {
    sign::PublicPoint p;
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<std::uint8_t>(255 - i);
    return p;
}

TEST(PublicKeyPem, ReadsAP256KeyInTheFormsToolsWrite) {
    const std::vector<std::uint8_t> der = sign::SubjectPublicKeyInfo(SamplePoint());
    ASSERT_EQ(der.size(), 91u);
    EXPECT_EQ(Base64(der).substr(0, 36), "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE");  // the build's check relies on it
    const std::string texts[] = {Pem(der), Pem(der, "\r\n"), "a comment line\n" + Pem(der) + "trailing\n"};
    for (const std::string& text : texts) {
        sign::PublicPoint point{};
        ASSERT_TRUE(sign::ParsePublicKeyPem(text, point)) << text;
        EXPECT_EQ(point, SamplePoint());
    }
}

TEST(PublicKeyPem, RefusesWhatIsNotOneP256PublicKey) {
    const std::vector<std::uint8_t> der = sign::SubjectPublicKeyInfo(SamplePoint());
    std::vector<std::uint8_t> otherCurve = der;
    otherCurve[22] = 0x22;  // the curve's OID: 1.3.132.0.34-like last byte
    std::vector<std::uint8_t> compressed = der;
    compressed[26] = 0x02;  // a compressed point's form byte
    std::vector<std::uint8_t> cut(der.begin(), der.end() - 1);
    std::vector<std::uint8_t> longer = der;
    longer.push_back(0);
    std::string privateKey = Pem(der);
    privateKey.replace(privateKey.find("PUBLIC"), 6, "PRIVATE");
    privateKey.replace(privateKey.rfind("PUBLIC"), 6, "PRIVATE");
    std::string badCharacter = Pem(der);
    badCharacter[40] = '*';
    const std::string texts[] = {"", Pem(otherCurve), Pem(compressed), Pem(cut), Pem(longer), privateKey,
                                 badCharacter, Pem(der) + Pem(der), Pem(der).substr(0, 60)};
    for (const std::string& text : texts) {
        sign::PublicPoint point{};
        EXPECT_FALSE(sign::ParsePublicKeyPem(text, point)) << text;
    }
}

// Records what it is asked to hash and answers the verification with a set value.
class RecordingCrypto : public sign::Crypto {
public:
    struct Hash : sign::Sha256 {
        RecordingCrypto& owner;
        std::string fed;
        explicit Hash(RecordingCrypto& o) : owner(o) {}
        void Update(const void* data, std::size_t n) override {
            fed.append(static_cast<const char*>(data), n);
            owner.largestBlock = std::max(owner.largestBlock, n);
        }
        sign::Digest Finish() override {
            owner.hashed.push_back(fed);
            sign::Digest d{};
            std::memcpy(d.data(), fed.data(), std::min(fed.size(), d.size()));
            return d;
        }
    };
    std::unique_ptr<sign::Sha256> NewSha256() override { return std::unique_ptr<sign::Sha256>(new Hash(*this)); }
    bool VerifyP256(const sign::PublicPoint&, const sign::Digest&, const sign::Signature& s) override {
        ++verifications;
        lastSignature = s;
        return answer;
    }
    std::vector<std::string> hashed;
    std::size_t largestBlock = 0;
    int verifications = 0;
    sign::Signature lastSignature{};
    bool answer = true;
};

// An archive of a few entries, one of 1 MiB, with the given comment in its end record.
std::string ArchiveWithComment(const std::string& comment) {
    std::string archive = ziptest::BuildArchive({ziptest::Entry::Stored("a.txt", "alpha"),
                                                 ziptest::Entry::Stored("big.bin", std::string(1 << 20, 'b'))});
    archive.resize(archive.size() - 2);
    ziptest::Put16(archive, static_cast<std::uint32_t>(comment.size()));
    return archive + comment;
}

sign::CheckResult Check(const std::string& archive, RecordingCrypto& crypto) {
    zip::MemoryArchive input(archive.data(), archive.size());
    return sign::CheckPackage(input, SamplePoint(), crypto);
}

// A comment signed, as far as the stand-in knows, by the sample key.
std::string OurComment(RecordingCrypto& crypto) {
    sign::SignatureComment c = SampleComment();
    c.keyId = sign::KeyIdOf(SamplePoint(), crypto);
    return sign::FormatSignatureComment(c);
}

TEST(PackageCheck, HashesEveryByteBeforeTheCommentInBlocks) {
    RecordingCrypto crypto;
    const std::string comment = OurComment(crypto);
    const std::string archive = ArchiveWithComment(comment);
    crypto.hashed.clear();
    const sign::CheckResult result = Check(archive, crypto);
    EXPECT_EQ(result.verdict, sign::Verdict::Signed);
    // The key id (0x04, X, Y), then the signed bytes: everything up to the comment, its length
    // field included.
    ASSERT_EQ(crypto.hashed.size(), 2u);
    EXPECT_EQ(crypto.hashed[0].size(), 65u);
    EXPECT_EQ(crypto.hashed[1], archive.substr(0, archive.size() - sign::kCommentSize));
    EXPECT_EQ(crypto.hashed[1].substr(crypto.hashed[1].size() - 2), std::string("\x9a\x00", 2));
    EXPECT_LE(crypto.largestBlock, 1u << 18) << "the file is hashed in blocks";
    EXPECT_EQ(crypto.lastSignature, SampleComment().signature);
}

TEST(PackageCheck, EachWayOfNotBeingSignedHasItsVerdict) {
    RecordingCrypto crypto;
    const std::string comment = OurComment(crypto);
    const std::string signedArchive = ArchiveWithComment(comment);
    std::string otherKey = comment;
    otherKey[9] = otherKey[9] == '0' ? '1' : '0';
    struct Row {
        const char* label;
        std::string archive;
        sign::Verdict verdict;
        bool verified;  // whether the signature was put to the cryptography
    };
    const Row rows[] = {
        {"no comment", ArchiveWithComment(""), sign::Verdict::Unsigned, false},
        {"another comment", ArchiveWithComment("Created by the build"), sign::Verdict::Unsigned, false},
        {"two signatures", ArchiveWithComment(comment + comment), sign::Verdict::Unsigned, false},
        {"a later format", ArchiveWithComment("KLUSIG/2" + comment.substr(8)), sign::Verdict::Unsigned, false},
        {"bytes after the comment", signedArchive + "x", sign::Verdict::Unsigned, false},
        {"another key", ArchiveWithComment(otherKey), sign::Verdict::OtherKey, false},
        {"cut inside the comment", signedArchive.substr(0, signedArchive.size() - 1), sign::Verdict::NoEndRecord, false},
        {"cut before the end record", signedArchive.substr(0, signedArchive.size() - 200), sign::Verdict::NoEndRecord,
         false},
        {"empty", "", sign::Verdict::NoEndRecord, false},
        {"not ZIP", std::string(5000, 'z'), sign::Verdict::NoEndRecord, false},
    };
    for (const Row& row : rows) {
        crypto.verifications = 0;
        EXPECT_EQ(Check(row.archive, crypto).verdict, row.verdict) << row.label;
        EXPECT_EQ(crypto.verifications, row.verified ? 1 : 0) << row.label;
    }
    crypto.answer = false;
    EXPECT_EQ(Check(signedArchive, crypto).verdict, sign::Verdict::Changed);
    sign::SignatureComment parsed;
    ASSERT_EQ(Parse(otherKey, parsed), CommentKind::Signature);
    EXPECT_EQ(Check(ArchiveWithComment(otherKey), crypto).keyId, parsed.keyId);
}

// An entry's data may hold an end record of its own whose comment reaches the end of the file; the
// check, like the extractor, takes the last such record, the archive's own.
TEST(PackageCheck, TakesTheArchivesOwnEndRecordNotOneInsideTheData) {
    RecordingCrypto crypto;
    const std::string comment = OurComment(crypto);
    auto build = [&](std::uint32_t fakeCommentLength) {
        std::string fake = std::string("PK\x05\x06", 4) + std::string(16, '\0');
        ziptest::Put16(fake, fakeCommentLength);
        std::string archive = ziptest::BuildArchive({ziptest::Entry::Stored("fake.bin", fake)});
        archive.resize(archive.size() - 2);
        ziptest::Put16(archive, static_cast<std::uint32_t>(comment.size()));
        return archive + comment;
    };
    std::string archive = build(0);
    const std::size_t fakeAt = archive.find(std::string("PK\x05\x06", 4));
    ASSERT_LT(fakeAt + 22, archive.size() - comment.size() - 22);
    archive = build(static_cast<std::uint32_t>(archive.size() - fakeAt - 22));  // reaches the end too

    zip::MemoryArchive input(archive.data(), archive.size());
    sign::ArchiveTail tail;
    ASSERT_TRUE(sign::ReadArchiveTail(input, tail));
    EXPECT_TRUE(tail.found);
    EXPECT_TRUE(tail.reachesEnd);
    EXPECT_EQ(tail.commentOffset, archive.size() - comment.size());
    crypto.hashed.clear();
    EXPECT_EQ(Check(archive, crypto).verdict, sign::Verdict::Signed);
    EXPECT_EQ(crypto.hashed.back(), archive.substr(0, archive.size() - comment.size()));
}

TEST(PackageCheck, TheUsersTexts) {
    EXPECT_STREQ(sign::VerdictText(sign::Verdict::Unsigned), "The package is not signed by its publisher.");
    EXPECT_STREQ(sign::VerdictText(sign::Verdict::OtherKey), "The package is not signed by its publisher.");
    EXPECT_STREQ(sign::VerdictText(sign::Verdict::Changed), "The package was changed after it was signed.");
    EXPECT_STREQ(sign::VerdictText(sign::Verdict::NoEndRecord),
                 "The package is incomplete: its ZIP end record is missing.");
    EXPECT_STREQ(sign::VerdictText(sign::Verdict::Unreadable), "The package could not be read to check its signature.");
    RecordingCrypto crypto;
    EXPECT_EQ(sign::PackageFileRefusal("/nonexistent/klu-package.zip", SamplePoint(), crypto),
              "The package could not be read to check its signature.");
}

}  // namespace
