// Test support: runtimes made of the stand-in programs.
#include "support/test_runtime.h"

#include "support/test_launcher.h"

#include <windows.h>

#include <cstdlib>

std::wstring standinDirectory()
{
    const char* directory = std::getenv("STANDIN_DIR");
    return directory != nullptr ? winePathOf(directory) : std::wstring();
}

bool makeDirectories(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    size_t separator = path.find_last_of(L'\\');
    if (separator != std::wstring::npos && separator > 2 && !makeDirectories(path.substr(0, separator))) {
        return false;
    }
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool copyStandin(const std::string& name, const std::wstring& destination)
{
    std::wstring directory = standinDirectory();
    if (directory.empty()) {
        return false;
    }
    size_t separator = destination.find_last_of(L'\\');
    if (separator != std::wstring::npos && !makeDirectories(destination.substr(0, separator))) {
        return false;
    }
    return CopyFileW((directory + L"\\" + fromUtf8(name)).c_str(), destination.c_str(), FALSE) != FALSE;
}

bool writeTextFile(const std::wstring& path, const std::string& text)
{
    return writeBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

bool writeStandinConfig(const std::wstring& executable, const JavaStandinConfig& config)
{
    std::string text = "version_line=" + config.versionLine + "\n";
    if (!config.lineBefore.empty()) {
        text += "line_before=" + config.lineBefore + "\n";
    }
    text += "exit_code=" + std::to_string(config.exitCode) + "\n";
    text += "sleep_ms=" + std::to_string(config.sleepMs) + "\n";
    if (config.recordStderrSecurity) {
        text += "record_stderr_security=1\n";
    }
    if (!config.crash.empty()) {
        text += "crash=" + config.crash + "\n";
    }
    return writeTextFile(executable + L".cfg", text);
}

bool placeJavaStandin(const std::wstring& binDirectory, const JavaStandinConfig& config, bool javaw)
{
    for (const char* name : {"java.exe", "javaw.exe"}) {
        if (!javaw && std::string(name) == "javaw.exe") {
            continue;
        }
        std::wstring executable = binDirectory + L"\\" + fromUtf8(name);
        if (!copyStandin(name, executable) || !writeStandinConfig(executable, config)) {
            return false;
        }
    }
    return true;
}

std::wstring layOutRuntime(const std::wstring& home, const RuntimeLayout& layout)
{
    std::wstring bin = home + L"\\bin";
    std::wstring runtimeBin = layout.jdk ? home + L"\\jre\\bin" : bin;
    if (!makeDirectories(home) || !placeJavaStandin(bin, layout.java, layout.javaw)) {
        return std::wstring();
    }
    if (layout.jdk) {
        if (!placeJavaStandin(runtimeBin, layout.java, layout.javaw)) {
            return std::wstring();
        }
        if (layout.toolsJar &&
            (!makeDirectories(home + L"\\lib") || !writeTextFile(home + L"\\lib\\tools.jar", "stand-in jar\n"))) {
            return std::wstring();
        }
    }
    if (!layout.jvmDll.empty() &&
        !copyStandin(layout.jvmDll, runtimeBin + L"\\" + fromUtf8(layout.jvmSubdir) + L"\\jvm.dll")) {
        return std::wstring();
    }
    if (layout.unpack200 && !copyStandin("unpack200.exe", runtimeBin + L"\\unpack200.exe")) {
        return std::wstring();
    }
    if (!layout.release.empty() && !writeTextFile(home + L"\\release", layout.release)) {
        return std::wstring();
    }
    return runtimeBin + L"\\java.exe";
}

std::vector<std::string> standinStarts(const std::wstring& executable)
{
    std::vector<std::string> lines;
    std::string text = readText(executable + L".starts");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool touchFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILETIME written = {};
    bool ok = GetFileTime(file, nullptr, nullptr, &written) != FALSE;
    if (ok) {
        // One minute on: later than the old time even where the clock has not moved.
        ULARGE_INTEGER time;
        time.LowPart = written.dwLowDateTime;
        time.HighPart = written.dwHighDateTime;
        time.QuadPart += 60ULL * 10000000ULL;
        written.dwLowDateTime = time.LowPart;
        written.dwHighDateTime = time.HighPart;
        ok = SetFileTime(file, nullptr, nullptr, &written) != FALSE;
    }
    CloseHandle(file);
    return ok;
}

std::string narrowPath(const std::wstring& path)
{
    if (path.empty()) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, path.data(), static_cast<int>(path.size()), &out[0], n, nullptr, nullptr);
    return out;
}
