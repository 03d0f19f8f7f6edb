// The service's captured output.
#include "service/output_capture.h"

#include "config/config_store.h"
#include "config/variable_expansion.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/paths.h"
#include "platform/rotating_file.h"
#include "platform/text_conversion.h"
#include "service/event_log.h"

#include <cstdio>
#include <vector>

namespace {

// The capture file's name after expansion, terminator included.
constexpr size_t kCapturePathCapacity = 32768;

// The drain thread writes, the service thread marks: one lock for the one file.
SRWLOCK captureLock = SRWLOCK_INIT;
RotatingFile captureFile;
bool captureOpened = false;
// The end of what was read that holds no line end yet: written with the rest of its line,
// so that a roll over never splits a line, unless it grows past this.
std::string partialLine;
constexpr size_t kLongestHeldLine = 65536;
outputrotation::LocalTime (*captureClock)() = systemLocalTime;

// A text record that the runtime library reads as decimal digits: absent or anything else
// is `fallback`, as the runtime library would refuse it rather than guess.
uint64_t digitsRecord(int32_t id, uint64_t fallback, uint64_t maximum)
{
    const ConfigStore& store = configStore();
    auto found = store.narrow.find(id);
    if (found == store.narrow.end() || found->second.empty() || found->second.size() > 19) return fallback;
    uint64_t value = 0;
    for (char c : found->second) {
        if (c < '0' || c > '9') return fallback;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value <= maximum ? value : fallback;
}

// Makes the folders of `path` that are missing; NO_ERROR or the error of the first that
// cannot be made.
DWORD makeFolders(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash < 3) return NO_ERROR;
    const std::wstring folder = path.substr(0, slash);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? static_cast<DWORD>(NO_ERROR)
                                                            : static_cast<DWORD>(ERROR_DIRECTORY);
    }
    const DWORD above = makeFolders(folder);
    if (above != NO_ERROR) return above;
    return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS
               ? static_cast<DWORD>(NO_ERROR)
               : GetLastError();
}

// The system's text for an error, in English where the system has it, without its line end.
std::string systemErrorText(DWORD error)
{
    wchar_t text[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, 512, nullptr);
    std::wstring wide(text, length);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' ' || wide.back() == L'.')) {
        wide.pop_back();
    }
    std::string reason = toNarrow(wide, CP_UTF8);
    return (reason.empty() ? std::string("error") : reason) + " (" + std::to_string(error) + ")";
}

std::string stamp(const outputrotation::LocalTime& time)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day, time.hour,
                  time.minute, time.second);
    return text;
}

// One marked line, begun on a line of its own, after any partial line held.
void writeMark(const std::string& mark)
{
    AcquireSRWLockExclusive(&captureLock);
    if (captureFile.isOpen() && !partialLine.empty()) {
        captureFile.write(partialLine.data(), partialLine.size());
    }
    partialLine.clear();
    if (captureFile.isOpen()) {
        const std::string line = (captureFile.lastByte() == '\n' ? "" : "\r\n") + mark + "\r\n";
        captureFile.write(line.data(), line.size());
    }
    ReleaseSRWLockExclusive(&captureLock);
}

// Whether `path` lies in `folder` (with its trailing backslash), letter case aside.
bool isInFolder(const std::wstring& path, const std::wstring& folder)
{
    return !folder.empty() && path.size() > folder.size() &&
           CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                                static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

// The Windows directory's temporary folder, where every user can create files (and the
// one a service under LocalSystem is given). A user account's own temporary folder is
// private to it.
std::wstring sharedTemporaryFolder()
{
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = GetWindowsDirectoryW(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return std::wstring();
    std::wstring folder(buffer, length);
    if (folder.back() != L'\\') folder += L'\\';
    return folder + L"Temp\\";
}

} // namespace

bool captureFilePath(std::wstring* path, std::string* problem)
{
    path->clear();
    const ConfigStore& store = configStore();
    auto found = store.narrow.find(cfg::outputCapture);
    if (found == store.narrow.end() || found->second.empty()) {
        return true;
    }
    std::vector<wchar_t> expanded(kCapturePathCapacity, L'\0');
    const std::wstring configured = widenBytes(found->second);
    if (configured.size() >= kCapturePathCapacity) {
        *problem = "the name is longer than " + std::to_string(kCapturePathCapacity - 1) + " characters";
        return false;
    }
    configured.copy(expanded.data(), configured.size());
    if (!expandVariables(expanded.data(), expanded.size(), false)) {
        *problem = "the name is too long once its variables are replaced";
        return false;
    }
    std::wstring name(expanded.data());
    for (wchar_t& c : name) {
        if (c == L'/') c = L'\\';
    }
    if (name.find(L"${") != std::wstring::npos) {
        *problem = "the name refers to a variable the service process does not know";
        return false;
    }
    const std::wstring full = isRelativePathW(name.c_str()) ? std::wstring(getModuleDirW()) + name : name;
    // Another user could create the file there first, to read what the service writes.
    const std::wstring shared = sharedTemporaryFolder();
    if (isInFolder(full, shared)) {
        *problem = "the file is in the system's temporary folder " + toNarrow(shared, CP_UTF8) +
                   ", where every user can create files";
        return false;
    }
    *path = full;
    return true;
}

outputrotation::Settings captureSettings()
{
    outputrotation::Settings settings;
    settings.maxSize = digitsRecord(cfg::outputMaxSize, 0, UINT64_MAX / 2);
    settings.keep = static_cast<unsigned>(digitsRecord(cfg::outputKeep, 5, outputrotation::kMaxKeep));
    const ConfigStore& store = configStore();
    auto roll = store.narrow.find(cfg::outputRoll);
    if (roll == store.narrow.end() || !outputrotation::parseRoll(roll->second, &settings.roll)) {
        settings.roll = outputrotation::Roll::none;
    }
    settings.keepDays = static_cast<unsigned>(digitsRecord(cfg::outputKeepDays, 0, outputrotation::kMaxKeepDays));
    if (settings.roll == outputrotation::Roll::none) settings.keepDays = 0;
    settings.compress = settings.roll != outputrotation::Roll::none && getConfigInt(cfg::outputCompress) != 0;
    return settings;
}

void openOutputCapture(outputrotation::LocalTime (*clock)())
{
    AcquireSRWLockExclusive(&captureLock);
    const bool first = !captureOpened;
    captureOpened = true;
    ReleaseSRWLockExclusive(&captureLock);
    if (!first) return;
    if (clock != nullptr) captureClock = clock;
    std::wstring path;
    std::string problem;
    if (!captureFilePath(&path, &problem)) {
        const std::string configured = dupConfigString(cfg::outputCapture);
        logMessage("output not captured in %s: %s", configured.c_str(), problem.c_str());
        reportServiceEvent(ServiceEvent::outputNotCaptured, configured.c_str(), problem.c_str());
        return;
    }
    if (path.empty()) {
        logMessage("output not captured (no capture file)");
        return;
    }
    const std::string shown = toNarrow(path, CP_UTF8);
    DWORD error = makeFolders(path);
    AcquireSRWLockExclusive(&captureLock);
    const bool opened = error == NO_ERROR && captureFile.open(path, captureSettings(), captureClock, &error);
    ReleaseSRWLockExclusive(&captureLock);
    if (!opened) {
        const std::string reason = systemErrorText(error);
        logMessage("output not captured in %s: %s", shown.c_str(), reason.c_str());
        reportServiceEvent(ServiceEvent::outputNotCaptured, shown.c_str(), reason.c_str());
        return;
    }
    logMessage("capturing output in %s", shown.c_str());
}

void captureChildOutput(const char* data, size_t length)
{
    AcquireSRWLockExclusive(&captureLock);
    if (captureFile.isOpen()) {
        partialLine.append(data, length);
        const size_t lineEnd = partialLine.rfind('\n');
        if (partialLine.size() > kLongestHeldLine) {
            captureFile.write(partialLine.data(), partialLine.size());
            partialLine.clear();
        } else if (lineEnd != std::string::npos) {
            captureFile.write(partialLine.data(), lineEnd + 1);
            partialLine.erase(0, lineEnd + 1);
        }
    }
    ReleaseSRWLockExclusive(&captureLock);
}

std::string childStartedMark(const outputrotation::LocalTime& time, DWORD processId)
{
    return "---- " + stamp(time) + " started: process " + std::to_string(processId) + " ----";
}

std::string childEndedMark(const outputrotation::LocalTime& time, DWORD processId, DWORD exitCode)
{
    return "---- " + stamp(time) + " ended: process " + std::to_string(processId) + ", exit code " +
           std::to_string(exitCode) + " ----";
}

void markChildStarted(DWORD processId)
{
    writeMark(childStartedMark(captureClock(), processId));
}

void markChildEnded(DWORD processId, DWORD exitCode)
{
    writeMark(childEndedMark(captureClock(), processId, exitCode));
}
