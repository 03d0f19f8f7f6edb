// The service process's main routine, called by the service dispatcher.
#pragma once

#include <windows.h>

void WINAPI serviceMain(DWORD argc, LPSTR* argv);

// Keeps the process alive through console events (Ctrl+C, Ctrl+Break, close, logoff,
// shutdown): the service decides when its child ends, not the console.
BOOL WINAPI consoleCtrlHandler(DWORD event);
