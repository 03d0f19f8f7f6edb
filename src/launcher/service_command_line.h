// The reading of the service commands from the narrow command-line tail (the splitter of
// the launcher's command line is format/command_line.h). Pure functions of their inputs.
#pragma once

#include <string>

// The process command line without the program name (which ends at the first character
// of code 32 or below outside double quotes) and the characters of code 32 or below after it.
const char* commandLineTail(const char* commandLine);
// The same for a process whose executable is `modulePath`: a command line that starts
// with that path unquoted (a service entry registered without quotes) has its tail
// behind the whole path, blanks and all.
const char* commandLineTail(const char* commandLine, const char* modulePath);

// What the narrow tail says about a service command.
struct ServiceCommandLine {
    bool hasCommandPrefix = false;  // starts with '/', '-', "--" or "/-"
    std::string word;               // the command word, without its prefix
    bool interactive = true;        // false once "non-interactive" precedes the name
    bool replace = false;           // true once "/replace" precedes the name
    bool startGiven = false;        // "/start=<start>" precedes the name (for /configure)
    std::string start;
    bool nameGiven = false;
    std::string name;               // everything after the blank, blanks included
};

// The options "non-interactive", "/replace" and "/start=<start>" count before the name, in
// any order and number. They cannot be a service name, which holds no '/'.
ServiceCommandLine parseServiceCommandLine(const char* tail);

// True for the commands that install the service, which take "/replace".
bool isInstallCommand(const std::string& word);

// The exit code of a launcher that was started without a command it knows and not by the
// service manager, after it printed its usage.
constexpr int kUsageExitCode = 2;

// True for the words that ask for the usage: help, ? and h after '/', '-' or "--".
bool isHelpRequest(const ServiceCommandLine& command);

// The usage for the executable named `program` (its file name): its commands, /run, and
// where the diagnostic log goes. Lines end with '\n'.
std::string usageText(const std::string& program);
