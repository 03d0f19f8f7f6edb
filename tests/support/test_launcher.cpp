// Test support for running packaged launchers.
#include "support/test_launcher.h"

#include "packaging/example/example_config.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

std::string toUtf8(const std::wstring& text)
{
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring fromUtf8(const std::string& text)
{
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::wstring winePathOf(const std::string& unixPath)
{
    std::wstring path = L"Z:" + fromUtf8(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring launcherImage()
{
    const char* image = std::getenv("LAUNCHER_IMAGE");
    return image != nullptr ? winePathOf(image) : std::wstring();
}

std::vector<uint8_t> readBytes(const std::wstring& path)
{
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD n = 0;
    while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    CloseHandle(file);
    return bytes;
}

std::string readText(const std::wstring& path)
{
    std::vector<uint8_t> bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

bool writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool pathExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> listNames(const std::wstring& directory, const std::wstring& pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((directory + L"\\" + pattern).c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring packageLauncher(const ScratchDirectory& directory, const blockformat::ConfigBlock& block,
                             const std::wstring& name)
{
    std::wstring output = directory.file(name);
    std::string error;
    if (!packager::writeLauncher(toUtf8(launcherImage()), block, toUtf8(output), &error)) {
        return std::wstring();
    }
    return output;
}

blockformat::ConfigBlock serviceBlock()
{
    return packager::exampleServiceBlock();
}

std::string withoutCarriageReturns(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

LauncherRun runLauncher(const std::wstring& exe, const std::vector<std::wstring>& arguments,
                        const ScratchDirectory& directory, bool log, ProcessOptions options)
{
    return runLauncherIn(exe, arguments, directory.path(), log, options);
}

LaunchersTogether::LaunchersTogether(const std::wstring& exe, const std::vector<std::vector<std::wstring>>& commandLines,
                                     const ScratchDirectory& directory, const ProcessOptions& options)
    : runs_(commandLines.size()), endings_(CreateSemaphoreW(nullptr, 0, 0x7fffffff, nullptr))
{
    for (size_t i = 0; i < commandLines.size(); ++i) {
        std::wstring tmp = directory.file(L"run" + std::to_wstring(i));
        CreateDirectoryW(tmp.c_str(), nullptr);
        threads_.emplace_back([this, i, exe, tmp, arguments = commandLines[i], options] {
            runs_[i] = runLauncherIn(exe, arguments, tmp, true, options);
            if (endings_ != nullptr) ReleaseSemaphore(endings_, 1, nullptr);
        });
    }
}

LaunchersTogether::~LaunchersTogether()
{
    join();
    if (endings_ != nullptr) CloseHandle(endings_);
}

std::vector<LauncherRun> LaunchersTogether::join()
{
    for (std::thread& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
    return runs_;
}

std::vector<LauncherRun> runLaunchersTogether(const std::wstring& exe,
                                              const std::vector<std::vector<std::wstring>>& commandLines,
                                              const ScratchDirectory& directory)
{
    return LaunchersTogether(exe, commandLines, directory).join();
}

LauncherRun runLauncherIn(const std::wstring& exe, const std::vector<std::wstring>& arguments,
                          const std::wstring& tmpDirectory, bool log, ProcessOptions options)
{
    options.setEnv[L"TMP"] = tmpDirectory;
    options.unsetEnv.push_back(L"QUILL_LOG");
    options.unsetEnv.push_back(L"DEPLOYKIT_LOG");
    if (log && options.setEnv.count(L"QUILL_LOG") == 0 && options.setEnv.count(L"DEPLOYKIT_LOG") == 0) {
        options.setEnv[L"QUILL_LOG"] = L"yes";
    }
    std::vector<std::wstring> before = listNames(tmpDirectory, L"dpk_nlog_*");
    LauncherRun run;
    run.result = runProcess(commandLineOf(exe, arguments), options);
    run.out = withoutCarriageReturns(run.result.out);
    run.err = withoutCarriageReturns(run.result.err);
    for (const std::wstring& name : listNames(tmpDirectory, L"dpk_nlog_*")) {
        if (std::find(before.begin(), before.end(), name) == before.end()) {
            run.logPath = tmpDirectory + L"\\" + name;
            run.log = readText(run.logPath);
        }
    }
    run.shown = run.err;
    if (!run.logPath.empty()) {
        const std::string suffix = "\n\nLog: " + toUtf8(run.logPath);
        for (size_t at = run.shown.find(suffix); at != std::string::npos; at = run.shown.find(suffix, at)) {
            run.shown.erase(at, suffix.size());
        }
    }
    return run;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool containsLine(const std::string& text, const std::string& line)
{
    std::vector<std::string> lines = linesOf(text);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}
