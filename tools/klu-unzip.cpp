// klu-unzip ARCHIVE FOLDER: extracts with the installer's settings (every file, every folder,
// overwrite without asking, stored folders, stored dates and attributes).
// Prints "file PATH" at each file begin and "ok PATH" or "fail PATH: REASON" per finished entry.
// Exit 0: every selected entry written with a matching CRC; 1: an entry failed, or the archive
// was refused whole or found cut ("archive: REASON"); 2: the archive could not be read as ZIP.
#include <cstdio>
#include <string>

#include "zip/OutputFolder.h"
#include "zip/ZipExtractor.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: klu-unzip ARCHIVE FOLDER\n");
        return 2;
    }
    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

    zip::ZipExtractor extractor;
    extractor.SetArchiveFile(argv[1]);
    extractor.SetExtractFolder(argv[2]);
    extractor.ClearFileSpec();
    extractor.AddFileSpec("*.*");
    extractor.recurseFolders = true;
    extractor.confirmOverwrites = false;
    extractor.SetOutput(zip::MakeFileSystemOutput());
    const zip::OutputFolder& output = *extractor.Output();

    bool failed = false;
    extractor.onFileBegin = [&](const std::string& path, int, bool&) {
        std::printf("file %s\n", output.NativePath(path).c_str());
    };
    extractor.onEndOfFile = [&](const std::string& path, zip::EntryResult result) {
        if (result == zip::EntryResult::Ok) {
            std::printf("ok %s\n", output.NativePath(path).c_str());
            return;
        }
        failed = true;
        std::printf("fail %s: %s\n", output.NativePath(path).c_str(), zip::EntryResultText(result));
    };
    extractor.Extract();
    if (!extractor.ReadAsZip()) {
        std::fflush(stdout);
        std::fprintf(stderr, "klu-unzip: %s: cannot be read as a ZIP archive\n", argv[1]);
        return 2;
    }
    if (!extractor.Refusal().empty()) {
        std::printf("archive: %s\n", extractor.Refusal().c_str());
        failed = true;
    }
    std::fflush(stdout);
    return failed ? 1 : 0;
}
