// The service child's signals to its service process: that its VM is alive, and the
// answer to a request for a thread dump. The service process gives its child three
// events of its own, named by the argument "__dpk_signals:<alive>,<request>,<done>"
// (decimal handles, after the start failure report's argument): the child sets <alive>
// at a steady interval while its VM runs Java code, waits on <request> for a dump and sets
// <done> once it is written. An <alive> of 0 means the service process does not watch.
// The runtime library reaches the events through natives the launch registers
// (jvm/launch/service_signal_natives.h).
#pragma once

#include <windows.h>

#include <string>

constexpr wchar_t kServiceSignalsPrefix[] = L"__dpk_signals:";

struct ServiceSignalHandles {
    HANDLE alive = nullptr;        // null: not watched
    HANDLE dumpRequest = nullptr;
    HANDLE dumpDone = nullptr;
};

// The argument that names the handles for the child.
std::wstring serviceSignalsArgument(const ServiceSignalHandles& handles);

// The handles an argument names; false for any other argument (another prefix, not three
// numbers, a number too large for a handle, a null request or done).
bool parseServiceSignalsArgument(const std::wstring& argument, ServiceSignalHandles* handles);

// Takes the handles as this process's signals once each has been checked to be an
// object that can be waited for; they are made non-inheritable at once, so that no
// process the application starts holds them. False, logged, when one is not (the child
// was not started by a service process: nothing is signalled then).
bool openServiceSignals(const ServiceSignalHandles& handles);

// The handles taken; all null when none were.
const ServiceSignalHandles& serviceSignals();
