#include "sign/PackageCheck.h"

#include <algorithm>

#include "zip/ZipRecords.h"

namespace sign {
namespace {

constexpr std::size_t kBlockSize = 1 << 18;
// The end record sits in the last 22 bytes plus a comment of at most 65535 bytes.
constexpr std::uint64_t kTailSearch = zip::kEndOfDirectorySize + 65535;

bool ReadExactly(zip::ArchiveInput& archive, std::uint64_t offset, std::uint8_t* buf, std::size_t n) {
    while (n > 0) {
        const std::size_t got = archive.ReadAt(offset, buf, n);
        if (got == 0) return false;
        offset += got;
        buf += got;
        n -= got;
    }
    return true;
}

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
    const std::uint64_t size = archive.Size();
    if (size < zip::kEndOfDirectorySize) return true;
    const std::size_t tailSize = static_cast<std::size_t>(std::min(size, kTailSearch));
    const std::uint64_t tailStart = size - tailSize;
    std::vector<std::uint8_t> tail(tailSize);
    if (!ReadExactly(archive, tailStart, tail.data(), tailSize)) return false;
    std::size_t best = tailSize;
    for (std::size_t i = tailSize - zip::kEndOfDirectorySize + 1; i-- > 0;) {
        if (zip::Get32(&tail[i]) != zip::kEndOfDirectorySig) continue;
        const std::size_t commentEnd = i + zip::kEndOfDirectorySize + zip::Get16(&tail[i + 20]);
        if (commentEnd > tailSize) continue;  // a comment cut by the end of the file
        if (commentEnd == tailSize) {
            best = i;
            out.reachesEnd = true;
            break;
        }
        if (best == tailSize) best = i;  // the last one, unless one further back reaches the end
    }
    if (best == tailSize) return true;
    const std::size_t commentAt = best + zip::kEndOfDirectorySize;
    const std::size_t commentEnd = commentAt + zip::Get16(&tail[best + 20]);
    out.found = true;
    out.commentOffset = tailStart + commentAt;
    out.comment.assign(tail.begin() + static_cast<std::ptrdiff_t>(commentAt),
                       tail.begin() + static_cast<std::ptrdiff_t>(commentEnd));
    return true;
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
        if (!ReadExactly(archive, offset, block.data(), n)) {
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
