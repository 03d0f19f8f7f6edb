// The service control commands. They talk to the local Service Control Manager with its
// narrow-character functions and print short English lines for the administrator or the
// installer that runs them; nothing here goes to the diagnostic log.
#include "service/service_commands.h"

#include "config/config_store.h"
#include "config/run_settings.h"
#include "format/record_ids.h"
#include "platform/handle.h"
#include "platform/paths.h"
#include "platform/text_format.h"

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
// first. The service process also reads its own path back from its command line with
// the launcher's splitter, to start its child: a blank, or an apostrophe (which the
// splitter takes for a quote), would give it a path that does not exist.
std::string imagePathOfThisExecutable()
{
    std::string path = getModulePath();
    if (path.find_first_of(" '") != std::string::npos) {
        return "\"" + path + "\"";
    }
    return path;
}

// ChangeServiceConfig2W is looked up at run time, as systems without it must still be
// able to install the service; it then simply has no description.
void setDescription(SC_HANDLE service)
{
    wchar_t description[kTextCapacity];
    // A longer description is cut to the buffer: it is only shown to people.
    getLocalizedText(cfg::serviceDescription, description, kTextCapacity);
    if (description[0] == L'\0') {
        return;
    }
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    if (advapi == nullptr) {
        return;
    }
    using ChangeConfig2W = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);
    FARPROC entry = GetProcAddress(advapi, "ChangeServiceConfig2W");
    if (entry == nullptr) {
        return;
    }
    auto changeConfig2 = reinterpret_cast<ChangeConfig2W>(reinterpret_cast<void*>(entry));
    SERVICE_DESCRIPTIONW record{description};
    changeConfig2(service, SERVICE_CONFIG_DESCRIPTION, &record);
}

} // namespace

std::string dependencyListFrom(const char* commaSeparated)
{
    // Sized by the text itself rather than a fixed buffer: a full-length configuration
    // string turned into the list needs up to two bytes more than the string.
    std::string list;
    const char* piece = commaSeparated;
    while (*piece != '\0') {
        const char* comma = strchr(piece, ',');
        size_t length = comma != nullptr ? static_cast<size_t>(comma - piece) : strlen(piece);
        if (length > 0) {
            list.append(piece, length);
            list.push_back('\0');
        }
        if (comma == nullptr) {
            break;
        }
        piece = comma + 1;
    }
    if (!list.empty()) {
        list.push_back('\0');
    }
    return list;
}

std::string buildDependencyList()
{
    char text[kTextCapacity];
    getConfigString(cfg::serviceDependencies, text, sizeof text);
    return dependencyListFrom(text);
}

int installService(DWORD startType, bool interactive)
{
    uninstallService(false);

    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        say("Could not open SCManager.\n");
        return 1;
    }
    DWORD serviceType = SERVICE_WIN32_OWN_PROCESS | (interactive ? SERVICE_INTERACTIVE_PROCESS : 0);
    std::string imagePath = imagePathOfThisExecutable();
    std::string dependencies = buildDependencyList();
    UniqueServiceHandle service(CreateServiceA(manager.get(), serviceName, serviceName, SERVICE_ALL_ACCESS,
                                               serviceType, startType, SERVICE_ERROR_NORMAL, imagePath.c_str(),
                                               nullptr, nullptr, dependencies.empty() ? nullptr : dependencies.data(),
                                               nullptr, nullptr));
    if (!service) {
        say("Could not create service.\n");
        return 1;
    }
    setDescription(service.get());
    service.reset();
    manager.reset();
    sayWithName("Installed service '%s'.\n");
    return 0;
}

int uninstallService(bool verbose)
{
    stopService(false);

    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        if (verbose) say("Could not open SCManager.\n");
        return 1;
    }
    UniqueServiceHandle service(OpenServiceA(manager.get(), serviceName, DELETE));
    if (service && DeleteService(service.get())) {
        service.reset();
        manager.reset();
        if (verbose) sayWithName("Uninstalled service '%s'.\n");
        return 0;
    }
    if (verbose) say("Could not delete service.\n");
    return 1;
}

int stopService(bool verbose)
{
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        if (verbose) say("Could not open SCManager.\n");
        return 1;
    }
    UniqueServiceHandle service(OpenServiceA(manager.get(), serviceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service) {
        if (verbose) say("Could not stop service.\n");
        return 1;
    }
    SERVICE_STATUS status{};
    if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        // These lines are printed whatever `verbose` says: install and uninstall show
        // that they stopped a running service first.
        sayWithName("Stopping service '%s'.\n");
        say(waitForServiceStop(service.get()) ? "Service stopped\n" : "Error while stopping service\n");
        return 0;
    }
    if (GetLastError() == ERROR_SERVICE_NOT_ACTIVE) {
        say("Service is already stopped.\n");
        return 0;
    }
    if (verbose) say("Could not stop service.\n");
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
        say("Could not open SCManager.\n");
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
    return 1;
}

int serviceStatus()
{
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        say("Could not open SCManager.\n");
        return 1;
    }
    UniqueServiceHandle service(
        OpenServiceA(manager.get(), serviceName, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    if (!service || !QueryServiceStatus(service.get(), &status)) {
        say("Could not get status.\n");
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
