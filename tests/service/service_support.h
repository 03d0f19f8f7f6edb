// Test support of the service tests: services with unique names that are removed when a
// test ends (also when it fails), the service manager's view of them, the diagnostic
// logs that service processes write, and the priority value of a service.
#pragma once

#include "support/launch_environment.h"
#include "support/test_launcher.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A service name that no other test (nor another run) uses, optionally with a blank.
std::wstring uniqueServiceName(bool withBlank = false);

// Stops (killing its process if it does not stop) and deletes the service, and waits
// until the service manager has forgotten it.
void removeService(const std::wstring& name);

// Removes the named service when the test ends.
class ServiceGuard {
public:
    explicit ServiceGuard(std::wstring name) : name_(std::move(name)) {}
    ~ServiceGuard() { removeService(name_); }
    ServiceGuard(const ServiceGuard&) = delete;
    ServiceGuard& operator=(const ServiceGuard&) = delete;
    const std::wstring& name() const { return name_; }

private:
    std::wstring name_;
};

struct ServiceState {
    bool exists = false;
    SERVICE_STATUS_PROCESS status{};
    DWORD state() const { return status.dwCurrentState; }
};

ServiceState queryService(const std::wstring& name);
// Polls until the service is in `state`; false after `timeoutMs`.
bool waitForServiceState(const std::wstring& name, DWORD state, DWORD timeoutMs);
// Polls until the process has ended; true at once for a process id of 0.
bool waitForProcessEnd(DWORD processId, DWORD timeoutMs);

// Ids of the running processes started by `parentId`, and of those whose image is `exe`.
std::vector<DWORD> childProcessesOf(DWORD parentId);
std::vector<DWORD> processesOf(const std::wstring& exe);

// The configuration that the service manager holds for the service.
struct ServiceConfig {
    bool found = false;
    DWORD serviceType = 0;
    DWORD startType = 0;
    std::wstring binaryPath;
    std::vector<std::wstring> dependencies;
    std::wstring description;
    std::wstring account;  // the account it runs under, as the service manager shows it
};
ServiceConfig serviceConfig(const std::wstring& name);

// What QueryServiceConfig2W answers for one information level: the error, or
// ERROR_SUCCESS and the data (aligned for the pointers it holds).
struct ServiceConfig2 {
    DWORD error = ERROR_SUCCESS;
    std::vector<ULONG_PTR> storage;
    template <typename T> const T* as() const { return reinterpret_cast<const T*>(storage.data()); }
};
ServiceConfig2 serviceConfig2(const std::wstring& name, DWORD level);

// Starts the service with start parameters, as a service manager client would.
DWORD startServiceWith(const std::wstring& name, const std::vector<std::wstring>& parameters);

// The diagnostic logs that processes of the service manager write into the temporary
// directory of the services' environment: those that appeared since construction.
class ServiceLogs {
public:
    ServiceLogs();
    // Waits up to `timeoutMs` for a new log that contains `line`; returns its content.
    std::string waitForLogWith(const std::string& line, DWORD timeoutMs) const;
    // Every new log's content, for failure messages.
    std::string all() const;

private:
    std::vector<std::wstring> newNames() const;
    std::wstring directory_;
    std::vector<std::wstring> before_;
};

// Sets the child priority value of a service under the machine's launcher key (four bytes
// of REG_DWORD, or other data when given) and removes it and the keys it created at the end.
class PriorityValue {
public:
    PriorityValue(const std::wstring& serviceName, const std::vector<BYTE>& data, DWORD type = REG_DWORD);
    explicit PriorityValue(const std::wstring& serviceName, DWORD priority);
    ~PriorityValue();
    PriorityValue(const PriorityValue&) = delete;
    PriorityValue& operator=(const PriorityValue&) = delete;

private:
    std::wstring name_;
    std::vector<std::wstring> createdKeys_;  // deepest last
};

// The log lines that start with `prefix`.
std::vector<std::string> linesStartingWith(const std::string& log, const std::string& prefix);

// One application of a service: the launcher as <dir>\<appDir>\bin\app.exe beside a
// stand-in runtime in <appDir>\jre, with the records given, and what its stand-in JVM
// recorded. The stand-in reads its control file beside jvm.dll, since a service's child
// does not get the test's environment.
class ServiceApp {
public:
    explicit ServiceApp(const std::wstring& appDir = L"app", const std::map<int32_t, std::string>& records = {},
                        const std::vector<blockformat::IncludedFile>& included = {},
                        const std::map<int32_t, std::u16string>& wideRecords = {});
    ~ServiceApp();
    ServiceApp(const ServiceApp&) = delete;
    ServiceApp& operator=(const ServiceApp&) = delete;

    // What the stand-in's main does; its record starts anew.
    void behave(jnistandin::Behaviour behaviour);
    jnistandin::Record record() const;
    // Polls the record until it holds the line; false after `timeoutMs`.
    bool waitForRecord(const std::string& key, const std::string& text, DWORD timeoutMs) const;
    std::wstring recordPath() const { return dir.file(L"jvm.record"); }

    // A command of the launcher, run from the application's folder.
    std::string command(const std::vector<std::wstring>& words) { return commandRun(words).out; }
    LauncherRun commandRun(const std::vector<std::wstring>& words);
    DWORD commandExit(const std::vector<std::wstring>& words) { return commandRun(words).result.exitCode; }

    ScratchDirectory dir;
    std::wstring exe;
    std::wstring jvmDll;
};
