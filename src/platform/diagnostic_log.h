// The diagnostic log: off unless QUILL_LOG or DEPLOYKIT_LOG is exactly "yes"; then each
// process writes its own new file, private to its account, in the directory TMP (else
// TEMP) names, one line per call, each written to the file at once so that it is complete
// even if the process dies. Without such a directory, or a free name in it, there is no
// log.
#pragma once

#include "platform/text_format.h"

// One line, formatted with the narrow printf conventions ("%S" takes a wide string,
// "%I64d" a 64-bit integer). Safe from any thread; never fails towards the caller and
// leaves the caller's last error unchanged.
void logMessage(const char* format, ...) LAUNCHER_PRINTF(1, 2);
// The same with "ERROR: " in front.
void logError(const char* format, ...) LAUNCHER_PRINTF(1, 2);
// "<what> too long; not used": a text that did not fit its buffer, passed over rather
// than used cut.
void logTooLong(const char* what);
// The log file's path, or null when there is no log.
const wchar_t* logFilePath();
