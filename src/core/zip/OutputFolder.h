// Where the extractor writes: folders and files named by full paths in Windows form (backslashes,
// ANSI code page). The platform layer provides the real one (MakeFileSystemOutput); tests use
// recording fakes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "zip/ZipNames.h"

namespace zip {

// One output file, opened for writing with no sharing. Destroying it closes it.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    virtual bool Write(const std::uint8_t* data, std::size_t n) = 0;
    // The file's last-write time: a DOS date and time (APPNOTE 4.4.6) read as local time.
    virtual bool SetDosTime(std::uint16_t dosDate, std::uint16_t dosTime) = 0;
    // The last-write time and the DOS attributes (as OutputFolder::SetAttributes takes them) in one
    // call through the open file, where the system can. False when it did not: the caller then
    // sets the time here and the attributes through the folder once the file is closed.
    virtual bool SetDosTimeAndAttributes(std::uint16_t /*dosDate*/, std::uint16_t /*dosTime*/,
                                         std::uint32_t /*dosAttributes*/) {
        return false;
    }
    virtual bool Close() = 0;
};

class OutputFolder {
public:
    virtual ~OutputFolder() = default;
    // Creates the folder and every missing parent; true when the folder exists afterwards.
    virtual bool CreateFolderPath(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // Creates the file, replacing an existing one (read-only included). Null when it cannot.
    virtual std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) = 0;
    // Applies DOS attributes (read-only 0x01, hidden 0x02, system 0x04, archive 0x20) to a file.
    virtual bool SetAttributes(const std::string& path, std::uint32_t dosAttributes) = 0;
    // The path as this system spells it (for messages); the identity on Windows.
    virtual std::string NativePath(const std::string& path) const { return path; }
    // An entry name from the OEM code page into the ANSI code page of this system. Windows
    // converts through its own code pages; elsewhere the fixed 437-to-1252 table stands in.
    virtual std::string OemNameToAnsi(const std::string& oem) const { return OemToAnsi(oem); }
    // Asked once before anything is written, with the sum of the sizes the archive declares:
    // false when the file system has too little room for them.
    virtual bool HasRoomFor(std::uint64_t /*bytes*/) { return true; }
    // Asked after each file is created: true when it is a file already written in this extraction
    // under another name (on Windows an 8.3 alias such as PLUV~PTR.DLL of a long name), or when its
    // alias is an earlier file's name. The first rootLength characters of path are the extract
    // folder's, which the entry's name does not choose.
    virtual bool WrittenBefore(const std::string& /*path*/, std::size_t /*rootLength*/) { return false; }
};

// The file system of the running system (src/platform/win32 or src/platform/posix).
std::unique_ptr<OutputFolder> MakeFileSystemOutput();

}  // namespace zip
