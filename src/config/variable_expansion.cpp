// Variable expansion: the fixed launcher variables first, then one pass per environment
// variable in the order of the environment block.
#include "config/variable_expansion.h"

#include "config/included_files.h"
#include "config/messages.h"
#include "config/run_settings.h"
#include "format/record_ids.h"
#include "model/launcher_variables.h"
#include "platform/diagnostic_log.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text_conversion.h"
#include "platform/text_format.h"

#include <windows.h>

#include <cstring>
#include <string>

char jvmHome[kJvmHomeCapacity] = "";

namespace {

using launchervars::Meaning;

// Where the system keeps the machine's application-data folder: the value the profile
// service makes the ProgramData variable from, and the known folder's default.
constexpr char kProfileListKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr wchar_t kProgramDataValue[] = L"ProgramData";

// The machine's application-data folder, read once; empty when the system keeps none
// that can be used (the log says why).
const std::wstring& machineDataFolder()
{
    static bool read = false;
    static std::wstring folder;
    if (read) {
        return folder;
    }
    read = true;
    wchar_t stored[kTextCapacity];
    wchar_t windows[MAX_PATH];
    UniqueKey key = openRegistryKey(HKEY_LOCAL_MACHINE, kProfileListKey, KEY_READ | KEY_WOW64_64KEY);
    const RegistryResult result =
        key ? readRegistryTextW(key.get(), kProgramDataValue, stored, kTextCapacity, RegistryText::plainOrExpandable)
            : RegistryResult{RegistryStatus::missing, ERROR_FILE_NOT_FOUND, REG_NONE};
    const UINT windowsLength = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (!result.ok() || windowsLength == 0 || windowsLength >= MAX_PATH) {
        logError("the machine's application-data folder is unknown: HKLM\\%s\\ProgramData %s (error %d)",
                 kProfileListKey, result.ok() ? "read, the Windows directory not" : "not read",
                 static_cast<int>(result.ok() ? GetLastError() : result.error));
        return folder;
    }
    folder = programDataFromStored(stored, windows);
    if (folder.empty()) {
        logError("the machine's application-data folder is unknown: HKLM\\%s\\ProgramData is \"%S\", no "
                 "absolute path",
                 kProfileListKey, stored);
    } else {
        logMessage("the machine's application-data folder is %S", folder.c_str());
    }
    return folder;
}

// A reference whose value is unknown stays as it is, for the runtime library to resolve
// or refuse by name; nothing is put in its place that would name another folder.
bool known(Meaning value)
{
    return value != Meaning::programData || !machineDataFolder().empty();
}

template <typename Char>
bool mentions(const std::basic_string<Char>& text, const char* pattern)
{
    return text.find(std::basic_string<Char>(pattern, pattern + std::strlen(pattern))) !=
           std::basic_string<Char>::npos;
}

// A result that does not fit the caller's buffer is cut at its capacity, and the log says
// so. False when it was cut.
template <typename String>
bool cutTo(String& text, size_t capacity)
{
    if (capacity > 0 && text.size() > capacity - 1) {
        logMessage("expanded text of %d characters cut to %d", static_cast<int>(text.size()),
                   static_cast<int>(capacity - 1));
        text.resize(capacity - 1);
        return false;
    }
    return true;
}

template <typename String>
String upperAscii(String text)
{
    for (auto& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<typename String::value_type>(c - 'a' + 'A');
    }
    return text;
}

void logExpansion(const std::wstring& pattern, const std::wstring& value, const std::wstring& text,
                  const char* narrowValue)
{
    if (narrowValue != nullptr) {
        logMessage("expanding2 %S to %s in %S.", pattern.c_str(), narrowValue, text.c_str());
    } else {
        logMessage("expanding2 %S to %S in %S.", pattern.c_str(), value.c_str(), text.c_str());
    }
}

void logExpansion(const std::string& pattern, const std::string& value, const std::string& text, const char*)
{
    logMessage("expanding2 %s to %s in %s.", pattern.c_str(), value.c_str(), text.c_str());
}

// False when the text was cut.
template <typename Char>
bool replaceEvery(std::basic_string<Char>& text, size_t capacity, const std::basic_string<Char>& pattern,
                  const std::basic_string<Char>& value, const char* narrowValue)
{
    bool whole = true;
    if (pattern.empty()) {
        return whole;
    }
    size_t at = text.find(pattern);
    while (at != std::basic_string<Char>::npos) {
        text.replace(at, pattern.size(), value);
        whole = cutTo(text, capacity) && whole;
        logExpansion(pattern, value, text, narrowValue);
        size_t next = at + value.size();
        if (next >= text.size()) {
            break;
        }
        at = text.find(pattern, next);
    }
    return whole;
}

// The process's environment block in either width.
struct NarrowEnvironment {
    using Char = char;
    static Char* take() { return GetEnvironmentStringsA(); }
    static void give(Char* block) { FreeEnvironmentStringsA(block); }
};
struct WideEnvironment {
    using Char = wchar_t;
    static Char* take() { return GetEnvironmentStringsW(); }
    static void give(Char* block) { FreeEnvironmentStringsW(block); }
};

// The environment passes. Entries without a name (the hidden "=C:=C:\..." current
// directories of the drives) are no variables and are skipped. The upper-case pattern is
// applied only when it differs, so that a value is never inserted twice by one variable.
// False when the text was cut.
template <typename Environment>
bool expandEnvironment(std::basic_string<typename Environment::Char>& text, size_t capacity)
{
    using Char = typename Environment::Char;
    using String = std::basic_string<Char>;
    using Traits = std::char_traits<Char>;
    bool whole = true;
    Char* block = Environment::take();
    if (block == nullptr) {
        return whole;
    }
    for (const Char* entry = block; *entry != Char('\0'); entry += Traits::length(entry) + 1) {
        const size_t length = Traits::length(entry);
        const Char* equals = Traits::find(entry, length, Char('='));
        if (equals == nullptr || equals == entry) {
            continue;
        }
        String pattern{Char('$'), Char('{')};
        pattern.append(entry, static_cast<size_t>(equals - entry));
        pattern.push_back(Char('}'));
        // A name too long for any configured text is never referenced by one.
        if (pattern.size() >= static_cast<size_t>(kTextCapacity)) {
            continue;
        }
        const String value(equals + 1);
        whole = replaceEvery(text, capacity, pattern, value, nullptr) && whole;
        const String upper = upperAscii(pattern);
        if (upper != pattern) {
            whole = replaceEvery(text, capacity, upper, value, nullptr) && whole;
        }
    }
    Environment::give(block);
    return whole;
}

void requireTempPath(char* out, size_t capacity)
{
    if (!getTempPath(out, capacity)) {
        fatalConfigErrorW(cfg::msgNoTempDirectory, nullptr);
    }
}

} // namespace

std::wstring programDataFromStored(const std::wstring& stored, const std::wstring& windowsDirectory)
{
    static const wchar_t kSystemDrive[] = L"%SystemDrive%";
    const size_t driveLength = sizeof kSystemDrive / sizeof kSystemDrive[0] - 1;
    std::wstring folder = stored;
    if (folder.size() >= driveLength && _wcsnicmp(folder.c_str(), kSystemDrive, driveLength) == 0) {
        // The system drive is the drive of the Windows directory.
        if (windowsDirectory.size() < 2 || windowsDirectory[1] != L':') {
            return std::wstring();
        }
        folder = windowsDirectory.substr(0, 2) + folder.substr(driveLength);
    }
    // Any other reference would be read from an environment that the user may have set.
    if (folder.find(L'%') != std::wstring::npos) {
        return std::wstring();
    }
    const bool drive = folder.size() >= 3 && folder[1] == L':' && (folder[2] == L'\\' || folder[2] == L'/') &&
                       ((folder[0] >= L'A' && folder[0] <= L'Z') || (folder[0] >= L'a' && folder[0] <= L'z'));
    const bool unc = folder.size() >= 3 && folder[0] == L'\\' && folder[1] == L'\\' && folder[2] != L'\\';
    if (!drive && !unc) {
        return std::wstring();
    }
    // The configured names put a separator after the reference; a drive's root keeps its own.
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    return folder;
}

void replaceAll(std::wstring& text, size_t capacity, const std::wstring& pattern, const std::wstring& value,
                const char* narrowValue)
{
    replaceEvery(text, capacity, pattern, value, narrowValue);
}

void replaceAllA(std::string& text, size_t capacity, const std::string& pattern, const std::string& value)
{
    replaceEvery(text, capacity, pattern, value, nullptr);
}

bool expandVariables(wchar_t* buffer, size_t capacity, bool shortPathForm)
{
    if (buffer == nullptr || capacity == 0) {
        return false;
    }
    std::wstring text(buffer);
    wchar_t exeDir[kTextCapacity];
    if (!resolvePathW(exeDir, kTextCapacity, L"", shortPathForm)) {
        return false;
    }
    std::wstring tempDirWide = widenBytes(launcherTempDir);
    std::wstring jvmHomeWide = widenBytes(jvmHome);
    char systemTempNarrow[kTextCapacity] = "";
    wchar_t systemTemp[kTextCapacity] = L"";
    if (shortPathForm) {
        requireTempPath(systemTempNarrow, sizeof systemTempNarrow);
        // Widened byte by byte, the path keeps its length and fits.
        if (!copyTextW(systemTemp, kTextCapacity, widenBytes(systemTempNarrow).c_str())) {
            return false;
        }
    } else if (!getTempPathW(systemTemp, kTextCapacity)) {
        fatalConfigErrorW(cfg::msgNoTempDirectory, nullptr);
    }
    const std::wstring serviceNameWide = std::wstring(serviceNameW);
    bool whole = true;
    for (const launchervars::Variable& pass : launchervars::kVariables) {
        if (!mentions(text, pass.reference) || !known(pass.meaning)) {
            continue;
        }
        const wchar_t* value = L";";
        const char* narrowValue = nullptr;
        switch (pass.meaning) {
        case Meaning::launcherDirectory: value = exeDir; break;
        case Meaning::launcherTempDirectory: value = tempDirWide.c_str(); narrowValue = launcherTempDir; break;
        case Meaning::pathlistSeparator: break;
        case Meaning::jvmHome: value = jvmHomeWide.c_str(); narrowValue = jvmHome; break;
        case Meaning::systemTemp:
            value = systemTemp;
            narrowValue = shortPathForm ? systemTempNarrow : nullptr;
            break;
        case Meaning::programData: value = machineDataFolder().c_str(); break;
        case Meaning::serviceName: value = serviceNameWide.c_str(); narrowValue = serviceName; break;
        }
        whole = replaceEvery<wchar_t>(text, capacity, widenBytes(pass.reference), value, narrowValue) && whole;
    }
    whole = expandEnvironment<WideEnvironment>(text, capacity) && whole;
    return copyTextW(buffer, capacity, text.c_str()) && whole;
}

bool expandVariablesA(char* buffer, size_t capacity)
{
    if (buffer == nullptr || capacity == 0) {
        return false;
    }
    std::string text(buffer);
    char exeDir[kTextCapacity];
    if (!resolvePath(exeDir, sizeof exeDir, "")) {
        return false;
    }
    char systemTemp[kTextCapacity];
    requireTempPath(systemTemp, sizeof systemTemp);
    bool whole = true;
    for (const launchervars::Variable& pass : launchervars::kVariables) {
        if (!mentions(text, pass.reference) || !known(pass.meaning)) {
            continue;
        }
        std::string converted;
        const char* value = ";";
        switch (pass.meaning) {
        case Meaning::launcherDirectory: value = exeDir; break;
        case Meaning::launcherTempDirectory: value = launcherTempDir; break;
        case Meaning::pathlistSeparator: break;
        case Meaning::jvmHome: value = jvmHome; break;
        case Meaning::systemTemp: value = systemTemp; break;
        case Meaning::programData:
        case Meaning::serviceName: {
            // Texts of the file-API code page; a folder or name it cannot hold stays a reference.
            bool replaced = false;
            converted = toNarrow(pass.meaning == Meaning::programData ? machineDataFolder() : std::wstring(serviceNameW),
                                 fileApiCodePage(), &replaced);
            if (replaced) {
                logError("%s stays: its value has characters the code page %u lacks", pass.reference,
                         fileApiCodePage());
                continue;
            }
            value = converted.c_str();
            break;
        }
        }
        whole = replaceEvery<char>(text, capacity, pass.reference, value, nullptr) && whole;
    }
    whole = expandEnvironment<NarrowEnvironment>(text, capacity) && whole;
    return copyText(buffer, capacity, text.c_str()) && whole;
}
