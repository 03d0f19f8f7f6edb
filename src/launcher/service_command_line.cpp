// Service-command parsing.
#include "launcher/service_command_line.h"

#include "format/command_line.h"

#include <cstring>

const char* commandLineTail(const char* commandLine)
{
    return commandLineArguments(commandLine, nullptr);
}

const char* commandLineTail(const char* commandLine, const char* modulePath)
{
    return commandLineArguments(commandLine, modulePath);
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
