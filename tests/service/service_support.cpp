// Test support of the service tests.
#include "service_support.h"

#include "platform/handle.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>

namespace {

constexpr wchar_t kPriorityKey[] = L"SOFTWARE\\tarnwell\\quill\\priority";

constexpr DWORD kSettleMs = 60000;

// The service manager of a freshly booted prefix starts its own services first and
// refuses other starts meanwhile (ERROR_SERVICE_DATABASE_LOCKED); the tests begin once
// no service is start pending any more, and none of them runs if that does not happen.
class SettledServiceManager : public ::testing::Environment {
public:
    void SetUp() override
    {
        const DWORD start = GetTickCount();
        std::string starting = startingServices();
        while (!starting.empty() && GetTickCount() - start < kSettleMs) {
            Sleep(500);
            starting = startingServices();
        }
        if (!starting.empty()) {
            GTEST_FAIL() << "the service manager has not settled within " << kSettleMs << " ms: " << starting;
        }
    }

private:
    // The services that are start pending, or why the service manager could not be asked;
    // "" when it has settled.
    static std::string startingServices()
    {
        UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
        if (!manager) return "OpenSCManager failed with error " + std::to_string(GetLastError());
        std::vector<BYTE> buffer(256 * 1024);
        DWORD needed = 0, count = 0, resume = 0;
        if (!EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32 | SERVICE_DRIVER,
                                   SERVICE_STATE_ALL, buffer.data(), static_cast<DWORD>(buffer.size()), &needed,
                                   &count, &resume, nullptr)) {
            return "EnumServicesStatusEx failed with error " + std::to_string(GetLastError());
        }
        std::string starting;
        auto* entries = reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        for (DWORD i = 0; i < count; ++i) {
            if (entries[i].ServiceStatusProcess.dwCurrentState == SERVICE_START_PENDING) {
                starting += (starting.empty() ? "start pending: " : ", ") + toUtf8(entries[i].lpServiceName);
            }
        }
        return starting;
    }
};

const ::testing::Environment* const settled = ::testing::AddGlobalTestEnvironment(new SettledServiceManager);

} // namespace

std::wstring uniqueServiceName(bool withBlank)
{
    static std::atomic<int> counter{0};
    std::wstring name = L"qltest" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount()) +
                        L"_" + std::to_wstring(counter++);
    return withBlank ? L"ql test " + name : name;
}

void removeService(const std::wstring& name)
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return;
    {
        UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
        if (!service) return;
        SERVICE_STATUS status{};
        ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        // A service whose process does not stop in time is ended by force. One whose
        // process has gone while the service manager still shows it running (Wine keeps
        // that state) needs no waiting.
        ServiceState state = queryService(name);
        HANDLE process = state.status.dwProcessId != 0
                             ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, state.status.dwProcessId)
                             : nullptr;
        if (process != nullptr) {
            DWORD start = GetTickCount();
            while (queryService(name).state() != SERVICE_STOPPED && WaitForSingleObject(process, 100) == WAIT_TIMEOUT &&
                   GetTickCount() - start < 20000) {
            }
            // A process that has reported stopped gets a moment to end on its own.
            const bool stopped =
                WaitForSingleObject(process, 0) == WAIT_OBJECT_0 || queryService(name).state() == SERVICE_STOPPED;
            if (!stopped) {
                ADD_FAILURE() << "service " << toUtf8(name) << " did not stop within 20 s; its process is killed";
            }
            if (WaitForSingleObject(process, stopped ? 5000 : 0) == WAIT_TIMEOUT) {
                TerminateProcess(process, 1);
                if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0) {
                    ADD_FAILURE() << "the process of service " << toUtf8(name) << " does not end, even when killed";
                }
            }
            CloseHandle(process);
        }
        const DWORD deleted = DeleteService(service.get()) ? ERROR_SUCCESS : GetLastError();
        if (deleted != ERROR_SUCCESS && deleted != ERROR_SERVICE_MARKED_FOR_DELETE) {
            ADD_FAILURE() << "cannot delete service " << toUtf8(name) << ", error " << deleted;
            return;
        }
    }
    // The service manager forgets a deleted service once its last handle is closed.
    const DWORD start = GetTickCount();
    while (queryService(name).exists) {
        if (GetTickCount() - start > 5000) {
            ADD_FAILURE() << "service " << toUtf8(name) << " is still known 5 s after it was deleted";
            return;
        }
        Sleep(100);
    }
}

namespace {

std::vector<PROCESSENTRY32W> runningProcesses()
{
    std::vector<PROCESSENTRY32W> processes;
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return processes;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        processes.push_back(entry);
    }
    return processes;
}

std::wstring imageOf(DWORD processId)
{
    UniqueHandleNull process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    wchar_t path[MAX_PATH * 4];
    DWORD size = MAX_PATH * 4;
    if (!process || !QueryFullProcessImageNameW(process.get(), 0, path, &size)) return std::wstring();
    return std::wstring(path, size);
}

} // namespace

std::vector<DWORD> childProcessesOf(DWORD parentId)
{
    std::vector<DWORD> children;
    for (const PROCESSENTRY32W& entry : runningProcesses()) {
        if (entry.th32ParentProcessID == parentId && entry.th32ProcessID != parentId) {
            children.push_back(entry.th32ProcessID);
        }
    }
    return children;
}

std::vector<DWORD> processesOf(const std::wstring& exe)
{
    std::vector<DWORD> found;
    for (const PROCESSENTRY32W& entry : runningProcesses()) {
        if (lstrcmpiW(imageOf(entry.th32ProcessID).c_str(), exe.c_str()) == 0) found.push_back(entry.th32ProcessID);
    }
    return found;
}

ServiceState queryService(const std::wstring& name)
{
    ServiceState state;
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return state;
    UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    if (!service) return state;
    DWORD needed = 0;
    state.exists = QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&state.status),
                                        sizeof state.status, &needed) != FALSE;
    return state;
}

bool waitForServiceState(const std::wstring& name, DWORD state, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (queryService(name).state() == state) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(100);
    }
}

bool waitForProcessEnd(DWORD processId, DWORD timeoutMs)
{
    if (processId == 0) return true;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == nullptr) return true;
    bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

ServiceConfig serviceConfig(const std::wstring& name)
{
    ServiceConfig config;
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return config;
    UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
    if (!service) return config;
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed + 16);
    auto* query = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service.get(), query, static_cast<DWORD>(buffer.size()), &needed)) return config;
    config.found = true;
    config.serviceType = query->dwServiceType;
    config.startType = query->dwStartType;
    config.binaryPath = query->lpBinaryPathName != nullptr ? query->lpBinaryPathName : L"";
    config.account = query->lpServiceStartName != nullptr ? query->lpServiceStartName : L"";
    for (const wchar_t* p = query->lpDependencies; p != nullptr && *p != L'\0'; p += wcslen(p) + 1) {
        config.dependencies.push_back(p);
    }
    if (config.dependencies.empty()) {
        // Wine keeps the dependencies in the service's key but does not return them from
        // QueryServiceConfig; read them where it keeps them.
        std::wstring key = L"System\\CurrentControlSet\\Services\\" + name;
        wchar_t list[4096] = {};
        DWORD size = sizeof list - 2 * sizeof(wchar_t);
        if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DependOnService", RRF_RT_REG_MULTI_SZ, nullptr, list,
                         &size) == ERROR_SUCCESS) {
            for (const wchar_t* p = list; *p != L'\0'; p += wcslen(p) + 1) config.dependencies.push_back(p);
        }
    }
    QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
    std::vector<BYTE> described(needed + 16);
    if (QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, described.data(),
                             static_cast<DWORD>(described.size()), &needed)) {
        auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(described.data());
        if (description->lpDescription != nullptr) config.description = description->lpDescription;
    }
    return config;
}

ServiceConfig2 serviceConfig2(const std::wstring& name, DWORD level)
{
    ServiceConfig2 answer;
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueServiceHandle service(manager ? OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG) : nullptr);
    if (!service) {
        answer.error = GetLastError();
        return answer;
    }
    DWORD needed = 0;
    SetLastError(0xdeadbeef);
    if (!QueryServiceConfig2W(service.get(), level, nullptr, 0, &needed) && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        answer.error = GetLastError();
        return answer;
    }
    answer.storage.resize(needed / sizeof(ULONG_PTR) + 1);
    SetLastError(0xdeadbeef);
    if (!QueryServiceConfig2W(service.get(), level, reinterpret_cast<BYTE*>(answer.storage.data()),
                              static_cast<DWORD>(answer.storage.size() * sizeof(ULONG_PTR)), &needed)) {
        answer.error = GetLastError();
    }
    return answer;
}

DWORD startServiceWith(const std::wstring& name, const std::vector<std::wstring>& parameters)
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return GetLastError();
    UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_START));
    if (!service) return GetLastError();
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& parameter : parameters) pointers.push_back(parameter.c_str());
    if (!StartServiceW(service.get(), static_cast<DWORD>(pointers.size()), pointers.empty() ? nullptr : pointers.data())) {
        return GetLastError();
    }
    return ERROR_SUCCESS;
}

ServiceLogs::ServiceLogs()
{
    // The services' environment has the user's temporary directory, as this process has.
    wchar_t temp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, temp);
    directory_ = std::wstring(temp, n);
    if (!directory_.empty() && directory_.back() == L'\\') directory_.pop_back();
    before_ = listNames(directory_, L"dpk_nlog_*");
}

std::vector<std::wstring> ServiceLogs::newNames() const
{
    std::vector<std::wstring> names;
    for (const std::wstring& name : listNames(directory_, L"dpk_nlog_*")) {
        if (std::find(before_.begin(), before_.end(), name) == before_.end()) names.push_back(name);
    }
    return names;
}

std::string ServiceLogs::waitForLogWith(const std::string& line, DWORD timeoutMs) const
{
    DWORD start = GetTickCount();
    for (;;) {
        for (const std::wstring& name : newNames()) {
            std::string text = readText(directory_ + L"\\" + name);
            if (containsLine(text, line)) return text;
        }
        if (GetTickCount() - start > timeoutMs) {
            ADD_FAILURE() << "no new diagnostic log has the line \"" << line << "\" within " << timeoutMs << " ms\n"
                          << all();
            return std::string();
        }
        Sleep(100);
    }
}

std::string ServiceLogs::all() const
{
    std::string text;
    for (const std::wstring& name : newNames()) {
        text += "--- " + toUtf8(name) + "\n" + readText(directory_ + L"\\" + name);
    }
    return text;
}

PriorityValue::PriorityValue(const std::wstring& serviceName, const std::vector<BYTE>& data, DWORD type)
    : name_(serviceName)
{
    std::wstring path;
    std::wstring rest = kPriorityKey;
    while (!rest.empty()) {
        size_t separator = rest.find(L'\\');
        path += (path.empty() ? L"" : L"\\") + rest.substr(0, separator);
        rest = separator == std::wstring::npos ? std::wstring() : rest.substr(separator + 1);
        HKEY key = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition) != ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot create HKLM\\" << toUtf8(path);
            return;
        }
        if (disposition == REG_CREATED_NEW_KEY) createdKeys_.push_back(path);
        if (rest.empty()) {
            EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name_.c_str(), 0, type, data.data(),
                                                    static_cast<DWORD>(data.size())));
        }
        RegCloseKey(key);
    }
}

PriorityValue::PriorityValue(const std::wstring& serviceName, DWORD priority)
    : PriorityValue(serviceName,
                    std::vector<BYTE>(reinterpret_cast<BYTE*>(&priority), reinterpret_cast<BYTE*>(&priority) + 4))
{
}

PriorityValue::~PriorityValue()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPriorityKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name_.c_str());
        RegCloseKey(key);
    }
    for (auto it = createdKeys_.rbegin(); it != createdKeys_.rend(); ++it) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, it->c_str());
    }
}

std::vector<std::string> linesStartingWith(const std::string& log, const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& line : linesOf(log)) {
        if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
    }
    return found;
}

ServiceApp::ServiceApp(const std::wstring& appDir, const std::map<int32_t, std::string>& records,
                       const std::vector<blockformat::IncludedFile>& included,
                       const std::map<int32_t, std::u16string>& wideRecords)
{
    RuntimeLayout layout;
    layout.jvmDll = "jvm.dll";
    EXPECT_FALSE(layOutRuntime(dir.file(appDir + L"\\jre"), layout).empty()) << "stand-ins missing (STANDIN_DIR)";
    EXPECT_TRUE(makeDirectories(dir.file(appDir + L"\\bin")));
    blockformat::ConfigBlock block = serviceBlock();
    block.set(2001, "q");
    block.set(128, "B..\\jre;");
    block.set(121, "");
    block.set(123, "");
    for (const auto& record : records) block.set(record.first, record.second);
    for (const auto& record : wideRecords) block.setWide(record.first, record.second);
    if (!included.empty()) block.addIncludedFiles(included);
    exe = packageLauncher(dir, block, appDir + L"\\bin\\app.exe");
    jvmDll = dir.file(appDir + L"\\jre\\bin\\server\\jvm.dll");
}

ServiceApp::~ServiceApp() { forgetRegistryEntries(dir.path()); }

void ServiceApp::behave(jnistandin::Behaviour behaviour)
{
    DeleteFileW(recordPath().c_str());
    behaviour.record = toUtf8(recordPath());
    EXPECT_TRUE(jnistandin::writeControl(jnistandin::controlBeside(jvmDll), behaviour));
}

jnistandin::Record ServiceApp::record() const { return jnistandin::readRecord(recordPath()); }

bool ServiceApp::waitForRecord(const std::string& key, const std::string& text, DWORD timeoutMs) const
{
    const DWORD start = GetTickCount();
    while (!record().has(key, text)) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(100);
    }
    return true;
}

LauncherRun ServiceApp::commandRun(const std::vector<std::wstring>& words) { return runLauncher(exe, words, dir, false); }
