// The service process. It does not load Java itself: it starts a second copy of this
// executable as its child (service/child_process.h), with the service name, its own
// arguments, the start parameters and the child marker, reports the service state and
// relays a stop or shutdown request as the line "0\n" on the child's standard input
// (service/shared_state.h). With a hang timeout it ends a child whose VM stopped
// signalling that it is alive, and it serves /dump through its control pipe
// (service/control_pipe.h). When the child ends, the service process ends too, unless the
// restart policy (service/supervision.h) starts the child again.
#include "service/service_main.h"

#include "config/config_store.h"
#include "config/run_settings.h"
#include "config/stale_temp_dirs.h"
#include "format/command_line.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/paths.h"
#include "platform/text_format.h"
#include "service/child_process.h"
#include "service/control_pipe.h"
#include "service/event_log.h"
#include "service/preshutdown.h"
#include "service/service_exit_codes.h"
#include "service/shared_state.h"
#include "service/supervision.h"
#include "service/thread_dump_request.h"

#include <cstdlib>
#include <string>

namespace {

constexpr DWORD kStopWaitHintMs = 50000;
// The status the service reports when its child cannot be started: a service-specific
// error with this code (service_exit_codes.h, which /status explains).
constexpr DWORD kChildNotStartedCode = kServiceCodeNotStarted;
// The service-specific code of a stop that had to end the child at the stop deadline.
constexpr DWORD kChildEndedAtDeadlineCode = kServiceCodeEndedAtDeadline;
// While a stop runs against a deadline, progress is reported this often, and the wait
// hint covers the time left plus this margin for ending the child.
constexpr DWORD kStopProgressMs = 1000;
constexpr DWORD kStopMarginMs = 5000;

// The control handler is given no context, and a control may still arrive while the
// process ends on the service thread: the one shared state lives, constant-initialised
// and without a destructor, for as long as the process.
SharedServiceState serviceState;

// The name the service manager started this service under.
void takeStartedName(DWORD argc, LPWSTR* argv)
{
    // A name that does not fit is never kept cut.
    if (argc < 1 || argv[0] == nullptr || argv[0][0] == L'\0' || !setServiceName(argv[0])) {
        static_cast<void>(setServiceName(L"unknown"));  // a constant that fits
    }
    logMessage("service name is '%s'", serviceName);
}

enum class ChildEnd { byItself, afterStop, atDeadline, hung };

// Waits for the child's end (WAIT_OBJECT_0) or a stop request (WAIT_OBJECT_0 + 1). With a
// hang timeout, the child's alive signal is watched from its first signal on, so that a
// runtime library that never signals (an older one, the deploykit flavour's) is never
// taken for a frozen VM: WAIT_TIMEOUT when no signal came for that long.
DWORD watchChild(const Child& child, const SupervisionPlan& plan)
{
    HANDLE objects[] = {child.process.get(), serviceState.stopEvent(), child.aliveSignal.get()};
    const DWORD count = plan.hangTimeoutMs != 0 && child.aliveSignal ? 3 : 2;
    bool watched = false;
    DWORD lastSignal = 0;
    for (;;) {
        DWORD timeout = INFINITE;
        if (watched) {
            const DWORD since = GetTickCount() - lastSignal;
            timeout = since < plan.hangTimeoutMs ? plan.hangTimeoutMs - since : 0;
        }
        const DWORD woke = WaitForMultipleObjects(count, objects, FALSE, timeout);
        if (woke != WAIT_OBJECT_0 + 2) {
            return woke;
        }
        if (!watched) {
            logMessage("the application's VM signals that it is alive: ended after %d seconds without a signal",
                       static_cast<int>(plan.hangTimeoutMs / 1000));
        }
        watched = true;
        lastSignal = GetTickCount();
    }
}

// How long a VM that stopped signalling has for its thread dump before it is ended.
constexpr DWORD kHangDumpWaitMs = 5000;

// A child whose VM gave no sign of life for the hang timeout: its thread dump, if it still
// answers, then its end with the processes of its job, as at the stop deadline.
ChildEnd endHungChild(const Child& child, const SupervisionPlan& plan, DWORD* exitCode)
{
    const std::string seconds = std::to_string(plan.hangTimeoutMs / 1000);
    logMessage("the application's VM gave no sign of life for %s seconds; ending it", seconds.c_str());
    reportServiceEvent(ServiceEvent::hangEnded, seconds.c_str());
    static_cast<void>(requestThreadDump(kHangDumpWaitMs));
    endChild(child, exitCode);
    // The end counts as a failure, whatever the ended process's code.
    if (*exitCode == 0) *exitCode = 1;
    return serviceState.stopRequested() ? ChildEnd::afterStop : ChildEnd::hung;
}

// Waits for the child to end. Once a stop has been requested (the line is on its way), it
// has until the stop deadline; then it is ended, with the processes of its job. Before
// that, a child whose VM stopped signalling is ended at the hang timeout.
ChildEnd superviseChild(const Child& child, const SupervisionPlan& plan, DWORD* exitCode)
{
    const HANDLE process = child.process.get();
    const bool watching = plan.hangTimeoutMs != 0 && child.aliveSignal;
    const DWORD woke = plan.stopTimeoutMs == 0 && !watching ? WAIT_OBJECT_0 : watchChild(child, plan);
    if (woke == WAIT_FAILED) {
        logMessage("waiting for the child or a stop request failed (%d)", static_cast<int>(GetLastError()));
    }
    if (woke == WAIT_TIMEOUT) {
        return endHungChild(child, plan, exitCode);
    }
    // Only a stop request starts the deadline; a child that cannot even be waited for is
    // ended rather than left running unsupervised.
    if (woke != WAIT_OBJECT_0 + 1 || plan.stopTimeoutMs == 0) {
        if (!waitForChildEnd(process, INFINITE, exitCode)) {
            endChild(child, exitCode);
        }
        return serviceState.stopRequested() ? ChildEnd::afterStop : ChildEnd::byItself;
    }
    const DWORD start = GetTickCount();
    for (DWORD elapsed = 0; elapsed < plan.stopTimeoutMs; elapsed = GetTickCount() - start) {
        const DWORD left = plan.stopTimeoutMs - elapsed;
        if (waitForChildEnd(process, left < kStopProgressMs ? left : kStopProgressMs, exitCode)) {
            return ChildEnd::afterStop;
        }
        const DWORD now = GetTickCount() - start;
        serviceState.reportStopProgress((now < plan.stopTimeoutMs ? plan.stopTimeoutMs - now : 0) + kStopMarginMs);
    }
    logMessage("the application did not end within %d seconds of the stop request; ending it",
               static_cast<int>(plan.stopTimeoutMs / 1000));
    reportServiceEvent(ServiceEvent::stopTimedOut, std::to_string(plan.stopTimeoutMs / 1000).c_str());
    endChild(child, exitCode);
    return ChildEnd::atDeadline;
}

// The child's report without the line end of its last error.
std::string reportedReason(std::string report)
{
    while (!report.empty() && (report.back() == '\n' || report.back() == '\r' || report.back() == ' ')) {
        report.pop_back();
    }
    return report;
}

// Starts the child and waits for its end; false when it could not be started.
// `startFailure`: what its launcher reported as the reason the application could not be
// started, empty when it reported nothing.
bool runChild(const std::wstring& commandLine, const SupervisionPlan& plan, bool firstChild, ChildEnd* end,
              DWORD* exitCode, DWORD* ranMs, std::string* startFailure)
{
    Child child;
    // Without a child, reporting running would leave a service that does nothing and
    // never completes a stop.
    if (!startChild(commandLine, plan.stopTimeoutMs != 0 || plan.hangTimeoutMs != 0, &child,
                    plan.hangTimeoutMs != 0)) {
        return false;
    }
    const DWORD started = GetTickCount();
    offerThreadDumps(child.dumpRequest.get(), child.dumpDone.get());
    serviceState.childRunning(child.input.release());
    if (firstChild) {
        reportServiceEvent(ServiceEvent::started);
        logMessage("registering ConsoleCtrlHandler");
        if (!SetConsoleCtrlHandler(consoleCtrlHandler, TRUE)) {
            logMessage("SetConsoleCtrlHandler failed (%d)", static_cast<int>(GetLastError()));
        }
    }
    *end = superviseChild(child, plan, exitCode);
    withdrawThreadDumps();
    *ranMs = GetTickCount() - started;
    childOutputEnded(child, *exitCode);
    *startFailure = reportedReason(childStartFailure(child));
    // Its run is over and its marker gone with it: what it extracted goes now, before the
    // service reports stopped or starts the next child.
    if (getConfigInt(cfg::includedFileCount) > 0) {
        removeStaleTempDirs();
    }
    return true;
}

enum class RestartWait { elapsed, stopRequested, failed };

// Waits before a restart, unless a stop request comes meanwhile.
RestartWait waitBeforeRestart(DWORD delayMs)
{
    const DWORD waited = WaitForSingleObject(serviceState.stopEvent(), delayMs);
    if (serviceState.stopRequested()) {
        return RestartWait::stopRequested;
    }
    if (waited != WAIT_TIMEOUT) {
        logMessage("waiting to restart the application failed (%d); not restarting", static_cast<int>(GetLastError()));
        return RestartWait::failed;
    }
    return RestartWait::elapsed;
}

} // namespace

void WINAPI serviceControlHandler(DWORD control)
{
    logMessage("control handler request %d", static_cast<int>(control));
    serviceState.control(control);
}

DWORD WINAPI serviceControlHandlerEx(DWORD control, DWORD, LPVOID, LPVOID)
{
    serviceControlHandler(control);
    return NO_ERROR;
}

BOOL WINAPI consoleCtrlHandler(DWORD)
{
    logMessage("ConsoleCtrlHandler event");
    return TRUE;
}

void WINAPI serviceMain(DWORD argc, LPWSTR* argv)
{
    logMessage("service main");
    takeStartedName(argc, argv);
    const SupervisionPlan plan = readSupervisionPlan();
    const DWORD stopWaitHintMs = plan.stopTimeoutMs != 0 ? plan.stopTimeoutMs + kStopMarginMs : kStopWaitHintMs;
    const bool prepared = serviceState.prepare(stopWaitHintMs, configuredShutdown().preshutdown);
    SERVICE_STATUS_HANDLE statusHandle = RegisterServiceCtrlHandlerExW(serviceNameW, serviceControlHandlerEx, nullptr);
    if (statusHandle == nullptr) {
        // Without a status handle no state can be reported, not even stopped; returning
        // would leave the dispatcher waiting for one. The end of the process is what the
        // service manager sees instead.
        logMessage("RegisterServiceCtrlHandler failed (%d); ending the service process",
                   static_cast<int>(GetLastError()));
        exit(1);
    }
    serviceState.open(statusHandle);
    startControlPipe();

    // The child's command line is the same for every start. The child runs this
    // executable, by its own path: the command line's first word is not that path when
    // the service entry holds it unquoted with a blank in it.
    std::wstring commandLine;
    if (!prepared || !makeChildCommandLine(getModulePathW(), serviceNameW,
                                           commandLineArguments(GetCommandLineW(), getModulePathW()), argc, argv,
                                           &commandLine)) {
        serviceState.reportStopped(kChildNotStartedCode, ServiceEvent::startFailed);
        return;
    }

    RestartPolicy restarts(plan);
    for (bool firstChild = true;; firstChild = false) {
        ChildEnd end = ChildEnd::byItself;
        DWORD exitCode = 0;
        DWORD ranMs = 0;
        std::string startFailure;
        if (!runChild(commandLine, plan, firstChild, &end, &exitCode, &ranMs, &startFailure)) {
            serviceState.reportStopped(kChildNotStartedCode, ServiceEvent::startFailed);
            return;
        }
        if (end == ChildEnd::atDeadline) {
            serviceState.reportStopped(kChildEndedAtDeadlineCode, ServiceEvent::stopped);
            break;
        }
        // The launcher in the child could not start the application, and said why: a
        // missing file, no suitable Java, a setting it refused. Starting it again would
        // fail the same way; the service stops with the reason, and the service manager's
        // own recovery, if any, decides what comes next.
        if (exitCode != 0 && !startFailure.empty()) {
            logMessage("the application could not be started: %s", startFailure.c_str());
            serviceState.reportStopped(kChildNotStartedCode, ServiceEvent::startRefused, startFailure.c_str());
            break;
        }
        if (end == ChildEnd::byItself && exitCode != 0) {
            logMessage("the application ended by itself with exit code %d", static_cast<int>(exitCode));
            reportServiceEvent(ServiceEvent::applicationEnded, std::to_string(exitCode).c_str());
        }
        // A child ended at the hang timeout was reported then; the policy takes its end
        // for a failure.
        const RestartDecision decision = end == ChildEnd::byItself || end == ChildEnd::hung
                                             ? restarts.decide(exitCode, ranMs)
                                             : RestartDecision{};
        if (decision.action == RestartDecision::giveUp) {
            logMessage("giving up after %d restarts within %d seconds", decision.attempt,
                       static_cast<int>(plan.restartResetMs / 1000));
            reportServiceEvent(ServiceEvent::restartLimitReached, std::to_string(decision.attempt).c_str(),
                               std::to_string(plan.restartResetMs / 1000).c_str());
        }
        if (decision.action != RestartDecision::restart) {
            serviceState.reportStoppedAfterChild(exitCode);
            break;
        }
        logMessage("restarting the application in %d ms (restart %d)", static_cast<int>(decision.delayMs),
                   decision.attempt);
        reportServiceEvent(ServiceEvent::restarting, std::to_string(decision.attempt).c_str(),
                           std::to_string(decision.delayMs / 1000).c_str());
        serviceState.childEnded();
        const RestartWait wait = waitBeforeRestart(decision.delayMs);
        if (wait == RestartWait::stopRequested) {
            logMessage("stop requested while waiting to restart");
            serviceState.reportStopped(0, ServiceEvent::stopped);
            break;
        }
        if (wait == RestartWait::failed) {
            serviceState.reportStoppedAfterChild(exitCode);  // as without restarts
            break;
        }
    }
    logMessage("exiting");
    exit(0);
}
