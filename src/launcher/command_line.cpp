// Command-line splitting and service-command parsing.
#include "launcher/command_line.h"

#include <cstring>

void splitCommandLine(const wchar_t* text, ArgumentList& arguments)
{
    if (text == nullptr) {
        return;
    }
    std::wstring rest(text);
    size_t at = 0;
    while (at < rest.size()) {
        size_t doubleQuote = rest.find(L'"', at);
        size_t singleQuote = rest.find(L'\'', at);
        size_t blank = rest.find(L' ', at);
        if (rest[at] == L' ') {
            ++at;
            continue;
        }
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

const char* commandLineTail(const char* commandLine)
{
    if (commandLine == nullptr) {
        return "";
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine);
    bool quoted = false;
    while (*p != 0 && (quoted || *p > 32)) {
        if (*p == '"') {
            quoted = !quoted;
        }
        ++p;
    }
    while (*p != 0 && *p <= 32) {
        ++p;
    }
    return reinterpret_cast<const char*>(p);
}

ServiceCommandLine parseServiceCommandLine(const char* tail)
{
    ServiceCommandLine result;
    if (tail == nullptr || (tail[0] != '/' && tail[0] != '-')) {
        return result;
    }
    result.hasCommandPrefix = true;
    std::string text(tail + 1);
    if (!text.empty() && text[0] == '-') {
        text.erase(0, 1);
    }
    static const char kNonInteractive[] = "non-interactive";
    const size_t flagLength = sizeof kNonInteractive - 1;
    size_t blank = text.find(' ');
    result.word = text.substr(0, blank);
    while (blank != std::string::npos && text.size() - blank >= 2) {
        if (text.compare(blank + 1, flagLength, kNonInteractive) == 0) {
            result.interactive = false;
            size_t next = blank + 1 + flagLength;
            blank = next < text.size() ? text.find(' ', next) : std::string::npos;
            continue;
        }
        result.nameGiven = true;
        result.name = text.substr(blank + 1);
        break;
    }
    return result;
}
