// Hostile rows whose failure shows only inside an entry or behind a record: streams that use a
// code they cannot have, and directories whose local-header offsets lead to no local header.
// Each such entry fails, reported; none is taken as whole or left out in silence.
// Included by HostileArchives.h, after the row type and the patch helpers.
#pragma once

#include "../core/InflateBadCodes.h"

namespace hostile {

// Every central record's local-header offset moved by delta.
inline std::string MoveLocalOffsets(std::string a, std::uint32_t delta) {
    for (const testsupport::CentralEntry& e : testsupport::ReadCentralDirectory(a)) {
        Patch32(a, e.record + central_header::kLocalHeaderOffset, static_cast<std::uint32_t>(e.local + delta));
    }
    return a;
}

// Deflate and Deflate64 entries that declare what their stream decodes before a code it cannot
// have (with its CRC), beside a good entry; and one streamed, with a data descriptor.
inline void AddOutOfRangeCodes(std::vector<ArchiveCase>& cases) {
    for (const ziptest::BadCodeStream& bad : ziptest::OutOfRangeCodeStreams()) {
        for (std::uint16_t method : {8, 9}) {
            cases.push_back({(method == 9 ? "Deflate64, " : "Deflate, ") + bad.what,
                             BuildArchive({Entry::Deflated("bad.txt", bad.before, bad.stream, method),
                                           Entry::Stored("good.txt", "g")}),
                             {EntryResult::CorruptData, EntryResult::Ok}, ""});
        }
    }
    Entry streamed = Entry::Deflated("bad.txt", "abc", ziptest::OutOfRangeCodeStreams().at(1).stream, 9);
    streamed.descriptor = true;
    cases.push_back({"Deflate64 streamed, length symbol 287", BuildArchive({streamed, Entry::Stored("good.txt", "g")}),
                     {EntryResult::CorruptData, EntryResult::Ok}, ""});
}

// Directories whose base offset is wrong, with and without bytes before the archive.
inline void AddWrongBaseOffsets(std::vector<ArchiveCase>& cases) {
    const std::string plain = BuildArchive({Entry::Stored("a.txt", "alpha"), Entry::Stored("b.txt", "bravo")});
    const std::vector<EntryResult> bothFail = {EntryResult::NoLocalHeader, EntryResult::NoLocalHeader};
    cases.push_back({"local-header offsets a few bytes off", MoveLocalOffsets(plain, 3), bothFail, ""});
    cases.push_back({"local-header offsets past the end", MoveLocalOffsets(plain, 0x10000), bothFail, ""});

    const std::string stub(4096, 'M');
    const std::size_t directory = CentralRecord(plain, 0);
    // A directory offset that counts the stub, local-header offsets that do not: they lead into it.
    std::string uncounted = stub + plain;
    Patch32(uncounted, EndRecord(uncounted) + end_record::kDirectoryOffset,
            static_cast<std::uint32_t>(stub.size() + directory));
    cases.push_back({"stub counted by the directory offset only", uncounted, bothFail, ""});
    // Local-header offsets that count the stub, a directory offset that does not: the stub is
    // counted twice, past the end.
    cases.push_back({"stub counted twice", stub + MoveLocalOffsets(plain, static_cast<std::uint32_t>(stub.size())),
                     bothFail, ""});

    // A third record whose local header is nowhere: walking the local headers would find the
    // other two and leave it out.
    std::string third = plain.substr(CentralRecord(plain, 1), EndRecord(plain) - CentralRecord(plain, 1));
    third[zip::kCentralHeaderSize] = 'c';  // "c.txt"
    Patch32(third, central_header::kLocalHeaderOffset, 0x7FFFFF00);
    std::string missing = plain.substr(0, EndRecord(plain)) + third + plain.substr(EndRecord(plain));
    const std::size_t end = EndRecord(missing);
    Patch16(missing, end + end_record::kEntriesHere, 3);
    Patch16(missing, end + end_record::kEntriesTotal, 3);
    Patch32(missing, end + end_record::kDirectorySize, static_cast<std::uint32_t>(end - directory));
    cases.push_back({"a record whose local header is nowhere", missing,
                     {EntryResult::Ok, EntryResult::Ok, EntryResult::NoLocalHeader}, ""});
}

}  // namespace hostile
