// The child of the service process: a second copy of this executable that runs the
// application. Its command line, the pipes of its standard handles, the job that holds
// it and what it starts, the thread that drains its output, waiting for its end and
// ending it.
#pragma once

#include "platform/handle.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// The last argument of the child's command line: it makes the child run the application.
constexpr wchar_t kChildMarker[] = L"__dpk_restart";

// Capacities of the child command line and of each converted argument, terminator included.
constexpr size_t kChildCommandLineCapacity = 12000;
constexpr size_t kChildArgumentCapacity = 6000;

// The child's command line into `line`: the program path, the service name, the service
// process's own arguments, the start parameters and the marker that makes the child run
// the application, separated by blanks. An argument that the child's splitter would read
// differently as it stands (a blank or a quote in it, or nothing at all) is put in quotes.
// False, with `line` not to be used, when the whole does not fit or an argument holds
// both kinds of quote and so cannot be passed on unchanged.
bool buildChildCommandLine(wchar_t* line, size_t capacity, const std::wstring& programPath,
                           const std::wstring& serviceNameW, const std::vector<std::wstring>& ownArguments,
                           const std::vector<std::wstring>& startParameters);

// The child's command line for a start of the service named `name`: `programPath`, the
// name, the arguments of `ownArguments` (this process's command line after the program's
// name), the start parameters `argv[1]` to `argv[argc - 1]` (a null one counts as empty)
// and the marker. False, logged, when a start parameter does not fit its
// conversion buffer (refused rather than cut: a cut argument would start the application
// with a value nobody gave it) or buildChildCommandLine refuses the whole.
bool makeChildCommandLine(const std::wstring& programPath, const std::wstring& name, const wchar_t* ownArguments,
                          DWORD argc, LPWSTR* argv, std::wstring* line);

// A running child.
struct Child {
    UniqueHandleNull process;
    UniqueHandleNull job;    // the job it and what it starts are in; null without one
    UniqueHandleNull input;  // our end of its standard input
    // The thread that reads the child's start failure report into `startFailure` (UTF-8),
    // which it shares with the thread until it ends.
    UniqueHandleNull reportReader;
    std::shared_ptr<std::string> startFailure;
    // The thread that reads its output into the capture file (service/output_capture.h)
    // until the pipe ends; null when it could not run.
    UniqueHandleNull drainer;
    DWORD processId = 0;
    // The events of its signals (config/service_signals.h): set by the child while its VM
    // is alive (null when not watched), set here to ask for a thread dump, set by the child
    // once the dump is written.
    UniqueHandleNull aliveSignal;
    UniqueHandleNull dumpRequest;
    UniqueHandleNull dumpDone;
};

// Starts the child with `commandLine`, followed by the argument that names the pipe of
// its start failure report (config/start_failure_report.h), the pipes as its standard
// handles, at the configured priority; with `inJob`, in a job of its own, so that ending
// it can end everything it started. The child inherits these three pipe ends and no
// other handle. A thread drains its output into the capture file (opened at the first
// start; a marked line for each start), another reads its report. The child inherits the
// events of its signals too, named by a last argument; with `watchAlive`, the alive
// signal's among them. False, logged, when no child runs.
bool startChild(const std::wstring& commandLine, bool inJob, Child* child, bool watchAlive = false);

// After the child's end: waits a few seconds at most for the end of its output (a process
// it started may still hold the pipe), then writes the marked line of its end with
// `exitCode` into the capture file, after everything the child wrote.
void childOutputEnded(const Child& child, DWORD exitCode);

// After the child's end: the text its launcher reported as the reason why the
// application could not be started (UTF-8, a line per error shown), or empty when it
// reported none. Waits a few seconds at most for the end of the report, which comes with
// the end of the child; a report that has not ended by then counts as none, logged.
std::string childStartFailure(const Child& child);

// Waits up to `timeoutMs` for the child's end. True, with its exit code and the log line
// "process terminated with exit code N", once it has ended; an exit code that cannot be
// read counts as a failure (1), never as a clean end. False, logged when waiting fails,
// while it still runs.
bool waitForChildEnd(HANDLE process, DWORD timeoutMs, DWORD* exitCode);

// Ends the child with every process of its job (without a job, the child alone) and waits
// for its end. False, logged, when it has not ended within a few seconds; `exitCode` is
// then 1.
bool endChild(const Child& child, DWORD* exitCode);
