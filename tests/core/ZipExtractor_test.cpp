// ZipExtractor over archives built in memory, into a recording output: selection, paths, events,
// percentages, the failure table and refused names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZipExtraction.h"
#include "zip/Decoder.h"
#include "zip/ZipExtractor.h"

namespace {

using ziptest::BuildArchive;
using ziptest::Entry;
using ziptest::MemoryOutput;
using ziptest::Extraction;
using ziptest::Event;
using ziptest::FixedLiterals;
using ziptest::Pattern;
using ziptest::kFolder;
using zip::EntryResult;

TEST(ZipExtractor, FilesAtTheRootAndInAFolderLandInArchiveOrder) {
    Extraction run;
    run.On(BuildArchive({Entry::Stored("a.txt", "alpha"), Entry::Stored("sub/b.dll", "beta")}));
    EXPECT_EQ(run.extracted, 2);
    EXPECT_TRUE(run.extractor.UsedCentralDirectory());
    const std::vector<std::string> begun = {kFolder + "\\a.txt", kFolder + "\\sub\\b.dll"};
    EXPECT_EQ(run.Begun(), begun);
    EXPECT_EQ(run.output->files[kFolder + "\\a.txt"].data, "alpha");
    EXPECT_EQ(run.output->files[kFolder + "\\sub\\b.dll"].data, "beta");
    EXPECT_TRUE(run.output->folders.count(kFolder + "\\sub"));
    EXPECT_EQ(run.Results(), (std::vector<EntryResult>{EntryResult::Ok, EntryResult::Ok}));
}

TEST(ZipExtractor, ExtractFolderGetsBackslashesAndOneTrailingSeparator) {
    zip::ZipExtractor x;
    x.SetExtractFolder("C:/Temp/W");
    EXPECT_EQ(x.ExtractFolder(), "C:\\Temp\\W\\");
    x.SetExtractFolder("C:\\Temp\\W\\");
    EXPECT_EQ(x.ExtractFolder(), "C:\\Temp\\W\\");
}

TEST(ZipExtractor, DriveAndLeadingBackslashAreRemoved) {
    Extraction run;
    run.On(BuildArchive({Entry::Stored("C:\\one.txt", "1"), Entry::Stored("D:two.txt", "2"),
                         Entry::Stored("/three.txt", "3"), Entry::Stored("C:/docs/four.txt", "4")}));
    const std::vector<std::string> begun = {kFolder + "\\one.txt", kFolder + "\\two.txt", kFolder + "\\three.txt",
                                            kFolder + "\\docs\\four.txt"};
    EXPECT_EQ(run.Begun(), begun);
    EXPECT_EQ(run.extracted, 4);
}

TEST(ZipExtractor, FolderEntriesCreateNothingAndRaiseNothing) {
    Extraction run;
    run.On(BuildArchive({Entry::Stored("docs/", ""), Entry::Stored("empty/", "")}));
    EXPECT_TRUE(run.events.empty());
    EXPECT_TRUE(run.output->folders.empty());
    EXPECT_TRUE(run.output->files.empty());
    EXPECT_TRUE(run.extractor.ReadAsZip());

    Extraction asked;
    asked.extractor.createStoredFolders = true;
    asked.On(BuildArchive({Entry::Stored("docs/", "")}));
    EXPECT_TRUE(asked.output->folders.count(kFolder + "\\docs"));
    EXPECT_TRUE(asked.events.empty());
}

TEST(ZipExtractor, SelectionByFileSpecification) {
    const std::string archive = BuildArchive({Entry::Stored("README", "r"), Entry::Stored("a.txt", "a"),
                                              Entry::Stored("lib/b.dll", "b"), Entry::Stored("lib/c.txt", "c")});
    struct Case {
        std::vector<std::string> patterns;
        bool recurse;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{"*.*"}, true, {"README", "a.txt", "lib\\b.dll", "lib\\c.txt"}},
        {{"*.txt"}, true, {"a.txt", "lib\\c.txt"}},
        {{"*.dll", "READ*"}, true, {"README", "lib\\b.dll"}},
        {{"*.*"}, false, {"README", "a.txt"}},
        {{}, true, {}},
    };
    for (const Case& c : cases) {
        Extraction run;
        run.extractor.ClearFileSpec();
        for (const std::string& p : c.patterns) run.extractor.AddFileSpec(p);
        run.extractor.recurseFolders = c.recurse;
        run.On(archive);
        std::vector<std::string> expected;
        for (const std::string& e : c.expected) expected.push_back(kFolder + "\\" + e);
        EXPECT_EQ(run.Begun(), expected) << (c.patterns.empty() ? "" : c.patterns[0]);
    }
}

TEST(ZipExtractor, NamesThatLeaveTheFolderAreRefused) {
    const char* const unsafe[] = {"../evil.txt",    "a/../../evil.txt", "C:\\..\\evil.txt", "C:/D:/evil.txt",
                                  "\\\\srv\\share\\evil.txt", "CON",       "sub/nul.txt",      "sub/a:b.txt",
                                  "sub/\x01.txt",   "..\\evil.txt",      "./../evil.txt",    ".../evil.txt",
                                  "//srv/share/evil.txt", "sub/com1.log"};
    for (const char* name : unsafe) {
        Extraction run;
        run.On(BuildArchive({Entry::Stored(name, "x"), Entry::Stored("good.txt", "g")}));
        EXPECT_EQ(run.Results(), (std::vector<EntryResult>{EntryResult::UnsafeName, EntryResult::Ok})) << name;
        EXPECT_EQ(run.Begun(), (std::vector<std::string>{kFolder + "\\good.txt"})) << name;
        EXPECT_EQ(run.output->created, (std::vector<std::string>{kFolder + "\\good.txt"})) << name;
    }
}

TEST(ZipExtractor, FailureTable) {
    Entry badCrc = Entry::Stored("crc.txt", "content");
    badCrc.crc = 0x12345678;
    badCrc.crcGiven = true;
    Entry encrypted = Entry::Stored("secret.txt", "xxxxxxxxxxxxyyyy");
    encrypted.flags = 0x0001;
    Entry lzma = Entry::Deflated("lzma.bin", "data", "\x01\x02\x03", 14);
    Entry corrupt = Entry::Deflated("corrupt.txt", "data", std::string("\x07\x00\x00", 3));  // block type 3
    Entry tooLong = Entry::Deflated("long.txt", "abc", FixedLiterals("abcdef"));  // decodes past 3 bytes
    Entry shortStored = Entry::Stored("short.txt", "abcdef");
    shortStored.usize = 3;  // stored data longer than the stored size
    shortStored.usizeGiven = true;
    shortStored.crc = ziptest::Crc("abc");
    shortStored.crcGiven = true;
    Entry good = Entry::Deflated("good.txt", "fine", FixedLiterals("fine"));

    Extraction run;
    run.output->refuse.insert(kFolder + "\\locked.txt");
    run.On(BuildArchive({badCrc, encrypted, lzma, corrupt, tooLong, shortStored, Entry::Stored("locked.txt", "l"), good}));
    const std::vector<EntryResult> expected = {EntryResult::BadCrc,      EntryResult::Encrypted,   EntryResult::UnsupportedMethod,
                                               EntryResult::CorruptData, EntryResult::CorruptData, EntryResult::CorruptData,
                                               EntryResult::CannotCreate, EntryResult::Ok};
    EXPECT_EQ(run.Results(), expected);
    EXPECT_EQ(run.Begun().size(), 8u);  // every one of them was announced
    auto& files = run.output->files;
    EXPECT_EQ(files[kFolder + "\\crc.txt"].data, "content");        // stays as decoded
    EXPECT_EQ(files.count(kFolder + "\\secret.txt"), 0u);           // no file
    EXPECT_EQ(files[kFolder + "\\lzma.bin"].data, "");              // empty file stays
    EXPECT_TRUE(files[kFolder + "\\lzma.bin"].closed);
    EXPECT_EQ(files[kFolder + "\\long.txt"].data, "abc");           // never past the stored size
    EXPECT_EQ(files[kFolder + "\\short.txt"].data, "abc");
    EXPECT_EQ(files.count(kFolder + "\\locked.txt"), 0u);
    EXPECT_EQ(files[kFolder + "\\good.txt"].data, "fine");
    EXPECT_EQ(run.extracted, 1);
}

TEST(ZipExtractor, DatesAndAttributes) {
    Entry plain = Entry::Stored("plain.txt", "p");  // archive bit alone: not applied
    Entry readOnly = Entry::Stored("ro.txt", "r");
    readOnly.externalAttributes = 0x21;
    Entry none = Entry::Stored("none.txt", "n");
    none.externalAttributes = 0x00;
    Extraction run;
    run.On(BuildArchive({plain, readOnly, none}));
    auto& files = run.output->files;
    EXPECT_FALSE(files[kFolder + "\\plain.txt"].attributesSet);
    EXPECT_TRUE(files[kFolder + "\\ro.txt"].attributesSet);
    EXPECT_EQ(files[kFolder + "\\ro.txt"].attributes, 0x21u);
    EXPECT_TRUE(files[kFolder + "\\none.txt"].attributesSet);
    EXPECT_EQ(files[kFolder + "\\none.txt"].attributes, 0x00u);
    EXPECT_TRUE(files[kFolder + "\\plain.txt"].timeSet);
    EXPECT_EQ(files[kFolder + "\\plain.txt"].dosDate, plain.dosDate);
    EXPECT_EQ(files[kFolder + "\\plain.txt"].dosTime, plain.dosTime);

    Extraction off;
    off.extractor.restoreAttributes = false;
    off.On(BuildArchive({readOnly}));
    EXPECT_FALSE(off.output->files[kFolder + "\\ro.txt"].attributesSet);

    // An output whose open files take the time and the attributes in one call: the same outcome,
    // with nothing asked of the folder by name afterwards.
    MemoryOutput* oneCall = new MemoryOutput;
    oneCall->filesTakeAttributes = true;
    Extraction together(oneCall);
    together.On(BuildArchive({plain, readOnly, none}));
    auto& same = together.output->files;
    EXPECT_FALSE(same[kFolder + "\\plain.txt"].attributesSet);
    EXPECT_TRUE(same[kFolder + "\\plain.txt"].timeSet);
    for (const char* name : {"\\ro.txt", "\\none.txt"}) {
        EXPECT_TRUE(same[kFolder + name].attributesThroughFile) << name;
        EXPECT_TRUE(same[kFolder + name].timeSet) << name;
        EXPECT_EQ(same[kFolder + name].dosDate, readOnly.dosDate) << name;
    }
    EXPECT_EQ(same[kFolder + "\\ro.txt"].attributes, 0x21u);
    EXPECT_EQ(same[kFolder + "\\none.txt"].attributes, 0x00u);
}

TEST(ZipExtractor, NamesAreConvertedFromOemOrUtf8) {
    Entry oem = Entry::Stored("caf\x82.txt", "1");
    Entry utf8 = Entry::Stored("th\xC3\xA9.txt", "2");
    utf8.flags = 0x0800;
    Entry raw = Entry::Stored("na\x82ve.txt", "3");
    Extraction run;
    run.On(BuildArchive({oem, utf8}));
    EXPECT_EQ(run.Begun(), (std::vector<std::string>{kFolder + "\\caf\xE9.txt", kFolder + "\\th\xE9.txt"}));

    Extraction untranslated;
    untranslated.extractor.translateOemNames = false;
    untranslated.On(BuildArchive({raw}));
    EXPECT_EQ(untranslated.Begun(), (std::vector<std::string>{kFolder + "\\na\x82ve.txt"}));
}

TEST(ZipExtractor, InfoZipUnicodePathFieldNamesTheFileWhenItMatchesTheName) {
    // Info-ZIP on Unix stores UTF-8 bytes as the plain name and repeats them in a Unicode Path
    // field (0x7075: version 1, CRC-32 of the plain name, the UTF-8 name).
    auto withUnicodePath = [](const std::string& name, const std::string& crcOf, const std::string& utf8) {
        Entry e = Entry::Stored(name, "x");
        ziptest::Put16(e.extra, 0x7075);
        ziptest::Put16(e.extra, static_cast<std::uint32_t>(5 + utf8.size()));
        e.extra += '\x01';
        ziptest::Put32(e.extra, ziptest::Crc(crcOf));
        e.extra += utf8;
        return e;
    };
    const std::string utf8 = "caf\xC3\xA9.txt";
    for (bool withDirectory : {true, false}) {
        Extraction run;
        const std::string archive =
            BuildArchive({withUnicodePath(utf8, utf8, utf8), withUnicodePath("old.txt", "other name", "new.txt")});
        run.On(withDirectory ? archive : ziptest::WithBrokenDirectory(archive));
        // The second field's CRC belongs to another name: the plain name stands.
        EXPECT_EQ(run.Begun(), (std::vector<std::string>{kFolder + "\\caf\xE9.txt", kFolder + "\\old.txt"}));
    }
}

TEST(ZipExtractor, ProgressAfterEachBlockReachingOneHundred) {
    const std::string big = Pattern(100000);  // four blocks: 32768 * 3 + 1696
    Extraction run;
    run.On(BuildArchive({Entry::Stored("big.bin", big), Entry::Stored("empty.txt", "")}));
    const auto& file = run.output->files[kFolder + "\\big.bin"];
    EXPECT_EQ(file.data, big);
    EXPECT_LE(file.largestWrite, zip::kBlockSize);
    ASSERT_EQ(run.progress.size(), 5u);  // four blocks, and one for the empty file
    const std::vector<int> files = {33, 66, 98, 100, 0};
    for (std::size_t i = 0; i < run.progress.size(); ++i) {
        EXPECT_EQ(run.progress[i].first, files[i]) << i;
        if (i > 0) {
            EXPECT_GE(run.progress[i].second, run.progress[i - 1].second) << i;
        }
    }
    EXPECT_EQ(run.progress.back().second, 100);
}

TEST(ZipExtractor, ArchivePercentageCountsSkippedEntriesAndEndsAtOneHundred) {
    Extraction run;
    run.extractor.ClearFileSpec();
    run.extractor.AddFileSpec("first.txt");
    run.On(BuildArchive({Entry::Stored("first.txt", Pattern(100)), Entry::Stored("second.txt", Pattern(300))}));
    ASSERT_EQ(run.progress.size(), 2u);
    EXPECT_EQ(run.progress[0], std::make_pair(100, 25));  // 100 of 400 compressed bytes
    EXPECT_EQ(run.progress[1].second, 100);                // the skipped tail counts as consumed
}

TEST(ZipExtractor, FileBeginHandlerMaySkipAnEntry) {
    Extraction run;
    run.extractor.onFileBegin = [&](const std::string& path, int number, bool& extract) {
        run.events.push_back({"begin", path});
        extract = number != 0;
    };
    run.On(BuildArchive({Entry::Stored("a.txt", "a"), Entry::Stored("b.txt", "b")}));
    EXPECT_EQ(run.Results(), (std::vector<EntryResult>{EntryResult::Skipped, EntryResult::Ok}));
    EXPECT_EQ(run.output->files.count(kFolder + "\\a.txt"), 0u);
}

TEST(ZipExtractor, ExistingFilesAreReplacedOrKeptByTheOverwriteMode) {
    for (zip::OverwriteMode mode : {zip::OverwriteMode::Overwrite, zip::OverwriteMode::Skip}) {
        auto* out = new MemoryOutput;
        out->files[kFolder + "\\a.txt"].data = "old";
        Extraction run(out);
        run.extractor.overwriteMode = mode;
        run.On(BuildArchive({Entry::Stored("a.txt", "new")}));
        EXPECT_EQ(run.output->files[kFolder + "\\a.txt"].data, mode == zip::OverwriteMode::Overwrite ? "new" : "old");
    }
}

}  // namespace
