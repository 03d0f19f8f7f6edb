// The service's captured output: what the service process reads from its child's standard
// output and error, written into the file of the record outputCapture (30019) with the
// rotation of the output records (size, keep, roll, keep_days, compress),
// and a marked line for each start of the child and each end with its exit code. Without
// the record, or with an empty one, the output is read and discarded as it always was.
// A file that cannot be opened is reported once in the Event Log, with the reason; the
// service runs on and the output is discarded.
#pragma once

#include "model/output_rotation.h"

#include <windows.h>

#include <cstddef>
#include <string>

// The capture file's full path: the record with the launcher's variables replaced, a
// relative name taken from the launcher's folder. Empty when nothing is captured; false,
// with why in `problem`, when the record names no usable file.
bool captureFilePath(std::wstring* path, std::string* problem);

// The rotation of the capture file, from the output records as the runtime library reads
// them; a record the runtime library would refuse counts as absent.
outputrotation::Settings captureSettings();

// Opens the capture file on the first call (further calls do nothing), making its folder
// where missing. With `clock` null, the machine's clock.
void openOutputCapture(outputrotation::LocalTime (*clock)() = nullptr);

// A block read from the child; nothing when no file is open. Written up to its last line
// end, the rest held until its line ends (or a mark, or 64 KB without one), so that a roll
// over never splits a line. Safe from the thread that drains the child's output while the
// service thread marks.
void captureChildOutput(const char* data, size_t length);

// The marked lines, each on a line of its own:
//   "---- 2026-03-01 12:00:05 started: process 4242 ----"
//   "---- 2026-03-01 12:07:44 ended: process 4242, exit code 3 ----"
void markChildStarted(DWORD processId);
void markChildEnded(DWORD processId, DWORD exitCode);

// The marked lines' text, for a time (no line end).
std::string childStartedMark(const outputrotation::LocalTime& time, DWORD processId);
std::string childEndedMark(const outputrotation::LocalTime& time, DWORD processId, DWORD exitCode);
