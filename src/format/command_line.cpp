// Command-line splitting and joining on wide text.
#include "format/command_line.h"

#include <type_traits>

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


namespace {

template <typename Char>
Char lowerAscii(Char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c;
}

template <typename Char>
const Char* argumentsAfterProgram(const Char* commandLine, const Char* modulePath)
{
    static const Char kEmpty[] = {0};
    if (commandLine == nullptr) {
        return kEmpty;
    }
    const Char* p = commandLine;
    size_t matched = 0;
    while (modulePath != nullptr && modulePath[matched] != 0 &&
           lowerAscii(commandLine[matched]) == lowerAscii(modulePath[matched])) {
        ++matched;
    }
    using Unit = typename std::make_unsigned<Char>::type;
    bool wholePath = modulePath != nullptr && matched > 0 && modulePath[matched] == 0 &&
                     static_cast<Unit>(commandLine[matched]) <= 32;
    if (wholePath) {
        p += matched;
    } else {
        bool quoted = false;
        while (*p != 0 && (quoted || static_cast<Unit>(*p) > 32)) {
            if (*p == '"') {
                quoted = !quoted;
            }
            ++p;
        }
    }
    while (*p != 0 && static_cast<Unit>(*p) <= 32) {
        ++p;
    }
    return p;
}

} // namespace

const wchar_t* commandLineArguments(const wchar_t* commandLine, const wchar_t* modulePath)
{
    return argumentsAfterProgram(commandLine, modulePath);
}

const char* commandLineArguments(const char* commandLine, const char* modulePath)
{
    return argumentsAfterProgram(commandLine, modulePath);
}
