/* Stop latency of a running service, as a user of the launcher sees it:
 *
 *   stop_timer <launcher.exe> <service name>
 *
 * starts "<launcher> /stop <name>" and, from that moment, asks the service manager for the
 * service's state every 5 ms (often enough for figures of a hundred milliseconds and more,
 * seldom enough not to keep the service manager busy) while it waits for the command to
 * end. Prints one line
 *
 *   stop command_ms=<a> stopped_ms=<b>
 *
 * with the time until the command ended (it waits for the stop and says "Service
 * stopped") and until the service manager first reported SERVICE_STOPPED. Exit code 0
 * only when the service was running, the command said "Service stopped" and the service
 * manager reported it stopped within a minute (and within ten seconds of the command's
 * end); otherwise 1, with the reason on stderr. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static double millisecondsSince(LARGE_INTEGER start, LARGE_INTEGER frequency)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)(now.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart;
}

static DWORD serviceState(SC_HANDLE service)
{
    SERVICE_STATUS status;
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: stop_timer <launcher.exe> <service name>\n");
        return 2;
    }
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, argv[2], SERVICE_QUERY_STATUS) : NULL;
    if (service == NULL) {
        fprintf(stderr, "stop_timer: cannot open service %s (%lu)\n", argv[2], GetLastError());
        return 1;
    }
    DWORD state = serviceState(service);
    if (state != SERVICE_RUNNING) {
        fprintf(stderr, "stop_timer: service %s is not running (state %lu)\n", argv[2], state);
        return 1;
    }

    /* The command's output goes to a pipe, read once it has ended: it is a line or two,
     * far less than the pipe holds. */
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE outRead, outWrite;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) return 1;
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = outWrite;
    char commandLine[2048];
    /* The launcher takes everything after the command word as the name, quotes included. */
    if (snprintf(commandLine, sizeof commandLine, "\"%s\" /stop %s", argv[1], argv[2]) >= (int)sizeof commandLine) {
        fprintf(stderr, "stop_timer: command line too long\n");
        return 1;
    }
    PROCESS_INFORMATION process;
    LARGE_INTEGER frequency, start;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "stop_timer: cannot start %s (%lu)\n", commandLine, GetLastError());
        return 1;
    }
    CloseHandle(outWrite);

    double commandMs = -1, stoppedMs = -1;
    while (commandMs < 0 || stoppedMs < 0) {
        if (stoppedMs < 0 && serviceState(service) == SERVICE_STOPPED) stoppedMs = millisecondsSince(start, frequency);
        if (commandMs < 0) {
            if (WaitForSingleObject(process.hProcess, 5) == WAIT_OBJECT_0) commandMs = millisecondsSince(start, frequency);
        } else {
            Sleep(5);
        }
        double elapsed = millisecondsSince(start, frequency);
        if (elapsed > 60000 || (commandMs >= 0 && elapsed > commandMs + 10000)) break;
    }

    char output[4096];
    DWORD length = 0, n = 0;
    while (length < sizeof output - 1 && ReadFile(outRead, output + length, sizeof output - 1 - length, &n, NULL) && n > 0) {
        length += n;
    }
    output[length] = '\0';
    printf("stop command_ms=%.1f stopped_ms=%.1f\n", commandMs, stoppedMs);
    if (commandMs < 0 || stoppedMs < 0) {
        fprintf(stderr, "stop_timer: the service did not stop; the command said: %s\n", output);
        return 1;
    }
    if (strstr(output, "Service stopped") == NULL) {
        fprintf(stderr, "stop_timer: the command did not say \"Service stopped\": %s\n", output);
        return 1;
    }
    return 0;
}
