// The application's environment variables (`[environment]`, record 30012) through "/run":
// each form as the stand-in application sees it through the system and through the C
// runtime, expansion with each entry seeing those before it, JAVA_HOME set here and found
// by the runtime search, a launcher without the record leaving the environment alone, and
// a record or value the launcher cannot use ending the start before the VM. The Java side
// is the stand-in jvm.dll, a test double.
#include "support/launch_environment.h"

#include "format/record_ids.h"
#include "model/environment.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace {

using environmentmodel::Operation;
using environmentmodel::Setting;

class Environment : public LaunchTest {
protected:
    blockformat::ConfigBlock blockWith(const std::vector<Setting>& settings) const
    {
        blockformat::ConfigBlock b = block();
        b.setWide(cfg::environmentVariables, environmentmodel::encodeSettings(settings));
        return b;
    }
};

std::u16string u16(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}

// The variables the stand-in recorded: name -> "=value", or "unset".
std::map<std::string, std::string> variables(const jnistandin::Record& record, const char* key)
{
    std::map<std::string, std::string> out;
    for (const std::string& line : record.all(key)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            out[line] = "unset";
        } else {
            out[line.substr(0, equals)] = line.substr(equals);
        }
    }
    return out;
}

// The launcher puts the runtime's directories at the end of PATH before the VM starts: PATH
// as expected up to its last separator, the rest left out.
std::map<std::string, std::string> withPathCut(std::map<std::string, std::string> seen,
                                               const std::map<std::string, std::string>& expected)
{
    auto path = seen.find("PATH");
    const std::string& start = expected.at("PATH");
    if (path != seen.end() && path->second.compare(0, start.size(), start) == 0) {
        path->second = start;
    }
    return seen;
}

std::string testVariable(const wchar_t* name)
{
    wchar_t value[32768];
    DWORD length = GetEnvironmentVariableW(name, value, 32768);
    return length == 0 || length >= 32768 ? std::string() : toUtf8(std::wstring(value, length));
}

TEST_F(Environment, TheApplicationSeesEachFormThroughTheSystemAndTheCRuntime)
{
    const std::wstring app = L"${launcher:sys.launcherDirectory}";
    const std::vector<Setting> settings = {
        {Operation::set, u"APP_MODE", u"production"},
        {Operation::set, u"APP_OLD", u"new"},
        {Operation::prepend, u"PATH", u16(app) + u"\\native"},
        {Operation::prepend, u"APP_MISSING_LIST", u"first"},
        {Operation::append, u"APP_EMPTY_LIST", u"only"},
        {Operation::append, u"APP_PLUGINS", u16(app) + u"\\plugins"},
        {Operation::remove, u"JAVA_TOOL_OPTIONS", u""},
        {Operation::set, u"APP_GONE", u""},
        {Operation::set, u"APP_HOME", u16(app)},
        {Operation::set, u"APP_DATA", u"${APP_HOME}\\data;${APP_MODE}"},
        {Operation::set, u"APP_FROM_USER", u"${TEST_ORIGIN}-x"},
        {Operation::set, u"APP_TEXT", u"\u00E9\u20AC \U0001F600 a=b \\n"},
        {Operation::append, u"app_mode", u"eu"},
    };
    const std::vector<std::string> names = {"APP_MODE", "APP_OLD", "PATH", "APP_MISSING_LIST", "APP_EMPTY_LIST",
                                            "APP_PLUGINS", "JAVA_TOOL_OPTIONS", "APP_GONE", "APP_HOME", "APP_DATA",
                                            "APP_FROM_USER", "APP_TEXT", "APP_UNTOUCHED"};
    jnistandin::Behaviour behaviour;
    behaviour.mainRecordsVariables = names;
    ProcessOptions options;
    options.setEnv = {{L"APP_OLD", L"old"},
                      {L"APP_EMPTY_LIST", L""},
                      {L"APP_PLUGINS", L"a;b;"},
                      {L"JAVA_TOOL_OPTIONS", L"-Dfrom.outside=1"},
                      {L"APP_GONE", L"here"},
                      {L"TEST_ORIGIN", L"origin"},
                      {L"APP_UNTOUCHED", L"kept"}};
    options.unsetEnv = {L"APP_MODE", L"APP_MISSING_LIST", L"APP_HOME", L"APP_DATA", L"APP_FROM_USER", L"APP_TEXT"};
    const std::string path = testVariable(L"PATH");
    ASSERT_FALSE(path.empty());

    LaunchRun configured = run(package(blockWith(settings)), {L"/run"}, behaviour, options);
    ASSERT_EQ(0u, configured.exitCode()) << configured.describe();
    // ${launcher:sys.launcherDirectory} ends with a backslash.
    const std::string home = toUtf8(binDir()) + "\\";
    const std::map<std::string, std::string> expected = {
        {"APP_MODE", "=production;eu"},
        {"APP_OLD", "=new"},
        {"PATH", "=" + home + "\\native;" + path + ";"},
        {"APP_MISSING_LIST", "=first"},
        {"APP_EMPTY_LIST", "=only"},
        {"APP_PLUGINS", "=a;b;" + home + "\\plugins"},
        {"JAVA_TOOL_OPTIONS", "unset"},
        {"APP_GONE", "unset"},
        {"APP_HOME", "=" + home},
        {"APP_DATA", "=" + home + "\\data;production"},
        {"APP_FROM_USER", "=origin-x"},
        {"APP_TEXT", "=\xC3\xA9\xE2\x82\xAC \xF0\x9F\x98\x80 a=b \\n"},
        {"APP_UNTOUCHED", "=kept"},
    };
    EXPECT_EQ(expected, withPathCut(variables(configured.record, "variable"), expected)) << configured.describe();
    EXPECT_EQ(expected, withPathCut(variables(configured.record, "crtVariable"), expected))
        << configured.describe();
    EXPECT_TRUE(containsLine(configured.launcher.log, "environment variable JAVA_TOOL_OPTIONS (remove) is not set"))
        << configured.launcher.log;

    // The same launcher without the record leaves the environment as it was given.
    LaunchRun plain = run(package(block(), L"plain.exe"), {L"/run"}, behaviour, options);
    ASSERT_EQ(0u, plain.exitCode()) << plain.describe();
    const std::map<std::string, std::string> untouched = {
        {"APP_MODE", "unset"},       {"APP_OLD", "=old"},          {"PATH", "=" + path + ";"},
        {"APP_MISSING_LIST", "unset"}, {"APP_EMPTY_LIST", "="},    {"APP_PLUGINS", "=a;b;"},
        {"JAVA_TOOL_OPTIONS", "=-Dfrom.outside=1"}, {"APP_GONE", "=here"}, {"APP_HOME", "unset"},
        {"APP_DATA", "unset"},       {"APP_FROM_USER", "unset"},   {"APP_TEXT", "unset"},
        {"APP_UNTOUCHED", "=kept"},
    };
    EXPECT_EQ(untouched, withPathCut(variables(plain.record, "variable"), untouched)) << plain.describe();
    EXPECT_EQ(std::string::npos, plain.launcher.log.find("environment variable")) << plain.launcher.log;
}

// The runtime search reads the environment after it is set: a JAVA_HOME of the
// configuration finds the runtime that nothing else names.
TEST_F(Environment, JavaHomeSetHereIsFoundByTheRuntimeSearch)
{
    const struct {
        const char* label;
        std::vector<Setting> settings;
        DWORD exitCode;
        size_t mainCalls;
    } cases[] = {
        {"JAVA_HOME set", {{Operation::set, u"JAVA_HOME", u"${launcher:sys.launcherDirectory}\\..\\jre"}}, 0, 1},
        {"JAVA_HOME set, then removed",
         {{Operation::set, u"JAVA_HOME", u"${launcher:sys.launcherDirectory}\\..\\jre"},
          {Operation::remove, u"JAVA_HOME", u""}},
         1,
         0},
        {"a record without variables", {}, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        blockformat::ConfigBlock b = blockWith(c.settings);
        b.set(cfg::jvmSearchSequence, "EJAVA_HOME;");
        jnistandin::Behaviour behaviour;
        behaviour.mainRecordsVariables = {"JAVA_HOME"};
        LaunchRun launch = run(package(b), {L"/run"}, behaviour);
        EXPECT_EQ(c.exitCode, launch.exitCode()) << launch.describe();
        EXPECT_EQ(c.mainCalls, launch.record.count("main")) << launch.describe();
        if (c.mainCalls == 1) {
            EXPECT_EQ(std::vector<std::string>{"JAVA_HOME=" + toUtf8(binDir()) + "\\\\..\\jre"},
                      launch.record.all("variable"))
                << launch.describe();
        } else {
            EXPECT_NE(std::string::npos, launch.launcher.err.find("No JVM could be found")) << launch.describe();
        }
    }
}

// A record the launcher cannot read, or a value longer than a variable holds, ends the
// start before the VM: the application never runs with another environment.
TEST_F(Environment, ARecordOrValueTheLauncherCannotUseEndsTheStart)
{
    const std::u16string big(20000, u'b');
    const struct {
        const char* label;
        std::u16string record;
        std::string code;
        std::string logLine;
    } cases[] = {
        {"an unknown operation", u"sAPP_MODE=production\nxAPP=1\n", "21",
         "environment record unreadable: entry 2 has no operation the launcher knows"},
        {"a record cut inside an entry", u"sAPP_MODE=production", "21",
         "environment record unreadable: entry 1 ends inside an entry"},
        {"an expansion past the longest value", u"sAPP=${TEST_BIG}${TEST_BIG}\n", "22",
         "environment variable APP (set): the expanded value is longer than a variable holds"},
        {"a prepend past the longest value", u"pTEST_BIG=" + big + u"\n", "22",
         "environment variable TEST_BIG (prepend): setting it failed with error 206 (40001 characters)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        blockformat::ConfigBlock b = block();
        b.setWide(cfg::environmentVariables, c.record);
        ProcessOptions options;
        options.setEnv = {{L"TEST_BIG", std::wstring(20000, L'b')}};
        LaunchRun launch = run(package(b), {L"/run"}, {}, options);
        EXPECT_EQ(1u, launch.exitCode()) << launch.describe();
        EXPECT_EQ("An internal error occurred (error code: " + c.code + ")\n", launch.launcher.shown)
            << launch.describe();
        EXPECT_TRUE(containsLine(launch.launcher.log, c.logLine)) << launch.describe();
        EXPECT_EQ(0u, launch.record.count("JNI_CreateJavaVM")) << launch.describe();
    }
}

} // namespace
