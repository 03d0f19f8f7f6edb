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
    struct Option {
        const char* text;
        bool* flag;
        bool value;
    };
    const Option options[] = {{"non-interactive", &result.interactive, false}, {"/replace", &result.replace, true}};
    size_t blank = text.find(' ');
    result.word = text.substr(0, blank);
    while (blank != std::string::npos && text.size() - blank >= 2) {
        const Option* found = nullptr;
        for (const Option& option : options) {
            const size_t length = std::strlen(option.text);
            if (text.compare(blank + 1, length, option.text) == 0) {
                found = &option;
                break;
            }
        }
        // "/start=<start>" takes the text up to the next blank.
        const std::string startOption = "/start=";
        if (found == nullptr && text.compare(blank + 1, startOption.size(), startOption) == 0) {
            const size_t value = blank + 1 + startOption.size();
            blank = text.find(' ', value);
            result.start = text.substr(value, blank == std::string::npos ? std::string::npos : blank - value);
            result.startGiven = true;
            continue;
        }
        if (found != nullptr) {
            *found->flag = found->value;
            size_t next = blank + 1 + std::strlen(found->text);
            blank = next < text.size() ? text.find(' ', next) : std::string::npos;
            continue;
        }
        result.nameGiven = true;
        result.name = text.substr(blank + 1);
        break;
    }
    return result;
}

bool isInstallCommand(const std::string& word)
{
    return word == "install" || word == "install-and-start" || word == "install-auto" || word == "install-demand";
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
    return "usage: " + p + " /install [non-interactive] [/replace] [name]   also /install-auto, /install-demand,\n" +
           "       " + p + " /install-and-start, /uninstall, /start, /stop, /restart, /status   [name]\n" +
           "       " + p + " /configure [non-interactive] [/start=auto|delayed|demand|disabled] [name]\n" +
           "                 sets up an installed entry as /install does beyond the service tables\n" +
           "       " + p + " /dump [name]                  the running application's thread dump to its error output\n" +
           "       " + p + " /vmoptions [options...]       writes them into the vmoptions file beside it\n" +
           "       " + p + " /run [arguments...]            runs the application in this console\n" +
           "       " + p + " /run-redirect [arguments...]   the same, letting it redirect its output\n" +
           "/replace lets install take over a service of that name that runs another program.\n" +
           "Without a command it is the service process, which only the service manager starts.\n" +
           "QUILL_LOG=yes writes a diagnostic log, dpk_nlog_N in the directory that TMP names.\n";
}
