// The role a launcher plays for a command line, seen from outside: exit code, what it
// prints and what it logs.
#include "support/test_launcher.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// An in-process launch without any Java runtime on the machine.
const char kNoJvm[] =
    "No JVM could be found on your system.\nPlease define the environment variable QUILL_JAVA_HOME to point "
    "to an installed 64-bit JDK or JRE, or download a JRE and install it.\n";

bool ranDispatcher(const LauncherRun& run)
{
    return containsLine(run.log, "calling StartServiceCtrlDispatcher") &&
           containsLine(run.log, "StartServiceCtrlDispatcher returned");
}

const char kUsage[] =
    "usage: app.exe /install [non-interactive] [/replace] [name]   also /install-auto, /install-demand,\n"
    "       app.exe /install-and-start, /uninstall, /start, /stop, /restart, /status   [name]\n"
    "       app.exe /configure [non-interactive] [/start=auto|delayed|demand|disabled] [name]\n"
    "                 sets up an installed entry as /install does beyond the service tables\n"
    "       app.exe /dump [name]                  the running application's thread dump to its error output\n"
    "       app.exe /vmoptions [options...]       writes them into the vmoptions file beside it\n"
    "       app.exe /run [arguments...]            runs the application in this console\n"
    "       app.exe /run-redirect [arguments...]   the same, letting it redirect its output\n"
    "/replace lets install take over a service of that name that runs another program.\n"
    "Without a command it is the service process, which only the service manager starts.\n"
    "QUILL_LOG=yes writes a diagnostic log, dpk_nlog_N in the directory that TMP names.\n";

// Not started by the service manager, the dispatcher fails with 1063: the launcher says
// why and how it is used, and ends with exit code 2 rather than a quiet 0. The runs go
// together, as the dispatcher takes seconds to fail in a process another one started.
TEST(RoleDispatch, ServiceDispatcherFromAConsolePrintsTheUsageAndExitsWithTwo)
{
    ScratchDirectory dir;
    std::wstring exe = packageLauncher(dir, serviceBlock());
    const std::vector<std::vector<std::wstring>> commandLines = {
        {}, {L"install"}, {L"//install"}, {L"/RUN"}, {L"/Run-redirect"}, {L"/unknown", L"x"}, {L"run"},
    };
    std::vector<LauncherRun> runs = runLaunchersTogether(exe, commandLines, dir);
    for (size_t i = 0; i < runs.size(); ++i) {
        const LauncherRun& run = runs[i];
        std::string shown = commandLines[i].empty() ? "(none)" : toUtf8(commandLines[i][0]);
        EXPECT_TRUE(containsLine(run.log, "calling StartServiceCtrlDispatcher")) << shown << "\n" << run.log;
        // Wine's service manager may hand a process that it did not start the start of a
        // service of its own that is pending at that moment (seen with its device
        // services while the prefix is young); the dispatcher then runs our service main
        // under that name. Windows refuses a console process with 1063, as Wine does
        // otherwise.
        if (containsLine(run.log, "service main")) {
            std::printf("note: Wine handed the dispatcher of %s a pending service start\n", shown.c_str());
            continue;
        }
        EXPECT_TRUE(ranDispatcher(run)) << shown << "\n" << run.log;
        EXPECT_TRUE(containsLine(run.log, "StartServiceCtrlDispatcher failed with error 1063")) << shown;
        std::string reason = commandLines[i].empty()
                                 ? "not started by the service manager, and no command given\n"
                                 : "unknown command " + shown + " (and not started by the service manager)\n";
        EXPECT_EQ(2u, run.result.exitCode) << shown;
        EXPECT_EQ("", run.out) << shown;
        EXPECT_EQ(reason + kUsage, run.err) << shown;
    }
}

// A request for help is answered before the dispatcher: at once, with the same exit code.
TEST(RoleDispatch, HelpIsTheUsageWithoutTheDispatcher)
{
    ScratchDirectory dir;
    std::wstring exe = packageLauncher(dir, serviceBlock());
    for (const wchar_t* word : {L"/help", L"-help", L"--help", L"/?", L"-?", L"/h"}) {
        LauncherRun run = runLauncher(exe, {word}, dir);
        EXPECT_EQ(2u, run.result.exitCode) << toUtf8(word);
        EXPECT_EQ("", run.out) << toUtf8(word);
        EXPECT_EQ(kUsage, run.err) << toUtf8(word);
        EXPECT_FALSE(containsLine(run.log, "calling StartServiceCtrlDispatcher")) << toUtf8(word) << "\n" << run.log;
    }
}

TEST(RoleDispatch, ServiceCommandsWithEveryPrefix)
{
    ScratchDirectory dir;
    std::wstring exe = packageLauncher(dir, serviceBlock());
    // Every command on a service that does not exist, so that nothing is left behind:
    // the install commands get a name that the service manager refuses (123).
    const std::wstring missing = L"No such service " + std::to_wstring(GetCurrentProcessId());
    const std::wstring refused = L"bad\\name";
    struct Case {
        std::wstring argument;
        std::wstring name;
        std::string expectedOut;
    };
    // Each failure line as it always was, then what the system says the error means and
    // what to do.
    const std::string invalid = "  Invalid name (error 123). A service name must not hold '/' or '\\'.\n";
    const std::string notInstalled =
        "  Service does not exist (error 1060). The service is not installed; install it with /install.\n";
    const Case cases[] = {
        {L"/install", refused, "Could not create service.\n" + invalid},
        {L"-install", refused, "Could not create service.\n" + invalid},
        {L"--install", refused, "Could not create service.\n" + invalid},
        {L"/-install", refused, "Could not create service.\n" + invalid},
        {L"/install-auto", refused, "Could not create service.\n" + invalid},
        {L"/install-demand", refused, "Could not create service.\n" + invalid},
        {L"/install-and-start", refused,
         "Could not create service.\n" + invalid + "Could not start service. Error code: 123\n" + invalid},
        {L"/uninstall", missing, "Could not delete service.\n" + notInstalled},
        {L"-start", missing, "Could not start service. Error code: 1060\n" + notInstalled},
        {L"--stop", missing, "Could not stop service.\n" + notInstalled},
        // A restart whose stop fails starts nothing.
        {L"/restart", missing, "Could not stop service.\n" + notInstalled},
        {L"/-status", missing, "Could not get status.\n" + notInstalled},
    };
    for (const Case& c : cases) {
        LauncherRun run = runLauncher(exe, {c.argument, L"non-interactive", c.name}, dir);
        EXPECT_EQ(1u, run.result.exitCode) << toUtf8(c.argument);
        EXPECT_EQ(c.expectedOut, run.out) << toUtf8(c.argument);
        EXPECT_EQ("", run.err) << toUtf8(c.argument);
        EXPECT_FALSE(ranDispatcher(run)) << toUtf8(c.argument);
    }
}

TEST(RoleDispatch, RunModesAndTheServiceChild)
{
    ScratchDirectory dir;
    std::wstring exe = packageLauncher(dir, serviceBlock());
    struct Case {
        std::vector<std::wstring> arguments;
        const char* modeLine;  // nullptr: neither run-mode line is logged
        bool serviceChild;
    };
    const Case cases[] = {
        {{L"/run"}, "running service", false},
        {{L"-run", L"a", L"\"b c\""}, "running service", false},
        {{L"--run", L"a"}, "running service", false},
        {{L"/run-redirect"}, "running service with redirection", false},
        {{L"--run-redirect", L"x"}, "running service with redirection", false},
        // The marker as last argument wins over a run mode: the child keeps "/run" as an argument.
        {{L"/run", L"x", L"__dpk_restart"}, nullptr, true},
        {{L"__dpk_restart"}, nullptr, true},
    };
    for (const Case& c : cases) {
        LauncherRun run = runLauncher(exe, c.arguments, dir);
        std::string shown = toUtf8(c.arguments[0]);
        EXPECT_EQ(1u, run.result.exitCode) << shown;
        EXPECT_EQ(kNoJvm, run.shown) << shown;
        EXPECT_TRUE(containsLine(run.log, "LoadDLL (1, (null), 0)")) << shown << "\n" << run.log;
        // Only the service child keeps itself alive through console events.
        EXPECT_EQ(c.serviceChild, containsLine(run.log, "registering ConsoleCtrlHandler")) << shown;
        EXPECT_EQ(c.modeLine != nullptr && std::string(c.modeLine) == "running service",
                  containsLine(run.log, "running service"))
            << shown;
        EXPECT_EQ(c.modeLine != nullptr && std::string(c.modeLine) == "running service with redirection",
                  containsLine(run.log, "running service with redirection"))
            << shown;
        EXPECT_FALSE(ranDispatcher(run)) << shown;
    }
}

TEST(RoleDispatch, OverlongServiceNameIsRefusedByServiceCommandsOnly)
{
    ScratchDirectory dir;
    std::wstring exe = packageLauncher(dir, serviceBlock());
    std::wstring longName(7000, L'n');

    LauncherRun refused = runLauncher(exe, {L"/install", longName}, dir);
    EXPECT_EQ(1u, refused.result.exitCode);
    EXPECT_EQ("The service name given on the command line is too long (7000 characters; at most 5999).\n\nLog: " +
                  toUtf8(refused.logPath) + "\n",
              refused.err);

    // Exactly the capacity less the terminator still fits.
    LauncherRun fits = runLauncher(exe, {L"/status", std::wstring(5999, L'n')}, dir);
    EXPECT_EQ(0u, fits.out.rfind("Could not get status.\n  ", 0)) << fits.out;

    // Any other role goes on without the name, never with it cut; a long argument list for
    // /run is not an error.
    LauncherRun run = runLauncher(exe, {L"/run", longName}, dir);
    EXPECT_EQ(kNoJvm, run.shown);
    EXPECT_TRUE(containsLine(run.log, "ERROR: service name on the command line too long (7000 characters; at most 5999); "
                                      "not taken"))
        << run.log;

    // A configured name that does not fit is no name at all: cut, it would be another
    // service's, which the service manager would look up; empty, it refuses the name.
    struct Case {
        size_t size;
        const char* explanation;
        bool cut;
    };
    const Case cases[] = {
        {5999, "  Service does not exist (error 1060). The service is not installed; install it with /install.\n",
         false},
        {6000, "  Invalid name (error 123). A service name must not hold '/' or '\\'.\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        blockformat::ConfigBlock block = serviceBlock();
        block.set(101, std::string(c.size, 'n'));
        LauncherRun status = runLauncher(packageLauncher(dir, block), {L"/status"}, dir);
        EXPECT_EQ(1u, status.result.exitCode);
        EXPECT_EQ(std::string("Could not get status.\n") + c.explanation, status.out);
        EXPECT_EQ(c.cut, containsLine(status.log, "ERROR: config string 101 truncated (6000 6000)")) << status.log;
    }
}

TEST(RoleDispatch, WorkingDirectoryIsResolvedAgainstTheExecutable)
{
    ScratchDirectory dir;
    CreateDirectoryW(dir.file(L"work").c_str(), nullptr);
    CreateDirectoryW(dir.file(L"bin").c_str(), nullptr);
    blockformat::ConfigBlock block = serviceBlock();
    block.set(146, "..\\\\work");
    std::wstring exe = packageLauncher(dir, block, L"bin\\app.exe");
    LauncherRun run = runLauncher(exe, {L"/run"}, dir);
    EXPECT_TRUE(containsLine(run.log, "change working directory to " + toUtf8(dir.file(L"work")))) << run.log;

    block.set(146, "%QUILL_EXEDIR%sub");
    exe = packageLauncher(dir, block, L"bin\\app2.exe");
    run = runLauncher(exe, {L"/run"}, dir);
    EXPECT_TRUE(containsLine(run.log, "change working directory to " + toUtf8(dir.file(L"bin\\sub")))) << run.log;
}

} // namespace
