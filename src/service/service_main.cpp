// The service process. It does not load Java itself: it starts a second copy of this
// executable as its child, with the service name, its own arguments, the start
// parameters and the child marker, feeds and drains the child's pipes, reports the
// service state and relays a stop or shutdown request as the line "0\n" on the child's
// standard input. When the child ends, the service process ends too.
#include "service/service_main.h"

#include "config/config_store.h"
#include "config/run_settings.h"
#include "config/stale_temp_dirs.h"
#include "format/command_line.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/handle.h"
#include "platform/paths.h"
#include "platform/text_conversion.h"
#include "platform/text_format.h"
#include "service/event_log.h"
#include "service/supervision.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kPriorityKey[] = "SOFTWARE\\tarnwell\\quill\\priority";
constexpr DWORD kDrainBlockSize = 6000;
constexpr DWORD kStopWaitHintMs = 50000;
// The status the service reports when its child cannot be started: a service-specific
// error with this code.
constexpr DWORD kChildNotStartedCode = 5000;
// The service-specific code of a stop that had to end the child at the stop deadline.
constexpr DWORD kChildEndedAtDeadlineCode = 5001;
// While a stop runs against a deadline, progress is reported this often, and the wait
// hint covers the time left plus this margin for ending the child.
constexpr DWORD kStopProgressMs = 1000;
constexpr DWORD kStopMarginMs = 5000;
// How long an ended child's processes may take to go.
constexpr DWORD kTerminationWaitMs = 5000;

// Shared between the dispatcher thread, which runs the control handler, and the thread
// of serviceMain; guarded by serviceLock(). A request that comes before the child runs
// must neither be lost nor be overwritten by the "running" report that follows the
// child's creation, and a second request must not touch the closed pipe: both need the
// state, the request and the pipe handle to change together.
SERVICE_STATUS serviceStatusRecord{};
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE childStdinWrite = nullptr;     // null until the child runs, and again once closed
bool shutdownRequested = false;       // a stop or shutdown request arrived
bool shutdownSent = false;            // the line went out and the pipe is closed
HANDLE stopEvent = nullptr;           // set with shutdownRequested, for waits of serviceMain
SupervisionPlan plan;                 // read before the control handler is registered

CRITICAL_SECTION& serviceLock()
{
    static CRITICAL_SECTION* lock = [] {
        auto* section = new CRITICAL_SECTION;
        InitializeCriticalSection(section);
        return section;
    }();
    return *lock;
}

class ServiceLock {
public:
    ServiceLock() { EnterCriticalSection(&serviceLock()); }
    ~ServiceLock() { LeaveCriticalSection(&serviceLock()); }
    ServiceLock(const ServiceLock&) = delete;
    ServiceLock& operator=(const ServiceLock&) = delete;
};

// Reports the record; on failure logs `failureFormat` with the system error code.
void reportStatus(const char* failureFormat)
{
    if (!SetServiceStatus(statusHandle, &serviceStatusRecord) && failureFormat != nullptr) {
        logMessage(failureFormat, static_cast<int>(GetLastError()));
    }
}

// Called with the lock held, for a stop or a shutdown request.
void requestShutdown()
{
    shutdownRequested = true;
    if (stopEvent != nullptr) {
        SetEvent(stopEvent);
    }
    if (childStdinWrite != nullptr) {
        sendShutdown(0);
    } else if (shutdownSent) {
        logMessage("shutdown already sent");
    } else {
        logMessage("shutdown kept until the child runs");
    }
}

// A narrow text of the service start (system code page) as a wide argument of the child,
// refused when it does not fit the conversion buffer.
bool convertArgument(const char* text, std::wstring* wide)
{
    *wide = toWide(text, CP_ACP);
    return wide->size() < kChildArgumentCapacity;
}

// The priority class of the child: the value named after the service, if the machine's
// administrator set one, else normal.
DWORD childPriorityClass()
{
    DWORD priority = NORMAL_PRIORITY_CLASS;
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPriorityKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return priority;
    }
    DWORD value = 0;
    DWORD size = sizeof value;
    // Anything but exactly four bytes would leave part of the number undefined.
    if (RegQueryValueExA(key.get(), serviceName, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        size == sizeof value) {
        logMessage("using priority %d", static_cast<int>(value));
        priority = value;
    }
    return priority;
}

// The service ends without a child: stopped, with the service-specific error that says so.
void reportChildNotStarted()
{
    ServiceLock lock;
    serviceStatusRecord.dwCurrentState = SERVICE_STOPPED;
    serviceStatusRecord.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    serviceStatusRecord.dwServiceSpecificExitCode = kChildNotStartedCode;
    reportServiceEvent(ServiceEvent::startFailed);  // before the state: see reportChildEnded
    reportStatus(nullptr);
}

struct ChildPipes {
    UniqueHandleNull outputRead;   // ours: drained
    UniqueHandleNull outputWrite;  // the child's standard output and error
    UniqueHandleNull inputRead;    // the child's standard input
    UniqueHandleNull inputWrite;   // ours: the shutdown line goes here
};

// New handles inheritable, then our own ends not, so that the child cannot hold them
// open: the drain must see the end of data when the child ends.
bool makeChildPipes(ChildPipes& pipes)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    if (!CreatePipe(pipes.outputRead.put(), pipes.outputWrite.put(), &inheritable, 0)) {
        logMessage("CreatePipe error (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    if (!SetHandleInformation(pipes.outputRead.get(), HANDLE_FLAG_INHERIT, 0)) {
        logMessage("SetHandleInformation error (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    if (!CreatePipe(pipes.inputRead.put(), pipes.inputWrite.put(), &inheritable, 0)) {
        logMessage("CreatePipe error 2 (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    if (!SetHandleInformation(pipes.inputWrite.get(), HANDLE_FLAG_INHERIT, 0)) {
        logMessage("SetHandleInformation error 2 (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}


void initialiseStatus()
{
    ServiceLock lock;
    serviceStatusRecord.dwServiceType = SERVICE_WIN32;
    serviceStatusRecord.dwCurrentState = SERVICE_RUNNING;
    serviceStatusRecord.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    serviceStatusRecord.dwWin32ExitCode = 0;
    serviceStatusRecord.dwServiceSpecificExitCode = 0;
    serviceStatusRecord.dwCheckPoint = 0;
    serviceStatusRecord.dwWaitHint = kStopWaitHintMs;
}

// The name the service manager started this service under.
void takeStartedName(DWORD argc, LPSTR* argv)
{
    if (argc >= 1 && argv[0] != nullptr && argv[0][0] != '\0' && strlen(argv[0]) < sizeof serviceName) {
        copyText(serviceName, sizeof serviceName, argv[0]);
    } else {
        copyText(serviceName, sizeof serviceName, "unknown");
    }
    logMessage("service name is '%s'", serviceName);
}

// The child's command line from this process's own command line and the start
// parameters. The service name fits its conversion buffer by the length test when it was
// taken; a start parameter may not. One that does not fit is refused rather than cut: a
// cut argument would start the application with a value nobody gave it.
bool makeChildCommandLine(DWORD argc, LPSTR* argv, wchar_t* commandLine, size_t capacity)
{
    // The child runs this executable, by its own path: the command line's first word is not
    // that path when the service entry holds it unquoted with a blank in it.
    ArgumentList ownArguments;
    splitCommandLine(commandLineArguments(GetCommandLineW(), getModulePathW()), ownArguments);
    std::wstring programPath = getModulePathW();

    std::wstring serviceNameW;
    convertArgument(serviceName, &serviceNameW);
    std::vector<std::wstring> startParameters;
    for (DWORD i = 1; i < argc; ++i) {
        std::wstring parameter;
        if (!convertArgument(argv[i] != nullptr ? argv[i] : "", &parameter)) {
            logMessage("start parameter %d too long (%d characters; at most %d)", static_cast<int>(i),
                       static_cast<int>(parameter.size()), static_cast<int>(kChildArgumentCapacity - 1));
            return false;
        }
        startParameters.push_back(parameter);
    }
    if (!buildChildCommandLine(commandLine, capacity, programPath, serviceNameW, ownArguments.items,
                               startParameters)) {
        logMessage("child command line cannot be built: too long for %d characters, or an argument holds both "
                   "kinds of quote",
                   static_cast<int>(capacity - 1));
        return false;
    }
    return true;
}

// The child, with the pipes as its standard handles, at the configured priority. Once it
// runs only the child holds its ends: the drain sees the end of data when the child ends,
// and a shutdown line written after the child has gone fails instead of filling a pipe
// that nobody reads.
bool startChild(wchar_t* commandLine, ChildPipes& pipes, HANDLE job, PROCESS_INFORMATION* child)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = pipes.inputRead.get();
    startup.hStdOutput = pipes.outputWrite.get();
    startup.hStdError = pipes.outputWrite.get();
    DWORD priority = childPriorityClass();
    // In a job, the child starts suspended so that everything it starts is in the job too.
    const DWORD suspended = job != nullptr ? CREATE_SUSPENDED : 0;
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, priority | DETACHED_PROCESS | suspended, nullptr,
                        nullptr, &startup, child)) {
        logMessage("could not start process %S (%d)", commandLine, static_cast<int>(GetLastError()));
        return false;
    }
    if (job != nullptr) {
        if (!AssignProcessToJobObject(job, child->hProcess)) {
            logMessage("could not put the child into its job (%d); only its own process can be ended",
                       static_cast<int>(GetLastError()));
        }
        ResumeThread(child->hThread);
    }
    pipes.outputWrite.reset();
    pipes.inputRead.reset();
    return true;
}

// A thread that reads and discards the child's output. Without it, closing the read end
// makes the child's writes fail rather than block.
void startDraining(ChildPipes& pipes)
{
    HANDLE outputRead = pipes.outputRead.release();
    UniqueHandleNull drainThread(CreateThread(nullptr, 0, drainChildOutput, outputRead, 0, nullptr));
    if (!drainThread) {
        logMessage("CreateThread error (%d)", static_cast<int>(GetLastError()));
        CloseHandle(outputRead);
    }
}

// The child's input goes where the control handler finds it. A request that came while the
// child was being started still stops the child, and the service stays stop pending
// rather than running again.
void reportChildRunning(ChildPipes& pipes)
{
    ServiceLock lock;
    childStdinWrite = pipes.inputWrite.release();
    if (shutdownRequested) {
        logMessage("delivering the shutdown requested before the child ran");
        sendShutdown(0);
    } else {
        serviceStatusRecord.dwCurrentState = SERVICE_RUNNING;
    }
    reportStatus(nullptr);
}

DWORD waitForChild(HANDLE process)
{
    WaitForSingleObject(process, INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process, &exitCode)) {
        exitCode = 0;
    }
    logMessage("process terminated with exit code %d", static_cast<int>(exitCode));
    return exitCode;
}

// Stopped after a clean end or a requested stop. A child that failed on its own leaves the
// service shown as running: the service manager sees the process end and applies the
// service's recovery settings. The log line and the event come first: once the service
// manager has the stopped state, the dispatcher returns and the process may end before
// this thread writes anything more.
void reportChildEnded(DWORD exitCode)
{
    ServiceLock lock;
    if (exitCode == 0 || shutdownRequested) {
        logMessage("service stopped set");
        reportServiceEvent(ServiceEvent::stopped);
        serviceStatusRecord.dwCurrentState = SERVICE_STOPPED;
        reportStatus("SetServiceStatus 10 failed %d");
    }
}

// The child's job, when a stop deadline may have to end it with everything it started.
// Processes that the application leaves behind when it ends by itself are not ended:
// it may have started them to outlive it.
UniqueHandleNull makeChildJob()
{
    if (plan.stopTimeoutMs == 0) {
        return UniqueHandleNull();
    }
    UniqueHandleNull job(CreateJobObjectW(nullptr, nullptr));
    if (!job) {
        logMessage("could not create a job for the child (%d)", static_cast<int>(GetLastError()));
    }
    return job;
}

// Stop pending with a rising checkpoint and a wait hint that covers `remainingMs`.
void reportStopProgress(DWORD remainingMs)
{
    ServiceLock lock;
    serviceStatusRecord.dwCurrentState = SERVICE_STOP_PENDING;
    ++serviceStatusRecord.dwCheckPoint;
    serviceStatusRecord.dwWaitHint = remainingMs + kStopMarginMs;
    reportStatus("SetServiceStatus 11 failed %d");
}

bool stopWasRequested()
{
    ServiceLock lock;
    return shutdownRequested;
}

enum class ChildEnd { byItself, afterStop, atDeadline };

// Waits for the child to end. Once a stop has been requested (the line is on its way), it
// has until the stop deadline; then it is ended, with the processes of its job.
ChildEnd superviseChild(HANDLE process, HANDLE job, DWORD* exitCode)
{
    HANDLE objects[] = {process, stopEvent};
    if (plan.stopTimeoutMs == 0 || WaitForMultipleObjects(2, objects, FALSE, INFINITE) == WAIT_OBJECT_0) {
        *exitCode = waitForChild(process);
        return stopWasRequested() ? ChildEnd::afterStop : ChildEnd::byItself;
    }
    const DWORD start = GetTickCount();
    for (DWORD elapsed = 0; elapsed < plan.stopTimeoutMs; elapsed = GetTickCount() - start) {
        const DWORD left = plan.stopTimeoutMs - elapsed;
        if (WaitForSingleObject(process, left < kStopProgressMs ? left : kStopProgressMs) == WAIT_OBJECT_0) {
            *exitCode = waitForChild(process);
            return ChildEnd::afterStop;
        }
        const DWORD now = GetTickCount() - start;
        reportStopProgress(now < plan.stopTimeoutMs ? plan.stopTimeoutMs - now : 0);
    }
    logMessage("the application did not end within %d seconds of the stop request; ending it",
               static_cast<int>(plan.stopTimeoutMs / 1000));
    reportServiceEvent(ServiceEvent::stopTimedOut, std::to_string(plan.stopTimeoutMs / 1000).c_str());
    if (job == nullptr || !TerminateJobObject(job, 1)) {
        TerminateProcess(process, 1);
    }
    WaitForSingleObject(process, kTerminationWaitMs);
    *exitCode = waitForChild(process);
    return ChildEnd::atDeadline;
}

// Stopped, with the service-specific code that says the child had to be ended.
void reportEndedAtDeadline()
{
    ServiceLock lock;
    serviceStatusRecord.dwCurrentState = SERVICE_STOPPED;
    serviceStatusRecord.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    serviceStatusRecord.dwServiceSpecificExitCode = kChildEndedAtDeadlineCode;
    reportServiceEvent(ServiceEvent::stopped);  // before the state: see reportChildEnded
    reportStatus("SetServiceStatus 12 failed %d");
}

// Stopped at a stop request that came while no child ran.
void reportStoppedWithoutChild()
{
    ServiceLock lock;
    serviceStatusRecord.dwCurrentState = SERVICE_STOPPED;
    reportServiceEvent(ServiceEvent::stopped);  // before the state: see reportChildEnded
    reportStatus("SetServiceStatus 13 failed %d");
}

// The input of a child that has ended goes, so that a stop request before the next child
// runs is kept for that child.
void closeEndedChildInput()
{
    ServiceLock lock;
    if (childStdinWrite != nullptr) {
        CloseHandle(childStdinWrite);
        childStdinWrite = nullptr;
    }
}

// Waits before a restart; false when a stop request came meanwhile.
bool waitBeforeRestart(DWORD delayMs)
{
    return WaitForSingleObject(stopEvent, delayMs) == WAIT_TIMEOUT && !stopWasRequested();
}

// Starts the child and waits for its end; false when it could not be started.
bool runChild(DWORD argc, LPSTR* argv, ChildEnd* end, DWORD* exitCode, DWORD* ranMs)
{
    static wchar_t commandLine[kChildCommandLineCapacity];
    ChildPipes pipes;
    PROCESS_INFORMATION child{};
    UniqueHandleNull job = makeChildJob();
    // Without pipes there is no child; reporting running would leave a service that does
    // nothing and never completes a stop.
    if (!makeChildCommandLine(argc, argv, commandLine, kChildCommandLineCapacity) || !makeChildPipes(pipes) ||
        !startChild(commandLine, pipes, job.get(), &child)) {
        return false;
    }
    const DWORD started = GetTickCount();
    UniqueHandleNull childProcess(child.hProcess);
    UniqueHandleNull childThread(child.hThread);
    startDraining(pipes);
    reportChildRunning(pipes);

    static bool firstChild = true;
    if (firstChild) {
        reportServiceEvent(ServiceEvent::started);
        logMessage("registering ConsoleCtrlHandler");
        SetConsoleCtrlHandler(consoleCtrlHandler, TRUE);
        firstChild = false;
    }
    *end = superviseChild(childProcess.get(), job.get(), exitCode);
    *ranMs = GetTickCount() - started;
    // Its run is over and its marker gone with it: what it extracted goes now, before the
    // service reports stopped or starts the next child.
    if (getConfigInt(cfg::includedFileCount) > 0) {
        removeStaleTempDirs();
    }
    return true;
}

} // namespace

bool buildChildCommandLine(wchar_t* line, size_t capacity, const std::wstring& programPath,
                           const std::wstring& serviceNameW, const std::vector<std::wstring>& ownArguments,
                           const std::vector<std::wstring>& startParameters)
{
    if (capacity == 0) {
        return false;
    }
    line[0] = L'\0';
    // The child reads its command line with the same splitter, which knows no escape
    // character: an argument holding both kinds of quote cannot be passed on unchanged.
    auto append = [&](const std::wstring& argument) {
        const wchar_t* quote = commandLineQuote(argument);
        return quote != nullptr && (line[0] == L'\0' || appendTextW(line, capacity, L" ")) &&
               appendTextW(line, capacity, quote) && appendTextW(line, capacity, argument.c_str()) &&
               appendTextW(line, capacity, quote);
    };
    if (!append(programPath) || !append(serviceNameW)) {
        return false;
    }
    for (const std::wstring& argument : ownArguments) {
        if (!append(argument)) return false;
    }
    for (const std::wstring& parameter : startParameters) {
        if (!append(parameter)) return false;
    }
    return append(kChildMarker);
}

void sendShutdown(int code)
{
    logMessage("sending shutdown1 %d", code);
    if (childStdinWrite == nullptr) {
        logMessage("shutdown already sent");
        return;
    }
    char text[16];
    formatText(text, sizeof text, "%d\n", code);
    DWORD length = static_cast<DWORD>(strlen(text));
    DWORD written = 0;
    if (!WriteFile(childStdinWrite, text, length, &written, nullptr)) {
        DWORD error = GetLastError();
        logMessage("sending shutdown failed");
        logMessage("error code %d", static_cast<int>(error));
    }
    // Closed even when the write failed: the end of input tells the child to stop as well.
    CloseHandle(childStdinWrite);
    childStdinWrite = nullptr;
    shutdownSent = true;
    logMessage("shutdown sent");
}

void WINAPI serviceControlHandler(DWORD control)
{
    logMessage("control handler request %d", static_cast<int>(control));
    ServiceLock lock;
    switch (control) {
    case SERVICE_CONTROL_STOP:
        serviceStatusRecord.dwCurrentState = SERVICE_STOP_PENDING;
        reportStatus("SetServiceStatus 2 failed %d");
        requestShutdown();
        break;
    case SERVICE_CONTROL_SHUTDOWN:
        ++serviceStatusRecord.dwCheckPoint;
        serviceStatusRecord.dwCurrentState = SERVICE_STOP_PENDING;
        reportStatus("SetServiceStatus 1 failed %d");
        requestShutdown();
        break;
    default:
        reportStatus("SetServiceStatus 3 failed %d");
        break;
    }
}

DWORD WINAPI drainChildOutput(LPVOID outputRead)
{
    UniqueHandleNull pipe(static_cast<HANDLE>(outputRead));
    logMessage("consuming output");
    char block[kDrainBlockSize];
    DWORD read = 0;
    while (ReadFile(pipe.get(), block, sizeof block, &read, nullptr) && read > 0) {
    }
    logMessage("consuming output done");
    return 0;
}

BOOL WINAPI consoleCtrlHandler(DWORD)
{
    logMessage("ConsoleCtrlHandler event");
    return TRUE;
}

void WINAPI serviceMain(DWORD argc, LPSTR* argv)
{
    logMessage("service main");
    initialiseStatus();
    takeStartedName(argc, argv);
    plan = readSupervisionPlan();
    if (plan.stopTimeoutMs != 0) {
        ServiceLock lock;
        serviceStatusRecord.dwWaitHint = plan.stopTimeoutMs + kStopMarginMs;
    }
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    statusHandle = RegisterServiceCtrlHandlerA(serviceName, serviceControlHandler);
    if (statusHandle == nullptr) {
        return;
    }
    {
        ServiceLock lock;
        reportStatus(nullptr);
    }

    RestartPolicy restarts(plan);
    for (;;) {
        ChildEnd end = ChildEnd::byItself;
        DWORD exitCode = 0;
        DWORD ranMs = 0;
        if (!runChild(argc, argv, &end, &exitCode, &ranMs)) {
            reportChildNotStarted();
            return;
        }
        if (end == ChildEnd::atDeadline) {
            reportEndedAtDeadline();
            break;
        }
        if (end == ChildEnd::byItself && exitCode != 0) {
            logMessage("the application ended by itself with exit code %d", static_cast<int>(exitCode));
            reportServiceEvent(ServiceEvent::applicationEnded, std::to_string(exitCode).c_str());
        }
        const RestartDecision decision =
            end == ChildEnd::byItself ? restarts.decide(exitCode, ranMs) : RestartDecision{};
        if (decision.action == RestartDecision::giveUp) {
            logMessage("giving up after %d restarts within %d seconds", decision.attempt,
                       static_cast<int>(plan.restartResetMs / 1000));
            reportServiceEvent(ServiceEvent::restartLimitReached, std::to_string(decision.attempt).c_str(),
                               std::to_string(plan.restartResetMs / 1000).c_str());
        }
        if (decision.action != RestartDecision::restart) {
            reportChildEnded(exitCode);
            break;
        }
        logMessage("restarting the application in %d ms (restart %d)", static_cast<int>(decision.delayMs),
                   decision.attempt);
        reportServiceEvent(ServiceEvent::restarting, std::to_string(decision.attempt).c_str(),
                           std::to_string(decision.delayMs / 1000).c_str());
        closeEndedChildInput();
        if (!waitBeforeRestart(decision.delayMs)) {
            logMessage("stop requested while waiting to restart");
            reportStoppedWithoutChild();
            break;
        }
    }
    logMessage("exiting");
    exit(0);
}
