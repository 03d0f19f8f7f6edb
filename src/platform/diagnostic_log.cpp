// Diagnostic log. One critical section guards each line from the opening of the file
// to its closing, so lines of different threads never interleave; different processes
// write different files, so no lock spans processes.
#include "platform/diagnostic_log.h"

#include "platform/text_conversion.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

constexpr DWORD kEnvCapacity = 6000;

struct LogState {
    CRITICAL_SECTION lock;
    bool initialised = false;
    bool enabled = false;
    std::wstring path;
    LogState() { InitializeCriticalSection(&lock); }
};

// Created by the first call, which happens on the main thread while the configuration
// is read, before any other thread exists; never destroyed, so that threads still
// logging while the process ends find it intact.
LogState& logState()
{
    static LogState* state = new LogState();
    return *state;
}

bool variableIsYes(const char* name)
{
    char value[kEnvCapacity];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value && std::string(value) == "yes";
}

bool directoryExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The directory of the log file: TMP if it names an existing directory, else "c:\",
// else the root of the current drive, else the current directory.
std::wstring logDirectory()
{
    wchar_t value[kEnvCapacity];
    DWORD n = GetEnvironmentVariableW(L"TMP", value, kEnvCapacity);
    if (n > 0 && n < kEnvCapacity && directoryExists(value)) {
        return value;
    }
    if (directoryExists(L"c:\\")) {
        return L"c:\\";
    }
    wchar_t current[MAX_PATH];
    n = GetCurrentDirectoryW(MAX_PATH, current);
    if (n >= 3 && n < MAX_PATH && current[1] == L':') {
        return std::wstring(current, 3);
    }
    return L".";
}

HANDLE openForAppending(const std::wstring& path)
{
    return CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Writes narrow text, turning each line end into CR LF as a text-mode stream does.
void writeText(HANDLE file, const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    DWORD written = 0;
    WriteFile(file, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
}

// Claims the first free "dpk_nlog_N" (N from 2) in the directory. CREATE_NEW makes the
// claim atomic, so two processes starting together never share a file.
HANDLE createUniqueLogFile(const std::wstring& directory, std::wstring& path)
{
    std::wstring base = directory;
    if (!base.empty() && base.back() != L'\\' && base.back() != L'/') {
        base += L'\\';
    }
    base += L"dpk_nlog_";
    for (unsigned number = 2; number < 100000; ++number) {
        std::wstring candidate = base + std::to_wstring(number);
        HANDLE file = CreateFileW(candidate.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            path = candidate;
            return file;
        }
        DWORD error = GetLastError();
        bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                     (error == ERROR_ACCESS_DENIED && GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES);
        if (!taken) {
            break;  // the directory is not writable: no number will do
        }
    }
    return INVALID_HANDLE_VALUE;
}

// Runs once per process, under the lock.
void decideLogging(LogState& state)
{
    state.initialised = true;
    if (!variableIsYes("QUILL_LOG") && !variableIsYes("DEPLOYKIT_LOG")) {
        return;
    }
    state.enabled = true;
    HANDLE file = createUniqueLogFile(logDirectory(), state.path);
    if (file == INVALID_HANDLE_VALUE) {
        state.path = L"c:\\dpk_nlog";
        file = CreateFileW(state.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return;  // no header; every later line tries to open the file again
        }
    }
    wchar_t module[kTextCapacity];
    DWORD n = GetModuleFileNameW(nullptr, module, kTextCapacity);
    if (n >= static_cast<DWORD>(kTextCapacity)) {
        n = kTextCapacity - 1;
    }
    module[n] = L'\0';
    time_t now = time(nullptr);
    const char* timeText = ctime(&now);  // ends with its own line end: the second line stays empty
    std::string header = "Started executable " + narrowForDisplay(module) + " at " +
                         (timeText != nullptr ? timeText : "\n") + "\n";
    writeText(file, header);
    FlushFileBuffers(file);
    CloseHandle(file);
}

void writeLine(const char* prefix, const char* format, va_list args)
{
    DWORD savedError = GetLastError();
    LogState& state = logState();
    EnterCriticalSection(&state.lock);
    if (!state.initialised) {
        decideLogging(state);
    }
    if (state.enabled) {
        HANDLE file = openForAppending(state.path);
        if (file != INVALID_HANDLE_VALUE) {
            SetFilePointer(file, 0, nullptr, FILE_END);
            writeText(file, prefix + formatStringV(format, args) + "\n");
            CloseHandle(file);
        }
    }
    LeaveCriticalSection(&state.lock);
    SetLastError(savedError);
}

} // namespace

void logMessage(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    writeLine("", format, args);
    va_end(args);
}

void logError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    writeLine("ERROR: ", format, args);
    va_end(args);
}

const wchar_t* logFilePath()
{
    DWORD savedError = GetLastError();
    LogState& state = logState();
    EnterCriticalSection(&state.lock);
    if (!state.initialised) {
        decideLogging(state);
    }
    const wchar_t* path = state.enabled ? state.path.c_str() : nullptr;
    LeaveCriticalSection(&state.lock);
    SetLastError(savedError);
    return path;
}
