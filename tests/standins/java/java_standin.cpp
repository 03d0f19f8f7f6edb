// Test double of a Java runtime's java.exe and javaw.exe (built under both names). It
// runs no Java: it answers "-version" the way the test configured it and records that
// it was started, so that tests can see whether the launcher ran it.
//
// Configuration: "<own path>.cfg" (for example java.exe.cfg beside java.exe), lines of
// key=value, LF or CR LF ends, unknown keys ignored, every key optional:
//   version_line=java version "1.8.0_66"   first line written for -version (this default)
//   line_before=<text>                     written before the version line when present
//   exit_code=<n>                          exit code of every start (default 0)
//   sleep_ms=<n>                           milliseconds to wait before exiting (default 0)
//   crash=before|after                     dies of an access violation before writing
//                                          anything, or after the version text
//   record_stderr_security=1               appends the access list (SDDL) of the file
//                                          behind standard error, or "unreadable", and
//                                          an LF to "<own path>.security"
// Record: every start appends its command line and an LF to "<own path>.starts".
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdlib>
#include <string>

namespace {

struct Settings {
    std::string versionLine = "java version \"1.8.0_66\"";
    std::string lineBefore;
    bool hasLineBefore = false;
    int exitCode = 0;
    DWORD sleepMs = 0;
    std::string crash;
    bool recordStderrSecurity = false;
};

std::wstring ownPath()
{
    wchar_t path[32768];
    DWORD n = GetModuleFileNameW(nullptr, path, 32768);
    return std::wstring(path, n < 32768 ? n : 0);
}

std::string readFile(const std::wstring& path)
{
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return text;
    }
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        text.append(buffer, n);
    }
    CloseHandle(file);
    return text;
}

Settings readSettings(const std::wstring& path)
{
    Settings settings;
    std::string text = readFile(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        start = end + 1;
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        if (key == "version_line") {
            settings.versionLine = value;
        } else if (key == "line_before") {
            settings.lineBefore = value;
            settings.hasLineBefore = true;
        } else if (key == "exit_code") {
            settings.exitCode = std::atoi(value.c_str());
        } else if (key == "crash") {
            settings.crash = value;
        } else if (key == "record_stderr_security") {
            settings.recordStderrSecurity = value == "1";
        } else if (key == "sleep_ms") {
            settings.sleepMs = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
        }
    }
    return settings;
}

void appendToFile(const std::wstring& path, const std::string& text)
{
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// A real runtime writes its version text to standard error with CR LF line ends.
void writeError(const std::string& line)
{
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) {
        return;
    }
    std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// What the launcher gave this process to write its version text into: who may read or
// change that file before the launcher reads it back.
std::string stderrSecurity()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    char* text = nullptr;
    std::string result = "unreadable";
    if (GetSecurityInfo(GetStdHandle(STD_ERROR_HANDLE), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
        ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr)) {
        result = text;
    }
    LocalFree(text);
    LocalFree(descriptor);
    return result;
}

bool askedForVersion()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    bool found = false;
    for (int i = 1; arguments != nullptr && i < count; ++i) {
        found = found || lstrcmpW(arguments[i], L"-version") == 0;
    }
    LocalFree(arguments);
    return found;
}

// A real fault, as a damaged runtime would have it: the process ends with the exception
// code as its exit code. Without the error box a crash would otherwise bring up.
void crash()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
}

} // namespace

int main()
{
    std::wstring self = ownPath();
    Settings settings = readSettings(self + L".cfg");
    appendToFile(self + L".starts", std::string(GetCommandLineA()) + "\n");
    if (settings.recordStderrSecurity) {
        appendToFile(self + L".security", stderrSecurity() + "\n");
    }
    if (settings.crash == "before") {
        crash();
    }
    if (askedForVersion()) {
        if (settings.hasLineBefore) {
            writeError(settings.lineBefore);
        }
        writeError(settings.versionLine);
        writeError("Stand-in Runtime Environment (test double)");
    }
    if (settings.crash == "after") {
        crash();
    }
    if (settings.sleepMs > 0) {
        Sleep(settings.sleepMs);
    }
    return settings.exitCode;
}
