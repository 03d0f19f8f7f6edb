// The configuration block appended to the launcher's own executable: where it starts
// (found from the image's section table, so a signature appended later does not
// disturb it) and how it is read into the configuration store. The block's layout and
// its parser are shared with the packager (format/).
#pragma once

#include "config/config_store.h"
#include "format/block_parser.h"
#include "platform/handle.h"

#include <windows.h>

#include <cstdint>

using blockformat::BlockError;
using blockformat::blockErrorText;

// Errors go to message boxes (launcher kinds 1 and 5) or to standard error.
extern bool useMessageBoxes;
// File offset of the first byte behind the configuration records: the included files start here.
extern uint32_t configEndPosition;

// Reads the block of the own executable into the store. Returns only on success; any
// failure ends the process with the fixed message of the step that failed.
void loadConfiguration();

// A read handle on the launcher's own executable (by its wide long path), sharing read
// and write; invalid when it cannot be opened.
UniqueFile openOwnExecutable();

// The reading steps without their fatal ending, on any open file: a test can run them
// on a block cut anywhere. Logging is the same as in the launcher.
// Walks the section table to where the block starts, and positions the file there.
BlockError findAppendedData(HANDLE file, int64_t* blockStart);
// Reads the block that starts at `blockStart` and puts its records into the store: the
// narrow and wide records, then the locale groups whose prefix matches `localeCode`.
// On success `endPosition` is the file offset behind the last group.
BlockError readConfigBlock(HANDLE file, int64_t blockStart, const char* localeCode, ConfigStore& store,
                           uint32_t* endPosition);

// The block's 64-bit read at the file's current position, with its log line on a short
// read; the included files behind the block are read with it.
bool readLongFrom(HANDLE file, int64_t* value);
