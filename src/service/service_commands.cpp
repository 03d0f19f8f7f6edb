// The service control commands. They talk to the local Service Control Manager with its
// narrow-character functions and print short English lines for the administrator or the
// installer that runs them. The install options that could not be applied, and the
// configurations that install refuses, also go to the diagnostic log.
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

#include <cstdarg>
#include <cstdio>
#include <cstring>

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

// The image path that the Service Control Manager runs. It is quoted when it holds a
// blank: unquoted, "C:\Program Files\app\svc.exe" would be tried as "C:\Program.exe"
// first. An apostrophe is quoted too, so that the command line splits as it always has
// (the service process itself takes its own path from the system, not from that line, as
// an installer package writes the entry without quotes).
std::string imagePathOfThisExecutable()
{
    std::string path = getModulePath();
    if (path.find_first_of(" '") != std::string::npos) {
        return "\"" + path + "\"";
    }
    return path;
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

void setDescription(ChangeConfig2W changeConfig2, SC_HANDLE service)
{
    wchar_t description[kTextCapacity];
    // A longer description is cut to the buffer: it is only shown to people.
    showCut(getLocalizedText(cfg::serviceDescription, description, kTextCapacity));
    if (description[0] == L'\0' || changeConfig2 == nullptr) {
        return;
    }
    SERVICE_DESCRIPTIONW record{description};
    changeConfig2(service, SERVICE_CONFIG_DESCRIPTION, &record);
}

// One setting of the second configuration level. A service manager that does not know
// the level (Wine's, for several of them) or a system without the function leaves the
// service installed without it: that goes to the log only. Any other failure is also
// told on standard output, as the service then lacks something that was asked for.
void setConfig2(ChangeConfig2W changeConfig2, SC_HANDLE service, DWORD level, void* info, const char* what)
{
    DWORD error = ERROR_PROC_NOT_FOUND;
    if (changeConfig2 != nullptr) {
        if (changeConfig2(service, level, info)) return;
        error = GetLastError();
    }
    if (error == ERROR_INVALID_LEVEL || error == ERROR_PROC_NOT_FOUND) {
        logMessage("could not set %s (error %lu)", what, error);
        return;
    }
    sayAndLog("Could not set %s of the service (error %lu).\n", what, error);
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

// The configuration's install options, checked before the old entry is touched.
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

// The password goes in through the wide function: the narrow one would pass it through
// the ANSI code page and silently change characters that the code page lacks.
bool setPassword(SC_HANDLE service, const std::string& account, const ServicePassword& password)
{
    std::wstring wideAccount = toWide(account, CP_ACP);
    if (ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, nullptr, nullptr,
                             nullptr, nullptr, wideAccount.c_str(), password.get(), nullptr)) {
        return true;
    }
    DWORD error = GetLastError();
    sayAndLog("Could not set the password of the account %s (error %lu); the service was removed.\n", account.c_str(),
              error);
    return false;
}

void setRecovery(ChangeConfig2W changeConfig2, SC_HANDLE service, const servicemodel::Recovery& recovery)
{
    if (!recovery.present) {
        return;
    }
    if (!recovery.valid) {
        std::string text = dupConfigString(cfg::serviceRecovery);
        sayAndLog("The recovery setting '%s' %s; the service has no failure actions.\n", text.c_str(),
                  recovery.reason.c_str());
        return;
    }
    SC_ACTION action = failureAction(recovery);
    SC_ACTION actions[3] = {action, action, action};
    SERVICE_FAILURE_ACTIONSW failureActions{recovery.resetSeconds, nullptr, nullptr, 3, actions};
    setConfig2(changeConfig2, service, SERVICE_CONFIG_FAILURE_ACTIONS, &failureActions, "the failure actions");
    // A new entry has the flag off already.
    if (recovery.onNonCrashFailures) {
        SERVICE_FAILURE_ACTIONS_FLAG flag{TRUE};
        setConfig2(changeConfig2, service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag,
                   "failure actions on non-crash failures");
    }
}

} // namespace

void explainError(unsigned long error)
{
    char text[512] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                             sizeof text, nullptr);
    // The system's text ends with a line break, sometimes after a full stop.
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.')) {
        text[--n] = '\0';
    }
    const char* hint = nullptr;
    switch (error) {
    case ERROR_ACCESS_DENIED: hint = "Run this command as an administrator."; break;
    case ERROR_SERVICE_DOES_NOT_EXIST: hint = "The service is not installed; install it with /install."; break;
    case ERROR_INVALID_NAME: hint = "A service name must not hold '/' or '\\'."; break;
    case ERROR_SERVICE_DISABLED: hint = "The service is disabled; install it again with /install-auto or /install-demand."; break;
    case ERROR_SERVICE_MARKED_FOR_DELETE:
        hint = "The service is being removed; close every program that shows it (such as the services console) and try again.";
        break;
    default: break;
    }
    std::string line = std::string("  ") + (n > 0 ? text : "Unknown error") + " (error " + std::to_string(error) + ").";
    if (hint != nullptr) {
        line += std::string(" ") + hint;
    }
    sayAndLog("%s\n", line.c_str());
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

int installService(StartTypeChoice choice, bool interactive, bool* refused, bool startFollows)
{
    if (refused != nullptr) *refused = false;
    InstallPlan plan;
    ServicePassword password;
    if (!planInstall(choice, &plan, &password)) {
        if (refused != nullptr) *refused = true;
        return 1;
    }

    bool wasRunning = false;
    uninstallService(false, &wasRunning);

    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        DWORD error = GetLastError();
        say("Could not open SCManager.\n");
        explainError(error);
        return 1;
    }
    // The service manager takes an interactive service only under LocalSystem; with an
    // account of its own the service is not interactive rather than not installed.
    if (interactive && !plan.account.mayInteract()) {
        logMessage("service not interactive: it runs under the account %s", plan.account.name.c_str());
    }
    std::string imagePath = imagePathOfThisExecutable();
    std::string dependencies = buildDependencyList();
    UniqueServiceHandle service(CreateServiceA(manager.get(), serviceName, serviceName, SERVICE_ALL_ACCESS,
                                               serviceTypeOf(plan.account, interactive),
                                               serviceStartType(plan.start.type), SERVICE_ERROR_NORMAL,
                                               imagePath.c_str(), nullptr, nullptr,
                                               dependencies.empty() ? nullptr : dependencies.data(),
                                               serviceStartName(plan.account), nullptr));
    if (!service) {
        DWORD error = GetLastError();
        logError("CreateService failed with error %lu", error);
        say("Could not create service.\n");
        explainError(error);
        return 1;
    }
    if (plan.account.needsPassword() && !setPassword(service.get(), plan.account.name, password)) {
        // An entry whose account cannot log on would only fail later, at every start.
        DeleteService(service.get());
        return 1;
    }
    ChangeConfig2W changeConfig2 = lookUpChangeConfig2();
    setDescription(changeConfig2, service.get());
    if (plan.start.delayed) {
        SERVICE_DELAYED_AUTO_START_INFO delayed{TRUE};
        setConfig2(changeConfig2, service.get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed,
                   "delayed automatic start");
    }
    setRecovery(changeConfig2, service.get(), plan.recovery);
    // Without the source the events still go to the log, only without their texts: a
    // failure is logged and the service stays installed.
    registerEventSource(serviceName, getModulePath());
    service.reset();
    manager.reset();
    sayWithName("Installed service '%s'.\n");
    if (wasRunning && !startFollows) {
        // The update needed the service stopped; nothing starts it again by itself.
        say("The service was stopped to be updated; start it again with /start.\n");
    }
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
    UniqueServiceHandle service(OpenServiceA(manager.get(), serviceName, DELETE));
    if (service && DeleteService(service.get())) {
        service.reset();
        manager.reset();
        unregisterEventSource(serviceName);
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
    UniqueServiceHandle service(OpenServiceA(manager.get(), serviceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service) {
        DWORD error = GetLastError();
        if (verbose) {
            say("Could not stop service.\n");
            explainError(error);
        }
        return 1;
    }
    SERVICE_STATUS status{};
    if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        if (stopped != nullptr) *stopped = true;
        // These lines are printed whatever `verbose` says: install and uninstall show
        // that they stopped a running service first.
        sayWithName("Stopping service '%s'.\n");
        say(waitForServiceStop(service.get()) ? "Service stopped\n" : "Error while stopping service\n");
        return 0;
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
    UniqueServiceHandle service(OpenServiceA(manager.get(), serviceName, SERVICE_START));
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
        OpenServiceA(manager.get(), serviceName, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    if (!service || !QueryServiceStatus(service.get(), &status)) {
        DWORD error = GetLastError();
        say("Could not get status.\n");
        explainError(error);
        return 1;
    }
    int result = 0;
    if (status.dwCurrentState == SERVICE_RUNNING) {
        say("Running.\n");
    } else {
        say("Not running.\n");
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
