// Path primitives of the launcher. Narrow paths use the code page of the file functions
// (platform/text_conversion.h); the module paths are computed once, on the main thread,
// before other threads exist.
#include "platform/paths.h"

#include "platform/diagnostic_log.h"
#include "platform/text_conversion.h"
#include "platform/text_format.h"

#include <windows.h>
#include <ntsecapi.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

struct ModulePaths {
    bool ready = false;
    std::string narrow;
    std::wstring wide;
    std::string narrowDir;
    std::wstring widenedDir;
    std::wstring wideDir;
};

ModulePaths& modulePaths();

template <typename Char>
size_t textLength(const Char* text)
{
    size_t n = 0;
    while (text[n] != Char('\0')) ++n;
    return n;
}

template <typename Char>
bool relative(const Char* path)
{
    if (path == nullptr || textLength(path) < 3) {
        return true;
    }
    const Char* p = path;
    if (p[0] == Char('"')) {
        if (textLength(path) < 4) {
            return true;
        }
        ++p;
    }
    if (p[1] == Char(':') && p[2] == Char('\\')) {
        return false;
    }
    return !(p[0] == Char('\\') && p[1] == Char('\\'));
}

template <typename Char>
bool driveRoot(const Char* path)
{
    if (path == nullptr || textLength(path) < 2) {
        return false;
    }
    const Char* rest = path + 1;
    auto equals = [rest](const char* literal) {
        size_t i = 0;
        for (; literal[i] != '\0'; ++i) {
            if (rest[i] != Char(literal[i])) return false;
        }
        return rest[i] == Char('\0');
    };
    return equals(":\\") || equals(":\\.") || equals(":\\.\\.");
}

template <typename Char>
void collapse(Char* path)
{
    if (path == nullptr) {
        return;
    }
    size_t length = textLength(path);
    if (length <= 2) {
        return;
    }
    // The first two characters are never merged: the leading pair of a network path survives.
    size_t out = 2;
    for (size_t in = 2; in < length; ++in) {
        if (path[in] == Char('\\') && path[out - 1] == Char('\\')) {
            continue;
        }
        path[out++] = path[in];
    }
    path[out] = Char('\0');
}

std::wstring collapsed(std::wstring path)
{
    path.push_back(L'\0');
    collapse(&path[0]);
    path.resize(std::wcslen(path.c_str()));
    return path;
}

std::string collapsedNarrow(const std::string& path)
{
    bool replaced = false;
    std::wstring wide = collapsed(toWide(path, fileApiCodePage()));
    std::string back = toNarrow(wide, fileApiCodePage(), &replaced);
    return replaced ? path : back;
}

bool endsWithExe(const std::string& path)
{
    if (path.size() < 4) {
        return false;
    }
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return tail == ".exe";
}

// A narrow path that names the same file: no replaced character and still an ".exe".
bool usableNarrow(const std::wstring& wide, std::string& narrow)
{
    bool replaced = false;
    narrow = toNarrow(wide, fileApiCodePage(), &replaced);
    return !replaced && narrow.size() >= 4 && endsWithExe(narrow);
}

// A path as one of the system's path functions rewrites it (long form, short form, full
// form); the path itself when the function fails or the answer does not fit.
template <typename String, typename Call>
String systemForm(const String& path, Call call)
{
    String buffer(kTextCapacity, typename String::value_type('\0'));
    DWORD n = call(path.c_str(), &buffer[0]);
    if (n == 0 || n >= static_cast<DWORD>(kTextCapacity)) {
        return path;
    }
    buffer.resize(n);
    return buffer;
}

std::wstring longPathW(const std::wstring& path)
{
    return systemForm(path, [](const wchar_t* in, wchar_t* out) { return GetLongPathNameW(in, out, kTextCapacity); });
}

std::wstring shortPathW(const std::wstring& path)
{
    return systemForm(path, [](const wchar_t* in, wchar_t* out) { return GetShortPathNameW(in, out, kTextCapacity); });
}

std::string fullPathA(const std::string& path)
{
    return systemForm(path,
                      [](const char* in, char* out) { return GetFullPathNameA(in, kTextCapacity, out, nullptr); });
}

std::wstring fullPathW(const std::wstring& path)
{
    return systemForm(path,
                      [](const wchar_t* in, wchar_t* out) { return GetFullPathNameW(in, kTextCapacity, out, nullptr); });
}

template <typename String>
String directoryOf(const String& path)
{
    size_t slash = path.find_last_of(typename String::value_type('\\'));
    return slash == String::npos ? String() : path.substr(0, slash + 1);
}

ModulePaths& modulePaths()
{
    static ModulePaths paths;
    if (paths.ready) {
        return paths;
    }
    paths.ready = true;
    std::wstring module(kTextCapacity, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, &module[0], kTextCapacity);
    module.resize(n < static_cast<DWORD>(kTextCapacity) ? n : 0);
    paths.wide = longPathW(module);

    std::string narrow;
    if (!usableNarrow(paths.wide, narrow) && !usableNarrow(shortPathW(paths.wide), narrow)) {
        std::string system(kTextCapacity, '\0');
        DWORD m = GetModuleFileNameA(nullptr, &system[0], kTextCapacity);
        system.resize(m < static_cast<DWORD>(kTextCapacity) ? m : 0);
        std::string shortForm(kTextCapacity, '\0');
        DWORD s = GetShortPathNameA(system.c_str(), &shortForm[0], kTextCapacity);
        narrow = (s > 0 && s < static_cast<DWORD>(kTextCapacity)) ? shortForm.substr(0, s) : system;
    }
    paths.wide = collapsed(paths.wide);
    paths.narrow = collapsedNarrow(narrow);

    paths.narrowDir = directoryOf(fullPathA(paths.narrow));
    paths.widenedDir = widenBytes(paths.narrowDir);
    paths.wideDir = directoryOf(fullPathW(paths.wide));
    return paths;
}

// Lower-cases the letters A to Z only.
template <typename String>
void foldAsciiCase(String& text)
{
    for (auto& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<typename String::value_type>(c - 'A' + 'a');
        }
    }
}

template <typename Char>
bool containsQuestionMark(const Char* text)
{
    for (; *text != Char('\0'); ++text) {
        if (*text == Char('?')) return true;
    }
    return false;
}

} // namespace

const char* getModulePath() { return modulePaths().narrow.c_str(); }
const wchar_t* getModulePathW() { return modulePaths().wide.c_str(); }
const char* getModuleDir() { return modulePaths().narrowDir.c_str(); }
const wchar_t* getModuleDirWidened() { return modulePaths().widenedDir.c_str(); }
const wchar_t* getModuleDirW() { return modulePaths().wideDir.c_str(); }

bool isRelativePath(const char* path) { return relative(path); }
bool isRelativePathW(const wchar_t* path) { return relative(path); }
bool isDriveRootW(const wchar_t* path) { return driveRoot(path); }

namespace {

// A path into the caller's buffer; one that does not fit is refused, and the log says so.
bool putPath(char* out, size_t capacity, const std::string& path)
{
    if (copyText(out, capacity, path.c_str())) {
        return true;
    }
    logMessage("path too long for %d: %s", static_cast<int>(capacity) - 1, path.c_str());
    return false;
}

bool putPath(wchar_t* out, size_t capacity, const std::wstring& path)
{
    if (copyTextW(out, capacity, path.c_str())) {
        return true;
    }
    logMessage("path too long for %d: %S", static_cast<int>(capacity) - 1, path.c_str());
    return false;
}

} // namespace

bool resolvePath(char* out, size_t capacity, const char* path, const char* referenceFile)
{
    std::string result;
    if (isRelativePath(path)) {
        result = referenceFile != nullptr ? directoryOf(fullPathA(referenceFile)) : std::string(getModuleDir());
    }
    result += path != nullptr ? path : "";
    return putPath(out, capacity, collapsedNarrow(result));
}

bool resolvePathW(wchar_t* out, size_t capacity, const wchar_t* path, bool useNarrowDir, const wchar_t* referenceFile)
{
    std::wstring result;
    if (isRelativePathW(path)) {
        if (referenceFile != nullptr) {
            result = directoryOf(fullPathW(referenceFile));
        } else {
            result = useNarrowDir ? getModuleDirWidened() : getModuleDirW();
        }
    }
    result += path != nullptr ? path : L"";
    return putPath(out, capacity, collapsed(result));
}

bool getFullPath(char* out, size_t capacity, const char* path, bool keepCase)
{
    std::string resolved(kTextCapacity, '\0');
    if (!resolvePath(&resolved[0], kTextCapacity, path)) {
        return false;
    }
    std::string full = fullPathA(resolved.c_str());
    if (!keepCase) {
        // Through UTF-16, so that a trail byte of a double-byte character is never folded.
        std::wstring wide = toWide(full, fileApiCodePage());
        foldAsciiCase(wide);
        bool replaced = false;
        std::string back = toNarrow(wide, fileApiCodePage(), &replaced);
        if (!replaced) {
            full = back;
        }
    }
    return putPath(out, capacity, collapsedNarrow(full));
}

bool getFullPathW(wchar_t* out, size_t capacity, const wchar_t* path, bool useNarrowDir, bool keepCase)
{
    std::wstring resolved(kTextCapacity, L'\0');
    if (!resolvePathW(&resolved[0], kTextCapacity, path, useNarrowDir)) {
        return false;
    }
    std::wstring full = fullPathW(resolved.c_str());
    if (!keepCase) {
        foldAsciiCase(full);
    }
    return putPath(out, capacity, collapsed(full));
}

bool fileExists(const char* path, uint64_t* lastWriteTime)
{
    // The narrow file functions convert in the same code page.
    return path != nullptr && fileExistsW(toWide(path, fileApiCodePage()).c_str(), lastWriteTime);
}

bool fileExistsW(const wchar_t* path, uint64_t* lastWriteTime)
{
    if (path == nullptr) {
        return false;
    }
    if (isDriveRootW(path)) {
        return true;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(path, &data);
    if (find == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(find);
    if (lastWriteTime != nullptr) {
        *lastWriteTime = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                         data.ftLastWriteTime.dwLowDateTime;
    }
    return true;
}

bool isDirWritableW(const wchar_t* directory)
{
    wchar_t probe[kTextCapacity];
    if (!formatTextW(probe, kTextCapacity, L"%s\\qll_w_testdir", directory)) {
        return false;
    }
    RemoveDirectoryW(probe);
    if (!CreateDirectoryW(probe, nullptr)) {
        return false;
    }
    bool exists = fileExistsW(probe);
    RemoveDirectoryW(probe);
    return exists;
}

namespace {

// Whether a directory can be used: narrow file functions need a path the code page can
// express (the system puts "?" where it cannot).
bool usableAs(const std::wstring& path, bool narrow)
{
    bool replaced = false;
    if (narrow) {
        toNarrow(path, fileApiCodePage(), &replaced);
    }
    return !replaced && !containsQuestionMark(path.c_str());
}

// The system's temporary directory as a start finds it: created when missing, with its
// long form where that can be determined. Each file call is a round trip to the server
// under Wine, and a start asks for the directory several times, for narrow and for wide
// file functions: the answer for one system path is kept (per thread, so that no lock is
// needed). A changed TMP is a new question.
struct SystemTempDirectory {
    std::wstring path;      // as the system names it, or the home directory
    std::wstring longForm;  // empty when it cannot be determined
};

SystemTempDirectory systemTempDirectory()
{
    thread_local std::wstring lastSystemPath;
    thread_local SystemTempDirectory lastAnswer;

    wchar_t path[kTextCapacity];
    DWORD length = GetTempPathW(kTextCapacity, path);
    logMessage("GetTempPath returned %d (last error %d)", static_cast<int>(length), static_cast<int>(GetLastError()));
    const bool systemDefined = length > 0 && length < static_cast<DWORD>(kTextCapacity);
    if (systemDefined && !lastSystemPath.empty() && lastSystemPath == path) {
        return lastAnswer;
    }
    if (!systemDefined) {
        DWORD drive = GetEnvironmentVariableW(L"HOMEDRIVE", path, kTextCapacity);
        drive = drive < static_cast<DWORD>(kTextCapacity) ? drive : 0;
        DWORD rest = GetEnvironmentVariableW(L"HOMEPATH", path + drive, kTextCapacity - drive);
        path[rest < kTextCapacity - drive ? drive + rest : drive] = L'\0';
        logMessage("No temp dir defined. Using home %S", path);
    } else {
        BOOL made = CreateDirectoryW(path, nullptr);
        logMessage("make dir returned %d", made ? 0 : -1);
    }
    SystemTempDirectory answer;
    answer.path = path;
    wchar_t longForm[kTextCapacity];
    DWORD n = GetLongPathNameW(path, longForm, kTextCapacity);
    if (n > 0 && n < static_cast<DWORD>(kTextCapacity)) {
        answer.longForm = longForm;
    }
    if (systemDefined) {
        lastSystemPath = answer.path;
        lastAnswer = answer;
    }
    return answer;
}

// A usable temporary directory for narrow (`narrow`) or wide file functions; empty when
// there is none. First the system's, judged by its long form where that can be
// determined; then the first fallback that a subdirectory can be created in.
std::wstring usableFallbackTempDirectory(bool narrow);

std::wstring usableTempDirectory(bool narrow)
{
    const SystemTempDirectory system = systemTempDirectory();
    if (usableAs(system.path, narrow) && (system.longForm.empty() || usableAs(system.longForm, narrow))) {
        return system.path;
    }
    // A fallback is looked for once per system path too.
    struct Fallback {
        std::wstring systemPath;
        std::wstring directory;
    };
    thread_local Fallback fallbacks[2];
    Fallback& fallback = fallbacks[narrow ? 1 : 0];
    if (fallback.directory.empty() || fallback.systemPath != system.path) {
        fallback.systemPath = system.path;
        fallback.directory = usableFallbackTempDirectory(narrow);
    }
    return fallback.directory;
}

std::wstring usableFallbackTempDirectory(bool narrow)
{
    wchar_t windowsDir[kTextCapacity];
    UINT w = GetWindowsDirectoryW(windowsDir, kTextCapacity);
    if (w == 0 || w >= static_cast<UINT>(kTextCapacity)) {
        windowsDir[0] = L'\0';
    }
    const std::wstring candidates[] = {std::wstring(windowsDir) + L"\\temp", L"c:\\temp", L"c:\\tmp", windowsDir};
    for (const std::wstring& directory : candidates) {
        if (!directory.empty() && usableAs(directory, narrow) && isDirWritableW(directory.c_str())) {
            return directory;
        }
    }
    if (isDirWritableW(L"c:\\")) {
        CreateDirectoryW(L"c:\\tmp", nullptr);
        if (isDirWritableW(L"c:\\tmp")) {
            return L"c:\\tmp";
        }
    }
    return std::wstring();
}

} // namespace

bool getTempPath(char* out, size_t capacity)
{
    std::wstring directory = usableTempDirectory(true);
    return !directory.empty() && copyText(out, capacity, toNarrow(directory, fileApiCodePage()).c_str());
}

bool getTempPathW(wchar_t* out, size_t capacity)
{
    std::wstring directory = usableTempDirectory(false);
    return !directory.empty() && copyTextW(out, capacity, directory.c_str());
}

bool makeRandomTempName(const char* directory, char* out, size_t capacity)
{
    // A name nobody can guess: a user who made every name of a guessable series first
    // could keep every start from finding one.
    uint64_t random = 0;
    if (!RtlGenRandom(&random, sizeof random)) {
        logError("no random name could be made (error %d)", static_cast<int>(GetLastError()));
        return false;
    }
    // The home directory fallback has no trailing backslash; the name must still land
    // inside the directory, not beside it.
    size_t length = std::strlen(directory);
    const char* separator = (length > 0 && directory[length - 1] != '\\') ? "\\" : "";
    return formatText(out, capacity, "%s%sqll%016I64x", directory, separator, random);
}

bool makeTempFileName(char* out, size_t capacity)
{
    char directory[kTextCapacity];
    if (!getTempPath(directory, sizeof directory)) {
        return false;
    }
    logMessage("tempPath is %s", directory);
    // The system's name is the directory, a separator if it has none, "qll", at most four
    // hexadecimal digits and ".tmp": one that would not fit is refused before any file is
    // made, so that nothing made in a shared directory has to be removed again by name.
    const size_t length = std::strlen(directory);
    const size_t longest = length + (length > 0 && directory[length - 1] != '\\' ? 1 : 0) + 3 + 4 + 4;
    if (longest >= capacity) {
        logTooLong(directory);
        clearText(out, capacity);
        return false;
    }
    char name[MAX_PATH + 1];
    if (GetTempFileNameA(directory, "qll", 0, name) != 0) {
        // Fits, by the length above.
        static_cast<void>(copyText(out, capacity, name));
    } else {
        logMessage("GetTempFileName failed (last error %d)", static_cast<int>(GetLastError()));
        if (!makeRandomTempName(directory, out, capacity)) {
            return false;
        }
    }
    logMessage("tempFile is %s", out);
    return true;
}
