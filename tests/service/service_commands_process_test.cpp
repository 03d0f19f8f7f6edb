// The service commands against the real service manager: what each prints, its exit
// code, and the service entry it leaves behind.
#include "service_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr DWORD kInteractiveBit = SERVICE_INTERACTIVE_PROCESS;

struct Command {
    std::string out;
    DWORD exitCode = 0;
};

// Runs one service command; the name (blanks included) goes last, as a user types it.
Command run(const std::wstring& exe, const ScratchDirectory& dir, const std::vector<std::wstring>& words)
{
    LauncherRun launcher = runLauncher(exe, words, dir, false);
    EXPECT_FALSE(launcher.result.timedOut);
    EXPECT_EQ("", launcher.err);
    return {launcher.out, launcher.result.exitCode};
}

bool runsUnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string installed(const std::wstring& name) { return "Installed service '" + toUtf8(name) + "'.\n"; }

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
    if (runsUnderWine()) {
        // Wine's CreateServiceA keeps only the first name of a narrow dependency list (its
        // CreateServiceW keeps them all); the list itself is checked in DependencyList.
        EXPECT_EQ(std::vector<std::wstring>{L"Tcpip"}, config.dependencies);
    } else {
        EXPECT_EQ((std::vector<std::wstring>{L"Tcpip", L"Afd"}), config.dependencies);
    }
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

} // namespace
