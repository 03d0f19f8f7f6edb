// Entry and role choice. Every role starts from the same start-up steps; the command
// line alone decides what the process is: a service command, the service process, the
// service's child, or a run from the console.
#include "launcher/startup.h"

#include "config/config_loader.h"
#include "config/config_store.h"
#include "config/included_files.h"
#include "config/messages.h"
#include "config/run_settings.h"
#include "config/service_signals.h"
#include "config/start_failure_report.h"
#include "config/variable_expansion.h"
#include "format/command_line.h"
#include "format/record_ids.h"
#include "jvm/launch/vm_options_file.h"
#include "launcher/launch_sequence.h"
#include "launcher/service_command_line.h"
#include "platform/diagnostic_log.h"
#include "platform/paths.h"
#include "platform/text_conversion.h"
#include "service/child_process.h"
#include "service/control_pipe.h"
#include "service/service_commands.h"
#include "service/service_main.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void changeWorkingDirectory()
{
    wchar_t directory[kTextCapacity];
    wchar_t full[kTextCapacity];
    // A cut path is another directory: like one that cannot be entered, it leaves the current one.
    if (!getConfigWString(cfg::workingDirectory, directory, kTextCapacity) || directory[0] == L'\0' ||
        !expandVariables(directory, kTextCapacity, true) ||
        !getFullPathW(full, kTextCapacity, directory, false, true)) {
        logMessage("working directory unchanged");
        return;
    }
    SetCurrentDirectoryW(full);  // a directory that cannot be entered leaves the current one
    logMessage("change working directory to %S", full);
}

// A service name from the command line replaces the configured one. A name that does not
// fit is never used cut: that could name another service. A service command refuses it;
// any other role goes on with the configured name.
bool takeServiceName(const std::wstring& name, bool forServiceCommand)
{
    if (setServiceName(name)) {
        return true;
    }
    if (forServiceCommand) {
        char message[256];
        // The text is only shown; it fits, with the two numbers, well inside the buffer.
        showCut(formatText(message, sizeof message,
                           "The service name given on the command line is too long (%d characters; at most %d).",
                           static_cast<int>(name.size()), kServiceNameCapacity - 1));
        logError("%s", message);
        showError(message);
        return false;
    }
    logError("service name on the command line too long (%d characters; at most %d); not taken",
             static_cast<int>(name.size()), kServiceNameCapacity - 1);
    return true;
}

bool isServiceCommand(const std::string& word)
{
    static const char* const kCommands[] = {"install", "install-and-start", "install-auto", "install-demand",
                                            "uninstall", "stop", "start", "restart", "status", "configure",
                                            "dump"};
    for (const char* command : kCommands) {
        if (word == command) return true;
    }
    return false;
}

int runServiceCommand(const ServiceCommandLine& command)
{
    const std::string& word = command.word;
    InstallRequest request;
    request.interactive = interactive;
    request.replaceOtherProgram = command.replace;
    if (word == "install") return installService(request);
    if (word == "install-and-start") {
        // A failed install still tries the start, as it always has; but when no entry was
        // created or changed (a refused configuration, another program's service, an
        // update that failed), the old entry must not be started instead.
        bool unchanged = false;
        request.startFollows = true;
        installService(request, &unchanged);
        return unchanged ? 1 : startService();
    }
    if (word == "install-auto" || word == "install-demand") {
        request.choice = word == "install-auto" ? StartTypeChoice::automatic : StartTypeChoice::onDemand;
        return installService(request);
    }
    if (word == "configure") {
        ConfigureRequest configure;
        configure.interactive = interactive;
        configure.start = command.start;
        return configureService(configure);
    }
    if (word == "uninstall") return uninstallService(true);
    if (word == "stop") return stopService(true);
    if (word == "start") return startService();
    if (word == "restart") return restartService();
    if (word == "dump") return dumpService();
    return serviceStatus();
}

// The program's own file name, for the usage.
std::string programName()
{
    std::string path = getModulePath();
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// An argument as a message shows it: characters beyond ASCII as '?', cut to a line.
std::string narrowForMessage(const std::wstring& argument)
{
    std::string out;
    for (wchar_t c : argument.substr(0, 80)) {
        out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    return argument.size() > 80 ? out + "..." : out;
}

void showUsage(const std::string& reason)
{
    logMessage("usage shown: %s", reason.c_str());
    std::string text = reason.empty() ? usageText(programName()) : reason + "\n" + usageText(programName());
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

bool isOneOf(const std::wstring& argument, const wchar_t* a, const wchar_t* b, const wchar_t* c)
{
    return argument == a || argument == b || argument == c;
}

int runGeneralPath()
{
    const wchar_t* commandLine = GetCommandLineW();
    logMessage("command line2 %S", commandLine);
    ArgumentList arguments;
    splitCommandLine(commandLineArguments(commandLine, getModulePathW()), arguments);

    // The service process names the pipe for a start failure after the marker, and its
    // signals after that; only there are they taken, so that no start parameter can name
    // a handle.
    if (arguments.size() >= 3 && arguments[arguments.size() - 3] == kChildMarker) {
        ServiceSignalHandles signals;
        if (parseServiceSignalsArgument(arguments.last(), &signals)) {
            openServiceSignals(signals);
            arguments.removeLast();
        }
    }
    if (arguments.size() >= 2 && arguments[arguments.size() - 2] == kChildMarker) {
        HANDLE report = parseStartFailureReportArgument(arguments.last());
        if (report != nullptr) {
            openStartFailureReport(report);
            arguments.removeLast();
        }
    }
    if (!arguments.empty() && arguments.last() == kChildMarker) {
        arguments.removeLast();
        // The service process names the service first: the name it runs under, which
        // /install may have been given in place of the configured one.
        if (!arguments.empty() && !arguments.first().empty()) {
            takeServiceName(arguments.first(), false);
        }
        launchApplication(arguments, true);
        return 0;
    }
    if (!arguments.empty() && isOneOf(arguments.first(), L"/run", L"-run", L"--run")) {
        logMessage("running service");
        noRedirect = true;
        serviceMode = false;
        arguments.removeFirst();
        launchApplication(arguments, false);
        return 0;
    }
    if (!arguments.empty() && isOneOf(arguments.first(), L"/run-redirect", L"-run-redirect", L"--run-redirect")) {
        logMessage("running service with redirection");
        serviceMode = false;
        arguments.removeFirst();
        launchApplication(arguments, false);
        return 0;
    }

    SERVICE_TABLE_ENTRYW table[] = {{serviceNameW, serviceMain}, {nullptr, nullptr}};
    logMessage("calling StartServiceCtrlDispatcher");
    DWORD error = StartServiceCtrlDispatcherW(table) ? ERROR_SUCCESS : GetLastError();
    if (error != ERROR_SUCCESS) {
        logMessage("StartServiceCtrlDispatcher failed with error %d", static_cast<int>(error));
    }
    logMessage("StartServiceCtrlDispatcher returned");
    if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
        // Started from a console or by another program, not by the service manager: a
        // mistyped command or none at all. Saying nothing and ending with 0 would look
        // like success.
        std::string first = arguments.empty() ? std::string() : narrowForMessage(arguments.first());
        showUsage(first.empty() ? "not started by the service manager, and no command given"
                                : "unknown command " + first + " (and not started by the service manager)");
        return kUsageExitCode;
    }
    if (error != ERROR_SUCCESS) {
        std::fprintf(stderr, "The service dispatcher could not be started. Error code: %d\n", static_cast<int>(error));
        std::fflush(stderr);
        return 1;
    }
    return 0;
}

} // namespace

int launcherMain()
{
    serviceMode = true;
    launcherTempDir[0] = '\0';
    loadConfiguration();

    char letter[2];
    // Only the first letter counts; the store logs a longer text.
    static_cast<void>(getConfigString(cfg::flavourLetter, letter, sizeof letter));
    flavour = letter[0];

    changeWorkingDirectory();
    // A cut name could manage another service: treated as no name.
    char configured[kServiceNameCapacity];
    if (!getConfigString(cfg::serviceName, configured, sizeof configured) || !setConfiguredServiceName(configured)) {
        static_cast<void>(setServiceName(std::wstring()));
    }

    // The command line as the system has it, in UTF-8 for the parser, so that a name in any
    // script reaches the system unchanged (the ANSI form would have replaced its letters).
    const wchar_t* tail = commandLineArguments(GetCommandLineW(), getModulePathW());
    const std::string tailText = toNarrow(tail != nullptr ? tail : L"", CP_UTF8);
    ServiceCommandLine command = parseServiceCommandLine(tailText.c_str());
    if (command.hasCommandPrefix) {
        interactive = command.interactive;
        bool forCommand = isServiceCommand(command.word);
        if (command.nameGiven && !takeServiceName(toWide(command.name, CP_UTF8), forCommand)) {
            exitLauncher(1);
        }
        if (forCommand && command.replace && !isInstallCommand(command.word)) {
            showUsage("/replace is an option of the install commands only");
            return kUsageExitCode;
        }
        if (forCommand && command.startGiven && command.word != "configure") {
            showUsage("/start= is an option of /configure only");
            return kUsageExitCode;
        }
        if (command.word == "vmoptions") {
            // The options as the launcher splits its own command line, behind the word.
            ArgumentList options;
            splitCommandLine(commandLineArguments(GetCommandLineW(), getModulePathW()), options);
            options.removeFirst();
            return writeVmOptionsCommand(options);
        }
        if (forCommand) {
            return runServiceCommand(command);
        }
        // A request for help is answered at once: the dispatcher would only refuse it, and
        // takes its time to do so in a process that another program started.
        if (isHelpRequest(command)) {
            showUsage("");
            return kUsageExitCode;
        }
    }
    return runGeneralPath();
}
