// Writing the launcher's vmoptions file.
#include "jvm/launch/vm_options_file.h"

#include "jvm/launch/vm_options.h"
#include "platform/diagnostic_log.h"
#include "platform/handle.h"
#include "platform/paths.h"
#include "platform/text_conversion.h"
#include "platform/text_format.h"

#include <windows.h>

#include <cstdio>

namespace {

// The reader takes each byte of a line as one character (Latin-1) and reads lines of
// fewer than kTextCapacity bytes.
bool lineOfOption(const std::wstring& option, std::string* line, std::string* problem)
{
    std::string out;
    for (wchar_t c : option) {
        if (c == L'\r' || c == L'\n' || c == L'\0') {
            *problem = "an option holds a line end";
            return false;
        }
        if (c > 0xFF) {
            *problem = "the option " + narrowForDisplay(option) +
                       " holds a character beyond Latin-1, which a vmoptions file cannot hold";
            return false;
        }
        out += static_cast<char>(c);
    }
    if (out.size() + 2 >= static_cast<size_t>(kTextCapacity)) {
        *problem = "an option is longer than " + std::to_string(kTextCapacity - 3) + " characters";
        return false;
    }
    *line = out;
    return true;
}

void sayLine(const std::string& text)
{
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
    logMessage("%s", text.c_str());
}

} // namespace

std::string vmOptionsFileText(const ArgumentList& options, std::string* problem)
{
    std::string text;
    for (const std::wstring& option : options.items) {
        std::string line;
        if (option.empty()) continue;
        if (!lineOfOption(option, &line, problem)) {
            return std::string();
        }
        // The reader's own rule: an option it would take for a comment ("#x") or without
        // its outer blanks is refused rather than changed.
        if (trimVmOptionsLine(line) != line) {
            *problem = "the option \"" + line + "\" would be read back otherwise (as a comment, or without its "
                       "outer blanks)";
            return std::string();
        }
        text += line + "\r\n";
    }
    problem->clear();
    return text;
}

int writeVmOptionsCommand(const ArgumentList& options)
{
    const std::wstring executable = getModulePathW();
    const std::wstring name =
        (executable.size() >= 4 ? executable.substr(0, executable.size() - 4) : executable) + L".vmoptions";
    const std::string shownName = narrowForDisplay(name);
    std::string problem;
    const std::string text = vmOptionsFileText(options, &problem);
    if (!problem.empty()) {
        sayLine("The VM options were not written: " + problem + ".");
        return 1;
    }
    if (text.empty()) {
        if (!DeleteFileW(name.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            sayLine("Could not remove " + shownName + " (error " + std::to_string(GetLastError()) + ").");
            return 1;
        }
        sayLine("No VM options: " + shownName + " is not there.");
        return 0;
    }
    // Written beside, then moved over the file: a reader finds the old file or the new one.
    const std::wstring partial = name + L".partial";
    {
        UniqueFile file(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file || !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size()) {
            const DWORD error = GetLastError();
            file.reset();
            DeleteFileW(partial.c_str());
            sayLine("Could not write " + shownName + " (error " + std::to_string(error) + ").");
            return 1;
        }
    }
    if (!MoveFileExW(partial.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(partial.c_str());
        sayLine("Could not write " + shownName + " (error " + std::to_string(error) + ").");
        return 1;
    }
    sayLine("Wrote the VM options to " + shownName + ".");
    return 0;
}
