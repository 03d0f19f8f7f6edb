// The service child's report of a start failure to the service process that started it.
// The service process gives its child the write end of a pipe of its own, named by the
// argument after the child marker ("__dpk_report:<handle>"; the child's signals follow it,
// config/service_signals.h). Every error the launcher shows before the application runs goes down that
// pipe too, as UTF-8 lines; whatever arrived there by the child's end tells the service
// process that the application could not be started, and why. The application's own
// output never goes there, so nothing it prints can pass for a start failure.
#pragma once

#include <windows.h>

#include <string>

// The start of the argument that names the pipe; the handle follows as a decimal number.
constexpr wchar_t kStartFailureReportPrefix[] = L"__dpk_report:";

// The most bytes of reported text the service process keeps; the child writes no more,
// so that its writes never wait for a reader.
constexpr size_t kStartFailureReportCapacity = 8000;

// The argument that names `handle` for the child.
std::wstring startFailureReportArgument(HANDLE handle);

// The handle an argument names; null for any other argument (another prefix, no number, a
// number with anything behind it, zero or a number too large for a handle).
HANDLE parseStartFailureReportArgument(const std::wstring& argument);

// Takes `handle` as this process's report, once it has been checked to be a pipe; it is
// made non-inheritable at once, so that no process the application starts holds the
// pipe open. False, logged, when it is no pipe (the child was not started by a service
// process: nothing is reported then).
bool openStartFailureReport(HANDLE handle);

// True once a report has been opened: this process is a service's child.
bool startFailureReportOpen();

// Sends the text, shown to the user as a start failure, to the service process as one
// line (UTF-16 in, UTF-8 down the pipe), within what is left of the capacity. Does
// nothing without a report. Keeps the caller's last error.
void reportStartFailure(const std::wstring& text);
