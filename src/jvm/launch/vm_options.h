// The VM options the application's packager configured, those of the vmoptions file next
// to the executable (and the files it includes), "-J" arguments of the command line and
// the locale options; and the three class-path overrides a vmoptions line can set.
#pragma once

#include "format/command_line.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// Narrow option texts in the file-API code page, in the order they were added.
using VmOptionList = std::vector<std::string>;

struct ClassPathOverrides {
    std::optional<std::string> replace;  // "-classpath "
    std::optional<std::string> prepend;  // "-classpath/p "
    std::optional<std::string> append;   // "-classpath/a "
};

// "-include-options" files nest at most this deep; a deeper one (a file that includes
// itself, directly or through others) is not read.
constexpr int kMaxIncludeDepth = 16;

// Configuration 123, then "-J" arguments (configuration 125), then the locale options.
void addConfiguredVmOptions(const ArgumentList& arguments, VmOptionList& options, ClassPathOverrides& overrides);
// The executable's vmoptions file ("app.vmoptions", else "app.exe.vmoptions"), or null.
FILE* openDefaultVmOptionsFile();
// Every usable line of the file (which is closed afterwards); `baseFile` is its path,
// null for the executable's own file. `depth` counts the includes that led here.
void readVmOptionsFile(const wchar_t* baseFile, FILE* file, VmOptionList& options, ClassPathOverrides& overrides,
                       int depth = 0);
// One option text: an include, a class-path override or a plain option.
void addVmOptionLine(const wchar_t* baseFile, const std::wstring& text, VmOptionList& options,
                     ClassPathOverrides& overrides, int depth = 0);
// The locale options asked for by a "-Dsun.locale.formatasdefault=" argument.
void addLocaleOptions(const ArgumentList& arguments, VmOptionList& options, ClassPathOverrides& overrides);

// A wide text in the file-API code page, unmappable characters as its default character.
std::string toFileApiString(const std::wstring& text);
// A vmoptions line without its line end and outer blanks; "" for a comment or blank line.
std::string trimVmOptionsLine(const std::string& line);
