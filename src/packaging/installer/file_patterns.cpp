// Patterns of installed files, and file names on Windows.
#include "packaging/installer/file_patterns.h"

#include "packaging/launcher/included_names.h"

#include <algorithm>

namespace packager {

namespace {

namespace fs = std::filesystem;

// The paths a pattern names, relative to `base`: each step may hold '*' and '?'.
std::vector<fs::path> expandPattern(const fs::path& base, const std::string& pattern)
{
    fs::path start = fs::u8path(pattern).is_absolute() ? fs::path("/") : base;
    std::vector<fs::path> current = {start};
    for (const std::string& step : splitSteps(pattern)) {
        if (step.empty() || step == ".") {
            continue;
        }
        std::vector<fs::path> next;
        for (const fs::path& folder : current) {
            std::error_code failed;
            if (step.find_first_of("*?") == std::string::npos) {
                fs::path candidate = folder / fs::u8path(step);
                if (fs::exists(candidate, failed)) next.push_back(candidate);
                continue;
            }
            // The folder of a bare name is the empty path: the current folder, which is
            // listed as "." while its matches keep their names as the pattern gives them.
            const fs::path listed = folder.empty() ? fs::path(".") : folder;
            if (!fs::is_directory(listed, failed)) continue;
            std::vector<fs::path> found;
            for (const fs::directory_entry& entry : fs::directory_iterator(listed, failed)) {
                if (matchesWildcard(step, entry.path().filename().u8string())) {
                    found.push_back(folder / entry.path().filename());
                }
            }
            std::sort(found.begin(), found.end());
            next.insert(next.end(), found.begin(), found.end());
        }
        current = next;
    }
    if (current.size() == 1 && current.front() == start) {
        return {};  // an empty pattern names nothing
    }
    return current;
}

// Every regular file of a match: the file itself, or a folder's files below its name.
void filesOfMatch(const fs::path& match, std::vector<PatternFile>* out)
{
    std::error_code failed;
    std::string name = match.filename().u8string();
    if (fs::is_regular_file(match, failed)) {
        out->push_back({match, {name}});
        return;
    }
    if (!fs::is_directory(match, failed)) {
        return;
    }
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator it(match, failed), end; !failed && it != end; it.increment(failed)) {
        if (it->is_regular_file(failed)) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::vector<std::string> steps = {name};
        for (const fs::path& part : file.lexically_relative(match)) {
            steps.push_back(part.u8string());
        }
        out->push_back({file, steps});
    }
}

} // namespace

std::vector<std::string> splitSteps(const std::string& path)
{
    std::vector<std::string> steps;
    std::string step;
    for (char c : path) {
        if (c == '/' || c == '\\') {
            steps.push_back(step);
            step.clear();
        } else {
            step += c;
        }
    }
    steps.push_back(step);
    return steps;
}


bool matchesWildcard(const std::string& pattern, const std::string& name)
{
    // Iterative, with one back-track point: linear in practice, and no recursion depth
    // that a long pattern could exhaust.
    auto same = [](char a, char b) {
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        return a == b;
    };
    size_t p = 0, n = 0, star = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && same(pattern[p], name[n])))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

std::vector<PatternFile> filesOfPattern(const std::filesystem::path& base, const std::string& pattern)
{
    std::vector<PatternFile> files;
    for (const fs::path& match : expandPattern(base, pattern)) {
        filesOfMatch(match, &files);
    }
    return files;
}

std::string fileNameStepProblem(const std::string& step)
{
    if (step.empty() || step == "." || step == "..") {
        return "is empty, \".\" or \"..\"";
    }
    if (step.find_first_of("/\\:") != std::string::npos) {
        return "holds '/', '\\' or ':'";
    }
    // The other checks are those of an included file's name; the characters and names
    // they refuse are all ASCII, so other characters stand in as '_'.
    std::string ascii;
    for (char c : step) {
        ascii += static_cast<unsigned char>(c) >= 0x80 ? '_' : c;
    }
    return includedNameProblem(ascii);
}


} // namespace packager
