// The install options of a packaged service against the real service manager: the start
// mode, the account and the recovery settings that the entry ends up with, what install
// prints and logs, and the configurations it refuses without touching anything.
//
// Wine's service manager (version 8) refuses the levels of delayed automatic start and of
// the failure actions flag (ERROR_INVALID_LEVEL), takes failure actions without keeping
// them, and answers ERROR_INVALID_LEVEL when any of the three is queried. It takes every
// account name without checking it. The expectations follow what the service manager
// answers, so on Windows the same tests check the settings themselves.
#include "service_support.h"

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kPasswordVariable[] = L"QUILL_SERVICE_PASSWORD";

bool runsUnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string installed(const std::wstring& name) { return "Installed service '" + toUtf8(name) + "'.\n"; }

// Runs one service command with the diagnostic log on; the password variable is set to
// `password` (when not null) and otherwise removed.
LauncherRun runCommand(const std::wstring& exe, const ScratchDirectory& dir, const std::vector<std::wstring>& words,
                       const wchar_t* password = nullptr)
{
    ProcessOptions options;
    if (password != nullptr) {
        options.setEnv[kPasswordVariable] = password;
    } else {
        options.unsetEnv.push_back(kPasswordVariable);
    }
    LauncherRun run = runLauncher(exe, words, dir, true, options);
    EXPECT_FALSE(run.result.timedOut);
    EXPECT_EQ("", run.err);
    return run;
}

// The service's key and everything below it as raw bytes, to look for a text in it.
std::string registryBytesBelow(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::string();
    std::string bytes;
    for (DWORD i = 0;; ++i) {
        wchar_t valueName[16384];
        DWORD nameLength = 16384;
        BYTE data[65536];
        DWORD dataSize = sizeof data;
        if (RegEnumValueW(key, i, valueName, &nameLength, nullptr, nullptr, data, &dataSize) != ERROR_SUCCESS) break;
        bytes.append(reinterpret_cast<char*>(data), dataSize);
    }
    for (DWORD i = 0;; ++i) {
        wchar_t subkey[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        bytes += registryBytesBelow(root, path + L"\\" + subkey);
    }
    RegCloseKey(key);
    return bytes;
}

// Whether the bytes hold the text in UTF-16 or UTF-8, or its ASCII tail in any code page
// (the text's last six characters must be ASCII).
bool holdsText(const std::string& bytes, const std::wstring& text)
{
    std::string wide(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    std::string tail = toUtf8(text.substr(text.size() - 6));
    return bytes.find(wide) != std::string::npos || bytes.find(tail) != std::string::npos;
}

// The configured start mode (30006) and account (30007), and how the install command
// line overrides the start mode: the entry's start type and account, whether it stays
// interactive, and the delayed start where the service manager keeps it.
TEST(ServiceInstallOptions, StartModesAndAccounts)
{
    struct Case {
        const char* label;
        const char* startMode;  // null: no record
        const char* account;    // null: no record
        const wchar_t* command;
        const wchar_t* password;
        DWORD startType;
        std::wstring shownAccount;  // "*" stands for the service name
        bool interactive;
        bool delayed;
        bool accountMustExist;  // Windows checks that the account exists; Wine does not
    };
    const Case cases[] = {
        {"delayed", "delayed", nullptr, L"/install", nullptr, SERVICE_AUTO_START, L"LocalSystem", true, true, false},
        {"disabled", "disabled", nullptr, L"/install", nullptr, SERVICE_DISABLED, L"LocalSystem", true, false, false},
        {"install-demand overrides", "delayed", nullptr, L"/install-demand", nullptr, SERVICE_DEMAND_START,
         L"LocalSystem", true, false, false},
        {"install-auto overrides", "disabled", nullptr, L"/install-auto", nullptr, SERVICE_AUTO_START, L"LocalSystem",
         true, false, false},
        {"install-auto with a broken mode", "sometimes", nullptr, L"/install-auto", nullptr, SERVICE_AUTO_START,
         L"LocalSystem", true, false, false},
        {"LocalSystem", nullptr, "LocalSystem", L"/install", nullptr, SERVICE_DEMAND_START, L"LocalSystem", true,
         false, false},
        {"localsystem in any case", nullptr, "localSYSTEM", L"/install", nullptr, SERVICE_DEMAND_START,
         L"LocalSystem", true, false, false},
        {".\\LocalSystem, no password", nullptr, ".\\LocalSystem", L"/install", nullptr, SERVICE_DEMAND_START,
         L"LocalSystem", true, false, false},
        {"LocalService", nullptr, "LocalService", L"/install", nullptr, SERVICE_DEMAND_START,
         L"NT AUTHORITY\\LocalService", false, false, false},
        {"NetworkService", "delayed", "NetworkService", L"/install", nullptr, SERVICE_AUTO_START,
         L"NT AUTHORITY\\NetworkService", false, true, false},
        {"virtual", nullptr, "virtual", L"/install", nullptr, SERVICE_DEMAND_START, L"NT SERVICE\\*", false, false,
         false},
        {"group managed", nullptr, "QLTEST\\web01$", L"/install", nullptr, SERVICE_DEMAND_START, L"QLTEST\\web01$",
         false, false, true},
        {"local user", nullptr, ".\\qltestuser", L"/install", L"pw-local", SERVICE_DEMAND_START, L".\\qltestuser",
         false, false, true},
        {"domain user", "disabled", "QLTEST\\alice", L"/install", L"pw-domain", SERVICE_DISABLED, L"QLTEST\\alice",
         false, false, true},
        {"user principal name", nullptr, "alice@qltest.example", L"/install", L"pw-upn", SERVICE_DEMAND_START,
         L"alice@qltest.example", false, false, true},
    };
    ScratchDirectory dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.accountMustExist && !runsUnderWine()) continue;
        blockformat::ConfigBlock block = serviceBlock();
        block.set(107, "1");  // the launcher kind alone installs on demand
        if (c.startMode != nullptr) block.set(30006, c.startMode);
        if (c.account != nullptr) block.set(30007, c.account);
        std::wstring exe = packageLauncher(dir, block, fromUtf8(std::string("app-") + std::to_string(&c - cases) + ".exe"));
        ServiceGuard guard(uniqueServiceName(true));

        LauncherRun run = runCommand(exe, dir, {c.command, guard.name()}, c.password);
        std::wstring account = c.shownAccount == L"NT SERVICE\\*" ? L"NT SERVICE\\" + guard.name() : c.shownAccount;
        // A delayed start that the service manager does not take is said on the console too.
        const bool delayedRefused =
            c.delayed && serviceConfig2(guard.name(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO).error == ERROR_INVALID_LEVEL;
        // The example's error output goes to logs\ beside the launcher, which is opened to
        // the account; one the system does not know (under Wine all but the built-in ones)
        // is said. Its standard output goes to the launcher's own folder, which is opened
        // to no account: no line for it.
        std::string outputLine;
        if (account != L"LocalSystem") {
            const std::wstring name = account.rfind(L".\\", 0) == 0 ? account.substr(2) : account;
            DWORD sidSize = 0, domainSize = 0;
            SID_NAME_USE use;
            LookupAccountNameW(nullptr, name.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
            if (sidSize == 0) {
                outputLine = "Could not open the output folder " + dir.fileA("logs") + " to the account " +
                             toUtf8(account) + ": looking up the account failed (error " +
                             std::to_string(GetLastError()) + ").\n";
            }
        }
        EXPECT_EQ((delayedRefused ? std::string("The system does not take delayed automatic start for the service "
                                                "(error 124): it starts automatically at boot, without the delay.\n")
                                  : std::string()) +
                      outputLine + installed(guard.name()),
                  run.out);
        EXPECT_EQ(0u, run.result.exitCode);
        ServiceConfig config = serviceConfig(guard.name());
        ASSERT_TRUE(config.found);
        EXPECT_EQ(c.startType, config.startType);
        EXPECT_EQ(account, config.account);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS | (c.interactive ? SERVICE_INTERACTIVE_PROCESS : 0)),
                  config.serviceType);
        EXPECT_EQ(c.interactive ? 0u : 1u,
                  linesStartingWith(run.log, "service not interactive: it runs under the account ").size())
            << run.log;

        const std::vector<std::string> notSet = linesStartingWith(run.log, "could not set delayed automatic start");
        ServiceConfig2 delayed = serviceConfig2(guard.name(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO);
        if (delayed.error == ERROR_INVALID_LEVEL) {
            // The service manager does not know the level: install logs what it left out.
            EXPECT_EQ(c.delayed ? std::vector<std::string>{"could not set delayed automatic start (error 124)"}
                                : std::vector<std::string>{},
                      notSet)
                << run.log;
        } else {
            ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), delayed.error);
            EXPECT_EQ(c.delayed, delayed.as<SERVICE_DELAYED_AUTO_START_INFO>()->fDelayedAutostart != FALSE);
            EXPECT_TRUE(notSet.empty()) << run.log;
        }
    }
}

// A password travels from the environment to the service manager only: it is on no
// output, in no log and not in the service's registry key.
TEST(ServiceInstallOptions, PasswordIsNeverShownNorKept)
{
    if (!runsUnderWine()) GTEST_SKIP() << "the account must exist on Windows";
    ScratchDirectory dir;
    blockformat::ConfigBlock block = serviceBlock();
    block.set(30007, "QLTEST\\svcuser");
    block.set(30008, "60;x;1");  // a refused setting adds lines to the output and the log
    std::wstring exe = packageLauncher(dir, block);
    ServiceGuard guard(uniqueServiceName());
    const std::wstring password = L"Pw-\u00e9\u20ac-7f3kQ9";

    for (const wchar_t* command : {L"/install", L"/install-and-start"}) {
        SCOPED_TRACE(toUtf8(command));
        LauncherRun run = runCommand(exe, dir, {command, guard.name()}, password.c_str());
        EXPECT_NE(std::string::npos, run.out.find(installed(guard.name()))) << run.out;
        EXPECT_FALSE(run.log.empty());
        EXPECT_FALSE(holdsText(run.result.out + run.result.err, password));
        EXPECT_FALSE(holdsText(run.log, password)) << run.log;
        EXPECT_EQ(L"QLTEST\\svcuser", serviceConfig(guard.name()).account);
        EXPECT_FALSE(holdsText(registryBytesBelow(HKEY_LOCAL_MACHINE,
                                                  L"System\\CurrentControlSet\\Services\\" + guard.name()),
                               password));
    }
}

// Configurations that install refuses: the line it prints and logs, exit code 1, no new
// entry, an existing entry untouched (not stopped, deleted nor changed), and
// install-and-start does not start the existing entry instead.
TEST(ServiceInstallOptions, RefusedConfigurationsChangeNothing)
{
    const std::wstring tooLong(257, L'p');
    struct Case {
        const char* label;
        const char* startMode;
        const char* account;
        const wchar_t* password;  // null: the variable is not set
        std::string out;
    };
    const Case cases[] = {
        {"no password", nullptr, "QLTEST\\user", nullptr,
         "The account QLTEST\\user needs its password in the environment variable QUILL_SERVICE_PASSWORD; nothing "
         "was installed.\n"},
        {"empty password", "delayed", ".\\user", L"",
         "The account .\\user needs its password in the environment variable QUILL_SERVICE_PASSWORD; nothing was "
         "installed.\n"},
        {"password too long", nullptr, ".\\user", tooLong.c_str(),
         "The password in the environment variable QUILL_SERVICE_PASSWORD is longer than 256 characters; nothing "
         "was installed.\n"},
        {"account without domain", nullptr, "alice", L"pw",
         "The service account 'alice' is not valid (LocalSystem, LocalService, NetworkService, virtual, "
         "DOMAIN\\name$, DOMAIN\\user or user@domain): it is no built-in account and names no domain; nothing was "
         "installed.\n"},
        {"LocalSystem by a name", nullptr, "NT AUTHORITY\\SYSTEM", nullptr,
         "The service account 'NT AUTHORITY\\SYSTEM' is not valid (LocalSystem, LocalService, NetworkService, "
         "virtual, DOMAIN\\name$, DOMAIN\\user or user@domain): it names LocalSystem in a form the service manager "
         "does not take (use \"LocalSystem\"); nothing was installed.\n"},
        {"user principal name after a domain", nullptr, "QLTEST\\alice@x", L"pw",
         "The service account 'QLTEST\\alice@x' is not valid (LocalSystem, LocalService, NetworkService, virtual, "
         "DOMAIN\\name$, DOMAIN\\user or user@domain): it holds a character no account name may hold (one of "
         "\"/[]:;|=,+*?<>@); nothing was installed.\n"},
        {"unknown start mode", "sometimes", "LocalService", nullptr,
         "The service start mode 'sometimes' is not known (delayed or disabled); nothing was installed.\n"},
    };
    ScratchDirectory dir;
    // The existing entry, from a launcher without the options.
    blockformat::ConfigBlock plainBlock = serviceBlock();
    plainBlock.setWide(20017, u"The entry that stays.");
    std::wstring plain = packageLauncher(dir, plainBlock, L"plain.exe");
    ServiceGuard existing(uniqueServiceName());
    ServiceGuard missing(uniqueServiceName());
    LauncherRun first = runCommand(plain, dir, {L"/install-demand", L"non-interactive", existing.name()});
    ASSERT_EQ(installed(existing.name()), first.out);
    const ServiceConfig before = serviceConfig(existing.name());
    ASSERT_TRUE(before.found);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        blockformat::ConfigBlock block = serviceBlock();
        if (c.startMode != nullptr) block.set(30006, c.startMode);
        block.set(30007, c.account);
        std::wstring exe = packageLauncher(dir, block, fromUtf8(std::string("app-") + std::to_string(&c - cases) + ".exe"));

        for (const std::wstring& name : {missing.name(), existing.name()}) {
            for (const wchar_t* command : {L"/install", L"/install-and-start"}) {
                SCOPED_TRACE(toUtf8(command) + " " + toUtf8(name));
                LauncherRun run = runCommand(exe, dir, {command, name}, c.password);
                EXPECT_EQ(c.out, run.out);
                EXPECT_EQ(1u, run.result.exitCode);
                EXPECT_TRUE(containsLine(run.log, c.out.substr(0, c.out.size() - 1))) << run.log;
                EXPECT_FALSE(holdsText(run.log, tooLong));
            }
        }
        EXPECT_FALSE(serviceConfig(missing.name()).found);
        const ServiceConfig after = serviceConfig(existing.name());
        ASSERT_TRUE(after.found);
        EXPECT_EQ(before.binaryPath, after.binaryPath);
        EXPECT_EQ(before.startType, after.startType);
        EXPECT_EQ(before.account, after.account);
        EXPECT_EQ(L"The entry that stays.", after.description);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), queryService(existing.name()).state());
    }
}

// The recovery setting (30008) into the entry's failure actions, where the service
// manager keeps them; a text install does not understand leaves the entry without them
// and says so.
TEST(ServiceInstallOptions, RecoveryBecomesTheFailureActions)
{
    struct Case {
        const char* text;  // null: no record
        std::string before;  // printed before "Installed service"
        bool valid;
        SC_ACTION_TYPE action;
        DWORD delayMs;
        DWORD resetSeconds;
        bool nonCrash;
    };
    const Case cases[] = {
        {nullptr, "", false, SC_ACTION_NONE, 0, 0, false},
        {"60;86400;1", "", true, SC_ACTION_RESTART, 60000, 86400, true},
        {"5;0;0", "", true, SC_ACTION_RESTART, 5000, 0, false},
        {"0;3600;1", "", true, SC_ACTION_NONE, 0, 3600, true},
        {"60;x;1",
         "The recovery setting '60;x;1' is not understood (restart;reset;non-crash, in seconds); the service has no "
         "failure actions.\n",
         false, SC_ACTION_NONE, 0, 0, false},
        {"4294968;1;0",
         "The recovery setting '4294968;1;0' is not understood (restart;reset;non-crash, in seconds); the service "
         "has no failure actions.\n",
         false, SC_ACTION_NONE, 0, 0, false},
    };
    ScratchDirectory dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text != nullptr ? c.text : "(none)");
        blockformat::ConfigBlock block = serviceBlock();
        if (c.text != nullptr) block.set(30008, c.text);
        std::wstring exe = packageLauncher(dir, block, fromUtf8(std::string("app-") + std::to_string(&c - cases) + ".exe"));
        ServiceGuard guard(uniqueServiceName());

        LauncherRun run = runCommand(exe, dir, {L"/install", guard.name()});
        // A flag that the service manager does not take is said on the console too.
        const bool flagRefused = c.valid && c.nonCrash &&
                                 serviceConfig2(guard.name(), SERVICE_CONFIG_FAILURE_ACTIONS_FLAG).error ==
                                     ERROR_INVALID_LEVEL;
        EXPECT_EQ(c.before +
                      (flagRefused ? std::string("The system does not take failure actions on non-crash failures for "
                                                 "the service (error 124): the failure actions follow only an "
                                                 "unexpected end of the service, not a stop with an error.\n")
                                   : std::string()) +
                      installed(guard.name()),
                  run.out);
        EXPECT_EQ(0u, run.result.exitCode);
        if (!c.before.empty()) {
            EXPECT_TRUE(containsLine(run.log, c.before.substr(0, c.before.size() - 1))) << run.log;
        }

        ServiceConfig2 actions = serviceConfig2(guard.name(), SERVICE_CONFIG_FAILURE_ACTIONS);
        if (actions.error == ERROR_INVALID_LEVEL) {
            // Wine takes the failure actions without keeping them: nothing to compare.
            EXPECT_TRUE(runsUnderWine());
        } else {
            ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), actions.error);
            const auto* info = actions.as<SERVICE_FAILURE_ACTIONSW>();
            if (c.valid) {
                EXPECT_EQ(c.resetSeconds, info->dwResetPeriod);
                ASSERT_EQ(3u, info->cActions);
                for (DWORD i = 0; i < 3; ++i) {
                    EXPECT_EQ(c.action, info->lpsaActions[i].Type);
                    EXPECT_EQ(c.delayMs, info->lpsaActions[i].Delay);
                }
            } else {
                EXPECT_EQ(0u, info->cActions);
            }
        }
        const std::vector<std::string> flagNotSet =
            linesStartingWith(run.log, "could not set failure actions on non-crash failures");
        ServiceConfig2 flag = serviceConfig2(guard.name(), SERVICE_CONFIG_FAILURE_ACTIONS_FLAG);
        if (flag.error == ERROR_INVALID_LEVEL) {
            EXPECT_EQ(c.valid && c.nonCrash
                          ? std::vector<std::string>{"could not set failure actions on non-crash failures (error 124)"}
                          : std::vector<std::string>{},
                      flagNotSet)
                << run.log;
        } else {
            ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), flag.error);
            EXPECT_EQ(c.nonCrash,
                      flag.as<SERVICE_FAILURE_ACTIONS_FLAG>()->fFailureActionsOnNonCrashFailures != FALSE);
            EXPECT_TRUE(flagNotSet.empty()) << run.log;
        }
        // Nothing else was left out, and nothing alarming was printed.
        EXPECT_TRUE(linesStartingWith(run.log, "could not set the failure actions").empty()) << run.log;
        EXPECT_EQ(std::string::npos, run.out.find("Could not")) << run.out;
    }
}

// Install over an existing entry gives it the new launcher's options, and a launcher
// without them gives it back today's: LocalSystem, no delayed start, no failure actions.
TEST(ServiceInstallOptions, ReinstallReplacesTheOptions)
{
    ScratchDirectory dir;
    blockformat::ConfigBlock plain = serviceBlock();
    plain.set(107, "1");  // the launcher kind alone installs on demand
    blockformat::ConfigBlock optioned = plain;
    optioned.set(30006, "disabled");
    optioned.set(30007, "LocalService");
    optioned.set(30008, "30;600;0");
    std::wstring withOptions = packageLauncher(dir, optioned, L"with.exe");
    std::wstring without = packageLauncher(dir, plain, L"without.exe");
    ServiceGuard guard(uniqueServiceName());

    struct Step {
        const std::wstring* exe;
        DWORD startType;
        const wchar_t* account;
        DWORD serviceType;
    };
    const Step steps[] = {
        {&without, SERVICE_DEMAND_START, L"LocalSystem", SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS},
        {&withOptions, SERVICE_DISABLED, L"NT AUTHORITY\\LocalService", SERVICE_WIN32_OWN_PROCESS},
        {&without, SERVICE_DEMAND_START, L"LocalSystem", SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(toUtf8(*step.exe));
        // Each step's launcher is another program than the last one's.
        LauncherRun run = runCommand(*step.exe, dir, {L"/install", L"/replace", guard.name()});
        EXPECT_EQ(0u, run.result.exitCode);
        EXPECT_NE(std::string::npos, run.out.find(installed(guard.name()))) << run.out;
        ServiceConfig config = serviceConfig(guard.name());
        EXPECT_EQ(step.startType, config.startType);
        EXPECT_EQ(step.account, config.account);
        EXPECT_EQ(*step.exe, config.binaryPath);
        EXPECT_EQ(step.serviceType, config.serviceType);
        ServiceConfig2 actions = serviceConfig2(guard.name(), SERVICE_CONFIG_FAILURE_ACTIONS);
        if (actions.error == ERROR_SUCCESS) {
            EXPECT_EQ(step.exe == &withOptions ? 3u : 0u, actions.as<SERVICE_FAILURE_ACTIONSW>()->cActions);
        }
    }
}

} // namespace
