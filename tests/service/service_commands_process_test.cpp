// The service commands against the real service manager: what each prints, its exit
// code, and the service entry it leaves behind.
#include "platform/handle.h"
#include "service_support.h"
#include "support/launch_environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <thread>

namespace {

constexpr DWORD kInteractiveBit = SERVICE_INTERACTIVE_PROCESS;

struct Command {
    std::string out;
    DWORD exitCode = 0;
};

// Runs one service command; the name (blanks included) goes last, as a user types it.
Command run(const std::wstring& exe, const ScratchDirectory& dir, const std::vector<std::wstring>& words,
            DWORD timeoutMs = 30000)
{
    ProcessOptions options;
    options.timeoutMs = timeoutMs;
    LauncherRun launcher = runLauncher(exe, words, dir, false, options);
    EXPECT_FALSE(launcher.result.timedOut);
    EXPECT_EQ("", launcher.err);
    return {launcher.out, launcher.result.exitCode};
}

std::string installed(const std::wstring& name) { return "Installed service '" + toUtf8(name) + "'.\n"; }

constexpr DWORD kStartMs = 30000;

// A service whose child runs the stand-in Java application (the launcher as
// <dir>\app\bin\app.exe beside a stand-in runtime in app\jre), with this file's way of
// running commands.
class StandinService : public ServiceApp {
public:
    explicit StandinService(const std::map<int32_t, std::string>& records = {}) : ServiceApp(L"app", records) {}

    // The application's main reads standard input up to the stop line; with a gate it
    // then waits there until the gate is released, as an application that ignores the line.
    void mainReadsTheStopLine(jnistandin::MainGate* gate = nullptr)
    {
        jnistandin::Behaviour behaviour;
        behaviour.main = "stdin";
        if (gate != nullptr) gate->hold(behaviour);
        behave(behaviour);
    }
    Command run(const std::vector<std::wstring>& words, DWORD timeoutMs = 30000) const
    {
        return ::run(exe, dir, words, timeoutMs);
    }
};

TEST(ServiceCommands, LifeOfAStoppedServiceEntry)
{
    ScratchDirectory dir;
    std::wstring exe = packageLauncher(dir, serviceBlock());
    ServiceGuard guard(uniqueServiceName());
    const std::wstring& name = guard.name();

    // Nothing to replace yet: install says only that it installed.
    Command install = run(exe, dir, {L"/install-demand", L"non-interactive", name});
    EXPECT_EQ(installed(name), install.out);
    EXPECT_EQ(0u, install.exitCode);
    ServiceConfig config = serviceConfig(name);
    ASSERT_TRUE(config.found);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), config.serviceType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), config.startType);
    EXPECT_EQ(exe, config.binaryPath);
    EXPECT_TRUE(config.dependencies.empty());
    EXPECT_EQ(L"", config.description);

    Command status = run(exe, dir, {L"/status", name});
    EXPECT_EQ("Not running.\n", status.out);
    EXPECT_EQ(3u, status.exitCode);

    // Over a stopped entry: the stop step reports it, the entry is replaced.
    install = run(exe, dir, {L"-install-auto", name});
    EXPECT_EQ("Service is already stopped.\n" + installed(name), install.out);
    EXPECT_EQ(0u, install.exitCode);
    config = serviceConfig(name);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS | kInteractiveBit), config.serviceType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config.startType);

    status = run(exe, dir, {L"/status", name});
    EXPECT_EQ("Not running.\nAuto-start.\n", status.out);
    EXPECT_EQ(3u, status.exitCode);

    Command stop = run(exe, dir, {L"/stop", name});
    EXPECT_EQ("Service is already stopped.\n", stop.out);
    EXPECT_EQ(0u, stop.exitCode);

    Command uninstall = run(exe, dir, {L"--uninstall", name});
    EXPECT_EQ("Service is already stopped.\nUninstalled service '" + toUtf8(name) + "'.\n", uninstall.out);
    EXPECT_EQ(0u, uninstall.exitCode);
    EXPECT_FALSE(serviceConfig(name).found);

    // Every command on a service that does not exist.
    struct Missing {
        const wchar_t* word;
        std::string out;
    };
    const Missing missing[] = {
        {L"/uninstall", "Could not delete service.\n"},
        {L"/stop", "Could not stop service.\n"},
        {L"/start", "Could not start service. Error code: 1060\n"},
        {L"/status", "Could not get status.\n"},
    };
    // Each line as it always was, then the system's word for the error and what to do.
    const std::string explained = " (error 1060). The service is not installed; install it with /install.\n";
    for (const Missing& m : missing) {
        Command command = run(exe, dir, {m.word, name});
        EXPECT_EQ(m.out, command.out.substr(0, m.out.size())) << toUtf8(m.word);
        std::string second = command.out.substr(std::min(m.out.size(), command.out.size()));
        EXPECT_EQ(0u, second.rfind("  ", 0)) << second;
        EXPECT_GT(second.size(), 2 + explained.size()) << second;
        EXPECT_EQ(explained, second.substr(second.size() - std::min(second.size(), explained.size()))) << second;
        EXPECT_EQ(1u, command.exitCode) << toUtf8(m.word);
    }
}

TEST(ServiceCommands, ConfigurationAndCommandLineShapeTheEntry)
{
    ScratchDirectory dir;
    blockformat::ConfigBlock block = serviceBlock();
    block.set(149, ",Tcpip,,Afd,");
    block.setWide(20017, u"Serves the d\u00e9mo application \u2013 quietly.");
    block.set(107, "1");  // plain "install" installs on demand unless the kind is 4
    CreateDirectoryW(dir.file(L"with blank").c_str(), nullptr);
    std::wstring exe = packageLauncher(dir, block, L"with blank\\app.exe");
    ServiceGuard blank(uniqueServiceName(true));
    ServiceGuard plain(uniqueServiceName());
    ServiceGuard suffixed(plain.name() + L" non-interactive");

    // A name with a blank, and "non-interactive" before it.
    Command install = run(exe, dir, {L"/install", L"non-interactive", blank.name()});
    EXPECT_EQ(installed(blank.name()), install.out);
    EXPECT_EQ(0u, install.exitCode);
    ServiceConfig config = serviceConfig(blank.name());
    ASSERT_TRUE(config.found);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), config.serviceType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), config.startType);
    // Every name: the entry goes through the wide functions (Wine's CreateServiceA would
    // keep only the first name of a narrow list).
    EXPECT_EQ((std::vector<std::wstring>{L"Tcpip", L"Afd"}), config.dependencies);
    EXPECT_EQ(L"Serves the d\u00e9mo application \u2013 quietly.", config.description);
    // Quoted: the path holds a blank.
    EXPECT_EQ(L"\"" + exe + L"\"", config.binaryPath);
    EXPECT_EQ(3u, run(exe, dir, {L"/status", blank.name()}).exitCode);

    // "non-interactive" after the name is part of the name; the service stays interactive.
    install = run(exe, dir, {L"/install", plain.name(), L"non-interactive"});
    EXPECT_EQ(installed(suffixed.name()), install.out);
    EXPECT_FALSE(serviceConfig(plain.name()).found);
    config = serviceConfig(suffixed.name());
    ASSERT_TRUE(config.found);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS | kInteractiveBit), config.serviceType);
}

TEST(ServiceCommands, InstallAndStartGivesTheResultOfStart)
{
    ScratchDirectory dir;
    std::wstring exe = packageLauncher(dir, serviceBlock());
    ServiceGuard guard(uniqueServiceName());

    // The install fails (a name the service manager refuses), the start fails after it.
    Command failed = run(exe, dir, {L"/install-and-start", L"bad\\name" + guard.name()});
    EXPECT_EQ("Could not create service.\n  Invalid name (error 123). A service name must not hold '/' or '\\'.\n"
              "Could not start service. Error code: 123\n"
              "  Invalid name (error 123). A service name must not hold '/' or '\\'.\n",
              failed.out);
    EXPECT_EQ(1u, failed.exitCode);

    // The install works and the start is accepted; the service's child then fails on
    // its own, as no Java runtime is there: that is the service's business, not start's.
    Command started = run(exe, dir, {L"/install-and-start", guard.name()});
    EXPECT_EQ(installed(guard.name()) + "Starting service '" + toUtf8(guard.name()) + "'.\n", started.out);
    EXPECT_EQ(0u, started.exitCode);
}

// An application that ignores the stop line under a service without a stop deadline: the
// service stays stop pending. Every command that needs it stopped says so and exits with 1
// once the service's wait hint has passed (about 50 s, all at once here); /status names
// the pending state; nothing is changed or started.
TEST(ServiceCommands, ServiceThatDoesNotStopFailsEveryCommandThatNeedsItStopped)
{
    StandinService app;
    jnistandin::MainGate gate;
    ASSERT_TRUE(gate.ready());
    app.mainReadsTheStopLine(&gate);
    ServiceGuard guard(uniqueServiceName());
    const std::wstring& name = guard.name();
    const std::string shown = toUtf8(name);
    ServiceLogs logs;
    ASSERT_EQ(installed(name), app.run({L"/install-demand", name}).out);
    ASSERT_EQ(0u, app.run({L"/start", name}).exitCode);
    ASSERT_TRUE(gate.waitForEntries(1, kStartMs)) << app.record().dump() << logs.all();

    Command firstStop;
    // The commands wait for the service's wait hint of 50 s.
    const DWORD kWaitingMs = 90000;
    std::thread stopper([&] { firstStop = app.run({L"/stop", name}, kWaitingMs); });
    ASSERT_TRUE(waitForServiceState(name, SERVICE_STOP_PENDING, kStartMs)) << logs.all();
    ASSERT_TRUE(app.waitForRecord("stdin.line", "0", kStartMs)) << app.record().dump();
    const DWORD processId = queryService(name).status.dwProcessId;
    const std::string pending =
        "Stopping: a stop is under way, and its process (id " + std::to_string(processId) + ") still runs.\n";

    Command status = app.run({L"/status", name});
    EXPECT_EQ("Not running.\n" + pending, status.out);
    EXPECT_EQ(3u, status.exitCode);

    // While the stop is pending: a second stop, a restart and an install (auto start here).
    struct Late {
        std::vector<std::wstring> words;
        std::string out;
    };
    const std::string underWay = "A stop of service '" + shown + "' is already under way.\n";
    const std::string notStopped =
        "Error while stopping service\n  The service has not stopped in the time it asked for. " + pending;
    const Late late[] = {
        {{L"/stop", name}, underWay + notStopped},
        {{L"/restart", name}, underWay + notStopped},
        {{L"/install-auto", name}, underWay + notStopped + "The service was not updated, as it did not stop.\n"},
    };
    std::vector<Command> lateRuns(std::size(late));
    std::vector<std::thread> threads;
    for (size_t i = 0; i < std::size(late); ++i) {
        threads.emplace_back([&, i] { lateRuns[i] = app.run(late[i].words, kWaitingMs); });
    }
    stopper.join();
    for (std::thread& thread : threads) thread.join();

    EXPECT_EQ("Stopping service '" + shown + "'.\n" + notStopped, firstStop.out);
    EXPECT_EQ(1u, firstStop.exitCode);
    for (size_t i = 0; i < std::size(late); ++i) {
        EXPECT_EQ(late[i].out, lateRuns[i].out) << toUtf8(late[i].words[0]);
        EXPECT_EQ(1u, lateRuns[i].exitCode) << toUtf8(late[i].words[0]);
    }
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), serviceConfig(name).startType);
    EXPECT_EQ(1u, app.record().count("main")) << app.record().dump();

    // Once the application goes on, the service stops as it was asked to.
    gate.release();
    EXPECT_TRUE(waitForServiceState(name, SERVICE_STOPPED, kStartMs)) << logs.all();
    EXPECT_EQ("Service is already stopped.\n", app.run({L"/stop", name}).out);
}

// How a service ended, as /status tells it after the first line: at the stop deadline
// (5001), or unable to start the application (5000).
TEST(ServiceCommands, StatusOfAStoppedServiceSaysHowItEnded)
{
    StandinService app({{30000, "1"}});
    jnistandin::MainGate gate;
    ASSERT_TRUE(gate.ready());
    app.mainReadsTheStopLine(&gate);
    ServiceGuard guard(uniqueServiceName());
    const std::wstring& name = guard.name();
    ServiceLogs logs;
    app.run({L"/install-demand", name});
    app.run({L"/start", name});
    ASSERT_TRUE(gate.waitForEntries(1, kStartMs)) << app.record().dump() << logs.all();
    Command stop = app.run({L"/stop", name});
    EXPECT_EQ("Stopping service '" + toUtf8(name) + "'.\nService stopped\n", stop.out);
    EXPECT_EQ(0u, stop.exitCode);
    gate.release();
    Command status = app.run({L"/status", name});
    EXPECT_EQ("Not running.\nStopped at the stop deadline: the application did not end in time and was ended "
              "(service-specific exit code 5001).\n",
              status.out);
    EXPECT_EQ(3u, status.exitCode);

    // A start parameter too long for the service process: the child never starts.
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), startServiceWith(name, {std::wstring(6000, L'p')}));
    ASSERT_TRUE(waitForServiceState(name, SERVICE_STOPPED, kStartMs)) << logs.all();
    status = app.run({L"/status", name});
    EXPECT_EQ("Not running.\nFailed: the application could not be started (service-specific exit code 5000).\n",
              status.out);
    EXPECT_EQ(3u, status.exitCode);
}

// /restart: a running service is stopped (waiting for it) and started again; a stopped
// one is started. It prints what /stop and /start print.
TEST(ServiceCommands, RestartStopsAndStartsAgain)
{
    StandinService app;
    app.mainReadsTheStopLine();
    ServiceGuard guard(uniqueServiceName());
    const std::wstring& name = guard.name();
    const std::string shown = toUtf8(name);
    ServiceLogs logs;
    app.run({L"/install-demand", name});

    Command restart = app.run({L"/restart", name});
    EXPECT_EQ("Service is already stopped.\nStarting service '" + shown + "'.\n", restart.out);
    EXPECT_EQ(0u, restart.exitCode);
    ASSERT_TRUE(app.waitForRecord("main", "stdin", kStartMs)) << app.record().dump() << logs.all();

    app.mainReadsTheStopLine();  // a fresh record for the second run
    restart = app.run({L"/restart", name});
    EXPECT_EQ("Stopping service '" + shown + "'.\nService stopped\nStarting service '" + shown + "'.\n", restart.out);
    EXPECT_EQ(0u, restart.exitCode);
    // The new run went into main after the old one had its stop line.
    ASSERT_TRUE(app.waitForRecord("main", "stdin", kStartMs)) << app.record().dump() << logs.all();
    EXPECT_EQ("Running.\n", app.run({L"/status", name}).out);
    EXPECT_EQ("Stopping service '" + shown + "'.\nService stopped\n", app.run({L"/stop", name}).out);
    EXPECT_TRUE(app.record().has("stdin.stop", "")) << app.record().dump();
}

// Install over an existing entry changes it in place: an open handle of another program
// (a console, a monitoring agent) does not lose it, nor its event source.
TEST(ServiceCommands, InstallOverAServiceHeldOpenUpdatesItInPlace)
{
    ScratchDirectory dir;
    blockformat::ConfigBlock block = serviceBlock();
    block.set(30009, "1");  // the event log
    std::wstring exe = packageLauncher(dir, block);
    ServiceGuard guard(uniqueServiceName());
    const std::wstring& name = guard.name();
    const std::wstring eventSource = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + name;
    ASSERT_EQ(installed(name), run(exe, dir, {L"/install-demand", name}).out);
    {
        UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        UniqueServiceHandle held(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
        ASSERT_TRUE(held);
        Command install = run(exe, dir, {L"/install-auto", name});
        EXPECT_EQ("Service is already stopped.\n" + installed(name), install.out);
        EXPECT_EQ(0u, install.exitCode);
    }
    ServiceConfig config = serviceConfig(name);
    ASSERT_TRUE(config.found);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config.startType);
    EXPECT_EQ(exe, config.binaryPath);
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, eventSource.c_str(), 0, KEY_READ, &key));
    if (key != nullptr) RegCloseKey(key);
    EXPECT_EQ("Service is already stopped.\nUninstalled service '" + toUtf8(name) + "'.\n",
              run(exe, dir, {L"/uninstall", name}).out);
}

// An existing entry that runs another program is left alone unless the command says
// /replace; the same program with arguments, or unquoted, is this one.
TEST(ServiceCommands, InstallTakesOverAnotherProgramsServiceOnlyWithReplace)
{
    ScratchDirectory dir;
    std::wstring first = packageLauncher(dir, serviceBlock(), L"first.exe");
    std::wstring second = packageLauncher(dir, serviceBlock(), L"second.exe");
    ServiceGuard guard(uniqueServiceName());
    const std::wstring& name = guard.name();
    const std::string shown = toUtf8(name);
    ASSERT_EQ(installed(name), run(first, dir, {L"/install-demand", name}).out);

    const std::string refused = "The service '" + shown + "' runs another program: " + toUtf8(first) +
                                "\n  Nothing was changed. To make it run this program instead, install with /replace "
                                "before the name.\n";
    for (const wchar_t* word : {L"/install", L"/install-auto", L"/install-and-start"}) {
        Command install = run(second, dir, {word, name});
        EXPECT_EQ(refused, install.out) << toUtf8(word);
        EXPECT_EQ(1u, install.exitCode) << toUtf8(word);
    }
    EXPECT_EQ(first, serviceConfig(name).binaryPath);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), serviceConfig(name).startType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), queryService(name).state());

    // /replace only with the install commands.
    LauncherRun misplaced = runLauncher(second, {L"/stop", L"/replace", name}, dir, false);
    EXPECT_EQ(2u, misplaced.result.exitCode);
    EXPECT_EQ(0u, misplaced.err.rfind("/replace is an option of the install commands only\nusage: ", 0))
        << misplaced.err;

    Command replaced = run(second, dir, {L"/install-auto", L"/replace", name});
    EXPECT_EQ("Service is already stopped.\n" + installed(name) + "It ran another program before: " + toUtf8(first) +
                  "\n",
              replaced.out);
    EXPECT_EQ(0u, replaced.exitCode);
    EXPECT_EQ(second, serviceConfig(name).binaryPath);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), serviceConfig(name).startType);

    // The entry as an installer package writes it (unquoted, with an argument) is this program's.
    {
        UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_CHANGE_CONFIG));
        const std::wstring path = second + L" own";
        ASSERT_TRUE(ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                         path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    }
    Command again = run(second, dir, {L"/install-demand", name});
    EXPECT_EQ("Service is already stopped.\n" + installed(name), again.out);
    EXPECT_EQ(second, serviceConfig(name).binaryPath);
}

// With the grant record on, install gives a user account the right to log on as a service
// before it touches the entry (Wine's policy takes a grant without keeping it, so each
// install grants it again), and an account the system does not know leaves an existing
// entry as it was. With the pre-shutdown record, the entry's pre-shutdown timeout is the
// stop deadline and its margin, where the service manager keeps it, also when updated.
TEST(ServiceCommands, InstallGrantsTheLogonRightAndSetsThePreshutdownTimeout)
{
    wchar_t user[256];
    DWORD length = 256;
    ASSERT_TRUE(GetUserNameW(user, &length));
    const std::wstring account = L".\\" + std::wstring(user);
    ScratchDirectory dir;
    blockformat::ConfigBlock block = serviceBlock();
    block.set(30014, "1");  // grant the logon right
    block.set(30015, "1");  // pre-shutdown
    block.set(30000, "20");  // the stop deadline
    block.set(30007, toUtf8(account));
    std::wstring granting = packageLauncher(dir, block, L"granting.exe");
    block.set(30007, "QLTEST\\nobody");
    std::wstring unknown = packageLauncher(dir, block, L"unknown.exe");
    ServiceGuard guard(uniqueServiceName());
    const std::wstring& name = guard.name();
    ProcessOptions options;
    options.setEnv[L"QUILL_SERVICE_PASSWORD"] = L"pw-granted";

    const std::string granted = "The account " + toUtf8(account) + " was granted the right to log on as a service.\n";
    LauncherRun install = runLauncher(granting, {L"/install-demand", name}, dir, false, options);
    EXPECT_EQ(granted + installed(name), install.out);
    EXPECT_EQ(0u, install.result.exitCode);
    const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + name;
    DWORD timeout = 0;
    DWORD size = sizeof timeout;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"PreshutdownTimeout", RRF_RT_REG_DWORD,
                                          nullptr, &timeout, &size));
    EXPECT_EQ(30000u, timeout);
    install = runLauncher(granting, {L"/install-auto", name}, dir, false, options);
    // The grant comes before the entry is touched, its stop too.
    EXPECT_EQ(granted + "Service is already stopped.\n" + installed(name), install.out);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), serviceConfig(name).startType);

    const ServiceConfig before = serviceConfig(name);
    LauncherRun refused = runLauncher(unknown, {L"/install-demand", L"/replace", name}, dir, false, options);
    const std::string line = "Could not grant the account QLTEST\\nobody the right to log on as a service (looking up "
                             "the account, error 1332); nothing was installed.\n  ";
    EXPECT_EQ(line, refused.out.substr(0, line.size())) << refused.out;
    EXPECT_NE(std::string::npos, refused.out.find(" (error 1332).\n")) << refused.out;
    EXPECT_EQ(1u, refused.result.exitCode);
    const ServiceConfig after = serviceConfig(name);
    EXPECT_EQ(before.binaryPath, after.binaryPath);
    EXPECT_EQ(before.account, after.account);
    EXPECT_EQ(before.startType, after.startType);
}

// /configure on an entry another program wrote (an installer, with its own tables: own
// process, demand start, LocalSystem): it sets up what /install would beyond them, for
// the configuration's pre-shutdown timeout, event source and output folder under the
// launcher's folder, makes the type interactive as /install does for LocalSystem, takes a
// start from the command line (delayed, which Wine's service manager refuses with error
// 124: said, not a failure), and gives the same result when run again. A start it does
// not know and a missing entry fail with 1; /start= belongs to /configure only.
TEST(ServiceCommands, ConfigureSetsUpAnInstalledEntryAsInstallDoes)
{
    ScratchDirectory dir;
    blockformat::ConfigBlock block = serviceBlock();
    block.set(30015, "1");            // pre-shutdown
    block.set(30000, "20");           // the stop deadline
    block.set(30009, "1");            // the event log
    block.set(104, "1");              // standard output to a file
    block.set(105, "logs\\out.log");  // under the launcher's folder
    ASSERT_TRUE(makeDirectories(dir.file(L"app\\bin")));
    std::wstring exe = packageLauncher(dir, block, L"app\\bin\\app.exe");
    ASSERT_FALSE(exe.empty());
    ServiceGuard guard(uniqueServiceName());
    const std::wstring& name = guard.name();
    const std::wstring sourceKey = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + name;
    struct SourceGuard {
        std::wstring key;
        ~SourceGuard() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str()); }
    } sourceGuard{sourceKey};
    {
        UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ASSERT_TRUE(manager);
        UniqueServiceHandle created(CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                                   SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                   SERVICE_ERROR_NORMAL, exe.c_str(), nullptr, nullptr, nullptr,
                                                   nullptr, nullptr));
        ASSERT_TRUE(created) << GetLastError();
    }

    const std::string configured = "Configured service '" + toUtf8(name) + "'.\n";
    const std::string noDelay = "The system does not take delayed automatic start for the service (error 124): it "
                                "starts automatically at boot, without the delay.\n";
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "first" : "again");
        Command done = run(exe, dir, {L"/configure", L"/start=delayed", name});
        EXPECT_EQ(0u, done.exitCode);
        EXPECT_EQ(noDelay + configured, done.out);
        const ServiceConfig config = serviceConfig(name);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS | kInteractiveBit), config.serviceType);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config.startType);
        DWORD timeout = 0;
        DWORD size = sizeof timeout;
        EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, (L"SYSTEM\\CurrentControlSet\\Services\\" + name).c_str(),
                                              L"PreshutdownTimeout", RRF_RT_REG_DWORD, nullptr, &timeout, &size));
        EXPECT_EQ(30000u, timeout);
        wchar_t messageFile[MAX_PATH] = L"";
        size = sizeof messageFile;
        EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, sourceKey.c_str(), L"EventMessageFile",
                                              RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, messageFile, &size));
        EXPECT_EQ(toUtf8(exe), toUtf8(messageFile));
        const DWORD attributes = GetFileAttributesW(dir.file(L"app\\bin\\logs").c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    }
    // Without "/start=", the start type stays as the entry has it.
    Command demand = run(exe, dir, {L"/configure", L"/start=demand", name});
    EXPECT_EQ(configured, demand.out);
    EXPECT_EQ(configured, run(exe, dir, {L"/configure", name}).out);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), serviceConfig(name).startType);

    Command unknown = run(exe, dir, {L"/configure", L"/start=weekly", name});
    EXPECT_EQ(1u, unknown.exitCode);
    EXPECT_EQ("The start 'weekly' is not known (auto, delayed, demand or disabled); nothing was configured.\n",
              unknown.out);
    Command missing = run(exe, dir, {L"/configure", name + L"-missing"});
    EXPECT_EQ(1u, missing.exitCode);
    EXPECT_EQ(0u, missing.out.find("Could not open service.\n")) << missing.out;
    LauncherRun misplaced = runLauncher(exe, {L"/install", L"/start=demand", name}, dir, false);
    EXPECT_EQ(2u, misplaced.result.exitCode);
    EXPECT_EQ(0u, misplaced.err.find("/start= is an option of /configure only\n")) << misplaced.err;
}

} // namespace
