// The diagnostic log: off unless QUILL_LOG or DEPLOYKIT_LOG is exactly "yes"; then each
// process writes its own file in the temporary directory, one line per call, the file
// opened and closed around every line so that it is complete even if the process dies.
#pragma once

#include "platform/text_format.h"

// One line, formatted with the narrow printf conventions ("%S" takes a wide string,
// "%I64d" a 64-bit integer). Safe from any thread; never fails towards the caller and
// leaves the caller's last error unchanged.
void logMessage(const char* format, ...) LAUNCHER_PRINTF(1, 2);
// The same with "ERROR: " in front.
void logError(const char* format, ...) LAUNCHER_PRINTF(1, 2);
// The log file's path, or null when logging is off.
const wchar_t* logFilePath();
