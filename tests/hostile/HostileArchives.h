// Hostile packages, built field by field: the extractor's expected verdict for each. The same
// table runs through the extractor alone (tests/core) and through the whole install chain under
// Wine (tests/worker), where every row must end with the decompression step failing and nothing
// changed outside the run's own work folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../core/ZipTestSupport.h"
#include "support/CentralDirectory.h"
#include "zip/ZipExtractor.h"

namespace hostile {

using ziptest::BuildArchive;
using ziptest::Entry;
using zip::EntryResult;
namespace central_header = zip::central_header;
namespace end_record = zip::end_record;
namespace local_header = zip::local_header;

struct ArchiveCase {
    std::string label;
    std::string archive;
    std::vector<EntryResult> results;  // the end-of-file results, in order
    std::string refusal;               // the whole archive's refusal, or empty
    bool installFails = true;          // false: a defined, harmless result the installer accepts
};

// Harmless names, taken as Windows takes them ("." parts and repeated separators go, a ".." that
// stays inside takes back the part before it), with the path each is written to below the
// extract folder.
struct HarmlessName {
    const char* name;
    const char* path;
};
inline std::vector<HarmlessName> HarmlessNames() {
    return {{"./Pluvion.exe", "Pluvion.exe"}, {"data//a.txt", "data\\a.txt"}, {"data/x/../a.txt", "data\\a.txt"},
            {"a//x", "a\\x"},                {"./x", "x"},                   {".\\a\\.\\b.txt", "a\\b.txt"}};
}

inline void Patch16(std::string& s, std::size_t at, std::uint32_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void Patch32(std::string& s, std::size_t at, std::uint32_t v) {
    Patch16(s, at, v & 0xFFFF);
    Patch16(s, at + 2, v >> 16);
}

// Offsets of the records in an archive made by BuildArchive (no comment, no prefix).
inline std::size_t EndRecord(const std::string& a) { return a.size() - zip::kEndOfDirectorySize; }
// The n-th central record.
inline std::size_t CentralRecord(const std::string& a, int n) {
    return testsupport::ReadCentralDirectory(a).at(static_cast<std::size_t>(n)).record;
}

// The archive's end record made a Zip64 one: a Zip64 end record and its locator before an end
// record whose fields all say "see Zip64" (APPNOTE 4.3.14 to 4.3.16).
inline std::string WithZip64End(const std::string& a) {
    const auto* end = reinterpret_cast<const std::uint8_t*>(a.data()) + EndRecord(a);
    const std::uint32_t count = zip::Get16(end + end_record::kEntriesTotal);
    const std::uint32_t size = zip::Get32(end + end_record::kDirectorySize);
    const std::uint32_t offset = zip::Get32(end + end_record::kDirectoryOffset);
    auto put64 = [](std::string& s, std::uint32_t v) {
        ziptest::Put32(s, v);
        ziptest::Put32(s, 0);
    };
    std::string out = a.substr(0, EndRecord(a));
    const auto zip64End = static_cast<std::uint32_t>(out.size());
    ziptest::Put32(out, zip::kZip64EndSig);
    put64(out, 44);                      // the record's size after this field
    ziptest::Put16(out, 45);             // made by
    ziptest::Put16(out, 45);             // needed
    ziptest::Put32(out, 0);              // this disk
    ziptest::Put32(out, 0);              // the directory's disk
    put64(out, count);                   // entries here
    put64(out, count);                   // entries in all
    put64(out, size);                    // directory size
    put64(out, offset);                  // directory offset
    ziptest::Put32(out, zip::kZip64LocatorSig);
    ziptest::Put32(out, 0);              // the Zip64 end record's disk
    put64(out, zip64End);                // its offset
    ziptest::Put32(out, 1);              // disks
    std::string last = a.substr(EndRecord(a));
    Patch16(last, end_record::kEntriesHere, 0xFFFF);
    Patch16(last, end_record::kEntriesTotal, 0xFFFF);
    Patch32(last, end_record::kDirectorySize, 0xFFFFFFFF);
    Patch32(last, end_record::kDirectoryOffset, 0xFFFFFFFF);
    return out + last;
}

// The archive walked by its local headers: its first central record's comment runs past the
// directory, so the record does not parse and the directory is not used (a record that merely
// points at no local header is a member that fails on its own); the walk stops on that record,
// whose signature is whole.
inline std::string WalkedOnly(std::string a) {
    Patch16(a, CentralRecord(a, 0) + central_header::kCommentLength, 0xFFFF);
    return a;
}

// A name refused on its own beside a good file: the bad entry fails, the good one is written.
inline ArchiveCase UnsafeName(const std::string& label, const std::string& name) {
    return {label, BuildArchive({Entry::Stored(name, "x"), Entry::Stored("good.txt", "g")}),
            {EntryResult::UnsafeName, EntryResult::Ok}, ""};
}

// A first entry "a.txt" whose local header is changed by patch; the central record stays.
template <typename Patch>
ArchiveCase LocalDiffers(const std::string& label, Patch patch) {
    std::string a = BuildArchive({Entry::Stored("a.txt", "alpha"), Entry::Stored("good.txt", "g")});
    patch(a);
    return {label, a, {EntryResult::HeaderMismatch, EntryResult::Ok}, ""};
}

}  // namespace hostile

#include "HostileOffsets.h"

namespace hostile {

inline std::vector<ArchiveCase> ArchiveCases() {
    std::vector<ArchiveCase> cases;
    auto add = [&](ArchiveCase c) { cases.push_back(std::move(c)); };

    // Names that leave the folder with "/" and "\" both separators, and empty parts.
    for (const char* name : {"../x", "..\\x", "a/../../x", "a\\..\\..\\x", "./../x", "."}) {
        add(UnsafeName(std::string("leaving name ") + name, name));
    }
    for (const HarmlessName& harmless : HarmlessNames()) {
        add({std::string("harmless name ") + harmless.name,
             BuildArchive({Entry::Stored(harmless.name, "x"), Entry::Stored("good.txt", "g")}),
             {EntryResult::Ok, EntryResult::Ok}, "", false});
    }
    // Duplicates are judged on the names as Windows reads them.
    add({"duplicate once normalised",
         BuildArchive({Entry::Stored("data/a.txt", "1"), Entry::Stored("./data//x/../A.txt", "2")}),
         {EntryResult::Ok, EntryResult::DuplicateName}, ""});
    add({"folder entry ../evil/", BuildArchive({Entry::Stored("../evil/", ""), Entry::Stored("good.txt", "g")}),
         {EntryResult::UnsafeName, EntryResult::Ok}, ""});
    add({"empty name", BuildArchive({Entry::Stored("", "x"), Entry::Stored("good.txt", "g")}),
         {EntryResult::UnsafeName, EntryResult::Ok}, ""});
    // Absolute and device forms that survive the drive removal.
    for (const char* name : {"C:/x", "C:x", "C:\\/x", "\\\\host\\share\\x", "\\\\?\\C:\\x", "\\\\.\\x", "//host/share/x"}) {
        // "C:/x" and "C:x" lose their drive and stay inside as "x": only what is left decides.
        const std::string n = name;
        if (n == "C:/x" || n == "C:x") {
            add({"drive removed from " + n, BuildArchive({Entry::Stored(n, "x"), Entry::Stored("good.txt", "g")}),
                 {EntryResult::Ok, EntryResult::Ok}, "", false});
        } else {
            add(UnsafeName("absolute name " + n, n));
        }
    }
    // Names Windows gives another meaning.
    for (const char* name : {"f.txt:s", "x::$DATA", "CON", "nul.txt", "COM1", "sub/CONIN$", "a.", "a ", "dir./x",
                             "a<b", "a>b", "a\"b", "a|b", "a?b", "a*b", "a\x01" "b", "a\x1f" "b"}) {
        add(UnsafeName(std::string("reserved name ") + name, name));
    }
    // The superscript digits one to three make device names too: "\xFD" is the OEM superscript two,
    // the others are only in UTF-8 names (flag bit 11).
    add(UnsafeName("reserved name COM(OEM 0xFD).txt", "COM\xFD.txt"));
    for (const char* name : {"COM\xC2\xB9", "com\xC2\xB2.txt", "COM\xC2\xB3.log", "LPT\xC2\xB9.dat",
                             "sub/lpt\xC2\xB2", "LPT\xC2\xB3.txt"}) {
        Entry utf8 = Entry::Stored(name, "x");
        utf8.flags = 0x0800;
        add({std::string("reserved UTF-8 name ") + name, BuildArchive({utf8, Entry::Stored("good.txt", "g")}),
             {EntryResult::UnsafeName, EntryResult::Ok}, ""});
    }
    // The same file twice once letter case is folded (in the OEM code page too: 0x90 and 0x82 are
    // the capital and small e acute).
    add({"duplicate in other case", BuildArchive({Entry::Stored("Dir/A.txt", "1"), Entry::Stored("dir/a.TXT", "2")}),
         {EntryResult::Ok, EntryResult::DuplicateName}, ""});
    add({"exact duplicate", BuildArchive({Entry::Stored("a.txt", "1"), Entry::Stored("a.txt", "2")}),
         {EntryResult::Ok, EntryResult::DuplicateName}, ""});
    add({"duplicate in other case, OEM letters",
         BuildArchive({Entry::Stored("\x90t\x82.txt", "1"), Entry::Stored("\x82t\x82.txt", "2")}),
         {EntryResult::Ok, EntryResult::DuplicateName}, ""});
    // A joined path longer than the system allows.
    add({"path too long", BuildArchive({Entry::Stored(std::string(120, 'd') + "/" + std::string(140, 'f'), "x"),
                                        Entry::Stored("good.txt", "g")}),
         {EntryResult::PathTooLong, EntryResult::Ok}, ""});

    // Overlapping entries: the second local header lies inside the first entry's data, and a
    // second central record that points at the first local header.
    {
        std::string a = BuildArchive({Entry::Stored("a.bin", std::string(64, 'a')), Entry::Stored("b.bin", "bbbb")});
        // a's data, then all of b
        const std::uint32_t grown = static_cast<std::uint32_t>(64 + zip::kLocalHeaderSize + 5 + 4);
        Patch32(a, local_header::kCompressedSize, grown);
        Patch32(a, local_header::kUncompressedSize, grown);
        Patch32(a, CentralRecord(a, 0) + central_header::kCompressedSize, grown);
        Patch32(a, CentralRecord(a, 0) + central_header::kUncompressedSize, grown);
        add({"overlapping entries", a, {}, "overlapping entries"});
        std::string same = BuildArchive({Entry::Stored("a.bin", "aaaa"), Entry::Stored("a.bin", "aaaa")});
        Patch32(same, CentralRecord(same, 1) + central_header::kLocalHeaderOffset, 0);
        add({"two records, one local header", same, {}, "overlapping entries"});
    }

    // Lying sizes.
    {
        Entry stored = Entry::Stored("short.txt", "abcdef");
        stored.usize = 3;  // the two sizes of a stored entry differ
        stored.usizeGiven = true;
        stored.crc = ziptest::Crc("abc");
        stored.crcGiven = true;
        add({"stored sizes differ", BuildArchive({stored, Entry::Stored("good.txt", "g")}),
             {EntryResult::CorruptData, EntryResult::Ok}, ""});
        // A deflate stream that goes on past the stored size: it stops there and fails.
        ziptest::BitWriter w;
        w.Bits(1, 1);
        w.Bits(1, 2);
        for (char c : std::string("abcdef")) w.Literal(static_cast<std::uint8_t>(c));
        w.FixedSymbol(256);
        add({"decodes past its size", BuildArchive({Entry::Deflated("long.txt", "abc", w.Finish()),
                                                    Entry::Stored("good.txt", "g")}),
             {EntryResult::CorruptData, EntryResult::Ok}, ""});
        std::string past = BuildArchive({Entry::Stored("good.txt", "g"), Entry::Stored("end.txt", "end")});
        const std::size_t second = CentralRecord(past, 1);
        Patch32(past, second + central_header::kCompressedSize, 0x7FFFFFF0);  // compressed size past the end of the archive
        add({"compressed size past the end", past, {EntryResult::Ok, EntryResult::HeaderMismatch}, ""});
        std::string bothPast = BuildArchive({Entry::Stored("good.txt", "g"), Entry::Stored("end.txt", "end")});
        Patch32(bothPast, CentralRecord(bothPast, 1) + central_header::kCompressedSize, 0x7FFFFFF0);
        const std::size_t secondLocal = zip::kLocalHeaderSize + 8 + 1;  // after good.txt's header and data
        Patch32(bothPast, secondLocal + local_header::kCompressedSize, 0x7FFFFFF0);  // the local header says so too
        add({"compressed size past the end, both headers", bothPast, {EntryResult::Ok, EntryResult::CorruptData}, ""});
    }

    // Data that goes on far past its size: zeros of Deflate64, about 40 MiB from 2.3 KiB. With a
    // central record the entry stops at the size it declares; walked, at the size its descriptor
    // states, and the walk goes on after the descriptor.
    {
        const std::string zeros = ziptest::ZeroRun(640, true);
        add({"Deflate64 zeros past a small size",
             BuildArchive({Entry::Deflated("zeros.bin", std::string(4096, '\0'), zeros, 9), Entry::Stored("good.txt", "g")}),
             {EntryResult::CorruptData, EntryResult::Ok}, ""});
        Entry described = Entry::Deflated("zeros.bin", std::string(10, '\0'), zeros, 9);
        described.descriptor = true;
        add({"walked, a descriptor of 10 bytes after zeros", WalkedOnly(BuildArchive({described, Entry::Stored("good.txt", "g")})),
             {EntryResult::CorruptData, EntryResult::Ok}, ""});
    }

    // A lying central directory.
    {
        std::string count = BuildArchive({Entry::Stored("a.txt", "a"), Entry::Stored("b.txt", "b")});
        Patch16(count, EndRecord(count) + end_record::kEntriesHere, 0xFFFF);
        Patch16(count, EndRecord(count) + end_record::kEntriesTotal, 0xFFFF);
        add({"entry count far too large", count, {EntryResult::Ok, EntryResult::Ok}, "", false});
        std::string beyond = BuildArchive({Entry::Stored("a.txt", "a"), Entry::Stored("b.txt", "b")});
        Patch32(beyond, EndRecord(beyond) + end_record::kDirectoryOffset, 0x7FFFFF00);  // the directory beyond the end: the walk
        // An end record whose directory cannot stand before it does not hold together: cut.
        add({"directory beyond the end", beyond, {}, "archive ends early"});
        std::string wrap = BuildArchive({Entry::Stored("a.txt", "a"), Entry::Stored("b.txt", "b")});
        Patch32(wrap, CentralRecord(wrap, 1) + central_header::kLocalHeaderOffset, 0xFFFFFFF0);  // an offset that would wrap
        add({"offset that wraps 32 bits", wrap, {EntryResult::Ok, EntryResult::NoLocalHeader}, ""});
        std::string sizeWrap = BuildArchive({Entry::Stored("a.txt", "a")});
        Patch32(sizeWrap, EndRecord(sizeWrap) + end_record::kDirectorySize, 0xFFFFFFFF);  // directory size that wraps
        add({"directory size that wraps", sizeWrap, {}, "archive ends early"});
    }

    // A local header that disagrees with its central record.
    add(LocalDiffers("local name differs", [](std::string& a) { a[zip::kLocalHeaderSize] = 'b'; }));
    add(LocalDiffers("local method differs", [](std::string& a) { Patch16(a, local_header::kMethod, 8); }));
    add(LocalDiffers("local compressed size differs",
                     [](std::string& a) { Patch32(a, local_header::kCompressedSize, 4); }));
    add(LocalDiffers("local size differs", [](std::string& a) { Patch32(a, local_header::kUncompressedSize, 4); }));
    add(LocalDiffers("local CRC differs", [](std::string& a) { Patch32(a, local_header::kCrc, 0x12345678); }));
    add(LocalDiffers("local flags differ", [](std::string& a) { Patch16(a, local_header::kFlags, 0x0001); }));

    // Damaged framing.
    {
        const std::string good = BuildArchive({Entry::Stored("a.txt", "alpha"), Entry::Stored("b.txt", "bravo")});
        const std::size_t second = zip::kLocalHeaderSize + 5 + 5;  // after a.txt's header and data
        // Cut archives yield nothing, even the entries whole before the cut.
        add({"cut inside the second header", good.substr(0, second + 20), {}, "archive ends early"});
        add({"cut inside the second entry's data", good.substr(0, second + zip::kLocalHeaderSize + 5 + 2), {},
             "archive ends early"});
        // Every cut from the first local header's signature on, through the directory and the
        // end record (1 and 30 bytes short among them).
        for (std::size_t n = 4; n < good.size(); ++n) {
            add({"cut to " + std::to_string(n) + " bytes", good.substr(0, n), {}, "archive ends early"});
        }
        std::string comment = good;
        // An end record whose comment holds another end record pointing nowhere.
        std::string fake;
        ziptest::Put32(fake, 0x06054b50);
        ziptest::Put16(fake, 0);
        ziptest::Put16(fake, 0);
        ziptest::Put16(fake, 1);
        ziptest::Put16(fake, 1);
        ziptest::Put32(fake, 46);
        ziptest::Put32(fake, 3);
        ziptest::Put16(fake, 0);
        Patch16(comment, EndRecord(comment) + end_record::kCommentLength, static_cast<std::uint32_t>(fake.size()));
        comment += fake;
        add({"false end record in the comment", comment, {EntryResult::Ok, EntryResult::Ok}, "", false});
        add({"self-extractor prefix", std::string(4096, 'M') + good, {EntryResult::Ok, EntryResult::Ok}, "", false});
        Entry extra = Entry::Stored("x.txt", "x");
        extra.extra = std::string("\x01\x00\xff\x00", 4) + "12345678";  // a Zip64 field claiming 255 bytes
        add({"extra field past its header", BuildArchive({extra, Entry::Stored("good.txt", "g")}),
             {EntryResult::Ok, EntryResult::Ok}, "", false});
        add({"no directory, no end record", BuildArchive({Entry::Stored("a.txt", "a"), Entry::Stored("b.txt", "b")}, false),
             {}, "archive ends early"});
    }

    // Layouts of real writers. Streamed entries (data descriptor flag): local headers that leave
    // the CRC and sizes at zero, that state the uncompressed size beside a zero CRC and
    // compressed size, or that use a Zip64 local header whose sizes are all ones with a Zip64
    // field of zeros. A stated value that differs is still a disagreement.
    {
        auto streamed = [](const std::string& name, const std::string& extra) {
            Entry e = Entry::Stored(name, "streamed data");
            e.descriptor = true;
            e.extra = extra;
            return e;
        };
        add({"streamed, zeros in the local header", BuildArchive({streamed("s.txt", ""), Entry::Stored("good.txt", "g")}),
             {EntryResult::Ok, EntryResult::Ok}, "", false});
        std::string sized = BuildArchive({streamed("s.txt", ""), Entry::Stored("good.txt", "g")});
        Patch32(sized, local_header::kUncompressedSize, 13);  // the real size, CRC and compressed size zero
        add({"streamed, uncompressed size in the local header", sized, {EntryResult::Ok, EntryResult::Ok}, "", false});
        std::string zip64 = BuildArchive(
            {streamed("s.txt", std::string("\x01\x00\x10\x00", 4) + std::string(16, '\0')), Entry::Stored("good.txt", "g")});
        Patch32(zip64, local_header::kCompressedSize, 0xFFFFFFFF);
        Patch32(zip64, local_header::kUncompressedSize, 0xFFFFFFFF);
        add({"streamed, Zip64 local header of zeros", zip64, {EntryResult::Ok, EntryResult::Ok}, "", false});
        std::string wrong = BuildArchive({streamed("s.txt", ""), Entry::Stored("good.txt", "g")});
        Patch32(wrong, local_header::kUncompressedSize, 14);
        add({"streamed, a stated size that differs", wrong, {EntryResult::HeaderMismatch, EntryResult::Ok}, ""});
    }
    // A folder marked only by the MS-DOS folder attribute, with an entry below it.
    {
        Entry folder = Entry::Stored("sub", "");
        folder.externalAttributes = 0x10;
        add({"folder by attribute alone", BuildArchive({folder, Entry::Stored("sub/f.txt", "f")}), {EntryResult::Ok},
             "", false});
    }
    // Zip64 end records, alone and behind a self-extractor stub.
    {
        const std::string plain = BuildArchive({Entry::Stored("a.txt", "alpha"), Entry::Stored("b.txt", "bravo")});
        add({"Zip64 end record", WithZip64End(plain), {EntryResult::Ok, EntryResult::Ok}, "", false});
        add({"Zip64 end record behind a prefix", std::string(4096, 'M') + WithZip64End(plain),
             {EntryResult::Ok, EntryResult::Ok}, "", false});
        // A Zip64 count of 17.5 million records for a directory of two.
        std::string count = WithZip64End(plain);
        Patch32(count, EndRecord(plain) + zip::zip64_end::kEntriesTotal, 17500000);
        add({"Zip64 count that cannot fit", count, {}, "entry count does not fit"});
    }
    // A name with a NUL byte is refused, never dropped in silence.
    add(UnsafeName("name with a NUL byte", std::string("a\0b.txt", 7)));
    AddOutOfRangeCodes(cases);
    AddWrongBaseOffsets(cases);
    // bsdtar's entry for the folder it was given, "./": the extract folder itself.
    add({"folder entry ./", BuildArchive({Entry::Stored("./", ""), Entry::Stored("./a.txt", "a")}), {EntryResult::Ok},
         "", false});

    // Encryption and Zip64 markers.
    {
        Entry traditional = Entry::Stored("secret.txt", "xxxxxxxxxxxxsecret");
        traditional.flags = 0x0001;
        Entry strong = Entry::Stored("strong.txt", "xxxxxxxxxxxxsecret");
        strong.flags = 0x0041;
        Entry aes = Entry::Deflated("aes.txt", "data", "0123456789", 99);
        aes.flags = 0x0001;
        Entry aesUnflagged = Entry::Deflated("aes2.txt", "data", "0123456789", 99);
        add({"encrypted entries", BuildArchive({traditional, strong, aes, aesUnflagged}),
             {EntryResult::Encrypted, EntryResult::Encrypted, EntryResult::Encrypted, EntryResult::UnsupportedMethod},
             ""});
        // Sizes at the Zip64 marker without a Zip64 field: taken as they stand, the first entry
        // covers the second.
        std::string marker = BuildArchive({Entry::Stored("big.bin", "data"), Entry::Stored("good.txt", "g")});
        Patch32(marker, local_header::kCompressedSize, 0xFFFFFFFF);
        Patch32(marker, local_header::kUncompressedSize, 0xFFFFFFFF);
        Patch32(marker, CentralRecord(marker, 0) + central_header::kCompressedSize, 0xFFFFFFFF);
        Patch32(marker, CentralRecord(marker, 0) + central_header::kUncompressedSize, 0xFFFFFFFF);
        add({"Zip64 marker without its field", marker, {}, "overlapping entries"});
        // A Zip64 field with sizes beyond 4 GiB: read in 64 bits, far past the end.
        Entry big = Entry::Stored("big.bin", "data");
        big.usize = 0xFFFFFFFF;
        big.usizeGiven = true;
        big.extra = std::string("\x01\x00\x08\x00", 4) + std::string("\x00\x00\x00\x00\x01\x00\x00\x00", 8);
        add({"Zip64 size over 4 GiB", BuildArchive({big, Entry::Stored("good.txt", "g")}),
             {EntryResult::CorruptData, EntryResult::Ok}, ""});
    }
    return cases;
}

}  // namespace hostile
