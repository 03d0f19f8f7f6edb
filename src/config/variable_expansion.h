// Expansion of the launcher's variables (%QUILL_EXEDIR%, ${launcher:sys.tempDir}, ...;
// the list is model/launcher_variables.h) and of ${NAME} environment references in
// configured texts, in place. References the
// launcher does not know, such as ${installer:sys.tempDir}, stay for the Java side.
#pragma once

#include <cstddef>
#include <string>

// The home of the chosen Java runtime, which ${launcher:sys.jvmHome} and its older
// spellings stand for: the directory of its Java executable followed by "..". Empty until
// the runtime search (jvm/discovery) has chosen one.
constexpr int kJvmHomeCapacity = 6000;
extern char jvmHome[kJvmHomeCapacity];

// The machine's application-data folder from the form the system stores it in
// (HKLM\...\ProfileList "ProgramData", such as "%SystemDrive%\ProgramData"), without a
// trailing separator. %SystemDrive% is the drive of `windowsDirectory`, not the variable,
// which an environment may change. Empty for any other reference or a path that is not
// absolute: such a folder is not used.
std::wstring programDataFromStored(const std::wstring& stored, const std::wstring& windowsDirectory);

// Wide texts. With shortPathForm the executable and temporary directories are the narrow
// ones widened byte by byte (for texts that end up as narrow VM options); without, the
// wide long forms. A result longer than capacity - 1 is cut there, the log says so, and
// the answer is false: what the cut text names is not what was configured.
[[nodiscard]] bool expandVariables(wchar_t* text, size_t capacity, bool shortPathForm);
// Narrow texts in the file-API code page; answered like expandVariables.
[[nodiscard]] bool expandVariablesA(char* text, size_t capacity);

// Replaces every occurrence of `pattern`, left to right; the search goes on behind each
// inserted value, so a value is never searched again by the same pattern. The text is
// cut at `capacity` - 1 characters whenever it grows past that.
// `narrowValue`, when given, is the narrow text that `value` was widened from; the log
// line then shows it as such.
void replaceAll(std::wstring& text, size_t capacity, const std::wstring& pattern, const std::wstring& value,
                const char* narrowValue = nullptr);
void replaceAllA(std::string& text, size_t capacity, const std::string& pattern, const std::string& value);
