// The service control commands. They talk to the local Service Control Manager and print
// short English lines for the administrator or the installer that runs them. The install
// options that could not be applied, and the configurations that install refuses, also go
// to the diagnostic log.
#include "service/service_commands.h"

#include "config/config_store.h"
#include "config/run_settings.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/environment.h"
#include "platform/handle.h"
#include "platform/paths.h"
#include "platform/text_conversion.h"
#include "platform/text_format.h"
#include "service/event_log.h"
#include "service/install_options.h"
#include "service/logon_right.h"
#include "service/output_folder.h"
#include "service/preshutdown.h"
#include "service/service_exit_codes.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Wait step while a stop is pending (the command returns this soon after the service has
// stopped) and the buffer of the configuration query.
constexpr DWORD kStopPollMs = 20;
constexpr DWORD kConfigBufferSize = 6000;

// The lines go to a pipe as often as to a console; flushing each keeps them in order with
// anything the process writes afterwards.
void say(const char* text)
{
    fputs(text, stdout);
    fflush(stdout);
}

void sayWithName(const char* format)
{
    printf(format, serviceName);
    fflush(stdout);
}

// A line on standard output that also goes to the diagnostic log (without its line end).
void sayAndLog(const char* format, ...) LAUNCHER_PRINTF(1, 2);
void sayAndLog(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string line = formatStringV(format, args);
    va_end(args);
    say(line.c_str());
    if (!line.empty() && line.back() == '\n') line.pop_back();
    logMessage("%s", line.c_str());
}

// The configured texts of an entry (the account, the dependencies) are ISO-8859-1: each
// byte is the character of the same value, whatever the system's code page. The service's
// own name is serviceNameW.
std::wstring wideOf(const std::string& configured) { return widenBytes(configured); }

// The image path that the Service Control Manager runs. It is quoted when it holds a
// blank: unquoted, "C:\Program Files\app\svc.exe" would be tried as "C:\Program.exe"
// first. An apostrophe is quoted too, so that the command line splits as it always has
// (the service process itself takes its own path from the system, not from that line, as
// an installer package writes the entry without quotes).
std::wstring imagePathOfThisExecutable()
{
    std::wstring path = getModulePathW();
    if (path.find_first_of(L" '") != std::wstring::npos) {
        return L"\"" + path + L"\"";
    }
    return path;
}

bool imagePathRunsThisProgram(const std::wstring& imagePath)
{
    // An entry written by an older install may hold the narrow form of the path.
    return imagePathRuns(imagePath, getModulePathW()) ||
           imagePathRuns(imagePath, toWide(getModulePath(), fileApiCodePage()));
}

// ChangeServiceConfig2W is looked up at run time, as systems without it must still be
// able to install the service; it then simply has no description and none of the
// settings below.
using ChangeConfig2W = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);

ChangeConfig2W lookUpChangeConfig2()
{
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    FARPROC entry = advapi != nullptr ? GetProcAddress(advapi, "ChangeServiceConfig2W") : nullptr;
    return reinterpret_cast<ChangeConfig2W>(reinterpret_cast<void*>(entry));
}

// An updated entry gets an empty description when the configuration has none, as a new
// entry would.
void setDescription(ChangeConfig2W changeConfig2, SC_HANDLE service, bool updating)
{
    wchar_t description[kTextCapacity];
    // A longer description is cut to the buffer: it is only shown to people.
    showCut(getLocalizedText(cfg::serviceDescription, description, kTextCapacity));
    if ((description[0] == L'\0' && !updating) || changeConfig2 == nullptr) {
        return;
    }
    SERVICE_DESCRIPTIONW record{description};
    changeConfig2(service, SERVICE_CONFIG_DESCRIPTION, &record);
}

// One setting of the second configuration level that the configuration asks for. A
// service manager that does not know the level (Wine's, for several of them), or a system
// without the function, leaves the service installed without it: the console says so with
// what the service does instead (`withoutIt`), and the log has the line "could not set".
// Any other failure is told too, as the service then lacks something that was asked for.
void setConfig2(ChangeConfig2W changeConfig2, SC_HANDLE service, DWORD level, void* info, const char* what,
                const char* withoutIt)
{
    DWORD error = ERROR_PROC_NOT_FOUND;
    if (changeConfig2 != nullptr) {
        if (changeConfig2(service, level, info)) return;
        error = GetLastError();
    }
    if (error == ERROR_INVALID_LEVEL || error == ERROR_PROC_NOT_FOUND) {
        logMessage("could not set %s (error %lu)", what, error);
        sayAndLog("The system does not take %s for the service (error %lu): %s.\n", what, error, withoutIt);
        return;
    }
    sayAndLog("Could not set %s of the service (error %lu).\n", what, error);
}

// A setting of an updated entry put back to what a new entry has, as the configuration
// does not ask for it. Where the system does not know the level, the entry cannot hold
// the setting either: that goes to the log only.
void resetConfig2(ChangeConfig2W changeConfig2, SC_HANDLE service, DWORD level, void* info, const char* what)
{
    DWORD error = ERROR_PROC_NOT_FOUND;
    if (changeConfig2 != nullptr) {
        if (changeConfig2(service, level, info)) return;
        error = GetLastError();
    }
    if (error == ERROR_INVALID_LEVEL || error == ERROR_PROC_NOT_FOUND) {
        logMessage("could not reset %s (error %lu)", what, error);
        return;
    }
    sayAndLog("Could not remove %s from the service (error %lu).\n", what, error);
}

// The password of a user account, read from the environment at install time. It is
// never copied elsewhere, and wiped on every path out of the install.
constexpr DWORD kPasswordCapacity = 257;  // 256 characters and the terminator

class ServicePassword {
public:
    ServicePassword() = default;
    ~ServicePassword() { SecureZeroMemory(text_, sizeof text_); }
    ServicePassword(const ServicePassword&) = delete;
    ServicePassword& operator=(const ServicePassword&) = delete;

    // False, with the reason printed, when the variable is missing, empty or too long.
    bool read(const std::string& account)
    {
        // Taken out of the environment at once: nothing this process starts inherits it.
        DWORD length = takeEnvironmentSecret(kServicePasswordVariable, text_, kPasswordCapacity);
        if (length == 0) {
            sayAndLog("The account %s needs its password in the environment variable %s; nothing was installed.\n",
                      account.c_str(), kServicePasswordVariable);
            return false;
        }
        if (length >= kPasswordCapacity) {
            sayAndLog("The password in the environment variable %s is longer than %lu characters; nothing was "
                      "installed.\n",
                      kServicePasswordVariable, kPasswordCapacity - 1);
            return false;
        }
        return true;
    }
    const wchar_t* get() const { return text_; }

private:
    wchar_t text_[kPasswordCapacity] = {};
};

// The configuration's install options, checked before any entry is touched.
struct InstallPlan {
    servicemodel::Start start;
    servicemodel::ServiceAccount account;
    servicemodel::Recovery recovery;
};

servicemodel::StartChoice startChoiceOf(StartTypeChoice choice)
{
    switch (choice) {
    case StartTypeChoice::automatic: return servicemodel::StartChoice::automatic;
    case StartTypeChoice::onDemand: return servicemodel::StartChoice::demand;
    case StartTypeChoice::configured: break;
    }
    return servicemodel::StartChoice::configured;
}

bool planInstall(StartTypeChoice choice, InstallPlan* plan, ServicePassword* password)
{
    std::string startModeText = dupConfigString(cfg::serviceStartMode);
    plan->start = servicemodel::startOf(startChoiceOf(choice), dupConfigString(cfg::launcherKind), startModeText);
    if (!plan->start.valid) {
        sayAndLog("The service start mode '%s' %s; nothing was installed.\n", startModeText.c_str(),
                  plan->start.reason.c_str());
        return false;
    }

    std::string accountText = dupConfigString(cfg::serviceAccount);
    plan->account = servicemodel::serviceAccountOf(accountText, serviceName);
    if (plan->account.kind == servicemodel::AccountKind::invalid) {
        sayAndLog("The service account '%s' is not valid (%s): it %s; nothing was installed.\n", accountText.c_str(),
                  servicemodel::kAccountFormsShort, plan->account.reason.c_str());
        return false;
    }
    if (plan->account.needsPassword() && !password->read(plan->account.name)) {
        return false;
    }
    plan->recovery = servicemodel::recoveryOf(dupConfigString(cfg::serviceRecovery));
    return true;
}

// What the service manager's create and change functions take, wide. The password goes
// in through the wide functions: the narrow ones would pass it through the ANSI code page
// and silently change characters that the code page lacks.
struct EntryTexts {
    std::wstring name;
    std::wstring imagePath;
    std::wstring dependencies;  // NUL-separated, a second NUL at the end; empty for none
    std::wstring account;       // empty for LocalSystem
    const wchar_t* password;    // null when the account has none
};

EntryTexts entryTextsOf(const InstallPlan& plan, const ServicePassword& password)
{
    EntryTexts texts;
    texts.name = serviceNameW;
    texts.imagePath = imagePathOfThisExecutable();
    texts.dependencies = wideOf(buildDependencyList());
    const char* account = serviceStartName(plan.account);
    // A virtual account is named after the service, as the system spells it.
    texts.account = plan.account.kind == servicemodel::AccountKind::virtualAccount ? L"NT SERVICE\\" + texts.name
                    : account != nullptr                                        ? wideOf(account)
                                                                                : std::wstring();
    texts.password = plan.account.needsPassword() ? password.get() : nullptr;
    return texts;
}

// The image path of an existing entry; false, with the reason printed, when it cannot be read.
bool readImagePath(SC_HANDLE service, std::wstring* imagePath)
{
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    // QUERY_SERVICE_CONFIGW holds pointers, so the storage is aligned for them.
    std::vector<ULONG_PTR> storage(needed / sizeof(ULONG_PTR) + 1);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(storage.data());
    if (!QueryServiceConfigW(service, config, static_cast<DWORD>(storage.size() * sizeof(ULONG_PTR)), &needed)) {
        DWORD error = GetLastError();
        say("Could not read the configuration of the service.\n");
        explainError(error);
        return false;
    }
    *imagePath = config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : L"";
    return true;
}

// Changes an existing entry in one call: the service manager takes all of it or none.
bool updateEntry(SC_HANDLE service, const InstallPlan& plan, const EntryTexts& texts, bool interactive)
{
    // An empty list removes the old dependencies (a null one would keep them); LocalSystem
    // is named, as a null account keeps the old one, and a built-in account takes an empty
    // password.
    const wchar_t noDependencies[2] = {L'\0', L'\0'};
    if (ChangeServiceConfigW(service, serviceTypeOf(plan.account, interactive), serviceStartType(plan.start.type),
                             SERVICE_ERROR_NORMAL, texts.imagePath.c_str(), nullptr, nullptr,
                             texts.dependencies.empty() ? noDependencies : texts.dependencies.c_str(),
                             texts.account.empty() ? L"LocalSystem" : texts.account.c_str(),
                             texts.password != nullptr ? texts.password : L"", texts.name.c_str())) {
        return true;
    }
    DWORD error = GetLastError();
    logError("ChangeServiceConfig failed with error %lu", error);
    say("Could not update service.\n");
    explainError(error);
    return false;
}

void setRecovery(ChangeConfig2W changeConfig2, SC_HANDLE service, const servicemodel::Recovery& recovery,
                 bool updating)
{
    if (recovery.present && !recovery.valid) {
        std::string text = dupConfigString(cfg::serviceRecovery);
        sayAndLog("The recovery setting '%s' %s; the service has no failure actions.\n", text.c_str(),
                  recovery.reason.c_str());
    }
    const bool wanted = recovery.present && recovery.valid;
    if (wanted) {
        SC_ACTION action = failureAction(recovery);
        SC_ACTION actions[3] = {action, action, action};
        SERVICE_FAILURE_ACTIONSW failureActions{recovery.resetSeconds, nullptr, nullptr, 3, actions};
        setConfig2(changeConfig2, service, SERVICE_CONFIG_FAILURE_ACTIONS, &failureActions, "the failure actions",
                   "nothing restarts the service when it fails");
    } else if (updating) {
        // No actions with an array given removes the old ones.
        SC_ACTION none{SC_ACTION_NONE, 0};
        SERVICE_FAILURE_ACTIONSW noActions{0, nullptr, nullptr, 0, &none};
        resetConfig2(changeConfig2, service, SERVICE_CONFIG_FAILURE_ACTIONS, &noActions, "the failure actions");
    }
    // A new entry has the flag off already.
    if (wanted && recovery.onNonCrashFailures) {
        SERVICE_FAILURE_ACTIONS_FLAG flag{TRUE};
        setConfig2(changeConfig2, service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag,
                   "failure actions on non-crash failures",
                   "the failure actions follow only an unexpected end of the service, not a stop with an error");
    } else if (updating) {
        SERVICE_FAILURE_ACTIONS_FLAG flag{FALSE};
        resetConfig2(changeConfig2, service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag,
                     "failure actions on non-crash failures");
    }
}

void setDelayedStart(ChangeConfig2W changeConfig2, SC_HANDLE service, bool delayed, bool updating)
{
    if (delayed) {
        SERVICE_DELAYED_AUTO_START_INFO info{TRUE};
        setConfig2(changeConfig2, service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info, "delayed automatic start",
                   "it starts automatically at boot, without the delay");
    } else if (updating) {
        SERVICE_DELAYED_AUTO_START_INFO info{FALSE};
        resetConfig2(changeConfig2, service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info, "delayed automatic start");
    }
}

SERVICE_STATUS_PROCESS queryStatus(SC_HANDLE service, bool* ok)
{
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    *ok = QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                               &needed) != FALSE;
    return status;
}

// Waits for a stop that has been asked for, and says how it ended. After "Error while
// stopping service", the line callers know, a second one says where the service stands.
int finishStop(SC_HANDLE service)
{
    const bool stopped = waitForServiceStop(service);
    bool ok = false;
    SERVICE_STATUS_PROCESS status = queryStatus(service, &ok);
    const DWORD error = GetLastError();
    if (stopped || (ok && status.dwCurrentState == SERVICE_STOPPED)) {
        say("Service stopped\n");
        return 0;
    }
    say("Error while stopping service\n");
    if (!ok) {
        explainError(error);
    } else {
        std::string detail = stateDetail(status);
        sayAndLog("  The service has not stopped in the time it asked for. %s\n",
                  detail.empty() ? "It is running." : detail.c_str());
    }
    return 1;
}

// Stops an opened service (stop and query rights) and waits for the stopped state.
int stopOpenedService(SC_HANDLE service, bool verbose, bool* stopped)
{
    bool ok = false;
    SERVICE_STATUS_PROCESS before = queryStatus(service, &ok);
    if (ok && before.dwCurrentState == SERVICE_STOP_PENDING) {
        // A second request would only be refused (1061); the stop under way is waited for.
        if (stopped != nullptr) *stopped = true;
        sayWithName("A stop of service '%s' is already under way.\n");
        return finishStop(service);
    }
    SERVICE_STATUS status{};
    if (ControlService(service, SERVICE_CONTROL_STOP, &status)) {
        if (stopped != nullptr) *stopped = true;
        // These lines are printed whatever `verbose` says: install and uninstall show
        // that they stopped a running service first.
        sayWithName("Stopping service '%s'.\n");
        return finishStop(service);
    }
    DWORD error = GetLastError();
    if (error == ERROR_SERVICE_NOT_ACTIVE) {
        say("Service is already stopped.\n");
        return 0;
    }
    if (verbose) {
        say("Could not stop service.\n");
        explainError(error);
    }
    return 1;
}

// The system's text for an error, without its line break and full stop; "" when it has none.
std::string systemText(unsigned long error)
{
    char text[512] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                             sizeof text, nullptr);
    // The system's text ends with a line break, sometimes after a full stop.
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.')) {
        text[--n] = '\0';
    }
    return std::string(text, n);
}

std::string processPart(const SERVICE_STATUS_PROCESS& status, const char* verb)
{
    if (status.dwProcessId == 0) return std::string();
    return std::string(", and its process (id ") + std::to_string(status.dwProcessId) + ") " + verb;
}

// Grants the account of the plan the right to log on as a service when the configuration
// asks for it; false, with the reason printed, when the account needs it and cannot be
// given it. The grant stays when a later step fails: the right is the account's, not the
// entry's.
bool grantLogonRightIfAsked(const InstallPlan& plan)
{
    if (!servicemodel::grantsLogonRight(dupConfigString(cfg::serviceGrantLogonRight), plan.account)) {
        return true;
    }
    LogonRightResult result = ensureLogonRight(plan.account);
    std::string line = logonRightLine(result);
    if (!line.empty()) {
        sayAndLog("%s", line.c_str());
    }
    if (result.outcome == LogonRightOutcome::failed) {
        if (result.error != 0) explainError(result.error);
        return false;
    }
    return true;
}

// The pre-shutdown timeout of the configuration. A service manager without the level
// leaves the system's default, which the console says as for the other settings.
void setShutdownTime(ChangeConfig2W changeConfig2, SC_HANDLE service)
{
    const servicemodel::Shutdown shutdown = configuredShutdown();
    const DWORD error = setPreshutdownTimeout(service, shutdown, changeConfig2);
    if (error == NO_ERROR) {
        return;
    }
    if (error == ERROR_INVALID_LEVEL || error == ERROR_PROC_NOT_FOUND) {
        sayAndLog("The system does not take the pre-shutdown timeout for the service (error %lu): at a system "
                  "shutdown it has the system's default time to stop.\n",
                  error);
        return;
    }
    sayAndLog("Could not set the pre-shutdown timeout of the service (error %lu).\n", error);
}

// Makes each output folder under the launcher's folder and opens it to the account; a
// failure is said, and the service stays configured without it.
void grantOutputFolders(const servicemodel::ServiceAccount& account)
{
    for (const std::wstring& folder : outputFoldersUnderLauncher()) {
        const char* step = "";
        DWORD error = grantOutputFolderAccess(folder, account, &step);
        if (error == NO_ERROR) {
            logMessage("output folder %S open to %s", folder.c_str(), account.shownName().c_str());
            continue;
        }
        sayAndLog("Could not open the output folder %s to the account %s: %s failed (error %lu).\n",
                  narrowForDisplay(folder).c_str(), account.shownName().c_str(), step, error);
    }
}

// What an entry gets beyond the service manager's tables, the same for /install and
// /configure: delayed start, recovery, the pre-shutdown timeout, the event source and
// the output folders' access. `updating` puts back what the configuration does not ask
// for (an entry that /install updates becomes what a new one would be); /configure
// changes nothing it is not configured for.
void applyEntrySettings(SC_HANDLE service, const InstallPlan& plan, bool updating)
{
    ChangeConfig2W changeConfig2 = lookUpChangeConfig2();
    setDelayedStart(changeConfig2, service, plan.start.delayed, updating);
    setRecovery(changeConfig2, service, plan.recovery, updating);
    setShutdownTime(changeConfig2, service);
    // Without the source the events still go to the log, only without their texts: a
    // failure is logged and the service stays installed.
    registerEventSource(serviceNameW, getModulePath());
    grantOutputFolders(plan.account);
}

// The account of an existing entry as the service model reads it: the name the service
// manager keeps, as the configuration's texts are (ISO-8859-1).
servicemodel::ServiceAccount entryAccount(const wchar_t* startName)
{
    std::string name;
    for (const wchar_t* c = startName != nullptr ? startName : L""; *c != L'\0'; ++c) {
        if (*c > 0xFF) {
            servicemodel::ServiceAccount invalid;
            invalid.kind = servicemodel::AccountKind::invalid;
            invalid.reason = "holds a character beyond ISO-8859-1";
            return invalid;
        }
        name += static_cast<char>(*c);
    }
    return servicemodel::serviceAccountOf(name, serviceName);
}

} // namespace

std::string errorExplanation(unsigned long error)
{
    std::string text = systemText(error);
    const char* hint = nullptr;
    switch (error) {
    case ERROR_ACCESS_DENIED: hint = "Run this command as an administrator."; break;
    case ERROR_SERVICE_DOES_NOT_EXIST: hint = "The service is not installed; install it with /install."; break;
    case ERROR_INVALID_NAME: hint = "A service name must not hold '/' or '\\'."; break;
    case ERROR_SERVICE_DISABLED: hint = "The service is disabled; install it again with /install-auto or /install-demand."; break;
    case ERROR_SERVICE_MARKED_FOR_DELETE:
        hint = "The service is being removed; close every program that shows it (such as the services console) and try again.";
        break;
    case ERROR_SERVICE_CANNOT_ACCEPT_CTRL:
        hint = "The service is starting or stopping and takes no request now; try again in a moment.";
        break;
    case ERROR_SERVICE_LOGON_FAILED:
        hint = "The service's account could not log on. The usual causes: the account lacks the right \"Log on as a "
               "service\" (a domain policy may have removed it again after it was granted); its password has "
               "changed since the install (install again with the new one); or the account does not exist, is "
               "disabled or is locked out.";
        break;
    default: break;
    }
    std::string line = "  " + (text.empty() ? std::string("Unknown error") : text) + " (error " + std::to_string(error) + ").";
    if (hint != nullptr) {
        line += std::string(" ") + hint;
    }
    return line;
}

void explainError(unsigned long error)
{
    sayAndLog("%s\n", errorExplanation(error).c_str());
}

std::string stateDetail(const SERVICE_STATUS_PROCESS& status)
{
    switch (status.dwCurrentState) {
    case SERVICE_START_PENDING: return "Starting: the service is start pending" + processPart(status, "runs") + ".";
    case SERVICE_STOP_PENDING:
        return "Stopping: a stop is under way" + processPart(status, "still runs") + ".";
    case SERVICE_PAUSE_PENDING: return "Pausing: the service is pause pending" + processPart(status, "runs") + ".";
    case SERVICE_PAUSED: return "Paused" + processPart(status, "runs") + ".";
    case SERVICE_CONTINUE_PENDING:
        return "Continuing: the service is continue pending" + processPart(status, "runs") + ".";
    case SERVICE_STOPPED: break;
    default: return std::string();
    }
    // A service that has not run since the boot has nothing to tell either.
    if (status.dwWin32ExitCode == ERROR_SUCCESS || status.dwWin32ExitCode == ERROR_SERVICE_NEVER_STARTED) {
        return std::string();
    }
    if (status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR) {
        const DWORD code = status.dwServiceSpecificExitCode;
        const std::string number = std::to_string(code);
        switch (code) {
        case kServiceCodeEndedAtDeadline:
            return "Stopped at the stop deadline: the application did not end in time and was ended (service-specific "
                   "exit code " + number + ").";
        case kServiceCodeNotStarted:
            return "Failed: the application could not be started (service-specific exit code " + number + ").";
        default: return "Failed with the service-specific exit code " + number + ".";
        }
    }
    std::string text = systemText(status.dwWin32ExitCode);
    return "Failed with exit code " + std::to_string(status.dwWin32ExitCode) + (text.empty() ? "" : ": " + text) + ".";
}

bool imagePathRuns(const std::wstring& imagePath, const std::wstring& programPath)
{
    auto same = [](const std::wstring& a, const std::wstring& b) {
        return !a.empty() && a.size() == b.size() &&
               CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                    TRUE) == CSTR_EQUAL;
    };
    if (!imagePath.empty() && imagePath[0] == L'"') {
        size_t close = imagePath.find(L'"', 1);
        return close != std::wstring::npos && same(imagePath.substr(1, close - 1), programPath);
    }
    // Unquoted, the path keeps its blanks: the program is the whole text, or the text up to
    // the blank that starts the arguments.
    if (imagePath.size() < programPath.size() || !same(imagePath.substr(0, programPath.size()), programPath)) {
        return false;
    }
    return imagePath.size() == programPath.size() || imagePath[programPath.size()] == L' ' ||
           imagePath[programPath.size()] == L'\t';
}

std::string dependencyListFrom(const char* commaSeparated)
{
    // Sized by the names themselves rather than a fixed buffer.
    std::string list;
    for (const std::string& name : servicemodel::dependenciesOf(commaSeparated)) {
        list.append(name);
        list.push_back('\0');
    }
    if (!list.empty()) {
        list.push_back('\0');
    }
    return list;
}

std::string buildDependencyList()
{
    // The whole record: a list cut to a buffer would register the cut name as a dependency.
    return dependencyListFrom(dupConfigString(cfg::serviceDependencies).c_str());
}

int installService(const InstallRequest& request, bool* unchanged)
{
    if (unchanged != nullptr) *unchanged = false;
    InstallPlan plan;
    ServicePassword password;
    if (!planInstall(request.choice, &plan, &password)) {
        if (unchanged != nullptr) *unchanged = true;
        return 1;
    }

    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        DWORD error = GetLastError();
        say("Could not open SCManager.\n");
        explainError(error);
        return 1;
    }
    // The service manager takes an interactive service only under LocalSystem; with an
    // account of its own the service is not interactive rather than not installed.
    if (request.interactive && !plan.account.mayInteract()) {
        logMessage("service not interactive: it runs under the account %s", plan.account.name.c_str());
    }
    const EntryTexts texts = entryTextsOf(plan, password);

    // An existing entry is changed in place, never deleted first: an update that fails
    // leaves it (and its event source) as it was. A name the service manager cannot open
    // goes on to the create, which says why.
    UniqueServiceHandle service(OpenServiceW(manager.get(), serviceNameW, SERVICE_ALL_ACCESS));
    const bool updating = static_cast<bool>(service);
    bool wasRunning = false;
    std::wstring previousImage;
    if (updating) {
        // From here on a failure leaves the existing entry unchanged.
        if (unchanged != nullptr) *unchanged = true;
        if (!readImagePath(service.get(), &previousImage)) {
            return 1;
        }
        const bool otherProgram = !imagePathRunsThisProgram(previousImage);
        if (otherProgram && !request.replaceOtherProgram) {
            // Another program's service of that name is not taken over by a mistyped name.
            sayAndLog("The service '%s' runs another program: %s\n", serviceName,
                      narrowForDisplay(previousImage).c_str());
            say("  Nothing was changed. To make it run this program instead, install with /replace before the "
                "name.\n");
            return 1;
        }
        if (!otherProgram) previousImage.clear();
        if (!grantLogonRightIfAsked(plan)) {
            return 1;
        }
        if (stopOpenedService(service.get(), true, &wasRunning) != 0) {
            sayAndLog("The service was not updated, as it did not stop.\n");
            return 1;
        }
        if (!updateEntry(service.get(), plan, texts, request.interactive)) {
            if (wasRunning) {
                say("The service keeps its previous configuration; it was stopped for the update, start it again "
                    "with /start.\n");
            } else {
                say("The service keeps its previous configuration.\n");
            }
            return 1;
        }
    } else {
        if (!grantLogonRightIfAsked(plan)) {
            if (unchanged != nullptr) *unchanged = true;
            return 1;
        }
        service.reset(CreateServiceW(manager.get(), texts.name.c_str(), texts.name.c_str(), SERVICE_ALL_ACCESS,
                                     serviceTypeOf(plan.account, request.interactive),
                                     serviceStartType(plan.start.type), SERVICE_ERROR_NORMAL, texts.imagePath.c_str(),
                                     nullptr, nullptr, texts.dependencies.empty() ? nullptr : texts.dependencies.c_str(),
                                     texts.account.empty() ? nullptr : texts.account.c_str(), texts.password));
        if (!service) {
            DWORD error = GetLastError();
            logError("CreateService failed with error %lu", error);
            say("Could not create service.\n");
            explainError(error);
            // Nothing was there to change: a start that follows reports its own failure,
            // as it always has.
            return 1;
        }
    }
    if (unchanged != nullptr) *unchanged = false;
    setDescription(lookUpChangeConfig2(), service.get(), updating);
    applyEntrySettings(service.get(), plan, updating);
    service.reset();
    manager.reset();
    sayWithName("Installed service '%s'.\n");
    if (!previousImage.empty()) {
        sayAndLog("It ran another program before: %s\n", narrowForDisplay(previousImage).c_str());
    }
    if (wasRunning && !request.startFollows) {
        // The update needed the service stopped; nothing starts it again by itself.
        say("The service was stopped to be updated; start it again with /start.\n");
    }
    return 0;
}

namespace {

// The start of /configure's "/start=" (ASCII letters in any case).
bool startOfWord(const std::string& word, servicemodel::Start* start)
{
    static const struct {
        const char* word;
        servicemodel::StartType type;
        bool delayed;
    } kStarts[] = {{"auto", servicemodel::StartType::automatic, false},
                   {"delayed", servicemodel::StartType::automatic, true},
                   {"demand", servicemodel::StartType::demand, false},
                   {"disabled", servicemodel::StartType::disabled, false}};
    for (const auto& known : kStarts) {
        if (_stricmp(word.c_str(), known.word) == 0) {
            start->valid = true;
            start->type = known.type;
            start->delayed = known.delayed;
            return true;
        }
    }
    return false;
}

} // namespace

int configureService(const ConfigureRequest& request)
{
    servicemodel::Start chosen;
    if (!request.start.empty() && !startOfWord(request.start, &chosen)) {
        sayAndLog("The start '%s' is not known (auto, delayed, demand or disabled); nothing was configured.\n",
                  request.start.c_str());
        return 1;
    }
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        DWORD error = GetLastError();
        say("Could not open SCManager.\n");
        explainError(error);
        return 1;
    }
    UniqueServiceHandle service(OpenServiceW(manager.get(), serviceNameW, SERVICE_ALL_ACCESS));
    if (!service) {
        DWORD error = GetLastError();
        say("Could not open service.\n");
        explainError(error);
        return 1;
    }
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    // QUERY_SERVICE_CONFIGW holds pointers, so the storage is aligned for them.
    std::vector<ULONG_PTR> storage(needed / sizeof(ULONG_PTR) + 1);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(storage.data());
    if (!QueryServiceConfigW(service.get(), config, static_cast<DWORD>(storage.size() * sizeof(ULONG_PTR)), &needed)) {
        DWORD error = GetLastError();
        say("Could not read the configuration of the service.\n");
        explainError(error);
        return 1;
    }
    // The entry's own account, which an installation may have chosen in place of the
    // configured one: the logon right and the output folders are that account's.
    InstallPlan plan;
    plan.account = entryAccount(config->lpServiceStartName);
    if (plan.account.kind == servicemodel::AccountKind::invalid) {
        sayAndLog("The service's account '%s' is not one the launcher knows: it %s; nothing was configured.\n",
                  narrowForDisplay(config->lpServiceStartName != nullptr ? config->lpServiceStartName : L"").c_str(),
                  plan.account.reason.c_str());
        return 1;
    }
    plan.recovery = servicemodel::recoveryOf(dupConfigString(cfg::serviceRecovery));
    if (!grantLogonRightIfAsked(plan)) {
        return 1;
    }
    // The start: as the command says, else the configuration's delay for an automatic
    // entry. The type as /install makes it: interactive where the account may interact.
    DWORD startType = SERVICE_NO_CHANGE;
    if (!request.start.empty()) {
        plan.start = chosen;
        startType = serviceStartType(chosen.type);
    } else {
        std::string startModeText = dupConfigString(cfg::serviceStartMode);
        servicemodel::Start configured = servicemodel::startOf(servicemodel::StartChoice::configured,
                                                               dupConfigString(cfg::launcherKind), startModeText);
        plan.start.delayed = configured.valid && configured.delayed && config->dwStartType == SERVICE_AUTO_START;
    }
    const DWORD type = serviceTypeOf(plan.account, request.interactive);
    const DWORD newType = type == (config->dwServiceType & (SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS))
                              ? SERVICE_NO_CHANGE
                              : type;
    if (startType == config->dwStartType) startType = SERVICE_NO_CHANGE;
    const std::wstring dependencies = wideOf(buildDependencyList());
    const wchar_t noDependencies[2] = {L'\0', L'\0'};
    if ((newType != SERVICE_NO_CHANGE || startType != SERVICE_NO_CHANGE) &&
        // The configured dependencies given again, as /install gives them: Wine's service
        // manager drops an entry's dependencies at any change that does not name them.
        !ChangeServiceConfigW(service.get(), newType, startType, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr,
                              dependencies.empty() ? noDependencies : dependencies.c_str(), nullptr, nullptr,
                              nullptr)) {
        DWORD error = GetLastError();
        logError("ChangeServiceConfig failed with error %lu", error);
        say("Could not change the service's start or type.\n");
        explainError(error);
        return 1;
    }
    // A start chosen on the command line also takes away a delay the entry had.
    if (!request.start.empty() && !chosen.delayed) {
        setDelayedStart(lookUpChangeConfig2(), service.get(), false, true);
    }
    applyEntrySettings(service.get(), plan, false);
    service.reset();
    manager.reset();
    sayWithName("Configured service '%s'.\n");
    return 0;
}

int uninstallService(bool verbose, bool* stopped)
{
    stopService(false, stopped);

    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        DWORD error = GetLastError();
        if (verbose) {
            say("Could not open SCManager.\n");
            explainError(error);
        }
        return 1;
    }
    UniqueServiceHandle service(OpenServiceW(manager.get(), serviceNameW, DELETE));
    if (service && DeleteService(service.get())) {
        service.reset();
        manager.reset();
        unregisterEventSource(serviceNameW);
        if (verbose) sayWithName("Uninstalled service '%s'.\n");
        return 0;
    }
    DWORD error = GetLastError();  // of the open or the delete
    if (verbose) {
        say("Could not delete service.\n");
        explainError(error);
    }
    return 1;
}

int stopService(bool verbose, bool* stopped)
{
    if (stopped != nullptr) *stopped = false;
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        DWORD error = GetLastError();
        if (verbose) {
            say("Could not open SCManager.\n");
            explainError(error);
        }
        return 1;
    }
    UniqueServiceHandle service(OpenServiceW(manager.get(), serviceNameW, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service) {
        DWORD error = GetLastError();
        if (verbose) {
            say("Could not stop service.\n");
            explainError(error);
        }
        return 1;
    }
    return stopOpenedService(service.get(), verbose, stopped);
}

int restartService()
{
    // A service that did not stop is not started again: the start would only be refused,
    // or meet the old process still at work.
    if (stopService(true) != 0) {
        return 1;
    }
    return startService();
}

bool waitForServiceStop(SC_HANDLE service)
{
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) {
        return false;
    }
    DWORD since = GetTickCount();
    DWORD checkPoint = status.dwCheckPoint;
    while (status.dwCurrentState == SERVICE_STOP_PENDING) {
        Sleep(kStopPollMs);
        if (!QueryServiceStatus(service, &status)) {
            return false;
        }
        if (status.dwCheckPoint > checkPoint) {
            // Progress: the wait hint counts again from here.
            since = GetTickCount();
            checkPoint = status.dwCheckPoint;
        } else if (GetTickCount() - since > status.dwWaitHint) {  // unsigned: survives the wrap
            break;
        }
    }
    return status.dwCurrentState == SERVICE_STOPPED;
}

int startService()
{
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        DWORD error = GetLastError();
        say("Could not open SCManager.\n");
        explainError(error);
        return 1;
    }
    UniqueServiceHandle service(OpenServiceW(manager.get(), serviceNameW, SERVICE_START));
    if (service && StartServiceA(service.get(), 0, nullptr)) {
        service.reset();
        manager.reset();
        sayWithName("Starting service '%s'.\n");
        return 0;
    }
    // The code of whichever call failed, the open or the start.
    DWORD error = GetLastError();
    if (error == ERROR_SERVICE_ALREADY_RUNNING) {
        say("Service is already running.\n");
        return 0;
    }
    printf("Could not start service. Error code: %d\n", static_cast<int>(error));
    fflush(stdout);
    explainError(error);
    return 1;
}

int serviceStatus()
{
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        DWORD error = GetLastError();
        say("Could not open SCManager.\n");
        explainError(error);
        return 1;
    }
    UniqueServiceHandle service(
        OpenServiceW(manager.get(), serviceNameW, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
    bool ok = false;
    SERVICE_STATUS_PROCESS status = service ? queryStatus(service.get(), &ok) : SERVICE_STATUS_PROCESS{};
    if (!ok) {
        DWORD error = GetLastError();
        say("Could not get status.\n");
        explainError(error);
        return 1;
    }
    // The first line and the exit code stay what callers compare: anything but running is
    // "Not running." and 3; the second line says what that means.
    int result = 0;
    if (status.dwCurrentState == SERVICE_RUNNING) {
        say("Running.\n");
    } else {
        say("Not running.\n");
        std::string detail = stateDetail(status);
        if (!detail.empty()) say((detail + "\n").c_str());
        result = 3;
    }
    // QUERY_SERVICE_CONFIGA holds pointers, so the buffer is aligned for them.
    alignas(QUERY_SERVICE_CONFIGA) BYTE buffer[kConfigBufferSize];
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
    DWORD needed = 0;
    if (!QueryServiceConfigA(service.get(), config, sizeof buffer, &needed)) {
        printf("Could not get config (%d, %d).\n", static_cast<int>(GetLastError()), static_cast<int>(needed));
        fflush(stdout);
        return 1;
    }
    if (config->dwStartType == SERVICE_AUTO_START) {
        printf("%s.\n", "Auto-start");
        fflush(stdout);
    }
    return result;
}
