// The service process's main routine, called by the service dispatcher.
#pragma once

#include <windows.h>

void WINAPI serviceMain(DWORD argc, LPSTR* argv);
