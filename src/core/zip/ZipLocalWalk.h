// LocalHeaderWalk: the entries of an archive without a usable central directory, found by walking
// its local headers (APPNOTE 4.3.7) from the start of the file, as the same members the directory
// gives.
//
// An entry whose sizes follow its data in a descriptor (APPNOTE 4.3.9) has no known end until its
// data has been read: a deflate stream ends itself, and for the other methods the walk looks for
// the descriptor whose compressed size matches its distance from the data.
#pragma once

#include <cstdint>
#include <vector>

#include "zip/ArchiveInput.h"
#include "zip/Decoder.h"
#include "zip/ZipDirectory.h"

namespace zip {

class LocalHeaderWalk {
public:
    explicit LocalHeaderWalk(ArchiveInput& archive) : archive_(archive) {}

    // Reads the local header at the walk's position into member; false when none stands there
    // (the central directory, the end, or anything else).
    bool Next(Member& member);
    // Moves past the member last read, whose data (without a descriptor found by its signature)
    // ends at dataEnd; false when that would not move forward or leaves the archive.
    bool Advance(const Member& member, std::uint64_t dataEnd);
    // Where the walk stands: the start of the last header read, or where it stopped.
    std::uint64_t Position() const { return pos_; }
    // Whether a central header, an end record or a Zip64 end record stands where the walk
    // stopped, as after the last entry of a whole archive.
    bool StoppedOnDirectory();

private:
    ArchiveInput& archive_;
    std::uint64_t pos_ = 0;
    std::vector<std::uint8_t> variable_;
};

// Measures the data of a member whose sizes are not known before it (sizesKnown false) by decoding
// it into nothing: the stream's own end shows where its compressed bytes stop, and the data
// descriptor after them gives the member's CRC and sizes. Only the deflate methods end on their
// own; for the others the answer is BadData and no end. The decoding stops at the method's
// largest ratio times the bytes left in the archive. On a whole stream with its descriptor,
// member's CRC and sizes are the descriptor's, streamLength receives the stream's compressed
// length, next the offset after the descriptor, and ended is true. Returns the decoder's status.
DecodeStatus MeasureUnsized(ArchiveInput& archive, Member& member, std::uint64_t& streamLength,
                            std::uint64_t& next, bool& ended);

}  // namespace zip
