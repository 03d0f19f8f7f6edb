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

bool isHelpRequest(const ServiceCommandLine& command)
{
    if (!command.hasCommandPrefix) {
        return false;
    }
    return command.word == "help" || command.word == "?" || command.word == "h";
}

std::string usageText(const std::string& program)
{
    const std::string p = program.empty() ? std::string("launcher.exe") : program;
    return "usage: " + p + " /install [non-interactive] [name]   also /install-auto, /install-demand,\n" +
           "       " + p + " /install-and-start, /uninstall, /start, /stop, /status   [name]\n" +
           "       " + p + " /run [arguments...]            runs the application in this console\n" +
           "       " + p + " /run-redirect [arguments...]   the same, letting it redirect its output\n" +
           "Without a command it is the service process, which only the service manager starts.\n" +
           "QUILL_LOG=yes writes a diagnostic log, dpk_nlog_N in the directory that TMP names.\n";
}
