// Process runner for the black-box tests.
#include "support/process_runner.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <thread>

namespace {

struct Pipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
};

// A pipe whose child end is inheritable and whose parent end is not, so that the child
// cannot keep the parent's end open and the reader always sees the end of the data.
bool makePipe(Pipe& pipe, bool childReads)
{
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    if (!CreatePipe(&pipe.read, &pipe.write, &sa, 0)) {
        return false;
    }
    SetHandleInformation(childReads ? pipe.write : pipe.read, HANDLE_FLAG_INHERIT, 0);
    return true;
}

void drain(HANDLE handle, std::string* text)
{
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(handle, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        text->append(buffer, n);
    }
}

std::wstring upper(std::wstring text)
{
    for (auto& c : text) c = static_cast<wchar_t>(towupper(c));
    return text;
}

std::vector<wchar_t> environmentBlock(const ProcessOptions& options)
{
    // Environment names compare without case on Windows.
    std::map<std::wstring, std::wstring> byUpperName;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
        const wchar_t* equals = wcschr(entry + 1, L'=');
        if (equals == nullptr) continue;
        std::wstring name(entry, static_cast<size_t>(equals - entry));
        byUpperName[upper(name)] = entry;
    }
    FreeEnvironmentStringsW(block);
    for (const auto& name : options.unsetEnv) byUpperName.erase(upper(name));
    for (const auto& [name, value] : options.setEnv) byUpperName[upper(name)] = name + L"=" + value;
    std::vector<wchar_t> result;
    for (const auto& [key, entry] : byUpperName) {
        result.insert(result.end(), entry.begin(), entry.end());
        result.push_back(L'\0');
    }
    result.push_back(L'\0');
    return result;
}

// Held from the making of a child's inheritable pipe ends until they are closed again
// after its creation. A child inherits every inheritable handle of this process, so
// without it a child created on another thread at that moment would hold this one's pipe
// ends open, and the reader here would not see the end of the output until that other
// child ended.
std::mutex inheritableHandles;

} // namespace

std::wstring commandLineOf(const std::wstring& program, const std::vector<std::wstring>& arguments)
{
    std::wstring line = L"\"" + program + L"\"";
    for (const auto& argument : arguments) {
        line += L" " + argument;
    }
    return line;
}

namespace {

ProcessResult runOnce(const std::wstring& commandLine, const ProcessOptions& options)
{
    ProcessResult result;
    std::unique_lock<std::mutex> creating(inheritableHandles);
    Pipe in, out, err;
    if (!makePipe(in, true) || !makePipe(out, false) || !makePipe(err, false)) {
        for (HANDLE handle : {in.read, in.write, out.read, out.write, err.read, err.write}) {
            if (handle != nullptr) CloseHandle(handle);
        }
        return result;
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in.read;
    si.hStdOutput = out.write;
    si.hStdError = err.write;
    wchar_t hiddenDesktop[] = L"launcher-tests\\Default";
    if (!options.visibleDesktop) {
        si.lpDesktop = hiddenDesktop;
    }
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> env = environmentBlock(options);
    std::wstring line = commandLine;
    BOOL ok = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT, env.data(),
                             options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str(), &si, &pi);
    CloseHandle(in.read);
    CloseHandle(out.write);
    CloseHandle(err.write);
    result.startError = ok ? 0 : GetLastError();
    creating.unlock();
    if (!ok) {
        CloseHandle(in.write);
        CloseHandle(out.read);
        CloseHandle(err.read);
        return result;
    }
    result.started = true;
    std::thread outReader(drain, out.read, &result.out);
    std::thread errReader(drain, err.read, &result.err);
    if (!options.input.empty()) {
        DWORD written = 0;
        WriteFile(in.write, options.input.data(), static_cast<DWORD>(options.input.size()), &written, nullptr);
    }
    CloseHandle(in.write);
    if (WaitForSingleObject(pi.hProcess, options.timeoutMs) == WAIT_TIMEOUT) {
        result.timedOut = true;
        TerminateProcess(pi.hProcess, 0xDEAD);
        WaitForSingleObject(pi.hProcess, INFINITE);
    }
    GetExitCodeProcess(pi.hProcess, &result.exitCode);
    outReader.join();
    errReader.join();
    CloseHandle(out.read);
    CloseHandle(err.read);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return result;
}

} // namespace

ProcessResult runProcess(const std::wstring& commandLine, const ProcessOptions& options)
{
    ProcessResult result = runOnce(commandLine, options);
    for (int retry = 1; retry <= 2 && !result.started && result.startError != ERROR_FILE_NOT_FOUND &&
                        result.startError != ERROR_PATH_NOT_FOUND;
         ++retry) {
        std::fprintf(stderr, "note: process not started (error %lu), try %d of 3: %ls\n", result.startError,
                     retry + 1, commandLine.c_str());
        result = runOnce(commandLine, options);
    }
    return result;
}
