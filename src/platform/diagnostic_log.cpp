// Diagnostic log. One critical section guards each line, so lines of different threads
// never interleave; different processes write different files, so no lock spans
// processes.
#include "platform/diagnostic_log.h"

#include "platform/private_security.h"
#include "platform/text_conversion.h"

#include <windows.h>
#include <sddl.h>

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
    // Kept for the life of the process: the name is never opened again, so nobody can
    // put another file under it for the next line.
    HANDLE file = INVALID_HANDLE_VALUE;
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

// The directory of the log file: TMP, else TEMP, if it names an existing directory; none
// otherwise. Never a drive root or the working directory, where a new file would give
// every user access.
std::wstring logDirectory()
{
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
        wchar_t value[kEnvCapacity];
        DWORD n = GetEnvironmentVariableW(name, value, kEnvCapacity);
        if (n > 0 && n < kEnvCapacity && directoryExists(value)) {
            return value;
        }
    }
    return std::wstring();
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

// Claims the first free "dpk_nlog_N" (N from 2) in the directory, private to this
// account. CREATE_NEW makes the claim atomic, so two processes starting together never
// share a file, and a file somebody made before under a name is never written to.
HANDLE createUniqueLogFile(const std::wstring& directory, std::wstring& path)
{
    // Built here rather than through PrivateSecurity, whose failure would be logged.
    const std::wstring text = privateSecurityText(PrivateKind::file);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (text.empty() ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return INVALID_HANDLE_VALUE;
    }
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    std::wstring base = directory;
    if (!base.empty() && base.back() != L'\\' && base.back() != L'/') {
        base += L'\\';
    }
    base += L"dpk_nlog_";
    HANDLE made = INVALID_HANDLE_VALUE;
    for (unsigned number = 2; number < 100000; ++number) {
        std::wstring candidate = base + std::to_wstring(number);
        HANDLE file = CreateFileW(candidate.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ, &security,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            path = candidate;
            made = file;
            break;
        }
        DWORD error = GetLastError();
        bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                     (error == ERROR_ACCESS_DENIED && GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES);
        if (!taken) {
            break;  // the directory is not writable: no number will do
        }
    }
    LocalFree(descriptor);
    return made;
}

// Runs once per process, under the lock.
void decideLogging(LogState& state)
{
    state.initialised = true;
    if (!variableIsYes("QUILL_LOG") && !variableIsYes("DEPLOYKIT_LOG")) {
        return;
    }
    const std::wstring directory = logDirectory();
    HANDLE file = directory.empty() ? INVALID_HANDLE_VALUE : createUniqueLogFile(directory, state.path);
    if (file == INVALID_HANDLE_VALUE) {
        state.path.clear();
        return;  // no log: better than one that other users may read or change
    }
    state.enabled = true;
    state.file = file;
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
        // Written through at once: a line is in the file even if the process dies next.
        writeText(state.file, prefix + formatStringV(format, args) + "\n");
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

void logTooLong(const char* what)
{
    logMessage("%s too long; not used", what);
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
