// The service process: its main routine, called by the service dispatcher, which starts
// and supervises the child copy of this executable that runs the Java application
// (service/child_process.h), and the control handler that turns a stop or shutdown
// request into a line on the child's standard input (service/shared_state.h).
#pragma once

#include <windows.h>

void WINAPI serviceMain(DWORD argc, LPWSTR* argv);
void WINAPI serviceControlHandler(DWORD control);
// The same as the extended handler, which the service registers: the pre-shutdown
// notification reaches only a handler of that kind.
DWORD WINAPI serviceControlHandlerEx(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);

// Keeps the process alive through console events (Ctrl+C, Ctrl+Break, close, logoff,
// shutdown): the service decides when its child ends, not the console.
BOOL WINAPI consoleCtrlHandler(DWORD event);
