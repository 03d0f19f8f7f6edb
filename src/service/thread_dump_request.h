// Thread dumps of the running child, asked for by /dump (service/control_pipe.h) or by
// the watch of a frozen VM: the service process sets the child's request event and waits
// for its done event (config/service_signals.h). One request at a time; the child ends
// or is replaced meanwhile without waiting for a request.
#pragma once

#include <windows.h>

enum class DumpAnswer {
    taken,       // the application wrote its thread dump
    notRunning,  // no child runs
    noAnswer,    // the child did not say it was done in time
};

// The child that runs now takes requests through these events (duplicated: the child's
// own handles may go at any time).
void offerThreadDumps(HANDLE request, HANDLE done);
// The child has ended: requests are answered with notRunning until the next one runs.
void withdrawThreadDumps();

// Asks the running child for a thread dump and waits up to `timeoutMs` for it.
DumpAnswer requestThreadDump(DWORD timeoutMs);

// How long /dump and the watch wait for a dump.
constexpr DWORD kThreadDumpWaitMs = 10000;
