// The pre-shutdown timeout that /install writes: against the service manager, which
// keeps it (Wine's, version 8, answers its level of QueryServiceConfig2W and stores it as
// the service key's PreshutdownTimeout, as Windows does), and through a stand-in for
// ChangeServiceConfig2W for what the service manager cannot show: no call without
// pre-shutdown or without a deadline, and its error handed back.
#include "service/preshutdown.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A service entry of its own, removed at the end.
class TestService {
public:
    TestService()
    {
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        name_ = L"PreshutdownTest" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount());
        if (manager_ != nullptr) {
            service_ = CreateServiceW(manager_, name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS,
                                      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                      L"C:\\windows\\system32\\notepad.exe", nullptr, nullptr, nullptr, nullptr,
                                      nullptr);
        }
    }
    ~TestService()
    {
        if (service_ != nullptr) {
            DeleteService(service_);
            CloseServiceHandle(service_);
        }
        if (manager_ != nullptr) CloseServiceHandle(manager_);
    }
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;
    SC_HANDLE get() const { return service_; }

    // The timeout the service manager holds; the error of the query when it holds none.
    DWORD timeoutMs(DWORD* error) const
    {
        alignas(SERVICE_PRESHUTDOWN_INFO) BYTE buffer[64];
        DWORD needed = 0;
        SetLastError(0xdeadbeef);
        if (!QueryServiceConfig2W(service_, SERVICE_CONFIG_PRESHUTDOWN_INFO, buffer, sizeof buffer, &needed)) {
            *error = GetLastError();
            return 0;
        }
        *error = ERROR_SUCCESS;
        return reinterpret_cast<SERVICE_PRESHUTDOWN_INFO*>(buffer)->dwPreshutdownTimeout;
    }
    DWORD registryValue() const
    {
        DWORD value = 0;
        DWORD size = sizeof value;
        const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + name_;
        return RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"PreshutdownTimeout", RRF_RT_REG_DWORD, nullptr, &value,
                            &size) == ERROR_SUCCESS
                   ? value
                   : 0;
    }

private:
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
    std::wstring name_;
};

TEST(Preshutdown, TheTimeoutIsWrittenWhereTheServiceManagerKeepsIt)
{
    TestService service;
    ASSERT_NE(nullptr, service.get()) << GetLastError();
    DWORD error = 0;
    const DWORD systemDefault = service.timeoutMs(&error);
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), error);

    // Nothing is written without pre-shutdown, or without a deadline.
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), setPreshutdownTimeout(service.get(), servicemodel::shutdownOf("0", "30")));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), setPreshutdownTimeout(service.get(), servicemodel::shutdownOf("1", "0")));
    EXPECT_EQ(systemDefault, service.timeoutMs(&error));

    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), setPreshutdownTimeout(service.get(), servicemodel::shutdownOf("1", "30")));
    EXPECT_EQ(40000u, service.timeoutMs(&error));
    EXPECT_EQ(40000u, service.registryValue());
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), setPreshutdownTimeout(service.get(), servicemodel::shutdownOf("1", "600")));
    EXPECT_EQ(610000u, service.timeoutMs(&error));
}

DWORD changeCalls = 0;
DWORD changeError = 0;
DWORD writtenTimeout = 0;

BOOL WINAPI recordChange(SC_HANDLE, DWORD level, LPVOID info)
{
    ++changeCalls;
    EXPECT_EQ(static_cast<DWORD>(SERVICE_CONFIG_PRESHUTDOWN_INFO), level);
    writtenTimeout = static_cast<SERVICE_PRESHUTDOWN_INFO*>(info)->dwPreshutdownTimeout;
    SetLastError(changeError);
    return changeError == 0;
}

TEST(Preshutdown, TheCallAndItsErrorThroughAStandIn)
{
    const struct {
        const char* preshutdown;
        const char* stopTimeout;
        DWORD error;     // the stand-in's
        DWORD calls;
        DWORD timeoutMs;
        DWORD result;
    } cases[] = {
        {"1", "30", 0, 1, 40000, NO_ERROR},
        {"1", "30", ERROR_INVALID_LEVEL, 1, 40000, ERROR_INVALID_LEVEL},
        {"1", "30", ERROR_ACCESS_DENIED, 1, 40000, ERROR_ACCESS_DENIED},
        {"", "30", 0, 0, 0, NO_ERROR},  // a launcher without the record
        {"1", "", 0, 0, 0, NO_ERROR},   // no deadline: the system's default
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.preshutdown) + "|" + c.stopTimeout + "|" + std::to_string(c.error));
        changeCalls = 0;
        changeError = c.error;
        writtenTimeout = 0;
        SC_HANDLE any = reinterpret_cast<SC_HANDLE>(0x77);
        EXPECT_EQ(c.result, setPreshutdownTimeout(any, servicemodel::shutdownOf(c.preshutdown, c.stopTimeout),
                                                  recordChange));
        EXPECT_EQ(c.calls, changeCalls);
        EXPECT_EQ(c.timeoutMs, writtenTimeout);
    }
}

} // namespace
