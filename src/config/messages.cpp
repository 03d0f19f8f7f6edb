// Error display and fatal exit.
#include "config/messages.h"

#include "config/config_loader.h"
#include "config/config_store.h"
#include "config/included_files.h"
#include "config/stale_temp_dirs.h"
#include "config/start_failure_report.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/text_conversion.h"
#include "platform/text_format.h"
#include "platform/user_interface.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A composed message with its argument holds at most this many bytes while it is built.
constexpr size_t kComposedCapacity = 12000;

std::wstring logPathForDisplay()
{
    const wchar_t* path = logFilePath();
    if (path == nullptr) {
        return std::wstring();
    }
    wchar_t longForm[kTextCapacity];
    DWORD n = GetLongPathNameW(path, longForm, kTextCapacity);
    if (n == 0 || n >= static_cast<DWORD>(kTextCapacity)) {
        return path;
    }
    return longForm;
}

// A message box needs a desktop that someone can see. A service runs on a window station
// that is not visible, where a box would wait for a click that never comes; its text goes
// to standard error instead.
bool windowStationVisible()
{
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    if (!desktop::getUserObjectInformationW(desktop::getProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags,
                                            &needed)) {
        return true;
    }
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

} // namespace

namespace {

template <typename Char>
std::basic_string<Char> substitute(const std::basic_string<Char>& message, const Char* argument)
{
    const Char placeholder[] = {Char('{'), Char('0'), Char('}'), Char('\0')};
    size_t at = message.find(placeholder);
    if (argument == nullptr || at == std::basic_string<Char>::npos) {
        return message;
    }
    std::basic_string<Char> result = message.substr(0, at) + argument + message.substr(at + 3);
    if (result.size() >= kComposedCapacity) {
        result.resize(kComposedCapacity - 1);
    }
    return result;
}

} // namespace

std::string substituteArgument(const std::string& message, const char* argument)
{
    return substitute(message, argument);
}

std::wstring substituteArgumentW(const std::wstring& message, const wchar_t* argument)
{
    return substitute(message, argument);
}

void showError(const char* text)
{
    // In the service's child, every error shown is one that keeps the application from
    // starting: its service process hears of it, and the log keeps it.
    logMessage("error shown: %s", text);
    reportStartFailure(widenBytes(text));
    // Message, log path and caption are only shown: a cut one is shown cut.
    char shown[kTextCapacity];
    std::wstring logPath = logPathForDisplay();
    if (!logPath.empty()) {
        showCut(formatText(shown, sizeof shown, "%s\n\nLog: %S", text, logPath.c_str()));
    } else {
        showCut(copyText(shown, sizeof shown, text));
    }
    if (useMessageBoxes && windowStationVisible()) {
        char caption[kTextCapacity];
        showCut(getConfigString(cfg::msgCaption, caption, sizeof caption));
        // A box that cannot be shown (no desktop) must not swallow the message.
        if (desktop::messageBoxA(nullptr, shown, caption, MB_OK | MB_ICONERROR) > 0) {
            return;
        }
    }
    fprintf(stderr, "%s\n", shown);
    fflush(stderr);
}

void showErrorW(const wchar_t* text)
{
    logMessage("error shown: %S", text);
    reportStartFailure(text);
    // Message, log path and caption are only shown: a cut one is shown cut.
    wchar_t shown[kTextCapacity];
    std::wstring logPath = logPathForDisplay();
    if (!logPath.empty()) {
        showCut(formatTextW(shown, kTextCapacity, L"%s\n\nLog: %s", text, logPath.c_str()));
    } else {
        showCut(copyTextW(shown, kTextCapacity, text));
    }
    if (useMessageBoxes && windowStationVisible()) {
        wchar_t caption[kTextCapacity];
        showCut(getConfigWString(cfg::msgCaption, caption, kTextCapacity));
        if (desktop::messageBoxW(nullptr, shown, caption, MB_OK | MB_ICONERROR) > 0) {
            return;
        }
    }
    std::string narrow = narrowForDisplay(shown);
    fprintf(stderr, "%s\n", narrow.c_str());
    fflush(stderr);
}

void showConfigMessage(int id, const char* argument)
{
    char message[kTextCapacity];
    showCut(getConfigString(id, message, sizeof message));  // only shown
    showError(substituteArgument(message, argument).c_str());
}

void showConfigMessageW(int id, const wchar_t* argument)
{
    wchar_t message[kTextCapacity];
    showCut(getConfigWString(id, message, kTextCapacity));  // only shown
    showErrorW(substituteArgumentW(message, argument).c_str());
}

void removeLauncherTempDir()
{
    // Never through a link: one that the application put there may lead anywhere.
    if (launcherTempDir[0] != '\0' && !removeTempDirTree(launcherTempDir)) {
        logMessage("the temporary directory %s stays; a later start removes it", launcherTempDir);
    }
}

void exitLauncher(int exitCode)
{
    removeLauncherTempDir();
    fflush(stdout);
    fflush(stderr);
    // At once: exit handlers of the C library do not run, other threads are not waited for.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
    ExitProcess(static_cast<UINT>(exitCode));
}

void fatalError(const char* text)
{
    showError(text);
    exitLauncher(1);
}

void fatalConfigError(int id, const char* argument)
{
    showConfigMessage(id, argument);
    exitLauncher(1);
}

void fatalConfigErrorW(int id, const wchar_t* argument)
{
    showConfigMessageW(id, argument);
    exitLauncher(1);
}
