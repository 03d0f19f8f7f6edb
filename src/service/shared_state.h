// What the control handler (on the dispatcher's thread) and the supervising loop (on the
// thread of serviceMain) share: the status last given to the service manager, the stop
// request, and the child's standard input, down which a stop goes as the line "0\n".
//
// One lock guards all of it. The members are private and every function takes the lock,
// so nothing reaches them without it: a stop request that comes before the child runs
// must neither be lost nor be overwritten by the "running" report that follows the
// child's creation, and a second request must not touch the closed pipe, so the state,
// the request and the pipe change together. Every report goes the same way: the change
// and SetServiceStatus under the lock, a failure logged. Stopped is final: once it has
// been reported, nothing changes or is reported again.
//
// The type is constant-initialised and has no destructor: the service process's one
// instance must outlive any control the dispatcher may still deliver while the process
// ends on another thread.
#pragma once

#include "service/event_log.h"

#include <windows.h>

class SharedServiceState {
public:
    // SetServiceStatus, unless a test gives its own.
    using StatusReporter = BOOL(WINAPI*)(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS);

    // Before the control handler is registered: the stop event, and the status running,
    // accepting stop and shutdown (with `preshutdown`, the pre-shutdown notification in
    // place of the shutdown one), with `waitHintMs` for any stop pending. False, logged,
    // when the event cannot be made: the status then stays start pending, for a stopped
    // report to follow.
    bool prepare(DWORD waitHintMs, bool preshutdown = false);
    // The registered control handler's status handle; the current status goes out.
    void open(SERVICE_STATUS_HANDLE handle, StatusReporter reporter = nullptr);

    // A control from the service manager. Stop, shutdown and pre-shutdown (the two last
    // also move the checkpoint on) report stop pending, set the stop event and send the
    // line to the child, or keep it until a child runs; any other control reports the
    // status again.
    void control(DWORD control);

    // The child runs, with `input` as its standard input, owned from here on. Running is
    // reported, unless a stop came meanwhile: the line then goes to the child at once and
    // the service stays stop pending.
    void childRunning(HANDLE input);
    // The child has ended: its input goes, so that a stop request before the next child
    // runs is kept for that child.
    void childEnded();

    // Stop pending, with the next checkpoint and this wait hint.
    void reportStopProgress(DWORD waitHintMs);
    // Stopped, with `serviceSpecificCode` (0: none) as a service-specific error. The log
    // line "service stopped set" and the event (with its insert, if any) come before the
    // state: once the service manager has the stopped state, the dispatcher returns and
    // the process may end before this thread writes anything more.
    void reportStopped(DWORD serviceSpecificCode, ServiceEvent event, const char* insert = nullptr);
    // The child ended with `exitCode` and will not be started again: stopped after a clean
    // end or a stop request, and true. A child that failed on its own leaves the status as
    // it is (false): the service manager sees the process end and applies the service's
    // recovery settings.
    bool reportStoppedAfterChild(DWORD exitCode);

    bool stopRequested();
    // Set with the stop request; null when prepare failed.
    HANDLE stopEvent();

private:
    class Exclusive;
    template <typename Change>
    bool update(Change change);
    void report();
    void requestStop();
    void sendStopLine();

    SRWLOCK lock_ = SRWLOCK_INIT;
    SERVICE_STATUS status_{};
    SERVICE_STATUS_HANDLE handle_ = nullptr;
    StatusReporter reporter_ = nullptr;
    HANDLE stopEvent_ = nullptr;
    HANDLE childInput_ = nullptr;  // null until the child runs, and again once closed
    bool stopRequested_ = false;   // a stop or shutdown request arrived
    bool stopLineSent_ = false;    // the line went out and the pipe is closed
};
