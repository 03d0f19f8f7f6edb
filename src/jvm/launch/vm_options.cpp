// VM options from the configuration, vmoptions files and the command line.
#include "jvm/launch/vm_options.h"

#include "config/config_store.h"
#include "config/user_locale.h"
#include "config/variable_expansion.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/paths.h"
#include "platform/text_conversion.h"
#include "platform/text_format.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr wchar_t kIncludeOptions[] = L"-include-options ";
constexpr wchar_t kClassPath[] = L"-classpath ";
constexpr wchar_t kClassPathPrepend[] = L"-classpath/p ";
constexpr wchar_t kClassPathAppend[] = L"-classpath/a ";
constexpr wchar_t kFormatAsDefault[] = L"-Dsun.locale.formatasdefault=";

bool startsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

void addInclude(const wchar_t* baseFile, const std::wstring& reference, VmOptionList& options,
                ClassPathOverrides& overrides, int depth)
{
    wchar_t expanded[kTextCapacity];
    wchar_t resolved[kTextCapacity];
    // A cut name is another file: it is not read.
    if (!copyTextW(expanded, kTextCapacity, reference.c_str()) || !expandVariables(expanded, kTextCapacity, false) ||
        !resolvePathW(resolved, kTextCapacity, expanded, false, baseFile)) {
        logTooLong("vmoptions include");
        return;
    }
    logMessage("after exp from %S %S", expanded, reference.c_str());
    if (depth >= kMaxIncludeDepth) {
        logError("vmoptions include depth %d reached, %S not read", depth, resolved);
        return;
    }
    FILE* file = _wfopen(resolved, L"rt");
    logMessage("adding vmoptions from (%p) <%S> (%S)", static_cast<void*>(file), resolved, expanded);
    readVmOptionsFile(resolved, file, options, overrides, depth + 1);
    logMessage("adding vmoptions 2");
    logMessage("adding vmoptions 3");
}

FILE* openVmOptionsBeside(const std::wstring& executable)
{
    std::wstring name = executable.size() >= 4 ? executable.substr(0, executable.size() - 4) : executable;
    name += L".vmoptions";
    FILE* file = _wfopen(name.c_str(), L"rt");
    logMessage("vmoptions2: exe %S file: %S, file: %p", executable.c_str(), name.c_str(), static_cast<void*>(file));
    if (file != nullptr) {
        return file;
    }
    name = executable + L".vmoptions";
    file = _wfopen(name.c_str(), L"rt");
    logMessage("vmoptions: opts2: %S, file: %p", name.c_str(), static_cast<void*>(file));
    return file;
}

} // namespace

std::string toFileApiString(const std::wstring& text)
{
    if (text.empty()) {
        return std::string();
    }
    UINT codePage = fileApiCodePage();
    int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
        return std::string();
    }
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &narrow[0], n, nullptr, nullptr);
    return narrow;
}

std::string trimVmOptionsLine(const std::string& line)
{
    size_t end = line.size();
    while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
    size_t start = 0;
    while (start < end && line[start] == ' ') ++start;
    while (end > start && line[end - 1] == ' ') --end;
    std::string trimmed = line.substr(start, end - start);
    if (!trimmed.empty() && trimmed[0] == '#') {
        return std::string();
    }
    return trimmed;
}

void addVmOptionLine(const wchar_t* baseFile, const std::wstring& text, VmOptionList& options,
                     ClassPathOverrides& overrides, int depth)
{
    if (startsWith(text, kIncludeOptions)) {
        addInclude(baseFile, text.substr(std::wcslen(kIncludeOptions)), options, overrides, depth);
    } else if (startsWith(text, kClassPath)) {
        overrides.replace = toFileApiString(text.substr(std::wcslen(kClassPath)));
    } else if (startsWith(text, kClassPathPrepend)) {
        overrides.prepend = toFileApiString(text.substr(std::wcslen(kClassPathPrepend)));
    } else if (startsWith(text, kClassPathAppend)) {
        overrides.append = toFileApiString(text.substr(std::wcslen(kClassPathAppend)));
    } else {
        options.push_back(toFileApiString(text));
    }
}

void readVmOptionsFile(const wchar_t* baseFile, FILE* file, VmOptionList& options, ClassPathOverrides& overrides,
                       int depth)
{
    if (file == nullptr) {
        return;
    }
    char line[kTextCapacity];
    while (fgets(line, sizeof line, file) != nullptr) {
        // A line longer than the buffer would arrive in pieces, each taken for an option
        // of its own: the first cut short, the others fragments the VM refuses or
        // misreads. It is skipped whole instead. A full buffer followed by the line's
        // end or the file's end is a line that just fits.
        size_t length = std::strlen(line);
        if (length == sizeof line - 1 && line[length - 1] != '\n') {
            int next = fgetc(file);
            if (next != '\n' && next != EOF) {
                size_t dropped = length + 1;
                while ((next = fgetc(file)) != '\n' && next != EOF) {
                    ++dropped;
                }
                logMessage("vmoptions line of %I64d bytes is longer than %d bytes; ignored",
                           static_cast<long long>(dropped), static_cast<int>(sizeof line - 1));
                continue;
            }
        }
        std::string trimmed = trimVmOptionsLine(line);
        if (trimmed.empty()) {
            continue;
        }
        wchar_t option[kTextCapacity];
        // Cut by its expansion, the option would be another one: skipped whole, as above.
        if (!copyTextW(option, kTextCapacity, widenBytes(trimmed).c_str()) ||
            !expandVariables(option, kTextCapacity, true)) {
            logTooLong("expanded vmoptions line");
            continue;
        }
        addVmOptionLine(baseFile, option, options, overrides, depth);
    }
    fclose(file);
}

FILE* openDefaultVmOptionsFile()
{
    const std::wstring longForm = getModulePathW();
    if (FILE* file = openVmOptionsBeside(longForm)) {
        return file;
    }
    // The name the process was started by, where it differs from the long form (a short
    // name); the same name would only be looked for twice.
    wchar_t module[kTextCapacity];
    DWORD n = GetModuleFileNameW(nullptr, module, kTextCapacity);
    if (n == 0 || n >= static_cast<DWORD>(kTextCapacity) || longForm == module) {
        return nullptr;
    }
    return openVmOptionsBeside(module);
}

void addLocaleOptions(const ArgumentList& arguments, VmOptionList& options, ClassPathOverrides& overrides)
{
    const std::wstring* last = nullptr;
    for (const std::wstring& argument : arguments.items) {
        if (startsWith(argument, kFormatAsDefault)) last = &argument;
    }
    if (last == nullptr) {
        return;
    }
    addVmOptionLine(nullptr, *last, options, overrides);
    if (*last == L"-Dsun.locale.formatasdefault=true") {
        return;
    }
    addVmOptionLine(nullptr, L"-Duser.language=" + widenBytes(localeLanguage), options, overrides);
    if (hasLocaleCountry) {
        addVmOptionLine(nullptr, L"-Duser.country=" + widenBytes(localeCountry), options, overrides);
    }
}

void addConfiguredVmOptions(const ArgumentList& arguments, VmOptionList& options, ClassPathOverrides& overrides)
{
    wchar_t configured[kTextCapacity];
    ArgumentList tokens;
    // Cut, the options would end in a cut one and lose those behind it: none is taken.
    if (getConfigWString(cfg::vmParameters, configured, kTextCapacity) &&
        expandVariables(configured, kTextCapacity, true)) {
        splitCommandLine(configured, tokens);
    } else {
        logTooLong("configured VM options");
    }
    logMessage("adding options\n");
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == L"-include-options" && i + 1 < tokens.size()) {
            addVmOptionLine(nullptr, tokens[i] + L" " + tokens[i + 1], options, overrides);
            ++i;
        } else {
            addVmOptionLine(nullptr, tokens[i], options, overrides);
        }
    }
    if (getConfigInt(cfg::passJArguments) != 0) {
        for (const std::wstring& argument : arguments.items) {
            if (argument.compare(0, 2, L"-J") == 0) {
                addVmOptionLine(nullptr, argument.substr(2), options, overrides);
            }
        }
    }
    addLocaleOptions(arguments, options, overrides);
}
