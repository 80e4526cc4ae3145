// klu-unzip [--key PUBLIC.pem] ARCHIVE FOLDER: extracts with the installer's settings (every file,
// every folder, overwrite without asking, stored folders, stored dates and attributes).
// With --key the package's signature is checked first, as a build with that key checks it; a
// package that fails is reported ("archive: TEXT") and nothing is extracted (exit 1).
// Prints "file PATH" at each file begin and "ok PATH" or "fail PATH: REASON" per finished entry.
// Exit 0: every selected entry written with a matching CRC; 1: an entry failed, or the archive
// was refused whole or found cut ("archive: REASON"); 2: the archive could not be read as ZIP.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Crypto.h"
#include "sign/PackageCheck.h"

#include "zip/OutputFolder.h"
#include "zip/ZipExtractor.h"

namespace {

bool ReadKey(const std::string& path, sign::PublicPoint& key) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return in && sign::ParsePublicKeyPem(text.str(), key);
}

}  // namespace

int main(int argc, char** argv) {
    std::string keyPath;
    if (argc == 5 && std::string(argv[1]) == "--key") {
        keyPath = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: klu-unzip [--key PUBLIC.pem] ARCHIVE FOLDER\n");
        return 2;
    }
    if (!keyPath.empty()) {
        sign::PublicPoint key;
        if (!ReadKey(keyPath, key)) {
            std::fprintf(stderr, "klu-unzip: %s: not a P-256 public key in PEM form\n", keyPath.c_str());
            return 2;
        }
        const std::string refusal = sign::PackageFileRefusal(argv[1], key, platform::SystemCrypto());
        if (!refusal.empty()) {
            std::printf("archive: %s\n", refusal.c_str());
            return 1;
        }
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
    // The next entries are decoded on a second core while this one makes the files.
    extractor.decodeAhead = 4u << 20;
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
