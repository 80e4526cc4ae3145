// The middle of the install chain: ending the running application, placing the new files with
// the retry question, and the configuration batch.
#include <climits>
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <new>
#include <set>
#include <stdexcept>

#include "BatchLines.h"
#include "Decimal.h"
#include "InstallLayout.h"
#include "worker/UThread.h"
#include "worker/WorkerPaths.h"

namespace {

// A decimal process id as the command line gives it: an optional sign and digits, read as a 64-bit
// number whose low 32 bits are the id.
unsigned long ParseProcessId(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Read from the left: digits that pass the 64-bit range before any other byte make the id out
    // of range; any other byte, or no digit at all, makes it invalid.
    const std::size_t digitsEnd = std::min(text.find_first_not_of("0123456789", i), text.size());
    std::uint64_t value = 0;
    const DecimalResult digits =
        ParseDecimal(text.data() + i, text.data() + digitsEnd, UINT64_C(0x7FFFFFFFFFFFFFFF), value);
    if (digits == DecimalResult::OutOfRange)
        throw std::runtime_error("\"" + text + "\" is out of range for a process id");
    if (digits != DecimalResult::Ok || digitsEnd != text.size())
        throw std::runtime_error("\"" + text + "\" is not a valid process id");
    if (negative) value = ~value + 1;
    return static_cast<unsigned long>(value & 0xFFFFFFFFu);
}

// Hands each line of the file to the handler, reading a piece at a time.
void ReadBatchLines(const std::string& path, const BatchLineSplitter::LineHandler& handler) {
    std::ifstream in(path, std::ios::binary);
    BatchLineSplitter splitter(kLongestBatchLine, handler);
    std::vector<char> piece(64 * 1024);
    while (in) {
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        const std::streamsize got = in.gcount();
        if (got <= 0) break;
        splitter.Feed(piece.data(), piece.data() + got);
    }
    splitter.Finish();
}

constexpr int kHiddenCopyRetries = 3;
constexpr std::size_t kConflictsNamed = 10;  // names in the failure text; more are "..."

}  // namespace

bool TThreadLiveUpdate::TerminateApplication() {
    try {
        StepOverall();
        SetLabelPending(Lang().S_Kill);
        settings_.ProcessList.SetText(settings_.GetSwitchValue("/KILL"));
        SetPending(0, settings_.ProcessList.Count() + 1);
        for (int i = 0; i < settings_.ProcessList.Count(); ++i) {
            if (!TerminateProcessById(ParseProcessId(settings_.ProcessList[i]))) return false;
            SetPendingPosition(i + 1);
        }
        StepPending();
        return true;
    } catch (const std::bad_alloc&) {
        throw;  // out of memory: the frame reports it
  } catch (const std::exception& e) {
        ReportStatus(std::string("1 ") + e.what(), 0);
        return false;
    }
}

bool TThreadLiveUpdate::TerminateProcessById(unsigned long processId) {
    try {
        platform::Handle process = platform::OpenProcessForTermination(processId);
        if (!process.Valid()) return true;  // gone already, or not ours to end: counts as ended
        if (!platform::TerminateProcess(process, 0) ||
            platform::WaitFor(process, 10000) == platform::kWaitTimeout) {
            ReportStatus(Lang().S_KillError, 0);
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        throw;  // out of memory: the frame reports it
  } catch (const std::exception& e) {
        ReportStatus(std::string("2 ") + e.what(), 0);
        return false;
    }
}

std::string TThreadLiveUpdate::DestinationOf(const std::string& entry) const {
    // The remainder begins with a backslash: sub\b.dll lands in the install folder's sub.
    const std::size_t prefix = WorkFolder().size();
    return settings_.InstallFolder + (entry.size() > prefix ? entry.substr(prefix) : std::string());
}

std::vector<std::string> TThreadLiveUpdate::KindConflicts() const {
    std::vector<std::string> conflicts;
    // What stands at each folder already looked at: the install folder and the folders below it.
    std::map<std::string, platform::PathKind> folders;
    folders[settings_.InstallFolder] = platform::KindOf(settings_.InstallFolder);
    for (int i = 0; i < settings_.ExtractedFiles.Count(); ++i) {
        const std::string destination = DestinationOf(settings_.ExtractedFiles[i]);
        // A package folder where the installed version has a file (named after the file's own
        // conflict, as they are found from the file upwards).
        std::vector<std::string> fileFolders;
        for (std::string folder = worker::FolderOf(destination); folder.size() > settings_.InstallFolder.size();
             folder = worker::FolderOf(folder)) {
            if (folders.count(folder) != 0) break;  // this one and its parents are known
            const platform::PathKind kind = platform::KindOf(folder);
            folders[folder] = kind;
            if (kind == platform::PathKind::File) fileFolders.push_back(folder);
        }
        // A package file where the installed version has a folder; only a folder that is there
        // can hold one.
        const auto home = folders.find(worker::FolderOf(destination));
        const bool folderThere = home == folders.end() || home->second == platform::PathKind::Folder;
        if (folderThere && platform::DirectoryExists(destination)) conflicts.push_back(destination);
        conflicts.insert(conflicts.end(), fileFolders.begin(), fileFolders.end());
    }
    return conflicts;
}

bool TThreadLiveUpdate::AnswerRetry(const std::vector<std::string>& failed, int& hiddenRetries) {
    if (!settings_.IsSwitch("/HIDE")) return view_.AskRetry(Lang(), failed);
    // Nobody can answer in a hidden run: it retries by itself, a bounded number of times with a
    // pause between, then gives up as a Cancel does.
    if (hiddenRetries >= kHiddenCopyRetries) return false;
    ++hiddenRetries;
    PauseMs(HiddenRetryPauseMs);
    return true;
}

bool TThreadLiveUpdate::CopyNewFiles() {
    StepOverall();
    SetLabelPending(Lang().S_Copy);
    SetPending(0, settings_.ExtractedFiles.Count());

    // Nothing is moved while any destination would change its kind (file for folder or folder
    // for file): the install would be left half-replaced by the first failure.
    const std::vector<std::string> conflicts = KindConflicts();
    if (!conflicts.empty()) {
        std::string names;
        for (std::size_t i = 0; i < conflicts.size() && i < kConflictsNamed; ++i) names += "\r\n" + conflicts[i];
        if (conflicts.size() > kConflictsNamed) names += "\r\n...";
        ReportStatus(Lang().S_CopyError + names, 0);
        return false;
    }

    const std::string work = WorkFolder();
    {
        std::set<std::string> folders;
        for (int i = 0; i < settings_.ExtractedFiles.Count(); ++i)
            for (std::string folder = worker::FolderOf(settings_.ExtractedFiles[i]);
                 folder.size() > work.size() && folders.insert(folder).second; folder = worker::FolderOf(folder)) {
            }
        // In order, a parent before the folders below it.
        unpackedFolders_.assign(folders.begin(), folders.end());
    }

    TStringParam copied("", ";");
    std::vector<std::string> failed;
    int hiddenRetries = 0;
    std::set<std::string> foldersMade;  // destination folders known to exist, asked for once a pass
    // The first pass moves a folder whose destination is missing in one rename with everything
    // in it, instead of file by file; its files are then counted and listed one by one as placed,
    // in the usual order. A folder that cannot be moved whole goes file by file.
    std::map<std::string, platform::PathKind> kinds;  // destination folders, by work folder path
    std::set<std::string> movedWhole;                 // work folders moved with their files
    bool firstPass = true;
    for (;;) {
        failed.clear();
        foldersMade.clear();
        if (!platform::DirectoryExists(settings_.InstallFolder)) platform::ForceDirectories(settings_.InstallFolder);
        for (int i = settings_.ExtractedFiles.Count() - 1; i >= 0; --i) {
            const std::string entry = settings_.ExtractedFiles[i];
            const std::string destination = DestinationOf(entry);
            if (firstPass) {
                // Folders are compared in capitals: "Data\a" and "data\b" are in one folder.
                bool placed = false;
                for (std::string folder = worker::FolderOf(entry); !placed && folder.size() > work.size();
                     folder = worker::FolderOf(folder))
                    placed = movedWhole.count(UpperCaseAscii(folder)) != 0;
                if (!placed) {
                    const std::string whole = WholeFolderFor(entry, kinds);
                    placed = !whole.empty() && platform::MoveFileTo(whole, DestinationOf(whole));
                    if (placed) movedWhole.insert(UpperCaseAscii(whole));
                }
                if (placed) {
                    copied.Add(destination);
                    settings_.ExtractedFiles.Delete(i);
                    StepPending();
                    continue;
                }
            }
            // The destination's own folder too, so that a package with subfolders installs at once.
            const std::string folder = worker::FolderOf(destination);
            if (foldersMade.insert(folder).second && !folder.empty() && !platform::DirectoryExists(folder))
                platform::ForceDirectories(folder);
            if (CopyOneFile(entry, destination)) {
                copied.Add(destination);
                settings_.ExtractedFiles.Delete(i);
                StepPending();
            } else {
                failed.push_back(destination);
            }
        }
        firstPass = false;
        if (failed.empty()) break;
        if (!AnswerRetry(failed, hiddenRetries)) break;
        if (settings_.ExtractedFiles.Count() == 0) break;
    }
    if (!failed.empty()) {
        ReportStatus(Lang().S_CopyError, 0);
        return false;
    }
    RegisterUninstallFiles(copied.Text());
    return true;
}

std::string TThreadLiveUpdate::WholeFolderFor(const std::string& entry,
                                              std::map<std::string, platform::PathKind>& kinds) const {
    const std::size_t workLength = WorkFolder().size();
    std::string whole;
    for (std::string folder = worker::FolderOf(entry); folder.size() > workLength;
         folder = worker::FolderOf(folder)) {
        auto kind = kinds.find(folder);
        if (kind == kinds.end()) kind = kinds.emplace(folder, platform::KindOf(DestinationOf(folder))).first;
        if (kind->second != platform::PathKind::Missing) break;
        whole = folder;
    }
    // A name whose letters the system may fold beyond ASCII, or that may be an 8.3 alias, could
    // name the same folder as another spelling that the capitals above do not match: such a
    // folder goes file by file.
    for (std::size_t i = workLength; i < whole.size(); ++i)
        if (whole[i] == '~' || static_cast<unsigned char>(whole[i]) >= 0x80) return std::string();
    return whole;
}

bool TThreadLiveUpdate::CopyOneFile(const std::string& source, const std::string& destination) {
    // A move onto a free name succeeds at once and needs no question before it; a move that finds
    // the destination taken changes nothing, and the file there is removed first.
    if (platform::MoveFileTo(source, destination)) return true;
    if (platform::FileExists(destination)) {
        const unsigned long start = platform::TickCount();
        for (;;) {
            if (platform::SetAttributesNormal(destination) && platform::RemoveFile(destination)) break;
            if (platform::TickCount() - start >= 1000) return false;
            platform::SleepMs(100);
        }
    }
    return platform::MoveFileTo(source, destination) || platform::CopyFileOverwrite(source, destination);
}

bool TThreadLiveUpdate::ExecuteBatch() {
    const std::string batch = settings_.InstallFolder + "\\LiveUpdate.bat";
    if (!platform::FileExists(batch)) return true;
    StepOverall();
    SetLabelPending(Lang().S_ExecBatch);
    SetPendingPosition(0);
    platform::SetCurrentDir(settings_.InstallFolder);

    // The file is read as a stream, twice: once to count its lines for the bar, once to run them.
    // A line longer than a command line may be is skipped, with nothing started.
    int count = 0;
    ReadBatchLines(batch, [&](const std::string&, bool) {
        if (count < INT_MAX) ++count;
    });
    const std::string prefix = layout::InterpreterPrefix(GetPlatformId());
    SetPending(0, count);
    int done = 0;
    ReadBatchLines(batch, [&](const std::string& line, bool tooLong) {
        if (!tooLong) RunAndWait(prefix + " " + line);
        if (done < INT_MAX) SetPendingPosition(++done);
    });
    platform::RemoveFile(batch);  // whatever the commands did; a failure is ignored
    return true;
}

void TThreadLiveUpdate::RunAndWait(const std::string& commandLine) {
    // The interpreter by its full path: a CMD.EXE beside the installer or in the install folder
    // (the current folder) is never taken.
    const std::string program =
        layout::InterpreterPath(GetPlatformId(), platform::SystemDirectory(), platform::WindowsDirectory());
    if (program.empty()) return;
    // A run with a window waits as long as a line runs: the user can close the window. A hidden
    // run has nobody to ask, so a line that does not end within the limit is ended, with every
    // process it started, and the next line runs.
    const bool bounded = settings_.IsSwitch("/HIDE");
    platform::ProcessTree tree = platform::StartProcessTree(program, commandLine, true);
    if (!tree.process.Valid()) return;
    if (!bounded) {
        platform::WaitFor(tree.process, platform::kInfinite);
        return;
    }
    if (platform::WaitFor(tree.process, settings_.HiddenBatchLineLimitMs) == platform::kWaitTimeout) {
        platform::TerminateProcessTree(tree, 1);
        platform::WaitFor(tree.process, 10000);
    }
}
