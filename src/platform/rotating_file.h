// An output file that rolls over by size, day or hour by the rules of
// model/output_rotation.h, written through the Windows API, its rolled files compressed
// in the background (platform/file_compression.h) when the settings say so: the service
// process's captured output. The file is appended to, never read; every name in its folder goes through the
// wide file functions, and a link or directory at one of its names is never written,
// renamed or removed.
#pragma once

#include "model/output_rotation.h"
#include "platform/file_compression.h"
#include "platform/handle.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// The wall-clock time of the machine's zone; a test may put a clock of its own in place.
using LocalClock = outputrotation::LocalTime (*)();
outputrotation::LocalTime systemLocalTime();

class RotatingFile {
public:
    RotatingFile() = default;
    RotatingFile(const RotatingFile&) = delete;
    RotatingFile& operator=(const RotatingFile&) = delete;

    // Opens `path` (a full path) for appending, creating it, with the rotation `settings`
    // on `clock`, handing rolled files to `compressor` (with compression on); the rolled
    // files beyond the kept count or age go at once, and those to compress are handed over.
    // False, with the system's error code in `error` (ERROR_CANT_ACCESS_FILE for a link or
    // directory at the name), when it cannot be opened; nothing is written then.
    bool open(const std::wstring& path, const outputrotation::Settings& settings, LocalClock clock, DWORD* error,
              CompressionRunner compressor = compressInBackground);
    bool isOpen() const { return static_cast<bool>(file_); }

    // One write, whole, into the current file, after a roll over when one is due. A roll
    // over that fails leaves the writes going into the current file, and the next write
    // tries again; nothing is lost or written twice. False when the bytes could not be
    // written.
    bool write(const char* data, size_t length);

    // The last byte written ('\n' before the first write, and for an empty file).
    char lastByte() const { return lastByte_; }

    void close();

private:
    bool openCurrent(DWORD* error);
    void carryOut(const outputrotation::Step& step, bool* rolledOver, bool* failed);
    void keepRolledFiles(const outputrotation::LocalTime& now);
    std::vector<std::string> names() const;
    std::wstring sibling(const std::string& name) const;

    UniqueFile file_;
    std::wstring folder_;  // with its trailing backslash
    std::string base_;     // the file's name, UTF-8, as the rules take names
    outputrotation::Settings settings_;
    outputrotation::FileState state_;
    LocalClock clock_ = nullptr;
    CompressionRunner compressor_ = nullptr;
    char lastByte_ = '\n';
    // Rolled over, but the new file could not be opened: the writes go on into the renamed
    // one, and each write tries to begin the new file again.
    bool renamedAway_ = false;
};
