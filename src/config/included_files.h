// Files carried inside the launcher executable, stored behind the configuration records,
// and written into a fresh temporary directory for each run before the VM starts.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// The per-run directory of the included files; empty when none was created.
constexpr int kLauncherTempDirCapacity = 6000;
extern char launcherTempDir[kLauncherTempDirCapacity];

// Where extraction stopped reading the executable: behind the last record read; the end
// of the configuration records for an empty name list; 0 when nothing was extracted.
extern uint32_t unextractedPosition;

// Creates the launcher's temporary directory and writes the included files into it.
// Returns 0, or 1 for a failed read and 2 for a failed write (the caller ends the run).
int extractIncludedFiles();
// One candidate name for the launcher's temporary directory, in `directory`, and the
// temporary file reserved for it (if any) in `marker`.
enum class TempDirName { formed, tooLong, noTempDirectory };
using TempDirNamer = TempDirName (*)(char* directory, size_t capacity, char* marker, size_t markerCapacity);
// A new temporary file name (which the system reserves as an empty file) followed by
// "_dir" and the current time in seconds.
TempDirName nextLauncherTempDirName(char* directory, size_t capacity, char* marker, size_t markerCapacity);
// Sets launcherTempDir to a new private directory under a name from `nextName`, trying
// another name when one exists already; ends the process when none can be made (message
// 1009 with "7", or 1015 without a temporary directory).
void createLauncherTempDir(TempDirNamer nextName = nextLauncherTempDirName);
// One record at the file's position: its 64-bit length, then the scrambled content.
int extractIncludedFile(HANDLE executable, const char* outputPath);
// Copies `count` bytes in chunks, undoing the scrambling when asked: 0, 1 (read) or 2 (write).
int copyFileRange(HANDLE input, HANDLE output, int64_t count, bool unscramble);
