// ZipDirectory: an archive's end record and central directory (APPNOTE 4.3.12 to 4.3.16), read
// once into the list of its members, each checked against its local header.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "zip/ArchiveInput.h"
#include "zip/ZipRecords.h"

namespace zip {

// No offset: the local header is missing or unreadable.
constexpr std::uint64_t kNoOffset = std::numeric_limits<std::uint64_t>::max();

// One entry as the extractor processes it, found in the central directory or by walking the
// local headers.
struct Member {
    EntryInfo entry;                  // from the central record, or from the local header when walking
    std::uint64_t dataOffset = kNoOffset;  // where the compressed data starts
    bool sizesKnown = true;           // false: the sizes and CRC follow the data in a descriptor
    bool localDiffers = false;        // the local header disagrees with the central record
    std::size_t descriptorLength = 0;  // walking: the descriptor after the data, found by its signature
};

// What the directory reader keeps is bounded whatever the archive declares: at most this many
// members, and names (stored and Unicode) of at most this many bytes in all. A member costs 136
// bytes on the 32-bit build besides its names, so the reader holds about 100 MiB at the very
// most, and an archive of millions of records cannot exhaust memory. A directory beyond either
// limit is refused whole.
struct DirectoryLimits {
    static constexpr std::size_t kMaxEntries = 262144;
    static constexpr std::uint64_t kMaxNameBytes = 32u << 20;
    std::size_t entries = kMaxEntries;
    std::uint64_t nameBytes = kMaxNameBytes;
};

enum class DirectoryVerdict {
    Usable,       // every record parsed (one whose local header is not found is a member that fails)
    Unusable,     // the end record holds together, its records do not parse: walk the local headers
    Cut,          // no end record at the file's end, or one that does not hold together: the
                  // archive was cut or damaged there, and what it holds cannot be known
    Overlapping,  // two members share bytes, as zip bombs do: the archive is refused whole
    Refused,      // the directory cannot be held to its limits, or its count cannot fit in it:
                  // the archive is refused whole (Refusal says why)
};

class ZipDirectory {
public:
    // Takes the last end record (Zip64 included, with any bytes before the archive corrected
    // for), and only that one, and reads the directory it points to once. The records themselves
    // are counted: nothing is sized from the end record's count. A Zip64 count (one over 65535,
    // which the 16-bit count cannot hold) of more records than the directory's size can hold
    // (a central record is at least 46 bytes), more members than limits allow, or longer names
    // in all, is Refused.
    DirectoryVerdict Read(ArchiveInput& archive, const DirectoryLimits& limits = DirectoryLimits());

    // The members in directory order (Usable or Overlapping).
    std::vector<Member>& Members() { return members_; }
    // The sum of the members' compressed sizes, each at most the archive's size.
    std::uint64_t CompressedTotal() const { return total_; }
    // Where the directory's first record stands (Usable or Overlapping).
    std::uint64_t DirectoryStart() const { return start_; }
    // Whether the last Read saw an end record's signature in the tail, whole or not.
    bool SawEndSignature() const { return sawEndSignature_; }
    // Why the last Read refused the directory: "entry count does not fit" (the count cannot fit
    // in the directory), "too many entries" (more than the limit), "names too long" (names
    // beyond the limit in all). Empty unless Refused.
    const char* Refusal() const { return refusal_; }

private:
    DirectoryVerdict ReadMembers(ArchiveInput& archive, const DirectoryEnd& end, std::uint64_t shift,
                                 const DirectoryLimits& limits);
    DirectoryVerdict Refuse(const char* reason);

    std::vector<Member> members_;
    std::uint64_t total_ = 0;
    std::uint64_t start_ = 0;
    bool sawEndSignature_ = false;
    const char* refusal_ = "";
};

// The archive's end record, the one the extractor reads (and whose comment the signature check
// reads): the last signature in the tail, taken only when it is whole and its comment stays
// inside the file; no earlier one is taken instead. Empty when there is none that holds together
// (the archive was cut) or the tail cannot be read; otherwise one offset.
std::vector<std::uint64_t> EndRecordCandidates(ArchiveInput& archive);

// Whether a local header tells the same as its central record: the same name bytes, method and
// flags that change how the data is read, and the same CRC and sizes, except that with a data
// descriptor each of them may be left at zero. variable holds the local header's name and extra
// field.
bool LocalHeaderAgrees(const EntryInfo& central, EntryInfo local, const std::uint8_t* variable,
                       std::uint16_t nameLength, std::uint16_t extraLength);

}  // namespace zip
