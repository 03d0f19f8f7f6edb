// Names of included files that can be written as files.
#include "packaging/launcher/included_names.h"

#include "format/included_files.h"
#include "format/record_text.h"

#include <map>

namespace packager {

namespace {

// CON, PRN, AUX, NUL, COM0-9 and LPT0-9 (also with a superscript digit), whatever
// extension follows: Windows opens the device instead of a file.
bool isDeviceName(const std::string& step)
{
    std::string base = foldedName(step.substr(0, step.find('.')));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    if (base == "con" || base == "prn" || base == "aux" || base == "nul") {
        return true;
    }
    if (base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0)) {
        unsigned char digit = static_cast<unsigned char>(base[3]);
        return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

} // namespace

std::string foldedName(const std::string& name)
{
    std::string folded = name;
    for (char& c : folded) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) {
            c = static_cast<char>(u + 0x20);
        }
    }
    return folded;
}

std::string includedNameProblem(const std::string& name)
{
    if (!blockformat::isSafeIncludedFileName(name)) {
        return "must stay inside the folder it is extracted to (no drive, no '/', no empty, '.' or '..' steps)";
    }
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            return "holds a control character";
        }
        if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*' || c == ';') {
            return std::string("holds '") + c + "', which no Windows file name may hold";
        }
    }
    for (const std::string& step : blockformat::splitList(name, '\\')) {
        if (step.back() == '.' || step.back() == ' ') {
            return "has a step ending in '.' or ' ', which Windows leaves out";
        }
        if (isDeviceName(step)) {
            return "names a device (" + step + "), not a file";
        }
    }
    return std::string();
}

std::string includedNameClash(const std::vector<std::string>& names)
{
    std::map<std::string, std::string> seen;  // folded name -> as given
    for (const std::string& name : names) {
        std::string folded = foldedName(name);
        auto same = seen.find(folded);
        if (same != seen.end()) {
            return same->second + " and " + name + " name the same file";
        }
        seen[folded] = name;
    }
    // A file whose name followed by '\' starts another name is also that one's folder:
    // in sorted order the folder's contents follow right behind it.
    for (auto it = seen.begin(); it != seen.end(); ++it) {
        auto next = seen.lower_bound(it->first + "\\");
        if (next != seen.end() && next->first.compare(0, it->first.size() + 1, it->first + "\\") == 0) {
            return it->second + " is a file and the folder of " + next->second;
        }
    }
    return std::string();
}

} // namespace packager
