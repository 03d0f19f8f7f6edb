// The install options as the service manager takes them: the constants and the account
// name that the service model's results become. The model's own rules are tested natively
// (tests/model/service_model_test.cpp), through every path that reads them.
#include "service/install_options.h"

#include "support/empty_config_store.h"
#include "format/record_ids.h"
#include "platform/environment.h"
#include "platform/text_format.h"
#include "service/service_commands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using servicemodel::AccountKind;

TEST(InstallOptions, StartTypesAreTheServiceManagersConstants)
{
    const struct {
        servicemodel::StartType type;
        DWORD constant;
    } cases[] = {
        {servicemodel::StartType::automatic, SERVICE_AUTO_START},
        {servicemodel::StartType::demand, SERVICE_DEMAND_START},
        {servicemodel::StartType::disabled, SERVICE_DISABLED},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.constant, serviceStartType(c.type)) << static_cast<int>(c.type);
    }
}

// LocalSystem goes to CreateService as no name at all, in every spelling; any other
// account by its name. Only LocalSystem may be interactive.
TEST(InstallOptions, AccountNameAndServiceType)
{
    const struct {
        const char* text;
        const char* startName;  // null: no name
        DWORD interactiveType;  // the service type when install asks for an interactive one
    } cases[] = {
        {"", nullptr, SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS},
        {"localsystem", nullptr, SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS},
        {".\\LocalSystem", nullptr, SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS},
        {"LocalService", "NT AUTHORITY\\LocalService", SERVICE_WIN32_OWN_PROCESS},
        {"virtual", "NT SERVICE\\my svc", SERVICE_WIN32_OWN_PROCESS},
        {"CORP\\web01$", "CORP\\web01$", SERVICE_WIN32_OWN_PROCESS},
        {"alice@corp.example", "alice@corp.example", SERVICE_WIN32_OWN_PROCESS},
    };
    for (const auto& c : cases) {
        servicemodel::ServiceAccount account = servicemodel::serviceAccountOf(c.text, "my svc");
        ASSERT_NE(AccountKind::invalid, account.kind) << c.text;
        const char* name = serviceStartName(account);
        EXPECT_EQ(c.startName != nullptr, name != nullptr) << c.text;
        if (c.startName != nullptr && name != nullptr) {
            EXPECT_STREQ(c.startName, name) << c.text;
        }
        EXPECT_EQ(c.interactiveType, serviceTypeOf(account, true)) << c.text;
        EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), serviceTypeOf(account, false)) << c.text;
    }
}

// The same action after each failure: a restart after the delay in milliseconds, or none.
TEST(InstallOptions, FailureActionOfTheRecovery)
{
    const struct {
        const char* text;
        SC_ACTION_TYPE type;
        DWORD delayMs;
    } cases[] = {
        {"60;86400;1", SC_ACTION_RESTART, 60000},
        {"4294967;0;0", SC_ACTION_RESTART, 4294967000u},  // the longest delay, exactly
        {"0;3600;1", SC_ACTION_NONE, 0},
        {"4294968;0;0", SC_ACTION_NONE, 0},  // refused: the delay overflows the milliseconds
        {"", SC_ACTION_NONE, 0},
    };
    for (const auto& c : cases) {
        SC_ACTION action = failureAction(servicemodel::recoveryOf(c.text));
        EXPECT_EQ(c.type, action.Type) << c.text;
        EXPECT_EQ(c.delayMs, action.Delay) << c.text;
    }
}

// The dependencies go to the service manager as the whole record, however long: a list cut
// to a text buffer would register its cut last name as a dependency.
class DependencyListTest : public EmptyConfigStoreTest {};

TEST_F(DependencyListTest, TheWholeRecordIsRegistered)
{
    std::string text;
    std::string expected;
    for (int i = 0; i < 40; ++i) {  // 40 names of 200 characters, beyond a text buffer's 6000
        std::string name = std::to_string(i) + std::string(200 - std::to_string(i).size(), 'd');
        text += (i == 0 ? "" : ",") + name;
        expected += name + '\0';
    }
    expected += '\0';
    ASSERT_GT(text.size(), static_cast<size_t>(kTextCapacity));
    setConfigString(cfg::serviceDependencies, text);
    EXPECT_EQ(expected, buildDependencyList());
}

} // namespace

// The password is read once and leaves the environment, so nothing that install starts
// (or a crash dump of it) finds it there; a value too long is not handed out cut.
TEST(InstallOptions, ThePasswordVariableIsTakenOutOfTheEnvironment)
{
    struct Case {
        std::wstring value;
        unsigned long capacity;
        unsigned long length;
        const wchar_t* taken;
    };
    const Case cases[] = {
        {L"s3cret", 257, 6, L"s3cret"},
        {std::wstring(256, L'p'), 257, 256, nullptr},
        {std::wstring(257, L'p'), 257, 258, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.size());
        ASSERT_TRUE(SetEnvironmentVariableW(L"QUILL_SERVICE_PASSWORD", c.value.c_str()));
        _wputenv((L"QUILL_SERVICE_PASSWORD=" + c.value).c_str());
        std::vector<wchar_t> out(c.capacity, L'x');
        EXPECT_EQ(c.length, takeEnvironmentSecret(kServicePasswordVariable, out.data(), c.capacity));
        EXPECT_EQ(c.taken != nullptr ? std::wstring(c.taken) : c.value, std::wstring(out.data()));
        wchar_t left[8];
        EXPECT_EQ(0u, GetEnvironmentVariableW(L"QUILL_SERVICE_PASSWORD", left, 8));
        EXPECT_EQ(nullptr, std::getenv(kServicePasswordVariable));
        EXPECT_EQ(nullptr, _wgetenv(L"QUILL_SERVICE_PASSWORD"));
    }
    wchar_t out[8] = L"x";
    EXPECT_EQ(0u, takeEnvironmentSecret(kServicePasswordVariable, out, 8)) << "not set";
}
