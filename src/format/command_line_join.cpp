// Joining arguments, and the command-line form on narrow text: the wide implementation on
// the text widened byte by byte, which gives every byte back unchanged (blank and quotes
// are ASCII). Only the packager needs these; the launcher splits and quotes.
#include "format/command_line.h"

bool joinCommandLine(const std::vector<std::wstring>& arguments, std::wstring* text, size_t* bad)
{
    std::wstring out;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        const wchar_t* quote = commandLineQuote(argument);
        if (quote == nullptr) {
            if (bad != nullptr) {
                *bad = i;
            }
            return false;
        }
        if (i > 0) {
            out += L' ';
        }
        out += quote;
        out += argument;
        out += quote;
    }
    *text = out;
    return true;
}

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
