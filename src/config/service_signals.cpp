// The service child's signals, through the events its service process named.
#include "config/service_signals.h"

#include "platform/diagnostic_log.h"

#include <cstdint>
#include <cwchar>

namespace {

ServiceSignalHandles taken;

std::wstring number(HANDLE handle)
{
    return std::to_wstring(reinterpret_cast<uintptr_t>(handle));
}

// One decimal number from `text` at `at` up to `end`; false for none or one too large.
bool parseHandle(const std::wstring& text, size_t at, size_t end, HANDLE* handle)
{
    // Handles of a process are small numbers; anything near the top of the range is no
    // handle this process was given.
    constexpr uintptr_t kLargest = UINTPTR_MAX / 10 - 10;
    if (at >= end) {
        return false;
    }
    uintptr_t value = 0;
    for (size_t i = at; i < end; ++i) {
        const wchar_t c = text[i];
        if (c < L'0' || c > L'9' || value > kLargest) {
            return false;
        }
        value = value * 10 + static_cast<uintptr_t>(c - L'0');
    }
    *handle = reinterpret_cast<HANDLE>(value);
    return true;
}

// An event of the service process, as this process was given it; false when the handle
// is none this process can wait for.
bool usable(HANDLE handle)
{
    DWORD flags = 0;
    return handle != nullptr && GetHandleInformation(handle, &flags) &&
           WaitForSingleObject(handle, 0) != WAIT_FAILED;
}

} // namespace

std::wstring serviceSignalsArgument(const ServiceSignalHandles& handles)
{
    return kServiceSignalsPrefix + number(handles.alive) + L"," + number(handles.dumpRequest) + L"," +
           number(handles.dumpDone);
}

bool parseServiceSignalsArgument(const std::wstring& argument, ServiceSignalHandles* handles)
{
    const size_t prefixLength = std::wcslen(kServiceSignalsPrefix);
    if (argument.compare(0, prefixLength, kServiceSignalsPrefix) != 0) {
        return false;
    }
    const size_t first = argument.find(L',', prefixLength);
    const size_t second = first == std::wstring::npos ? first : argument.find(L',', first + 1);
    ServiceSignalHandles parsed;
    if (second == std::wstring::npos || !parseHandle(argument, prefixLength, first, &parsed.alive) ||
        !parseHandle(argument, first + 1, second, &parsed.dumpRequest) ||
        !parseHandle(argument, second + 1, argument.size(), &parsed.dumpDone) || parsed.dumpRequest == nullptr ||
        parsed.dumpDone == nullptr) {
        return false;
    }
    *handles = parsed;
    return true;
}

bool openServiceSignals(const ServiceSignalHandles& handles)
{
    // A wait without time on <alive> and <done>, which only this process sets, changes
    // nothing; <request>, which the service process sets, is only checked to be a handle,
    // as a wait could take a request away.
    if ((handles.alive != nullptr && !usable(handles.alive)) || !usable(handles.dumpDone)) {
        logMessage("the service process's signals are no events; nothing is signalled");
        return false;
    }
    DWORD flags = 0;
    if (!GetHandleInformation(handles.dumpRequest, &flags)) {
        logMessage("the service process's dump request is no handle; nothing is signalled");
        return false;
    }
    for (HANDLE handle : {handles.alive, handles.dumpRequest, handles.dumpDone}) {
        if (handle != nullptr && !SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0)) {
            logMessage("a service signal stays inheritable (%d)", static_cast<int>(GetLastError()));
        }
    }
    taken = handles;
    logMessage("signals to the service process: %s", handles.alive != nullptr ? "alive and dumps" : "dumps");
    return true;
}

const ServiceSignalHandles& serviceSignals()
{
    return taken;
}
