// The service's entries in the Windows event log. With the flag record 30009
// (serviceEventLog) set, /install registers the launcher as the message file of an event
// source named after the service, /uninstall removes that registration, and the service
// process reports its starts, stops and the application's ends and restarts. Without the
// record every function here does nothing, so such a launcher behaves as before.
//
// The texts are the launcher's message table (event_messages.mc), in English, German and
// French. Each report is also written to the diagnostic log as
// "event N reported: <English text>" or "event N (not reported, error E): <English text>".
#pragma once

#include <windows.h>

// Event identifiers as the Event Viewer shows them; the comment gives the inserts.
enum class ServiceEvent : WORD {
    started = 1,              // information
    stopped = 2,              // information
    applicationEnded = 3,     // error: %1 the exit code
    restarting = 4,           // warning: %1 the attempt, %2 the delay in seconds
    stopTimedOut = 5,         // warning: %1 the stop timeout in seconds
    restartLimitReached = 6,  // error: %1 the restarts, %2 the period in seconds
    startFailed = 7,          // error
    startRefused = 8,         // error: %1 the reason the launcher gave
    outputNotCaptured = 9,    // warning: %1 the capture file, %2 the reason
    hangEnded = 10,           // error: %1 the hang timeout in seconds
};

// True when the block switches the event log on (30009 present and not 0).
bool eventLogEnabled();

// The message identifier of an event in the message table (severity bits included), as
// ReportEvent and FormatMessage take it; 0 for a value that is no event.
DWORD serviceEventMessageId(ServiceEvent event);

// Writes HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\<name> with
// EventMessageFile (REG_EXPAND_SZ, launcherPath) and TypesSupported (REG_DWORD 7).
// True when written, or when the event log is off (nothing to do). False, with nothing
// written, for an empty name, a name with a backslash (it would name a key further down)
// or an empty path; false also when the registry refuses. Logged either way.
bool registerEventSource(const wchar_t* name, const char* launcherPath);

// Deletes that key. True when it is gone, also when it was never there or the event log
// is off (then nothing is touched: the key may belong to another program of that name).
// False for a name registerEventSource refuses, or when the registry refuses.
bool unregisterEventSource(const wchar_t* name);

// Reports the event under the source named serviceName (config/run_settings.h) with up to
// two inserts (UTF-8; a missing one counts as empty) and logs the line. Does nothing when the event
// log is off. A failure to report is only logged: it never changes what the caller does.
// Keeps the caller's last error.
void reportServiceEvent(ServiceEvent event, const char* insert1 = nullptr, const char* insert2 = nullptr);
