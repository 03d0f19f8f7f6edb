// The service's time at a system shutdown. With the pre-shutdown record on, the service
// process accepts the pre-shutdown notification (service/shared_state.h) and handles it
// as a stop, with the stop deadline and the ending of the child's job; /install sets the
// entry's pre-shutdown timeout so that the service manager waits for that deadline (the
// rule, servicemodel::shutdownOf, lives in the service model). Without the record the
// service takes the plain shutdown notification, as launchers built before it do.
//
// How /install uses it: once the entry exists (after CreateService and the password,
// beside the other settings of ChangeServiceConfig2W), it calls
//     setPreshutdownTimeout(service, configuredShutdown(), changeConfig2)
// A result other than NO_ERROR leaves the service installed with the system's default
// timeout; ERROR_INVALID_LEVEL (a service manager without the level) and
// ERROR_PROC_NOT_FOUND (no ChangeServiceConfig2W) go to the log only, any other error
// also to the console, as for the other settings of that level.
#pragma once

#include "model/service_entry.h"

#include <windows.h>

// ChangeServiceConfig2W, or a test's own.
using ChangeConfig2Call = BOOL(WINAPI*)(SC_HANDLE service, DWORD level, LPVOID info);

// The shutdown of this launcher's pre-shutdown and stop timeout records.
servicemodel::Shutdown configuredShutdown();

// Writes SERVICE_CONFIG_PRESHUTDOWN_INFO with the shutdown's timeout; the handle needs
// SERVICE_CHANGE_CONFIG. Nothing is written, and NO_ERROR returned, without pre-shutdown
// or with a timeout of 0 (the system's default stays). `changeConfig2` null: the system's
// function, looked up at run time (ERROR_PROC_NOT_FOUND where it does not exist). Else
// the function's error, NO_ERROR on success.
DWORD setPreshutdownTimeout(SC_HANDLE service, const servicemodel::Shutdown& shutdown,
                            ChangeConfig2Call changeConfig2 = nullptr);
