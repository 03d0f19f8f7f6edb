// Command-line splitting and joining on wide text.
#include "format/command_line.h"

void splitCommandLine(const wchar_t* text, ArgumentList& arguments)
{
    if (text == nullptr) {
        return;
    }
    const std::wstring rest(text);
    size_t at = 0;
    while (at < rest.size()) {
        if (rest[at] == L' ') {
            ++at;
            continue;
        }
        size_t doubleQuote = rest.find(L'"', at);
        size_t singleQuote = rest.find(L'\'', at);
        size_t blank = rest.find(L' ', at);
        if (blank != std::wstring::npos && blank < doubleQuote && blank < singleQuote) {
            arguments.append(rest.substr(at, blank - at));
            at = blank + 1;
            continue;
        }
        wchar_t quote;
        size_t open;
        if (doubleQuote != std::wstring::npos && doubleQuote < singleQuote) {
            quote = L'"';
            open = doubleQuote;
        } else if (singleQuote != std::wstring::npos) {
            quote = L'\'';
            open = singleQuote;
        } else {
            arguments.append(rest.substr(at));
            return;
        }
        size_t close = rest.find(quote, open + 1);
        std::wstring argument = rest.substr(at, open - at);
        if (close == std::wstring::npos) {
            arguments.append(argument + rest.substr(open + 1));
            return;
        }
        arguments.append(argument + rest.substr(open + 1, close - open - 1));
        at = close + 1;
        if (at < rest.size() && rest[at] == L' ') {
            ++at;
        }
    }
}

const wchar_t* commandLineQuote(const std::wstring& argument)
{
    bool hasDouble = argument.find(L'"') != std::wstring::npos;
    bool hasSingle = argument.find(L'\'') != std::wstring::npos;
    if (hasDouble && hasSingle) {
        return nullptr;
    }
    if (hasDouble) {
        return L"'";
    }
    return argument.empty() || hasSingle || argument.find(L' ') != std::wstring::npos ? L"\"" : L"";
}

