// The launch end to end through "/run", "/run-redirect" and the service child: the order
// of the JNI calls, the exit codes of each way the Java side can end, and the service
// stop line on standard input. The Java side is the stand-in jvm.dll, a test double.
#include "support/launch_environment.h"

#include <windows.h>

namespace {

using jnistandin::Behaviour;

const char kQuillMain[] = "com/quill/runtime/WinLauncher";
const char kDeploykitMain[] = "com/deploykit/runtime/launcher/WinLauncher";

class LaunchSequence : public LaunchTest {};

TEST_F(LaunchSequence, JniCallsComeInOrderAndTheVmIsDestroyedAfterMain)
{
    // A VM whose destruction takes time, as one that waits for the application's
    // non-daemon threads: a launcher that ended its process without waiting for
    // DestroyJavaVM would lose the record's last line.
    Behaviour behaviour;
    behaviour.destroyWaitMs = 500;
    LaunchRun run = this->run(package(block()), {L"/run"}, behaviour);
    const jnistandin::Record& r = run.record;
    ASSERT_EQ(0u, run.exitCode()) << run.describe();
    std::vector<std::string> keys;
    for (const jnistandin::RecordLine& line : r.lines()) {
        if (line.key != "option" && line.key != "arg" && line.key != "element") keys.push_back(line.key + " " + line.text);
    }
    // The exit hook is the last option, after every option the launcher passes as text.
    EXPECT_TRUE(r.exitHookGiven()) << run.describe();
    EXPECT_EQ(joinLines({"JNI_CreateJavaVM ", "version 0x00010002", "ignoreUnrecognized 1",
                         "extraInfo " + std::to_string(r.options().size()), std::string("FindClass ") + kQuillMain,
                         std::string("GetStaticMethodID ") + kQuillMain + ".main([Ljava/lang/String;)V",
                         "FindClass java/lang/String", std::string("call ") + kQuillMain + ".main", "main return",
                         "DestroyJavaVM "}),
              joinLines(keys))
        << run.describe();
    EXPECT_EQ(0u, r.count("pendingException"));
    EXPECT_TRUE(containsLine(run.launcher.log, "launch done")) << run.launcher.log;
}

// Each way the Java side can end, and what the user gets from it.
TEST_F(LaunchSequence, ExitCodesFollowTheJavaSide)
{
    struct Case {
        const char* name;
        char flavour;
        std::string main;
        std::vector<std::string> missingClasses;
        std::vector<std::string> missingMethods;
        std::string firstRun;   // with a first-run marker when not empty
        DWORD exitCode;
        std::string message;    // on standard error
        bool mainCalled;
        bool destroyed;
    };
    const Case cases[] = {
        {"main returns", 'q', "return", {}, {}, "", 0, "", true, true},
        {"main throws", 'q', "throw", {}, {}, "", 1, "Exception in thread \"main\" java.lang.IllegalStateException", true,
         false},
        {"main exits with its own code", 'q', "exit 42", {}, {}, "", 42, "", true, false},
        {"main exits with 0", 'q', "exit 0", {}, {}, "", 0, "", true, false},
        {"launcher class missing", 'q', "return", {kQuillMain}, {}, "", 1, "Couldn't load main class.", false, false},
        {"main method missing", 'q', "return", {}, {"main"}, "", 1, "Main method not found.", false, false},
        {"deploykit launcher class missing", 'd', "return", {kDeploykitMain}, {}, "", 1, "Couldn't load main class.",
         false, false},
        {"firstRun returns true", 'd', "return", {}, {}, "true", 0, "", true, true},
        {"firstRun returns false", 'd', "return", {}, {}, "false", 0, "", false, true},
        {"firstRun throws", 'd', "return", {}, {}, "throw", 0, "Exception in thread \"main\"", false, true},
        {"FirstRun class missing", 'd', "return", {"com/deploykit/runtime/launcher/FirstRun"}, {}, "true", 1,
         "An internal error occurred (error code: 14)", false, false},
        {"firstRun method missing", 'd', "return", {}, {"firstRun"}, "true", 1,
         "An internal error occurred (error code: 15)", false, false},
        {"no marker: FirstRun never looked up", 'd', "return", {"com/deploykit/runtime/launcher/FirstRun"}, {}, "", 0,
         "", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        blockformat::ConfigBlock b = block();
        b.set(2001, std::string(1, c.flavour));
        b.set(10003, "..\\");
        std::wstring marker = appDir() + L"\\.deploykit\\firstrun";
        DeleteFileW(marker.c_str());
        if (!c.firstRun.empty()) {
            ASSERT_TRUE(makeDirectories(appDir() + L"\\.deploykit"));
            ASSERT_TRUE(writeTextFile(marker, ""));
        }
        Behaviour behaviour;
        behaviour.main = c.main;
        behaviour.missingClasses = c.missingClasses;
        behaviour.missingMethods = c.missingMethods;
        behaviour.firstRun = c.firstRun;
        LaunchRun run = this->run(package(b), {L"/run"}, behaviour);
        EXPECT_EQ(c.exitCode, run.exitCode()) << run.describe();
        EXPECT_FALSE(run.launcher.result.timedOut);
        if (!c.message.empty()) {
            EXPECT_NE(std::string::npos, run.launcher.err.find(c.message)) << run.describe();
        }
        EXPECT_EQ(c.mainCalled ? 1u : 0u, run.record.count("main")) << run.describe();
        EXPECT_EQ(c.destroyed ? 1u : 0u, run.record.count("DestroyJavaVM")) << run.describe();
        EXPECT_EQ(!c.firstRun.empty(), run.record.has("FindClass", "com/deploykit/runtime/launcher/FirstRun"))
            << run.describe();
        EXPECT_EQ(0u, run.record.count("pendingException")) << run.describe();
    }
}

TEST_F(LaunchSequence, FailedVmCreationEndsWithCodeOne)
{
    Behaviour behaviour;
    behaviour.create = -6;
    LaunchRun run = this->run(package(block()), {L"/run"}, behaviour);
    EXPECT_EQ(1u, run.exitCode()) << run.describe();
    EXPECT_TRUE(containsLine(run.launcher.log, "ERROR: could not initialize JVM")) << run.launcher.log;
    EXPECT_EQ(0u, run.record.count("FindClass"));
}

// A failed allocation of main's arguments is no crash: the launch ends with code 1.
TEST_F(LaunchSequence, FailedArgumentAllocationEndsWithCodeOne)
{
    for (int failure : {-1, 0, 3}) {
        SCOPED_TRACE(failure);
        Behaviour behaviour;
        behaviour.failNewObjectArray = failure < 0;
        behaviour.failNewString = failure;
        LaunchRun run = this->run(package(block()), {L"/run"}, behaviour);
        EXPECT_EQ(1u, run.exitCode()) << run.describe();
        EXPECT_EQ(0u, run.record.count("main")) << run.describe();
        EXPECT_TRUE(containsLine(run.launcher.log, "ERROR: could not call main")) << run.launcher.log;
    }
}

// The service child runs until its standard input says stop: the line "0" or the end.
TEST_F(LaunchSequence, ServiceChildStopsOnTheStopLineOrTheEndOfInput)
{
    struct Case {
        std::string input;
        std::vector<std::string> lines;
        const char* end;
    };
    const Case cases[] = {
        {"0\n", {"0"}, "stdin.stop"},
        {"", {}, "stdin.eof"},
        {"status\n0\nnever read\n", {"status", "0"}, "stdin.stop"},
        {"0\r\n", {"0\r"}, "stdin.stop"},
        {"00\n", {"00"}, "stdin.eof"},
    };
    std::wstring exe = package(block());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        Behaviour behaviour;
        behaviour.main = "stdin";
        LaunchRun run = runChild(exe, {L"DemoService"}, c.input, behaviour);
        EXPECT_EQ(0u, run.exitCode()) << run.describe();
        EXPECT_EQ(joinLines(c.lines), joinLines(run.record.all("stdin.line"))) << run.describe();
        EXPECT_EQ(1u, run.record.count(c.end)) << run.describe();
        EXPECT_TRUE(containsLine(run.launcher.log, "registering ConsoleCtrlHandler"));
        EXPECT_LT(run.record.position(c.end, ""), run.record.position("DestroyJavaVM", "")) << run.describe();
    }
}

} // namespace

namespace {

// The application's native library directories go in front of PATH before the runtime is
// searched, so that the VM's library path starts with them.
TEST_F(LaunchSequence, NativeLibraryDirectoriesComeFirstOnPath)
{
    makeDirectories(dir.file(L"native"));
    blockformat::ConfigBlock b = block();
    const std::string absolute = narrowPath(dir.file(L"native"));
    // Empty entries are dropped, relative ones resolved against the executable's directory,
    // absolute ones kept (with doubled backslashes collapsed).
    std::string doubled = absolute;
    doubled.insert(doubled.find('\\') + 1, "\\");
    b.set(10004, "lib;;..\\bin2;" + doubled);
    LaunchRun run = this->run(package(b), {L"/run"});
    ASSERT_EQ(0u, run.exitCode()) << run.describe();
    const std::string expected = binDirA() + "\\lib;" + binDirA() + "\\..\\bin2;" + absolute + ";";
    const std::string prefix = "Setting PATH (native libs) " + expected;
    bool found = false;
    for (const std::string& line : linesOf(run.launcher.log)) {
        if (line.compare(0, prefix.size(), prefix) == 0) found = true;
    }
    EXPECT_TRUE(found) << run.launcher.log;
    bool libraryPath = false;
    for (const std::string& option : run.record.options()) {
        if (option.compare(0, 20 + expected.size(), "-Djava.library.path=" + expected) == 0) libraryPath = true;
    }
    EXPECT_TRUE(libraryPath) << run.describe();
}

} // namespace
