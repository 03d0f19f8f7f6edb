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

#include <string>

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
    bool whole = true;
    for (const Pass& pass : kPasses) {
        const wchar_t* value = L";";
        const char* narrowValue = nullptr;
        switch (pass.value) {
        case Value::exeDir: value = exeDir; break;
        case Value::tempDir: value = tempDirWide.c_str(); narrowValue = launcherTempDir; break;
        case Value::separator: break;
        case Value::jvmHome: value = jvmHomeWide.c_str(); narrowValue = jvmHome; break;
        case Value::systemTemp:
            value = systemTemp;
            narrowValue = shortPathForm ? systemTempNarrow : nullptr;
            break;
        }
        whole = replaceEvery<wchar_t>(text, capacity, widenBytes(pass.pattern), value, narrowValue) && whole;
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
    for (const Pass& pass : kPasses) {
        const char* value = ";";
        switch (pass.value) {
        case Value::exeDir: value = exeDir; break;
        case Value::tempDir: value = launcherTempDir; break;
        case Value::separator: break;
        case Value::jvmHome: value = jvmHome; break;
        case Value::systemTemp: value = systemTemp; break;
        }
        whole = replaceEvery<char>(text, capacity, pass.pattern, value, nullptr) && whole;
    }
    whole = expandEnvironment<NarrowEnvironment>(text, capacity) && whole;
    return copyText(buffer, capacity, text.c_str()) && whole;
}
