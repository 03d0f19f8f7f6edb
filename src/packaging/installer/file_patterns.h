// The files an installer package takes from the packaging machine: the patterns of
// [installer] files ('*' and '?' in any step) expanded to the files they name, each with
// the steps of its path below what the pattern matched, and the names Windows takes for a
// file or folder. Portable C++.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace packager {

// The steps of a path separated by '/' or '\', empty ones included.
std::vector<std::string> splitSteps(const std::string& path);

// True when `name` matches the wildcard `pattern` ('*' any run of characters, '?' one
// character); Windows file names ignore case, and so does this for ASCII letters.
bool matchesWildcard(const std::string& pattern, const std::string& name);

// A file a pattern names, with the steps of its target: the name of what the pattern
// matched, then the path below it (for a file inside a matched folder).
struct PatternFile {
    std::filesystem::path source;
    std::vector<std::string> steps;
};

// Every regular file a pattern names, relative to `base` unless absolute: a matched file
// itself, or every file below a matched folder; in name order. None for an empty pattern.
std::vector<PatternFile> filesOfPattern(const std::filesystem::path& base, const std::string& pattern);

// Empty when `step` can be a file or folder name on Windows; otherwise why not.
std::string fileNameStepProblem(const std::string& step);

} // namespace packager
