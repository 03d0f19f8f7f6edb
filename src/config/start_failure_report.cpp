// The service child's report of a start failure, down the pipe its service process named.
#include "config/start_failure_report.h"

#include "platform/diagnostic_log.h"
#include "platform/text_conversion.h"

#include <cstdint>
#include <cwchar>

namespace {

// The pipe's write end; null when this process reports nothing.
HANDLE reportPipe = nullptr;
// What may still go down the pipe.
size_t reportLeft = kStartFailureReportCapacity;

} // namespace

std::wstring startFailureReportArgument(HANDLE handle)
{
    return kStartFailureReportPrefix + std::to_wstring(reinterpret_cast<uintptr_t>(handle));
}

HANDLE parseStartFailureReportArgument(const std::wstring& argument)
{
    const size_t prefixLength = std::wcslen(kStartFailureReportPrefix);
    if (argument.compare(0, prefixLength, kStartFailureReportPrefix) != 0 || argument.size() == prefixLength) {
        return nullptr;
    }
    // Handles of a process are small numbers; anything near the top of the range is no
    // handle this process was given.
    constexpr uintptr_t kLargest = UINTPTR_MAX / 10 - 10;
    uintptr_t value = 0;
    for (size_t i = prefixLength; i < argument.size(); ++i) {
        const wchar_t c = argument[i];
        if (c < L'0' || c > L'9' || value > kLargest) {
            return nullptr;
        }
        value = value * 10 + static_cast<uintptr_t>(c - L'0');
    }
    return reinterpret_cast<HANDLE>(value);
}

bool openStartFailureReport(HANDLE handle)
{
    if (handle == nullptr || GetFileType(handle) != FILE_TYPE_PIPE) {
        logMessage("start failure report %p is no pipe; start failures are not reported", handle);
        return false;
    }
    if (!SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0)) {
        logMessage("start failure report stays inheritable (%d)", static_cast<int>(GetLastError()));
    }
    reportPipe = handle;
    logMessage("start failures are reported to the service process");
    return true;
}

bool startFailureReportOpen()
{
    return reportPipe != nullptr;
}

void reportStartFailure(const std::wstring& text)
{
    if (reportPipe == nullptr) {
        return;
    }
    const DWORD savedError = GetLastError();
    std::string line = toNarrow(text, CP_UTF8) + "\n";
    // A cut line is still a start failure: the service process shows what arrived.
    if (line.size() > reportLeft) {
        size_t cut = reportLeft;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;  // not inside a character
        }
        line.resize(cut);
    }
    DWORD written = 0;
    if (!line.empty() && !WriteFile(reportPipe, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
        logMessage("start failure not reported to the service process (%d)", static_cast<int>(GetLastError()));
    }
    reportLeft -= written;
    SetLastError(savedError);
}
