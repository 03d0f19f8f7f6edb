// The install options read from their configuration texts: which texts are taken, what
// the service manager then gets, and which are refused.
#include "service/install_options.h"

#include "platform/environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

TEST(InstallOptions, StartModes)
{
    struct Case {
        const char* text;
        bool valid;
        bool configured;
        DWORD startType;
        bool delayed;
    };
    const Case cases[] = {
        {"", true, false, SERVICE_DEMAND_START, false},  // the launcher kind decides
        {"delayed", true, true, SERVICE_AUTO_START, true},
        {"Delayed", true, true, SERVICE_AUTO_START, true},
        {"disabled", true, true, SERVICE_DISABLED, false},
        {"DISABLED", true, true, SERVICE_DISABLED, false},
        {"delayed ", false, true, SERVICE_DEMAND_START, false},
        {"delay", false, true, SERVICE_DEMAND_START, false},
        {"auto", false, true, SERVICE_DEMAND_START, false},
        {"2", false, true, SERVICE_DEMAND_START, false},
    };
    for (const Case& c : cases) {
        StartMode mode = parseStartMode(c.text);
        EXPECT_EQ(c.valid, mode.valid) << c.text;
        EXPECT_EQ(c.configured, mode.configured) << c.text;
        if (mode.valid) {
            EXPECT_EQ(c.startType, mode.startType) << c.text;
            EXPECT_EQ(c.delayed, mode.delayed) << c.text;
        }
    }
}

TEST(InstallOptions, Accounts)
{
    struct Case {
        const char* text;
        AccountKind kind;
        const char* name;
    };
    const Case cases[] = {
        {"", AccountKind::localSystem, ""},
        {"LocalSystem", AccountKind::localSystem, ""},
        {"localsystem", AccountKind::localSystem, ""},
        {"LocalService", AccountKind::builtIn, "NT AUTHORITY\\LocalService"},
        {"NETWORKSERVICE", AccountKind::builtIn, "NT AUTHORITY\\NetworkService"},
        {"NT AUTHORITY\\LocalService", AccountKind::builtIn, "NT AUTHORITY\\LocalService"},
        {"nt authority\\networkservice", AccountKind::builtIn, "nt authority\\networkservice"},
        {"virtual", AccountKind::virtualAccount, "NT SERVICE\\my svc"},
        {"NT SERVICE\\my svc", AccountKind::virtualAccount, "NT SERVICE\\my svc"},
        {"CORP\\web01$", AccountKind::managed, "CORP\\web01$"},
        {"corp.example\\app$", AccountKind::managed, "corp.example\\app$"},
        {"CORP\\alice", AccountKind::user, "CORP\\alice"},
        {".\\svcuser", AccountKind::user, ".\\svcuser"},
        {"CORP\\first last", AccountKind::user, "CORP\\first last"},
        {"CORP\\pay$roll", AccountKind::user, "CORP\\pay$roll"},
        // Refused: no domain, UPN form, empty parts, two backslashes, characters that
        // account names cannot hold, blanks at the ends, other NT AUTHORITY names.
        {"alice", AccountKind::invalid, ""},
        {"alice@corp.example", AccountKind::invalid, ""},
        {"CORP\\", AccountKind::invalid, ""},
        {"\\alice", AccountKind::invalid, ""},
        {"CORP\\$", AccountKind::invalid, ""},
        {"CORP\\a\\b", AccountKind::invalid, ""},
        {"CORP\\a:b", AccountKind::invalid, ""},
        {"CORP\\a*b", AccountKind::invalid, ""},
        {"CORP\\a\"b", AccountKind::invalid, ""},
        {"CORP\\a\tb", AccountKind::invalid, ""},
        {"CORP\\alice ", AccountKind::invalid, ""},
        {" CORP\\alice", AccountKind::invalid, ""},
        {"NT AUTHORITY\\SYSTEM", AccountKind::invalid, ""},
        {"virtual ", AccountKind::invalid, ""},
        {"Local Service", AccountKind::invalid, ""},
    };
    for (const Case& c : cases) {
        ServiceAccount account = parseServiceAccount(c.text, "my svc");
        EXPECT_EQ(static_cast<int>(c.kind), static_cast<int>(account.kind)) << c.text;
        EXPECT_EQ(c.name, account.name) << c.text;
        EXPECT_EQ(c.kind == AccountKind::user, account.needsPassword()) << c.text;
    }
}

TEST(InstallOptions, Recovery)
{
    struct Case {
        const char* text;
        bool present;
        bool valid;
        DWORD restartDelayMs;
        DWORD resetSeconds;
        bool nonCrash;
    };
    const Case cases[] = {
        {"", false, false, 0, 0, false},
        {"60;86400;1", true, true, 60000, 86400, true},
        {"0;0;0", true, true, 0, 0, false},
        {"5;60;0", true, true, 5000, 60, false},
        {"4294967;4294967295;1", true, true, 4294967000u, 4294967295u, true},  // the largest
        {"007;010;1", true, true, 7000, 10, true},
        {"4294968;1;0", true, false, 0, 0, false},   // the delay overflows the milliseconds
        {"1;4294967296;0", true, false, 0, 0, false},
        {"1;99999999999;0", true, false, 0, 0, false},
        {"60;86400;2", true, false, 0, 0, false},
        {"60;86400", true, false, 0, 0, false},
        {"60;86400;1;", true, false, 0, 0, false},
        {"60;;1", true, false, 0, 0, false},
        {";86400;1", true, false, 0, 0, false},
        {"60;86400;", true, false, 0, 0, false},
        {"-1;86400;1", true, false, 0, 0, false},
        {"+60;86400;1", true, false, 0, 0, false},
        {" 60;86400;1", true, false, 0, 0, false},
        {"60s;86400;1", true, false, 0, 0, false},
        {"60,86400,1", true, false, 0, 0, false},
    };
    for (const Case& c : cases) {
        Recovery recovery = parseRecovery(c.text);
        EXPECT_EQ(c.present, recovery.present) << c.text;
        EXPECT_EQ(c.valid, recovery.valid) << c.text;
        if (recovery.valid) {
            EXPECT_EQ(c.restartDelayMs, recovery.restartDelayMs) << c.text;
            EXPECT_EQ(c.resetSeconds, recovery.resetSeconds) << c.text;
            EXPECT_EQ(c.nonCrash, recovery.onNonCrashFailures) << c.text;
        }
    }
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
