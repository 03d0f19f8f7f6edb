// The VM options and the argument array of main, exactly as the stand-in VM received them,
// for realistic configurations in each launch mode.
#include "support/launch_environment.h"

#include "jvm/launch/vm_options.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

namespace {

using jnistandin::Behaviour;

std::string lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The user's locale as the launcher logged it ("en_US" gives "en" and "US").
std::vector<std::string> localeOptions(const std::string& log)
{
    const std::string prefix = "language/country is ";
    for (const std::string& line : linesOf(log)) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::string locale = line.substr(prefix.size());
        std::vector<std::string> options{"-Duser.language=" + locale.substr(0, 2)};
        if (locale.size() >= 5) options.push_back("-Duser.country=" + locale.substr(3, 2));
        return options;
    }
    return {"<no locale logged>"};
}

class VmOptions : public LaunchTest {
protected:
    // The launcher's own properties, as they must come first.
    std::vector<std::string> properties(const std::wstring& exe, const LaunchRun& run, bool service, bool manpath,
                                        const std::string& tempDir = "", int unextracted = 0) const
    {
        std::string module = narrowPath(exe);
        std::string mangled = lower(module);
        std::replace(mangled.begin(), mangled.end(), '\\', '_');
        std::replace(mangled.begin(), mangled.end(), ' ', '_');
        std::vector<std::string> list{"-Dquill.semaphoreName=Local\\" + mangled + "0"};
        if (service) list.push_back("-Dquill.isService=true");
        list.push_back("-Dquill.moduleName=" + module);
        list.push_back("-Dsun.java.command=" + module);
        list.push_back("-Dquill.tempDir=" + tempDir);
        list.push_back("-Dquill.unextractedPosition=" + std::to_string(unextracted));
        list.push_back("-Djava.library.path=" + lastPathSetting(run.launcher.log));
        if (!manpath) list.push_back("-Dquill.consoleCodepage=cp0");
        return list;
    }
};

// A realistic configuration: configured options with an include in their midst, "-J"
// arguments, the locale options, both vmoptions files (only app.vmoptions is read), in
// each mode of launch.
TEST_F(VmOptions, ExactListForARealisticConfigurationInEachMode)
{
    blockformat::ConfigBlock b = block();
    b.set(123, "\"-Ddeploykit.launcherId=856\" -Xmx64m -include-options extra.vmoptions -Dlast.configured=1");
    b.set(125, "1");
    std::wstring exe = package(b);
    ASSERT_TRUE(writeTextFile(binDir() + L"\\extra.vmoptions", "-Dfrom.include=1\r\n"));
    ASSERT_TRUE(writeTextFile(binDir() + L"\\app.vmoptions", "# comment\n   # indented comment\n  -Dfrom.vmoptions=a b  \n\n-Xrs\n"));
    ASSERT_TRUE(writeTextFile(binDir() + L"\\app.exe.vmoptions", "-Dnot.read=1\n"));

    struct Case {
        const char* mode;
        bool manpath;
    };
    for (const Case& c : {Case{"/run", true}, Case{"/run", false}, Case{"/run-redirect", false},
                          Case{"child", true}, Case{"child", false}}) {
        SCOPED_TRACE(std::string(c.mode) + (c.manpath ? " with MANPATH" : " without MANPATH"));
        const bool child = std::string(c.mode) == "child";
        std::vector<std::wstring> arguments{L"-J-Dfrom.j=1", L"-Dsun.locale.formatasdefault=false", L"plain"};
        ProcessOptions options;
        if (c.manpath) options.setEnv[L"MANPATH"] = L"C:\\man";
        else options.unsetEnv.push_back(L"MANPATH");
        LaunchRun run;
        if (child) {
            arguments.insert(arguments.begin(), L"DemoService");
            arguments.push_back(L"__dpk_restart");
            options.input = "0\n";
        } else {
            arguments.insert(arguments.begin(), fromUtf8(c.mode));
        }
        run = this->run(exe, arguments, Behaviour{}, options);
        ASSERT_EQ(0u, run.exitCode()) << run.describe();
        std::vector<std::string> expected = properties(exe, run, child, c.manpath);
        for (const char* option : {"-Ddeploykit.launcherId=856", "-Xmx64m", "-Dfrom.include=1", "-Dlast.configured=1",
                                   "-Dfrom.j=1", "-Dsun.locale.formatasdefault=false"}) {
            expected.push_back(option);
        }
        for (const std::string& option : localeOptions(run.launcher.log)) expected.push_back(option);
        expected.push_back("-Dfrom.vmoptions=a b");
        expected.push_back("-Xrs");
        expected.push_back("-Djava.class.path=");
        if (std::string(c.mode) == "/run") expected.push_back("-Ddeploykit.noRedir=true");
        EXPECT_EQ(joinLines(expected), joinLines(run.record.options())) << run.describe();
    }
}

// The size limit, roll, age limit and compression of the output files reach the runtime
// library as properties right after the launcher's own; a block without their records (an
// older packager's) passes none, and the runtime library then sets no limit.
TEST_F(VmOptions, OutputLimitFollowsTheLauncherProperties)
{
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::string>> config;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"older launcher", {}, {}},
        {"packager defaults", {{30010, "10485760"}, {30011, "5"}},
         {"-Dquill.outputMaxSize=10485760", "-Dquill.outputKeep=5"}},
        {"no limit, none kept", {{30010, "0"}, {30011, "0"}}, {"-Dquill.outputMaxSize=0", "-Dquill.outputKeep=0"}},
        {"size alone", {{30010, "1048576"}}, {"-Dquill.outputMaxSize=1048576"}},
        {"count alone, read as the launcher reads integers", {{30011, "12 files"}}, {"-Dquill.outputKeep=12"}},
        {"a size that is no count goes as it stands for the runtime library to refuse", {{30010, "10 MB"}},
         {"-Dquill.outputMaxSize=10 MB"}},
        {"daily roll, age and compression after the limit",
         {{30010, "10485760"}, {30011, "30"}, {30016, "daily"}, {30017, "14"}, {30018, "1"}},
         {"-Dquill.outputMaxSize=10485760", "-Dquill.outputKeep=30", "-Dquill.outputRoll=daily",
          "-Dquill.outputKeepDays=14", "-Dquill.outputCompress=true"}},
        {"a roll the runtime library does not know goes as it stands", {{30016, "weekly"}, {30018, "0"}},
         {"-Dquill.outputRoll=weekly", "-Dquill.outputCompress=false"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        blockformat::ConfigBlock b = block();
        for (const auto& [id, value] : c.config) b.set(id, value);
        std::wstring exe = package(b);
        ProcessOptions options;
        options.setEnv[L"MANPATH"] = L"C:\\man";
        LaunchRun run = this->run(exe, {L"/run-redirect"}, Behaviour{}, options);
        ASSERT_EQ(0u, run.exitCode()) << run.describe();
        std::vector<std::string> expected = properties(exe, run, false, true);
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        std::vector<std::string> received = run.record.options();
        ASSERT_GT(received.size(), expected.size()) << run.describe();
        received.resize(expected.size() + 1);
        expected.push_back("-Djava.class.path=");  // the next option: no configured ones
        EXPECT_EQ(joinLines(expected), joinLines(received)) << run.describe();
    }
}

// Where "-Xrs", "-J" arguments and the locale options come from, and when they count.
TEST_F(VmOptions, CommandLineServiceAndLocaleOptions)
{
    struct Case {
        const char* name;
        std::string configured;          // configuration 123
        std::string passJ;               // configuration 125
        std::vector<std::wstring> args;  // after the mode
        bool child;
        std::vector<std::string> expected;  // between the properties and the class path
        std::vector<std::string> tail;      // after the class path
    };
    const std::vector<Case> cases = {
        {"service adds -Xrs", "", "1", {}, true, {}, {"-Xrs"}},
        {"-Xrs configured counts", "-Xrs", "1", {}, true, {"-Xrs"}, {}},
        {"-Xrs from -J counts", "", "1", {L"-J-Xrs"}, true, {"-Xrs"}, {}},
        {"-Xrs with a blank does not count", "\"-Xrs \"", "1", {}, true, {"-Xrs "}, {"-Xrs"}},
        {"no -Xrs for /run", "", "1", {}, false, {}, {"-Ddeploykit.noRedir=true"}},
        {"-J off", "", "0", {L"-J-Dx=1", L"-Jy"}, false, {}, {"-Ddeploykit.noRedir=true"}},
        {"-J on, bare -J", "", "1", {L"-J-Dx=1", L"-J"}, false, {"-Dx=1", ""}, {"-Ddeploykit.noRedir=true"}},
        {"formatasdefault=true alone", "", "1", {L"-Dsun.locale.formatasdefault=true"}, false,
         {"-Dsun.locale.formatasdefault=true"}, {"-Ddeploykit.noRedir=true"}},
        {"-classpath as two tokens are plain options", "-classpath x.jar", "1", {}, false, {"-classpath", "x.jar"},
         {"-Ddeploykit.noRedir=true"}},
        {"-include-options with two blanks", "'-include-options  extra.vmoptions'", "1", {}, false, {},
         {"-Ddeploykit.noRedir=true"}},
    };
    ASSERT_TRUE(writeTextFile(binDir() + L"\\extra.vmoptions", "-Dfrom.include=1\n"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        blockformat::ConfigBlock b = block();
        b.set(123, c.configured);
        b.set(125, c.passJ);
        std::wstring exe = package(b);
        std::vector<std::wstring> arguments = c.args;
        ProcessOptions options;
        options.setEnv[L"MANPATH"] = L"x";
        LaunchRun run;
        if (c.child) {
            arguments.insert(arguments.begin(), L"Svc");
            run = runChild(exe, arguments, "0\n");
        } else {
            arguments.insert(arguments.begin(), L"/run");
            run = this->run(exe, arguments, Behaviour{}, options);
        }
        ASSERT_EQ(0u, run.exitCode()) << run.describe();
        std::vector<std::string> all = run.record.options();
        auto classPath = std::find_if(all.begin(), all.end(), [](const std::string& o) {
            return o.rfind("-Djava.class.path=", 0) == 0;
        });
        ASSERT_NE(all.end(), classPath) << run.describe();
        auto library = std::find_if(all.begin(), all.end(), [](const std::string& o) {
            return o.rfind("-Djava.library.path=", 0) == 0;
        });
        auto first = library + 1;
        if (first != all.end() && first->rfind("-Dquill.consoleCodepage=", 0) == 0) ++first;
        EXPECT_EQ(joinLines(c.expected), joinLines(std::vector<std::string>(first, classPath))) << run.describe();
        EXPECT_EQ(joinLines(c.tail), joinLines(std::vector<std::string>(classPath + 1, all.end()))) << run.describe();
    }
}

// Locale options: the last "-Dsun.locale.formatasdefault=" argument decides.
TEST_F(VmOptions, LocaleOptionsFollowTheLastFormatArgument)
{
    std::wstring exe = package(block());
    LaunchRun run = this->run(exe, {L"/run", L"-Dsun.locale.formatasdefault=true", L"-Dsun.locale.formatasdefault=no"});
    ASSERT_EQ(0u, run.exitCode()) << run.describe();
    std::vector<std::string> expected{"-Dsun.locale.formatasdefault=no"};
    for (const std::string& option : localeOptions(run.launcher.log)) expected.push_back(option);
    std::vector<std::string> all = run.record.options();
    auto at = std::find(all.begin(), all.end(), expected.front());
    ASSERT_NE(all.end(), at) << run.describe();
    EXPECT_EQ(joinLines(expected), joinLines(std::vector<std::string>(at, at + static_cast<long>(expected.size()))));
    EXPECT_EQ(0, std::count(all.begin(), all.end(), "-Dsun.locale.formatasdefault=true"));
    // The first one stands first, so main gets it; the second one it does not.
    std::vector<std::string> elements = run.record.arrayElements("com/quill/runtime/WinLauncher.main");
    ASSERT_EQ(6u, elements.size()) << run.describe();
    EXPECT_EQ("-Dsun.locale.formatasdefault=true", elements[5]);
}

// The executable's own vmoptions file: app.vmoptions first, app.exe.vmoptions otherwise;
// includes resolve against the including file; cycles stop at the depth bound.
TEST_F(VmOptions, VmOptionsFilesAndIncludes)
{
    std::wstring exe = package(block());
    ASSERT_TRUE(makeDirectories(binDir() + L"\\conf"));
    struct Case {
        const char* name;
        std::vector<std::pair<std::wstring, std::string>> files;
        std::vector<std::string> expected;  // before the class path, after the properties
        const char* logLine;
    };
    std::vector<std::string> selfCycle(kMaxIncludeDepth, "-Dloop=1");
    std::vector<std::string> mutualCycle;
    for (int i = 0; i < kMaxIncludeDepth; ++i) mutualCycle.push_back(i % 2 == 0 ? "-Da=1" : "-Db=1");
    const std::vector<Case> cases = {
        {"app.exe.vmoptions when app.vmoptions is missing", {{L"app.exe.vmoptions", "-Dexe.vm=1\n"}}, {"-Dexe.vm=1"},
         nullptr},
        {"include relative to the including file",
         {{L"app.vmoptions", "-include-options conf\\one.vmoptions\n-Dafter=1\n"},
          {L"conf\\one.vmoptions", "-Done=1\n-include-options two.vmoptions\n"},
          {L"conf\\two.vmoptions", "-Dtwo=1\n-classpath/a appended.jar\n"}},
         {"-Done=1", "-Dtwo=1", "-Dafter=1"}, nullptr},
        {"a file that includes itself", {{L"app.vmoptions", "-include-options loop.vmoptions\n"},
                                         {L"loop.vmoptions", "-Dloop=1\n-include-options loop.vmoptions\n"}},
         selfCycle, "vmoptions include depth"},
        {"two files that include each other",
         {{L"app.vmoptions", "-include-options a.vmoptions\n"},
          {L"a.vmoptions", "-Da=1\n-include-options b.vmoptions\n"},
          {L"b.vmoptions", "-Db=1\n-include-options a.vmoptions\n"}},
         mutualCycle, "vmoptions include depth"},
        {"a missing include is skipped", {{L"app.vmoptions", "-include-options none.vmoptions\n-Dstill=1\n"}},
         {"-Dstill=1"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const wchar_t* name : {L"app.vmoptions", L"app.exe.vmoptions", L"loop.vmoptions", L"a.vmoptions",
                                    L"b.vmoptions", L"conf\\one.vmoptions", L"conf\\two.vmoptions"}) {
            DeleteFileW((binDir() + L"\\" + name).c_str());
        }
        for (const auto& [name, text] : c.files) ASSERT_TRUE(writeTextFile(binDir() + L"\\" + name, text));
        ProcessOptions options;
        options.setEnv[L"MANPATH"] = L"x";
        LaunchRun run = this->run(exe, {L"/run"}, Behaviour{}, options);
        ASSERT_EQ(0u, run.exitCode()) << run.describe();
        std::vector<std::string> all = run.record.options();
        ASSERT_GE(all.size(), 8u) << run.describe();
        std::vector<std::string> middle(all.begin() + 6, all.end() - 2);
        EXPECT_EQ(joinLines(c.expected), joinLines(middle)) << run.describe();
        if (c.logLine != nullptr) {
            EXPECT_NE(std::string::npos, run.launcher.log.find(c.logLine)) << run.launcher.log;
        }
    }
}

// The argument array of main: five fixed entries, the first launcher argument, the split
// default arguments, then the rest without "-J" (when used as options) and locale arguments.
TEST_F(VmOptions, MainArgumentArray)
{
    const std::string errLog = toUtf8(binDir()) + "\\logs\\err.log";
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::string>> config;
        std::vector<std::wstring> args;  // after the mode
        bool child;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"no arguments", {{124, ""}}, {}, false,
         {"false", "com.example.demo.Main", toUtf8(binDir()) + "\\logs\\demo_error.log", "", "true"}},
        {"launcher kind 1, redirections resolved, default arguments split",
         {{107, "1"}, {103, "logs\\err.log"}, {104, "1"}, {105, "${installer:app.dir}\\out.log"}, {106, "0"},
          {124, "--config 'a b' \"c d\""}},
         {L"first", L"-J-Dx=1", L"-Dsun.locale.formatasdefault=true", L"\"two words\"", L"-Jmore"}, false,
         {"true", "com.example.demo.Main", errLog, "${installer:app.dir}\\out.log", "false", "first", "--config", "a b",
          "c d", "two words"}},
        {"-J kept for main when not options", {{125, "0"}, {102, "0"}}, {L"-J-Dx=1", L"-Jy", L"z"}, false,
         {"false", "com.example.demo.Main", "", "", "true", "-J-Dx=1", "-Jy", "z"}},
        {"first argument is never filtered", {{102, "0"}},
         {L"-Dsun.locale.formatasdefault=x", L"-Dsun.locale.formatasdefault=y", L"-J-Da=1"}, false,
         {"false", "com.example.demo.Main", "", "", "true", "-Dsun.locale.formatasdefault=x"}},
        {"service child: the service name first", {{102, "0"}}, {L"Demo Svc", L"x"}, true,
         {"false", "com.example.demo.Main", "", "", "true", "Demo Svc", "x"}},
        {"service child: the machine's data folder and the service's name in the file names",
         {{103, "${launcher:sys.programData}\\${launcher:sys.serviceName}\\err.log"}, {104, "1"},
          {105, "${launcher:sys.serviceName}.log"}},
         {L"Ticker"}, true,
         {"false", "com.example.demo.Main", "C:\\ProgramData\\Ticker\\err.log", toUtf8(binDir()) + "\\Ticker.log",
          "true", "Ticker"}},
        {"text beyond ASCII arrives exactly", {{102, "0"}}, {L"gr\u00fc\u00dfe", L"\u20ac\u4e2d"}, false,
         {"false", "com.example.demo.Main", "", "", "true", "gr\xc3\xbc\xc3\x9f" "e", "\xe2\x82\xac\xe4\xb8\xad"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        blockformat::ConfigBlock b = block();
        for (const auto& [id, value] : c.config) b.set(id, value);
        std::wstring exe = package(b);
        std::vector<std::wstring> arguments;
        for (const std::wstring& a : c.args) {
            arguments.push_back(a.find(L' ') != std::wstring::npos && a.front() != L'"' ? L"\"" + a + L"\"" : a);
        }
        LaunchRun run;
        if (c.child) {
            run = runChild(exe, arguments, "0\n");
        } else {
            arguments.insert(arguments.begin(), L"/run");
            run = this->run(exe, arguments);
        }
        ASSERT_EQ(0u, run.exitCode()) << run.describe();
        EXPECT_EQ(std::vector<std::string>{"String[] " + std::to_string(c.expected.size())},
                  run.record.callArguments("com/quill/runtime/WinLauncher.main"));
        EXPECT_EQ(joinLines(c.expected), joinLines(run.record.arrayElements("com/quill/runtime/WinLauncher.main")))
            << run.describe();
    }
}

// The splash settings go to the Java side in one call of 14 arguments, when asked for.
TEST_F(VmOptions, SplashSettingsHandOver)
{
    blockformat::ConfigBlock b = block();
    b.set(108, "1");
    b.set(10123, "1");
    b.set(163, "1");
    b.set(10111, "Starting %1");
    b.set(10109, "11");
    b.set(10110, "12");
    b.set(10114, "1,2,3");
    b.set(10113, "9");
    b.set(10115, "700");
    b.set(10118, "version 2.0.2");
    b.set(10116, "21");
    b.set(10117, "-41");
    b.set(10121, "4,5,6");
    b.set(10120, "10");
    b.set(10122, "400");
    LaunchRun run = this->run(package(b), {L"/run"});
    ASSERT_EQ(0u, run.exitCode()) << run.describe();
    EXPECT_EQ(joinLines({"Z 1", "Z 1", "String Starting %1", "I 11", "I 12", "String 1,2,3", "I 9", "I 700",
                         "String version 2.0.2", "I 21", "I -41", "String 4,5,6", "I 10", "I 400"}),
              joinLines(run.record.callArguments("com/quill/runtime/WinLauncher.initAwtSplashConfig")))
        << run.describe();
    EXPECT_EQ(4u, run.record.count("DeleteLocalRef"));

    // Without the splash class the launch goes on, with no exception left pending.
    b.set(2001, "d");
    jnistandin::Behaviour behaviour;
    behaviour.missingClasses = {"com/quill/runtime/WinLauncher"};
    run = this->run(package(b), {L"/run"}, behaviour);
    EXPECT_EQ(0u, run.exitCode()) << run.describe();
    EXPECT_EQ(1u, run.record.count("main"));
    EXPECT_EQ(0u, run.record.count("pendingException")) << run.describe();
}

} // namespace

namespace {

// Long texts are carried whole or refused, never written past a buffer: a PATH longer
// than 12000 bytes, a configured option list near its 6000-character capacity.
TEST_F(VmOptions, LongPathAndLongConfiguredOptions)
{
    blockformat::ConfigBlock b = block();
    std::string longOption = "-Dlong=" + std::string(5900, 'x');
    b.set(123, longOption);
    std::wstring exe = package(b);
    ProcessOptions options;
    std::wstring path = L"C:\\windows\\system32;C:\\windows";
    while (path.size() < 13000) path += L";C:\\does\\not\\exist\\padding";
    options.setEnv[L"PATH"] = path;
    LaunchRun run = this->run(exe, {L"/run"}, Behaviour{}, options);
    ASSERT_EQ(0u, run.exitCode()) << run.describe();
    std::string library;
    for (const std::string& option : run.record.options()) {
        if (option.rfind("-Djava.library.path=", 0) == 0) library = option.substr(20);
    }
    EXPECT_EQ(lastPathSetting(run.launcher.log), library);
    EXPECT_EQ(0u, library.find(toUtf8(path))) << library.size();
    EXPECT_TRUE(run.record.has("option", longOption));
}

} // namespace

// /vmoptions writes the file the launch reads, one option per line as the command line
// splits them (blanks inside quotes kept, as an installer passes VM_OPTIONS); an option the reader would take otherwise (a
// comment, outer blanks) or a character the file's bytes cannot hold is refused and the
// file stays as it was; no options remove it.
TEST_F(VmOptions, VmOptionsCommandWritesTheFileTheLaunchReads)
{
    std::wstring exe = package(block());
    const std::wstring file = binDir() + L"\\app.vmoptions";
    const std::string shown = narrowPath(file);
    LaunchRun written = run(exe, {L"/vmoptions", L"-Xmx64m", L"\"-Dregion=eu west\""});
    ASSERT_EQ(0u, written.exitCode()) << written.describe();
    EXPECT_EQ("Wrote the VM options to " + shown + ".\n", written.launcher.out);
    EXPECT_EQ("-Xmx64m\r\n-Dregion=eu west\r\n", readText(file));

    LaunchRun launched = run(exe, {L"/run-redirect"});
    ASSERT_EQ(0u, launched.exitCode()) << launched.describe();
    std::vector<std::string> options = launched.record.options();
    auto at = std::find(options.begin(), options.end(), "-Xmx64m");
    ASSERT_NE(options.end(), at) << launched.describe();
    ASSERT_NE(options.end(), at + 1);
    EXPECT_EQ("-Dregion=eu west", *(at + 1));

    const struct {
        std::vector<std::wstring> options;
        std::string reason;
    } refused[] = {
        {{L"-Xmx1g", L"#-Xmx2g"}, "the option \"#-Xmx2g\" would be read back otherwise (as a comment, or without its outer "
                                  "blanks)"},
        {{L"-Dname=\u0416"}, "the option -Dname=? holds a character beyond Latin-1, which a vmoptions file cannot hold"},
    };
    for (const auto& c : refused) {
        std::vector<std::wstring> arguments{L"/vmoptions"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        LaunchRun refusedRun = run(exe, arguments);
        EXPECT_EQ(1u, refusedRun.exitCode()) << refusedRun.describe();
        EXPECT_EQ("The VM options were not written: " + c.reason + ".\n", refusedRun.launcher.out);
        EXPECT_EQ("-Xmx64m\r\n-Dregion=eu west\r\n", readText(file));
    }

    LaunchRun removed = run(exe, {L"/vmoptions"});
    EXPECT_EQ(0u, removed.exitCode()) << removed.describe();
    EXPECT_EQ("No VM options: " + shown + " is not there.\n", removed.launcher.out);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file.c_str()));
}
