// Files carried inside the launcher executable, stored behind the configuration records,
// and written into a fresh temporary directory for each run before the VM starts.
#pragma once

#include <windows.h>

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
// Sets launcherTempDir to a new directory, or ends the process (message 1009, "7").
void createLauncherTempDir();
// One record at the file's position: its 64-bit length, then the scrambled content.
int extractIncludedFile(HANDLE executable, const char* outputPath);
// Copies `count` bytes in chunks, undoing the scrambling when asked: 0, 1 (read) or 2 (write).
int copyFileRange(HANDLE input, HANDLE output, int64_t count, bool unscramble);
