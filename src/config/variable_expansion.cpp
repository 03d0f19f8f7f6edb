// Variable expansion: the fixed launcher variables first, then one pass per environment
// variable in the order of the environment block.
#include "config/variable_expansion.h"

#include "config/included_files.h"
#include "config/messages.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/paths.h"
#include "platform/text_conversion.h"
#include "platform/text_format.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

char jvmHome[kJvmHomeCapacity] = "";

namespace {

enum class Value { exeDir, tempDir, separator, jvmHome, systemTemp };

struct Pass {
    const char* pattern;
    Value value;
};

const Pass kPasses[] = {
    {"%QUILL_EXEDIR%", Value::exeDir},
    {"%DEPLOYKIT_EXEDIR%", Value::exeDir},
    {"%QUILL_TEMPDIR%", Value::tempDir},
    {"%DEPLOYKIT_TEMPDIR%", Value::tempDir},
    {"%QUILL_PATHLIST_SEPARATOR%", Value::separator},
    {"%DEPLOYKIT_PATHLIST_SEPARATOR%", Value::separator},
    {"%QUILL_JVM_HOME%", Value::jvmHome},
    {"%DEPLOYKIT_JVM_HOME%", Value::jvmHome},
    {"${QUILL_EXEDIR}", Value::exeDir},
    {"${DEPLOYKIT_EXEDIR}", Value::exeDir},
    {"${QUILL_TEMPDIR}", Value::tempDir},
    {"${DEPLOYKIT_TEMPDIR}", Value::tempDir},
    {"${QUILL_PATHLIST_SEPARATOR}", Value::separator},
    {"${DEPLOYKIT_PATHLIST_SEPARATOR}", Value::separator},
    {"${QUILL_JVM_HOME}", Value::jvmHome},
    {"${DEPLOYKIT_JVM_HOME}", Value::jvmHome},
    {"${launcher:sys.launcherDirectory}", Value::exeDir},
    {"${launcher:sys.launcherTempDirectory}", Value::tempDir},
    {"${launcher:sys.pathlistSeparator}", Value::separator},
    {"${launcher:sys.jvmHome}", Value::jvmHome},
    {"${launcher:sys.tempDir}", Value::systemTemp},
};

// A result that does not fit the caller's buffer is cut at its capacity, and the log says so.
template <typename String>
void cutTo(String& text, size_t capacity)
{
    if (capacity > 0 && text.size() > capacity - 1) {
        logMessage("expanded text of %d characters cut to %d", static_cast<int>(text.size()),
                   static_cast<int>(capacity - 1));
        text.resize(capacity - 1);
    }
}

template <typename String>
String upperAscii(String text)
{
    for (auto& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<typename String::value_type>(c - 'a' + 'A');
    }
    return text;
}

// The environment passes. Entries without a name (the hidden "=C:=C:\..." current
// directories of the drives) are no variables and are skipped. The upper-case pattern is
// applied only when it differs, so that a value is never inserted twice by one variable.
void expandEnvironmentW(std::wstring& text, size_t capacity)
{
    wchar_t* block = GetEnvironmentStringsW();
    if (block == nullptr) {
        return;
    }
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        const wchar_t* equals = std::wcschr(entry, L'=');
        if (equals == nullptr || equals == entry) {
            continue;
        }
        std::wstring name(entry, static_cast<size_t>(equals - entry));
        wchar_t pattern[kTextCapacity];
        if (!formatTextW(pattern, kTextCapacity, L"${%s}", name.c_str())) {
            continue;
        }
        std::wstring value(equals + 1);
        replaceAll(text, capacity, pattern, value);
        std::wstring upper = upperAscii(std::wstring(pattern));
        if (upper != pattern) {
            replaceAll(text, capacity, upper, value);
        }
    }
    FreeEnvironmentStringsW(block);
}

void expandEnvironmentA(std::string& text, size_t capacity)
{
    char* block = GetEnvironmentStringsA();
    if (block == nullptr) {
        return;
    }
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
        const char* equals = std::strchr(entry, '=');
        if (equals == nullptr || equals == entry) {
            continue;
        }
        std::string name(entry, static_cast<size_t>(equals - entry));
        char pattern[kTextCapacity];
        if (!formatText(pattern, sizeof pattern, "${%s}", name.c_str())) {
            continue;
        }
        std::string value(equals + 1);
        replaceAllA(text, capacity, pattern, value);
        std::string upper = upperAscii(std::string(pattern));
        if (upper != pattern) {
            replaceAllA(text, capacity, upper, value);
        }
    }
    FreeEnvironmentStringsA(block);
}

void requireTempPath(char* out, size_t capacity)
{
    if (!getTempPath(out, capacity)) {
        fatalConfigErrorW(cfg::msgNoTempDirectory, nullptr);
    }
}

} // namespace

void replaceAll(std::wstring& text, size_t capacity, const std::wstring& pattern, const std::wstring& value,
                const char* narrowValue)
{
    if (pattern.empty()) {
        return;
    }
    size_t at = text.find(pattern);
    while (at != std::wstring::npos) {
        text.replace(at, pattern.size(), value);
        cutTo(text, capacity);
        if (narrowValue != nullptr) {
            logMessage("expanding2 %S to %s in %S.", pattern.c_str(), narrowValue, text.c_str());
        } else {
            logMessage("expanding2 %S to %S in %S.", pattern.c_str(), value.c_str(), text.c_str());
        }
        size_t next = at + value.size();
        if (next >= text.size()) {
            break;
        }
        at = text.find(pattern, next);
    }
}

void replaceAllA(std::string& text, size_t capacity, const std::string& pattern, const std::string& value)
{
    if (pattern.empty()) {
        return;
    }
    size_t at = text.find(pattern);
    while (at != std::string::npos) {
        text.replace(at, pattern.size(), value);
        cutTo(text, capacity);
        logMessage("expanding2 %s to %s in %s.", pattern.c_str(), value.c_str(), text.c_str());
        size_t next = at + value.size();
        if (next >= text.size()) {
            break;
        }
        at = text.find(pattern, next);
    }
}

void expandVariables(wchar_t* buffer, size_t capacity, bool shortPathForm)
{
    if (buffer == nullptr || capacity == 0) {
        return;
    }
    std::wstring text(buffer);
    wchar_t exeDir[kTextCapacity];
    resolvePathW(exeDir, kTextCapacity, L"", shortPathForm);
    std::wstring tempDirWide = widenBytes(launcherTempDir);
    std::wstring jvmHomeWide = widenBytes(jvmHome);
    char systemTempNarrow[kTextCapacity] = "";
    wchar_t systemTemp[kTextCapacity] = L"";
    if (shortPathForm) {
        requireTempPath(systemTempNarrow, sizeof systemTempNarrow);
        copyTextW(systemTemp, kTextCapacity, widenBytes(systemTempNarrow).c_str());
    } else if (!getTempPathW(systemTemp, kTextCapacity)) {
        fatalConfigErrorW(cfg::msgNoTempDirectory, nullptr);
    }
    for (const Pass& pass : kPasses) {
        std::wstring pattern = widenBytes(pass.pattern);
        switch (pass.value) {
        case Value::exeDir: replaceAll(text, capacity, pattern, exeDir); break;
        case Value::tempDir: replaceAll(text, capacity, pattern, tempDirWide, launcherTempDir); break;
        case Value::separator: replaceAll(text, capacity, pattern, L";"); break;
        case Value::jvmHome: replaceAll(text, capacity, pattern, jvmHomeWide, jvmHome); break;
        case Value::systemTemp:
            if (shortPathForm) {
                replaceAll(text, capacity, pattern, systemTemp, systemTempNarrow);
            } else {
                replaceAll(text, capacity, pattern, systemTemp);
            }
            break;
        }
    }
    expandEnvironmentW(text, capacity);
    copyTextW(buffer, capacity, text.c_str());
}

void expandVariablesA(char* buffer, size_t capacity)
{
    if (buffer == nullptr || capacity == 0) {
        return;
    }
    std::string text(buffer);
    char exeDir[kTextCapacity];
    resolvePath(exeDir, sizeof exeDir, "");
    char systemTemp[kTextCapacity];
    requireTempPath(systemTemp, sizeof systemTemp);
    for (const Pass& pass : kPasses) {
        switch (pass.value) {
        case Value::exeDir: replaceAllA(text, capacity, pass.pattern, exeDir); break;
        case Value::tempDir: replaceAllA(text, capacity, pass.pattern, launcherTempDir); break;
        case Value::separator: replaceAllA(text, capacity, pass.pattern, ";"); break;
        case Value::jvmHome: replaceAllA(text, capacity, pass.pattern, jvmHome); break;
        case Value::systemTemp: replaceAllA(text, capacity, pass.pattern, systemTemp); break;
        }
    }
    expandEnvironmentA(text, capacity);
    copyText(buffer, capacity, text.c_str());
}
