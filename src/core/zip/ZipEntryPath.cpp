// The extractor's naming of an entry: its stored name made ANSI, and the output path the name
// leads to, with every rule that keeps the path inside the extract folder.
#include <algorithm>

#include "zip/ZipExtractor.h"
#include "zip/ZipNames.h"

namespace zip {
namespace {

// Letter case folded as the file system folds it for the ANSI code page 1252: ASCII, the Latin-1
// letters and the few letters of 0x80-0x9F.
std::string FoldCase(std::string name) {
    for (char& c : name) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) {
            c = static_cast<char>(b + 0x20);
        } else if (b == 0x8A || b == 0x8C || b == 0x8E) {
            c = static_cast<char>(b + 0x10);  // S, OE, Z with caron
        } else if (b == 0x9F) {
            c = static_cast<char>(0xFF);  // Y with diaeresis
        }
    }
    return name;
}

std::string NameOf(const std::string& path) {
    const std::size_t cut = path.rfind('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Whether a relative path names the extract folder itself: nothing but "." parts and separators
// ("./" is how bsdtar writes the folder it was given).
bool NamesTheFolderItself(const std::string& relative) {
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find('\\', start);
        if (end == std::string::npos) end = relative.size();
        const std::size_t length = end - start;
        if (length > 1 || (length == 1 && relative[start] != '.')) return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

std::string ZipExtractor::FolderOf(const std::string& path) {
    const std::size_t cut = path.rfind('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

std::string ZipExtractor::EntryName(const EntryInfo& entry) const {
    std::string name = entry.rawName;
    if (entry.hasUnicodeName) {
        name = Utf8ToAnsi(entry.unicodeName);
    } else if (entry.flags & kFlagUtf8) {
        name = Utf8ToAnsi(name);
    } else if (translateOemNames) {
        name = output_ ? output_->OemNameToAnsi(name) : OemToAnsi(name);
    }
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

bool ZipExtractor::Selected(const std::string& name) const {
    // With recurse folders off, only entries at the archive's root can match.
    if (!recurseFolders && name.find('\\') != std::string::npos) return false;
    const std::string fileName = NameOf(name);
    for (const std::string& pattern : fileSpec_) {
        if (MatchesFileSpec(fileName, pattern)) return true;
    }
    return false;
}

bool ZipExtractor::IsFolderEntry(const EntryInfo& entry, const std::string& name) {
    // A trailing separator, or the MS-DOS folder attribute alone (some writers give no slash).
    if (name.size() > 1 && name.back() == '\\') return true;
    return !name.empty() && (entry.externalAttributes & kDosFolder) != 0;
}

bool ZipExtractor::OutputPath(const EntryInfo& entry, std::string& path) {
    const std::string name = EntryName(entry);
    if (IsFolderEntry(entry, name)) {
        // A folder entry: never a file. It creates its folder only when asked to; one whose name
        // leads outside is refused like a file.
        const std::string relative =
            StripDriveAndRoot(name.back() == '\\' ? name.substr(0, name.size() - 1) : name);
        std::string cleaned;
        if (NamesTheFolderItself(relative)) return false;  // already there
        if (!SafeRelativePath(relative, cleaned)) {
            ReportEnd(EntryResult::UnsafeName, JoinPath(extractFolder_, relative));
        } else if (createStoredFolders && useStoredFolders && output_) {
            output_->CreateFolderPath(JoinPath(extractFolder_, cleaned));
        }
        return false;
    }
    // The name rules come before the selection, so that a name they refuse (a NUL byte, a
    // device) is reported, never passed over as unselected.
    const std::string relative = StripDriveAndRoot(name);
    std::string cleaned;
    if (!SafeRelativePath(relative, cleaned)) {
        ReportEnd(EntryResult::UnsafeName, JoinPath(extractFolder_, relative));
        return false;
    }
    if (!Selected(name)) return false;
    if (!useStoredFolders) cleaned = NameOf(cleaned);
    path = JoinPath(extractFolder_, cleaned);
    if (path.size() > kMaxPath || FolderOf(path).size() > kMaxFolder) {
        // Never cut: a shortened path would name another file.
        ReportEnd(EntryResult::PathTooLong, path);
        return false;
    }
    if (!seenNames_.insert(FoldCase(cleaned)).second) {
        ReportEnd(EntryResult::DuplicateName, path);
        return false;
    }
    return true;
}

}  // namespace zip
