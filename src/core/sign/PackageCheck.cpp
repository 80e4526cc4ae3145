#include "sign/PackageCheck.h"

#include <algorithm>

#include "zip/ZipDirectory.h"
#include "zip/ZipRecords.h"

namespace sign {
namespace {

constexpr std::size_t kBlockSize = 1 << 18;

}  // namespace

KeyId KeyIdOf(const PublicPoint& key, Crypto& crypto) {
    const std::vector<std::uint8_t> point = UncompressedPoint(key);
    std::unique_ptr<Sha256> hash = crypto.NewSha256();
    hash->Update(point.data(), point.size());
    const Digest digest = hash->Finish();
    KeyId id;
    std::copy(digest.begin(), digest.begin() + id.size(), id.begin());
    return id;
}

bool ReadArchiveTail(zip::ArchiveInput& archive, ArchiveTail& out) {
    out = ArchiveTail{};
    const std::vector<std::uint64_t> candidates = zip::EndRecordCandidates(archive);
    if (candidates.empty()) return true;
    const std::uint64_t at = candidates.front();
    std::uint8_t record[zip::kEndOfDirectorySize];
    if (!zip::ReadExactly(archive, at, record, sizeof record)) return false;
    const std::size_t length = zip::Get16(record + zip::end_record::kCommentLength);
    out.found = true;
    out.commentOffset = at + sizeof record;
    out.reachesEnd = out.commentOffset + length == archive.Size();
    out.comment.resize(length);
    return length == 0 || zip::ReadExactly(archive, out.commentOffset, out.comment.data(), length);
}

CheckResult CheckPackage(zip::ArchiveInput& archive, const PublicPoint& key, Crypto& crypto) {
    CheckResult result;
    ArchiveTail tail;
    if (!ReadArchiveTail(archive, tail)) return result;  // Unreadable
    if (!tail.found) {
        result.verdict = Verdict::NoEndRecord;
        return result;
    }
    SignatureComment comment;
    result.verdict = Verdict::Unsigned;
    if (!tail.reachesEnd) return result;
    if (ParseSignatureComment(tail.comment.data(), tail.comment.data() + tail.comment.size(), comment) !=
        CommentKind::Signature) {
        return result;
    }
    result.keyId = comment.keyId;
    if (comment.keyId != KeyIdOf(key, crypto)) {
        result.verdict = Verdict::OtherKey;
        return result;
    }
    std::unique_ptr<Sha256> hash = crypto.NewSha256();
    std::vector<std::uint8_t> block(kBlockSize);
    for (std::uint64_t offset = 0; offset < tail.commentOffset;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, tail.commentOffset - offset));
        if (!zip::ReadExactly(archive, offset, block.data(), n)) {
            result.verdict = Verdict::Unreadable;
            return result;
        }
        hash->Update(block.data(), n);
        offset += n;
    }
    result.verdict = crypto.VerifyP256(key, hash->Finish(), comment.signature) ? Verdict::Signed : Verdict::Changed;
    return result;
}

const char* VerdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Signed: return "The package is signed by its publisher.";
    case Verdict::Unsigned:
    case Verdict::OtherKey: return "The package is not signed by its publisher.";
    case Verdict::Changed: return "The package was changed after it was signed.";
    case Verdict::NoEndRecord: return "The package is incomplete: its ZIP end record is missing.";
    case Verdict::Unreadable: break;
    }
    return "The package could not be read to check its signature.";
}

std::string CryptoFailureText(const CryptoError& error) {
    return std::string("The package's signature could not be checked: ") + error.what();
}

std::string PackageFileRefusal(const std::string& path, const PublicPoint& key, Crypto& crypto) {
    try {
        std::unique_ptr<zip::ArchiveInput> archive = zip::OpenArchiveFile(path);
        if (!archive) return VerdictText(Verdict::Unreadable);
        const Verdict verdict = CheckPackage(*archive, key, crypto).verdict;
        return verdict == Verdict::Signed ? std::string() : VerdictText(verdict);
    } catch (const CryptoError& error) {
        return CryptoFailureText(error);
    }
}

}  // namespace sign
