// The service process's main routine. The service role is not part of this build yet:
// it says so and ends the process.
#include "service/service_main.h"

#include "config/messages.h"
#include "launcher/diagnostic_log.h"

#include <cstdio>

void WINAPI serviceMain(DWORD, LPSTR*)
{
    logError("serviceMain: the service role is not available");
    fprintf(stderr, "The service role is not available in this build of the launcher yet.\n");
    exitLauncher(1);
}

BOOL WINAPI consoleCtrlHandler(DWORD)
{
    logMessage("ConsoleCtrlHandler event");
    return TRUE;
}
