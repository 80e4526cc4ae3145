// One extraction with the installer's settings over an archive built in memory, every event
// recorded; shared by the ZIP extractor's tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ZipTestSupport.h"
#include "zip/ZipExtractor.h"

namespace ziptest {

using zip::EntryResult;

inline const std::string kFolder = "C:\\Temp\\W";

struct Event {
    std::string kind;  // "begin", "end"
    std::string path;
    EntryResult result = EntryResult::Ok;
};

// One extraction with the installer's settings, everything recorded.
struct Extraction {
    zip::ZipExtractor extractor;
    MemoryOutput* output = nullptr;
    std::vector<Event> events;
    std::vector<std::pair<int, int>> progress;
    int extracted = 0;

    explicit Extraction(MemoryOutput* preset = nullptr) {
        std::unique_ptr<MemoryOutput> out(preset ? preset : new MemoryOutput);
        output = out.get();
        extractor.SetOutput(std::move(out));
        extractor.SetExtractFolder(kFolder);
        extractor.onFileBegin = [this](const std::string& path, int, bool&) { events.push_back({"begin", path}); };
        extractor.onEndOfFile = [this](const std::string& path, EntryResult r) { events.push_back({"end", path, r}); };
        extractor.onProgress = [this](int f, int a) { progress.emplace_back(f, a); };
    }
    Extraction& On(const std::string& archive) {
        zip::MemoryArchive input(archive.data(), archive.size());
        extracted = extractor.Extract(input);
        return *this;
    }
    std::vector<EntryResult> Results() const {
        std::vector<EntryResult> r;
        for (const Event& e : events) {
            if (e.kind == "end") r.push_back(e.result);
        }
        return r;
    }
    std::vector<std::string> Begun() const {
        std::vector<std::string> r;
        for (const Event& e : events) {
            if (e.kind == "begin") r.push_back(e.path);
        }
        return r;
    }
};

inline std::string Pattern(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return s;
}

// A small deflate stream by hand: fixed block, the literals of text.
inline std::string FixedLiterals(const std::string& text) {
    ziptest::BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    for (char c : text) w.Literal(static_cast<std::uint8_t>(c));
    w.FixedSymbol(256);
    return w.Finish();
}

// The archive with its first central signature broken: the end record holds together, the
// directory does not, so the extractor walks the local headers.
inline std::string WithBrokenDirectory(std::string archive) {
    const auto* end = reinterpret_cast<const std::uint8_t*>(archive.data()) + archive.size() - zip::kEndOfDirectorySize;
    archive[zip::Get32(end + zip::end_record::kDirectoryOffset) + 2] = 'X';
    return archive;
}

}  // namespace ziptest
