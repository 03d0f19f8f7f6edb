// The state the control handler and the supervising loop share, under its one lock.
#include "service/shared_state.h"

#include "platform/diagnostic_log.h"

#include <cstring>
#include <type_traits>

// The service process's instance outlives every thread that may still use it.
static_assert(std::is_trivially_destructible<SharedServiceState>::value, "no destructor may run at exit");

class SharedServiceState::Exclusive {
public:
    explicit Exclusive(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~Exclusive() { ReleaseSRWLockExclusive(&lock_); }
    Exclusive(const Exclusive&) = delete;
    Exclusive& operator=(const Exclusive&) = delete;

private:
    SRWLOCK& lock_;
};

namespace {

class Shared {
public:
    explicit Shared(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockShared(&lock_); }
    ~Shared() { ReleaseSRWLockShared(&lock_); }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

private:
    SRWLOCK& lock_;
};

} // namespace

// The one way a change reaches the service manager: applied under the lock and reported
// while still holding it, so that reports go out in the order of the changes. `change`
// returns false when there is nothing to report. Nothing changes once stopped has been
// reported. True when the change was made.
template <typename Change>
bool SharedServiceState::update(Change change)
{
    Exclusive hold(lock_);
    if (status_.dwCurrentState == SERVICE_STOPPED || !change()) {
        return false;
    }
    report();
    return true;
}

// Called with the lock held. Before open there is no handle yet: open reports the status.
void SharedServiceState::report()
{
    if (handle_ == nullptr) {
        return;
    }
    const StatusReporter reporter = reporter_ != nullptr ? reporter_ : SetServiceStatus;
    if (!reporter(handle_, &status_)) {
        logMessage("SetServiceStatus failed %d (state %d, checkpoint %d)", static_cast<int>(GetLastError()),
                   static_cast<int>(status_.dwCurrentState), static_cast<int>(status_.dwCheckPoint));
    }
}

bool SharedServiceState::prepare(DWORD waitHintMs, bool preshutdown)
{
    Exclusive hold(lock_);
    status_.dwServiceType = SERVICE_WIN32;
    status_.dwWin32ExitCode = 0;
    status_.dwServiceSpecificExitCode = 0;
    status_.dwCheckPoint = 0;
    status_.dwWaitHint = waitHintMs;
    stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stopEvent_ == nullptr) {
        logMessage("could not create the stop event (%d); the service cannot supervise a child",
                   static_cast<int>(GetLastError()));
        status_.dwCurrentState = SERVICE_START_PENDING;
        status_.dwControlsAccepted = 0;
        return false;
    }
    status_.dwCurrentState = SERVICE_RUNNING;
    // A service that accepts the pre-shutdown notification is stopped by it and never sees
    // the shutdown one, which leaves only the system's short wait for all services.
    status_.dwControlsAccepted =
        SERVICE_ACCEPT_STOP | (preshutdown ? SERVICE_ACCEPT_PRESHUTDOWN : SERVICE_ACCEPT_SHUTDOWN);
    return true;
}

void SharedServiceState::open(SERVICE_STATUS_HANDLE handle, StatusReporter reporter)
{
    {
        Exclusive hold(lock_);
        handle_ = handle;
        reporter_ = reporter;
    }
    update([] { return true; });
}

void SharedServiceState::control(DWORD control)
{
    update([&] {
        const bool shutdown = control == SERVICE_CONTROL_SHUTDOWN || control == SERVICE_CONTROL_PRESHUTDOWN;
        if (shutdown) {
            ++status_.dwCheckPoint;
        }
        if (control == SERVICE_CONTROL_STOP || shutdown) {
            status_.dwCurrentState = SERVICE_STOP_PENDING;
            requestStop();
        }
        return true;
    });
}

// Called with the lock held.
void SharedServiceState::requestStop()
{
    stopRequested_ = true;
    if (stopEvent_ != nullptr && !SetEvent(stopEvent_)) {
        logMessage("could not set the stop event (%d)", static_cast<int>(GetLastError()));
    }
    if (childInput_ != nullptr) {
        sendStopLine();
    } else if (stopLineSent_) {
        logMessage("shutdown already sent");
    } else {
        logMessage("shutdown kept until the child runs");
    }
}

// Called with the lock held and the child's input open. The input is closed even when the
// write failed: its end tells the child to stop as well.
void SharedServiceState::sendStopLine()
{
    logMessage("sending shutdown1 %d", 0);
    static const char line[] = "0\n";
    DWORD written = 0;
    if (!WriteFile(childInput_, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr)) {
        DWORD error = GetLastError();
        logMessage("sending shutdown failed");
        logMessage("error code %d", static_cast<int>(error));
    }
    CloseHandle(childInput_);
    childInput_ = nullptr;
    stopLineSent_ = true;
    logMessage("shutdown sent");
}

void SharedServiceState::childRunning(HANDLE input)
{
    const bool taken = update([&] {
        childInput_ = input;
        if (stopRequested_) {
            logMessage("delivering the shutdown requested before the child ran");
            sendStopLine();
        } else {
            status_.dwCurrentState = SERVICE_RUNNING;
        }
        return true;
    });
    if (!taken && input != nullptr) {
        CloseHandle(input);  // stopped already: no child is told anything any more
    }
}

void SharedServiceState::childEnded()
{
    Exclusive hold(lock_);
    if (childInput_ != nullptr) {
        CloseHandle(childInput_);
        childInput_ = nullptr;
    }
}

void SharedServiceState::reportStopProgress(DWORD waitHintMs)
{
    update([&] {
        status_.dwCurrentState = SERVICE_STOP_PENDING;
        ++status_.dwCheckPoint;
        status_.dwWaitHint = waitHintMs;
        return true;
    });
}

namespace {

void setStopped(SERVICE_STATUS& status, DWORD serviceSpecificCode, ServiceEvent event, const char* insert = nullptr)
{
    logMessage("service stopped set");
    reportServiceEvent(event, insert);
    status.dwCurrentState = SERVICE_STOPPED;
    if (serviceSpecificCode != 0) {
        status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        status.dwServiceSpecificExitCode = serviceSpecificCode;
    }
}

} // namespace

void SharedServiceState::reportStopped(DWORD serviceSpecificCode, ServiceEvent event, const char* insert)
{
    update([&] {
        setStopped(status_, serviceSpecificCode, event, insert);
        return true;
    });
}

bool SharedServiceState::reportStoppedAfterChild(DWORD exitCode)
{
    return update([&] {
        if (exitCode != 0 && !stopRequested_) {
            return false;
        }
        setStopped(status_, 0, ServiceEvent::stopped);
        return true;
    });
}

bool SharedServiceState::stopRequested()
{
    Shared hold(lock_);
    return stopRequested_;
}

HANDLE SharedServiceState::stopEvent()
{
    Shared hold(lock_);
    return stopEvent_;
}
