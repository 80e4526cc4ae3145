// Decoding ahead on a second thread: every event, every progress step and every file the same as
// decoding on the caller's thread, whatever the entries hold, the budget, or a failing write.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "ZipExtraction.h"

namespace {

using ziptest::Entry;
using ziptest::Extraction;
using ziptest::kFolder;
using ziptest::MemoryOutput;

// The archive's bytes, counting what its second readers read: the decoding ahead reads there.
class CountedArchive : public zip::MemoryArchive {
public:
    CountedArchive(const std::string& bytes, std::atomic<std::uint64_t>& secondReads)
        : MemoryArchive(bytes.data(), bytes.size()), bytes_(bytes), secondReads_(secondReads) {}
    std::unique_ptr<zip::ArchiveInput> Reopen() const override {
        return std::unique_ptr<zip::ArchiveInput>(new Second(bytes_, secondReads_));
    }

private:
    class Second : public zip::MemoryArchive {
    public:
        Second(const std::string& bytes, std::atomic<std::uint64_t>& reads)
            : MemoryArchive(bytes.data(), bytes.size()), reads_(reads) {}
        std::size_t ReadAt(std::uint64_t offset, void* buf, std::size_t n) override {
            const std::size_t got = MemoryArchive::ReadAt(offset, buf, n);
            reads_ += got;
            return got;
        }

    private:
        std::atomic<std::uint64_t>& reads_;
    };
    const std::string& bytes_;
    std::atomic<std::uint64_t>& secondReads_;
};

// A memory output whose writes to one file fail once it holds a set number of bytes.
class FailingWrites : public MemoryOutput {
public:
    std::string failing;
    std::size_t failAfter = 0;
    std::unique_ptr<zip::OutputFile> CreateOutputFile(const std::string& path) override {
        std::unique_ptr<zip::OutputFile> inner = MemoryOutput::CreateOutputFile(path);
        if (!inner || path != failing) return inner;
        return std::unique_ptr<zip::OutputFile>(new Failing(std::move(inner), failAfter));
    }

private:
    class Failing : public zip::OutputFile {
    public:
        Failing(std::unique_ptr<zip::OutputFile> inner, std::size_t room) : inner_(std::move(inner)), room_(room) {}
        bool Write(const std::uint8_t* data, std::size_t n) override {
            if (n > room_) return false;
            room_ -= n;
            return inner_->Write(data, n);
        }
        bool SetDosTime(std::uint16_t d, std::uint16_t t) override { return inner_->SetDosTime(d, t); }
        bool Close() override { return inner_->Close(); }

    private:
        std::unique_ptr<zip::OutputFile> inner_;
        std::size_t room_;
    };
};

struct Outcome {
    std::vector<std::string> events;
    std::vector<std::pair<int, int>> progress;
    std::map<std::string, std::string> files;  // data, then time, attributes and whether closed
    int extracted = 0;
    std::uint64_t secondReads = 0;
};

Outcome Extracted(const std::string& archive, std::size_t budget, const std::string& failing = "",
            std::size_t failAfter = 0) {
    FailingWrites* output = new FailingWrites;
    output->failing = failing;
    output->failAfter = failAfter;
    output->refuse.insert(kFolder + "\\locked.txt");
    Extraction run(output);
    run.extractor.decodeAhead = budget;
    run.extractor.onFileBegin = [&run](const std::string& path, int, bool& extract) {
        run.events.push_back({"begin", path});
        if (path == kFolder + "\\skip.txt") extract = false;
    };
    std::atomic<std::uint64_t> secondReads{0};
    CountedArchive input(archive, secondReads);
    Outcome outcome;
    outcome.extracted = run.extractor.Extract(input);
    for (const ziptest::Event& e : run.events)
        outcome.events.push_back(e.kind + " " + e.path + " " + zip::EntryResultText(e.result));
    outcome.progress = run.progress;
    for (const auto& file : run.output->files) {
        const MemoryOutput::File& f = file.second;
        outcome.files[file.first] = f.data + "|" + std::to_string(f.dosDate) + "/" + std::to_string(f.dosTime) + "|" +
                                    std::to_string(f.attributesSet ? f.attributes : 999) + "|" +
                                    (f.closed ? "closed" : "open");
    }
    outcome.secondReads = secondReads;
    return outcome;
}

void ExpectSame(const Outcome& direct, const Outcome& ahead, const std::string& what) {
    EXPECT_EQ(ahead.events, direct.events) << what;
    EXPECT_EQ(ahead.progress, direct.progress) << what;
    EXPECT_EQ(ahead.files, direct.files) << what;
    EXPECT_EQ(ahead.extracted, direct.extracted) << what;
    EXPECT_EQ(direct.secondReads, 0u) << what;
}

std::string Bytes(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 2654435761u + seed * 40503u) >> 11);
    return s;
}

// Entries of every kind the writing meets, several of them many blocks long.
std::string Mixed() {
    Entry badCrc = Entry::Stored("crc.txt", Bytes(70000, 1));
    badCrc.crc = 0x12345678;
    badCrc.crcGiven = true;
    Entry encrypted = Entry::Stored("secret.txt", "xxxxxxxxxxxxyyyy");
    encrypted.flags = 0x0001;
    Entry corrupt = Entry::Deflated("corrupt.txt", "data", std::string("\x07\x00\x00", 3));
    Entry tooLong = Entry::Deflated("long.txt", "abc", ziptest::FixedLiterals("abcdef"));
    std::string zeros(258 * 400 + 1, '\0');
    Entry deflatedZeros = Entry::Deflated("zeros.bin", zeros, ziptest::ZeroRun(400, false));
    Entry cutZeros = Entry::Deflated("cut.bin", zeros, ziptest::ZeroRun(400, false).substr(0, 60));
    Entry descriptor = Entry::Stored("descriptor.txt", Bytes(5000, 2));
    descriptor.descriptor = true;
    Entry readOnly = Entry::Stored("ro.txt", Bytes(40000, 3));
    readOnly.externalAttributes = 0x21;
    return ziptest::BuildArchive({Entry::Stored("first.txt", Bytes(100000, 4)), badCrc, encrypted,
                                  Entry::Deflated("lzma.bin", "data", "\x01\x02\x03", 14), corrupt, tooLong,
                                  deflatedZeros, cutZeros, descriptor, Entry::Stored("locked.txt", "l"),
                                  Entry::Stored("skip.txt", Bytes(3000, 5)), Entry::Stored("..\\evil.txt", "e"),
                                  Entry::Stored("Dup.txt", "one"), Entry::Stored("dup.TXT", "two"), readOnly,
                                  Entry::Stored("empty.txt", ""), Entry::Stored("big.bin", Bytes(300000, 6)),
                                  Entry::Deflated("good.txt", "fine", ziptest::FixedLiterals("fine"))});
}

TEST(ZipDecodeAhead, TheSameEventsProgressAndFilesAsDecodingInTurn) {
    const std::string archive = Mixed();
    const Outcome direct = Extracted(archive, 0);
    ASSERT_EQ(direct.extracted, 8);  // first, zeros, descriptor, Dup, ro, empty, big and good
    // Budgets that hold every entry, some of them, or one small entry at a time.
    for (std::size_t budget : {std::size_t{4} << 20, std::size_t{150000}, std::size_t{1000}, std::size_t{4}}) {
        const Outcome ahead = Extracted(archive, budget);
        ExpectSame(direct, ahead, "budget " + std::to_string(budget));
        EXPECT_GT(ahead.secondReads, 0u) << budget;  // the second thread did decode
    }
}

TEST(ZipDecodeAhead, AWriteThatFailsStopsTheEntryWhereItWould) {
    const std::string archive = Mixed();
    for (std::size_t failAfter : {std::size_t{0}, std::size_t{32768}, std::size_t{40000}}) {
        const Outcome direct = Extracted(archive, 0, kFolder + "\\first.txt", failAfter);
        const Outcome ahead = Extracted(archive, 4u << 20, kFolder + "\\first.txt", failAfter);
        ExpectSame(direct, ahead, "fail after " + std::to_string(failAfter));
        EXPECT_NE(direct.events[1].find("cannot write"), std::string::npos) << direct.events[1];
    }
}

TEST(ZipDecodeAhead, ManyEntriesOverASmallBudgetAllArrive) {
    std::vector<Entry> entries;
    for (int i = 0; i < 300; ++i)
        entries.push_back(Entry::Stored("f" + std::to_string(i) + ".txt", Bytes(static_cast<std::size_t>(i * 37 % 900), i)));
    const std::string archive = ziptest::BuildArchive(entries);
    const Outcome direct = Extracted(archive, 0);
    const Outcome ahead = Extracted(archive, 2000);
    ExpectSame(direct, ahead, "300 entries");
    EXPECT_EQ(ahead.extracted, 300);
}

}  // namespace
