// The command-line form on narrow text: the wide implementation on the text widened byte
// by byte, which gives every byte back unchanged (blank and quotes are ASCII).
#include "format/command_line.h"

namespace {

std::wstring widen(const std::string& text)
{
    std::wstring wide;
    for (char c : text) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return wide;
}

std::string narrow(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t c : text) {
        bytes += static_cast<char>(static_cast<unsigned char>(c));
    }
    return bytes;
}

} // namespace

std::vector<std::string> splitCommandLine(const std::string& text)
{
    ArgumentList arguments;
    splitCommandLine(widen(text).c_str(), arguments);
    std::vector<std::string> result;
    for (const std::wstring& argument : arguments.items) {
        result.push_back(narrow(argument));
    }
    return result;
}

bool joinCommandLine(const std::vector<std::string>& arguments, std::string* text, size_t* bad)
{
    std::vector<std::wstring> wide;
    for (const std::string& argument : arguments) {
        wide.push_back(widen(argument));
    }
    std::wstring joined;
    if (!joinCommandLine(wide, &joined, bad)) {
        return false;
    }
    *text = narrow(joined);
    return true;
}
