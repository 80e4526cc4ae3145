// DecodeAhead: decodes the members after the one being written, on a thread of its own and into
// memory, so that decoding and checking the next entries goes on while the caller's thread makes,
// fills and closes the files.
//
// Only pure work happens there: the data of the members the caller chose (sizes stated, a method
// decoded here, no more than the budget), read through a reader of its own, with their CRC-32.
// Names, folders, files and every event stay with the caller, in archive order: it takes each
// member's result in turn and writes it block by block, as the decoder would have written it. The
// decoded bytes the caller has not released never pass the budget (one member alone excepted,
// which the caller keeps within it).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "zip/ArchiveInput.h"
#include "zip/Crc32.h"
#include "zip/Decoder.h"

namespace zip {

// What decoding one member needs, copied from it before the thread starts.
struct AheadJob {
    bool taken = false;       // decoded ahead at all; otherwise the caller decodes it
    std::uint64_t offset = 0;  // its compressed data in the archive
    std::uint64_t length = 0;
    std::uint64_t limit = 0;   // the most it may decode to
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
};

// One member decoded: its bytes, cut where the decoder cut its blocks, each block with the
// compressed bytes read by the time it was written.
struct DecodedMember {
    struct Block {
        std::size_t end;          // where the block ends in bytes
        std::uint64_t consumed;   // compressed bytes read when it was written
    };
    std::vector<std::uint8_t> bytes;
    std::vector<Block> blocks;
    DecodeStatus status = DecodeStatus::Ok;
    std::uint64_t consumed = 0;  // compressed bytes read in all
    Crc32 crc;
};

class DecodeAhead {
public:
    // Starts decoding jobs through input. Throws only what starting a thread throws.
    DecodeAhead(std::unique_ptr<ArchiveInput> input, std::vector<AheadJob> jobs, std::size_t budget);
    ~DecodeAhead();  // stops after the member in hand
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // Member index as decoded, waiting for it; null when it is not decoded ahead (not taken, or
    // memory ran out): the caller then decodes it itself. Indexes are asked in increasing order.
    std::unique_ptr<DecodedMember> Take(std::size_t index);
    // The caller is done with member index (taken or not): its bytes leave the budget.
    void Release(std::size_t index);

private:
    void Run();
    std::unique_ptr<DecodedMember> Decode(const AheadJob& job);

    std::unique_ptr<ArchiveInput> input_;
    const std::vector<AheadJob> jobs_;
    const std::size_t budget_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<DecodedMember>> results_;
    std::vector<std::size_t> held_;  // the budget each member holds until released
    std::size_t done_ = 0;           // members the thread has passed
    std::size_t released_ = 0;       // members the caller has passed
    std::size_t holding_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace zip
