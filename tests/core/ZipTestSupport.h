// Test helpers for the ZIP tests: an archive builder (records written field by field), a
// bit writer with the fixed Huffman code for hand-made deflate streams, and an in-memory output.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/BitWriter.h"
#include "zip/Crc32.h"
#include "zip/OutputFolder.h"

namespace ziptest {

inline void Put16(std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, std::uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

inline std::uint32_t Crc(const std::string& s) { return zip::ComputeCrc32(s.data(), s.size()); }

inline std::string FromHex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

struct Entry {
    std::string name;
    std::string data;               // the uncompressed content
    std::uint16_t method = 0;
    std::string compressed;         // the stored bytes when method != 0 (or to override stored data)
    bool useCompressed = false;
    std::uint16_t flags = 0;
    std::uint32_t crc = 0;
    bool crcGiven = false;
    std::uint32_t usize = 0;        // overrides the uncompressed size when usizeGiven
    bool usizeGiven = false;
    std::uint32_t externalAttributes = 0x20;
    std::uint16_t dosDate = (45 << 9) | (3 << 5) | 14;  // 2025-03-14
    std::uint16_t dosTime = (9 << 11) | (26 << 5) | 27;  // 09:26:54
    bool descriptor = false;        // flag bit 3: zeros in the local header, a signed descriptor after
    std::string extra;              // extra field, in both headers

    static Entry Stored(const std::string& name, const std::string& data) {
        Entry e;
        e.name = name;
        e.data = data;
        return e;
    }
    static Entry Deflated(const std::string& name, const std::string& data, const std::string& stream,
                          std::uint16_t method = 8) {
        Entry e;
        e.name = name;
        e.data = data;
        e.method = method;
        e.compressed = stream;
        e.useCompressed = true;
        return e;
    }
};

// A whole archive: local headers with data, then (unless withDirectory is false) the central
// directory and its end record.
inline std::string BuildArchive(const std::vector<Entry>& entries, bool withDirectory = true) {
    std::string out, directory;
    for (const Entry& e : entries) {
        const std::string payload = e.useCompressed || e.method != 0 ? e.compressed : e.data;
        const std::uint32_t crc = e.crcGiven ? e.crc : Crc(e.data);
        const std::uint32_t usize = e.usizeGiven ? e.usize : static_cast<std::uint32_t>(e.data.size());
        const std::uint16_t flags = static_cast<std::uint16_t>(e.flags | (e.descriptor ? 0x0008 : 0));
        const std::uint32_t offset = static_cast<std::uint32_t>(out.size());
        // local header (APPNOTE 4.3.7)
        Put32(out, 0x04034b50);                                 // signature
        Put16(out, 20);                                         // version needed
        Put16(out, flags);                                      // flags
        Put16(out, e.method);                                   // method
        Put16(out, e.dosTime);                                  // time
        Put16(out, e.dosDate);                                  // date
        Put32(out, e.descriptor ? 0 : crc);                     // crc-32
        Put32(out, e.descriptor ? 0 : static_cast<std::uint32_t>(payload.size()));  // compressed size
        Put32(out, e.descriptor ? 0 : usize);                   // uncompressed size
        Put16(out, static_cast<std::uint32_t>(e.name.size()));  // name length
        Put16(out, static_cast<std::uint32_t>(e.extra.size()));  // extra length
        out += e.name;
        out += e.extra;
        out += payload;
        if (e.descriptor) {
            Put32(out, 0x08074b50);  // descriptor signature
            Put32(out, crc);
            Put32(out, static_cast<std::uint32_t>(payload.size()));
            Put32(out, usize);
        }
        // central header (APPNOTE 4.3.12)
        Put32(directory, 0x02014b50);                                 // signature
        Put16(directory, 20);                                         // made by (MS-DOS)
        Put16(directory, 20);                                         // version needed
        Put16(directory, flags);                                      // flags
        Put16(directory, e.method);                                   // method
        Put16(directory, e.dosTime);                                  // time
        Put16(directory, e.dosDate);                                  // date
        Put32(directory, crc);                                        // crc-32
        Put32(directory, static_cast<std::uint32_t>(payload.size())); // compressed size
        Put32(directory, usize);                                      // uncompressed size
        Put16(directory, static_cast<std::uint32_t>(e.name.size()));  // name length
        Put16(directory, static_cast<std::uint32_t>(e.extra.size())); // extra length
        Put16(directory, 0);                                          // comment length
        Put16(directory, 0);                                          // disk
        Put16(directory, 0);                                          // internal attributes
        Put32(directory, e.externalAttributes);                       // external attributes
        Put32(directory, offset);                                     // local header offset
        directory += e.name;
        directory += e.extra;
    }
    if (!withDirectory) return out;
    const std::uint32_t directoryOffset = static_cast<std::uint32_t>(out.size());
    out += directory;
    // end of central directory (APPNOTE 4.3.16)
    Put32(out, 0x06054b50);                                              // signature
    Put16(out, 0);                                                       // this disk
    Put16(out, 0);                                                       // directory's disk
    Put16(out, static_cast<std::uint32_t>(entries.size()));              // entries here
    Put16(out, static_cast<std::uint32_t>(entries.size()));              // entries total
    Put32(out, static_cast<std::uint32_t>(directory.size()));            // directory size
    Put32(out, directoryOffset);                                         // directory offset
    Put16(out, 0);                                                       // comment length
    return out;
}

// The test bit writer with the fixed Huffman code, for hand-made deflate streams.
class BitWriter : public testsupport::BitWriter {
public:
    // Fixed Huffman code (RFC 1951 3.2.6) for literal/length symbols and distance codes.
    void FixedSymbol(unsigned sym) {
        if (sym < 144) Code(0x30 + sym, 8);
        else if (sym < 256) Code(0x190 + sym - 144, 9);
        else if (sym < 280) Code(sym - 256, 7);
        else Code(0xC0 + sym - 280, 8);
    }
    void Literal(std::uint8_t b) { FixedSymbol(b); }
    // A match in the fixed code; wide chooses the Deflate64 meaning of code 285.
    void Match(std::uint32_t length, std::uint32_t distance, bool wide = false) {
        static const std::uint16_t base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                               31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const std::uint8_t extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        if (wide && length > 257) {
            FixedSymbol(285);
            Bits(length - 3, 16);
        } else {
            unsigned i = 28;
            while (base[i] > length || (wide && i == 28)) --i;
            FixedSymbol(257 + i);
            Bits(length - base[i], extra[i]);
        }
        static const std::uint32_t dbase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                                49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                                2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
        static const std::uint8_t dextra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
                                                7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
        unsigned d = 31;
        while (dbase[d] > distance) --d;
        Code(d, 5);
        Bits(distance - dbase[d], dextra[d]);
    }
};

// Zeros at a high ratio in the fixed code: a literal zero, then matches of the longest length
// (258, or 65538 with Deflate64: wide) at distance 1, in one final block.
inline std::string ZeroRun(std::size_t matches, bool wide) {
    BitWriter w;
    w.Bits(1, 1);  // final block
    w.Bits(1, 2);  // fixed code
    w.Literal(0);
    for (std::size_t i = 0; i < matches; ++i) w.Match(wide ? 65538 : 258, 1, wide);
    w.FixedSymbol(256);
    return w.Finish();
}

// Zeros at the method's largest ratio: one dynamic block (RFC 1951 3.2.7) whose codes give length
// code 285 and distance code 0 one bit each, then a literal zero and matches of the longest
// length at distance 1: 2 bits for 258 bytes, or (wide, Deflate64) 18 bits for 65538 bytes.
inline std::string LargestRatioZeros(std::size_t matches, bool wide) {
    BitWriter w;
    w.Bits(1, 1);          // final block
    w.Bits(2, 2);          // dynamic codes
    w.Bits(286 - 257, 5);  // HLIT: literal/length codes 0 to 285
    w.Bits(0, 5);          // HDIST: one distance code
    w.Bits(18 - 4, 4);     // HCLEN: 18 code length codes, up to symbol 1 in the stored order
    // The code length code: 18 (a run of zeros) one bit, 1 and 2 two bits each.
    for (unsigned symbol : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1}) {
        w.Bits(symbol == 18 ? 1 : (symbol == 1 || symbol == 2) ? 2 : 0, 3);
    }
    // Canonical codes: 18 is "0", 1 is "10", 2 is "11".
    w.Code(3, 2);                      // literal 0: length 2
    w.Code(0, 1).Bits(138 - 11, 7);    // 1 to 138: none
    w.Code(0, 1).Bits(117 - 11, 7);    // 139 to 255: none
    w.Code(3, 2);                      // 256, end of block: length 2
    w.Code(0, 1).Bits(28 - 11, 7);     // 257 to 284: none
    w.Code(2, 2);                      // 285: length 1
    w.Code(2, 2);                      // distance code 0: length 1
    // The literal/length code: 285 is "0", 0 is "10", 256 is "11"; distance code 0 is "0".
    w.Code(2, 2);
    for (std::size_t i = 0; i < matches; ++i) {
        w.Code(0, 1);
        if (wide) w.Bits(65538 - 3, 16);
        w.Code(0, 1);
    }
    w.Code(3, 2);
    return w.Finish();
}

// An output that keeps files in memory and records what the extractor asked of it.
class MemoryOutput : public zip::OutputFolder {
public:
    struct File {
        std::string data;
        std::uint16_t dosDate = 0, dosTime = 0;
        bool timeSet = false;
        std::uint32_t attributes = 0;
        bool attributesSet = false;
        bool attributesThroughFile = false;  // set with the time through the open file
        bool closed = false;
        std::size_t largestWrite = 0;
    };
    std::map<std::string, File> files;
    std::set<std::string> folders;
    std::vector<std::string> created;
    std::set<std::string> refuse;  // paths whose creation fails
    bool filesTakeAttributes = false;  // the open files set the time and the attributes in one call

    bool CreateFolderPath(const std::string& path) override {
        folders.insert(path);
        return true;
    }
    bool FileExists(const std::string& path) override { return files.count(path) != 0; }
    std::unique_ptr<zip::OutputFile> CreateOutputFile(const std::string& path) override {
        if (refuse.count(path)) return nullptr;
        files[path] = File{};
        created.push_back(path);
        return std::unique_ptr<zip::OutputFile>(new Writer(files[path], filesTakeAttributes));
    }
    bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
        files[path].attributes = attributes;
        files[path].attributesSet = true;
        files[path].attributesThroughFile = false;  // asked by name
        return true;
    }

private:
    class Writer : public zip::OutputFile {
    public:
        Writer(File& f, bool takesAttributes) : f_(f), takesAttributes_(takesAttributes) {}
        bool Write(const std::uint8_t* data, std::size_t n) override {
            f_.data.append(reinterpret_cast<const char*>(data), n);
            if (n > f_.largestWrite) f_.largestWrite = n;
            return true;
        }
        bool SetDosTime(std::uint16_t d, std::uint16_t t) override {
            f_.dosDate = d;
            f_.dosTime = t;
            f_.timeSet = true;
            return true;
        }
        bool SetDosTimeAndAttributes(std::uint16_t d, std::uint16_t t, std::uint32_t attributes) override {
            if (!takesAttributes_ || f_.closed) return false;
            SetDosTime(d, t);
            f_.attributes = attributes;
            f_.attributesSet = true;
            f_.attributesThroughFile = true;
            return true;
        }
        bool Close() override {
            f_.closed = true;
            return true;
        }

    private:
        File& f_;
        bool takesAttributes_;
    };
};

}  // namespace ziptest
