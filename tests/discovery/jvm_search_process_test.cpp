// Finding and loading a Java runtime, seen from outside: a packaged launcher started with
// "/run" next to stand-in runtimes, its log, its messages and what the stand-ins recorded.
// The stand-in jvm.dll does not create a VM, so a run whose library loaded still ends
// with exit code 1 after "Loading of JVM-DLL successful".
#include "format/record_ids.h"
#include "packaging/descriptor/build.h"
#include "packaging/descriptor/keys.h"
#include "support/test_launcher.h"
#include "support/test_runtime.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <utility>

namespace {

const char kNoJvm[] =
    "No JVM could be found on your system.\nPlease define the environment variable QUILL_JAVA_HOME to point "
    "to an installed 64-bit JDK or JRE, or download a JRE and install it.\n";
const char kNotStartable[] =
    "The JVM could not be started. The maximum heap size (-Xmx) might be too large or an antivirus or "
    "firewall tool could block the execution.\n";

std::string lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Removes the version cache entries of every executable below `directory`, so that no
// test leaves registry keys behind.
void forgetCachedVersions(const std::wstring& directory)
{
    std::string prefix = lower(narrowPath(directory));
    std::replace(prefix.begin(), prefix.end(), '\\', '/');
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\tarnwell\\quill\\jvms", 0, KEY_READ | KEY_WRITE, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    std::vector<std::string> doomed;
    char name[4096];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        LONG result = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result == ERROR_SUCCESS && std::string(name).compare(0, prefix.size(), prefix) == 0) doomed.push_back(name);
    }
    for (const std::string& entry : doomed) RegDeleteKeyA(key, entry.c_str());
    RegCloseKey(key);
}

// One application: the launcher in <dir>\app\bin\app.exe, runtimes wherever a test puts
// them, no Java variables in the environment unless a test sets them.
class JvmSearch : public ::testing::Test {
protected:
    void TearDown() override { forgetCachedVersions(dir.path()); }

    std::wstring launcher(blockformat::ConfigBlock block)
    {
        makeDirectories(dir.file(L"app\\bin"));
        return packageLauncher(dir, block, L"app\\bin\\app.exe");
    }

    blockformat::ConfigBlock block(const std::string& sequence, const std::string& minimum = "1.7",
                                   const std::string& maximum = "1.8")
    {
        blockformat::ConfigBlock b = serviceBlock();
        b.set(128, sequence);
        b.set(126, minimum);
        b.set(127, maximum);
        b.set(10003, "..\\");
        return b;
    }

    LauncherRun run(const std::wstring& exe, ProcessOptions options = {})
    {
        for (const wchar_t* name : {L"JAVA_HOME", L"JDK_HOME", L"QUILL_JAVA_HOME", L"DEPLOYKIT_JAVA_HOME"}) {
            if (options.setEnv.count(name) == 0) options.unsetEnv.push_back(name);
        }
        return runLauncher(exe, {L"/run"}, dir, true, options);
    }

    RuntimeLayout runtime(const char* version, const char* jvmDll = "jvm.dll")
    {
        RuntimeLayout layout;
        layout.java.versionLine = std::string("java version \"") + version + "\"";
        layout.jvmDll = jvmDll;
        return layout;
    }

    ScratchDirectory dir;
};

bool logHas(const LauncherRun& run, const std::string& line)
{
    return containsLine(run.log, line);
}

size_t logPosition(const LauncherRun& run, const std::string& line)
{
    std::vector<std::string> lines = linesOf(run.log);
    return static_cast<size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
}

TEST_F(JvmSearch, MatchingRuntimeBesideTheApplicationLoadsInTheMainPass)
{
    std::wstring java = layOutRuntime(dir.file(L"app\\jre"), runtime("1.8.0_66"));
    ASSERT_FALSE(java.empty());
    LauncherRun run = this->run(launcher(block("B..\\jre;Y;EJAVA_HOME;EJDK_HOME;")));
    EXPECT_TRUE(logHas(run, "Loading of JVM-DLL successful")) << run.log;
    EXPECT_TRUE(logHas(run, "Testing location ..\\jre (type B)")) << run.log;
    EXPECT_FALSE(logHas(run, "Testing location  (type Y)")) << run.log;
    EXPECT_FALSE(logHas(run, "Search sequence finished"));
    const std::string bin = lower(narrowPath(dir.file(L"app\\jre\\bin")));
    EXPECT_TRUE(logHas(run, "Trying " + bin + "\\hotspot\\jvm.dll (exists 0)")) << run.log;
    EXPECT_TRUE(logHas(run, "Trying " + bin + "\\client\\jvm.dll (exists 0)"));
    EXPECT_TRUE(logHas(run, "Trying " + bin + "\\server\\jvm.dll (exists 1)"));
    // The runtime's bin directory stays at the end of PATH.
    std::vector<std::string> lines = linesOf(run.log);
    auto setting = std::find_if(lines.rbegin(), lines.rend(),
                                [](const std::string& l) { return l.rfind("Setting PATH ", 0) == 0; });
    ASSERT_NE(lines.rend(), setting);
    EXPECT_EQ(";" + bin, setting->substr(setting->size() - bin.size() - 1));
    EXPECT_EQ(1u, standinStarts(java).size());
}

TEST_F(JvmSearch, WarmVersionCacheStartsNoJava)
{
    std::wstring java = layOutRuntime(dir.file(L"app\\jre"), runtime("1.8.0_66"));
    std::wstring exe = launcher(block("B..\\jre;"));
    LauncherRun first = run(exe);
    EXPECT_TRUE(logHas(first, "got version from execution 1.8.0_66")) << first.log;
    LauncherRun second = run(exe);
    EXPECT_TRUE(logHas(second, "got version from registry 1.8.0_66")) << second.log;
    EXPECT_TRUE(logHas(second, "Loading of JVM-DLL successful"));
    EXPECT_EQ(1u, standinStarts(java).size());
}

TEST_F(JvmSearch, RuntimeOutOfRangeIsTakenByTheFallbackPass)
{
    layOutRuntime(dir.file(L"app\\jre"), runtime("1.6.0_45"));
    LauncherRun run = this->run(launcher(block("B..\\jre;Y;EJAVA_HOME;EJDK_HOME;")));
    EXPECT_TRUE(logHas(run, "Testing relative location ..\\jre")) << run.log;
    EXPECT_TRUE(logHas(run, "Loading of JVM-DLL successful")) << run.log;
    EXPECT_LT(logPosition(run, "Testing location JDK_HOME (type E)"), logPosition(run, "Testing relative location ..\\jre"));
}

// An older runtime shipped beside the application: taken by the second pass, which drops
// the version test, unless the version is strict; then the start ends with the no-runtime
// message, which names what was found and why it was rejected.
TEST_F(JvmSearch, StrictVersionLeavesAnOlderRuntimeBesideTheApplicationUnused)
{
    std::wstring java = layOutRuntime(dir.file(L"app\\jre"), runtime("1.8.0_292"));
    ASSERT_FALSE(java.empty());
    RuntimeLayout noVersion = runtime("11.0.2");
    noVersion.java.versionLine = "no version here";
    ASSERT_FALSE(layOutRuntime(dir.file(L"mute"), noVersion).empty());
    const std::string rejected =
        "\n\njava runtimes found and rejected:\n  " + lower(narrowPath(dir.file(L"app\\jre\\bin\\java.exe"))) +
        " (java 1.8.0_292): outside the accepted versions (11 or later)\n  " +
        lower(narrowPath(dir.file(L"mute\\bin\\java.exe"))) +
        ": the version probe failed (no release file, and -version gave no version)\n";
    for (const char* strict : std::vector<const char*>{"0", "1", nullptr}) {
        blockformat::ConfigBlock b = block("B..\\jre;A" + narrowPath(dir.file(L"mute")) + ";", "11", "");
        if (strict != nullptr) {
            b.set(cfg::strictJavaVersion, strict);
        }
        LauncherRun run = this->run(launcher(b));
        const std::string label = strict == nullptr ? "no record" : strict;
        if (strict != nullptr && std::string(strict) == "1") {
            EXPECT_EQ(1u, run.result.exitCode) << label;
            EXPECT_FALSE(logHas(run, "Loading of JVM-DLL successful")) << run.log;
            EXPECT_FALSE(logHas(run, "Testing relative location ..\\jre")) << run.log;
            EXPECT_TRUE(logHas(run, "strict version: no directory entry is tried again without the version test"))
                << run.log;
            const size_t end = run.shown.find("\n\n");
            ASSERT_NE(std::string::npos, end) << run.shown;
            EXPECT_EQ(std::string(kNoJvm, sizeof kNoJvm - 2), run.shown.substr(0, end)) << label;
            EXPECT_EQ(rejected, lower(run.shown.substr(end))) << label;
        } else {
            EXPECT_TRUE(logHas(run, "Testing relative location ..\\jre")) << label << run.log;
            EXPECT_TRUE(logHas(run, "Loading of JVM-DLL successful")) << label << run.log;
        }
    }
}

TEST_F(JvmSearch, AbsoluteEntriesAreRetriedOnlyWithLetterB)
{
    layOutRuntime(dir.file(L"jdk"), runtime("1.6.0_45"));
    const std::string absolute = narrowPath(dir.file(L"jdk"));
    LauncherRun a = run(launcher(block("A" + absolute + ";")));
    EXPECT_FALSE(logHas(a, "Testing relative location " + absolute)) << a.log;
    // The message names the runtime it found (paths compared in lower case, as the search keeps them).
    EXPECT_EQ(lower(std::string(kNoJvm, sizeof kNoJvm - 2) + "\n\nJava runtimes found and rejected:\n  " +
                    narrowPath(dir.file(L"jdk\\bin\\java.exe")) +
                    " (Java 1.6.0_45): outside the accepted versions (1.7 to 1.8)\n"),
              lower(a.shown));
    LauncherRun b = run(launcher(block("B" + absolute + ";")));
    EXPECT_TRUE(logHas(b, "Testing relative location " + absolute)) << b.log;
    EXPECT_TRUE(logHas(b, "Loading of JVM-DLL successful"));
}

TEST_F(JvmSearch, NothingFoundAsksForARuntime)
{
    LauncherRun run = this->run(launcher(block("B..\\jre;Y;EJAVA_HOME;XJAVA;")));
    EXPECT_EQ(1u, run.result.exitCode);
    EXPECT_EQ(kNoJvm, run.shown);
    EXPECT_TRUE(logHas(run, "ERROR: No JVM found"));
    // An unknown letter is logged and skipped.
    EXPECT_TRUE(logHas(run, "Testing location JAVA (type X)")) << run.log;
}

TEST_F(JvmSearch, MessagesNameWhereTheUnusableRuntimeWasFound)
{
    // Accepted through a variable, but its library does not load.
    layOutRuntime(dir.file(L"broken"), runtime("1.8.0_66", ""));
    ProcessOptions options;
    options.setEnv[L"JAVA_HOME"] = dir.file(L"broken");
    LauncherRun variable = run(launcher(block("EJAVA_HOME;")), options);
    EXPECT_EQ(1u, variable.result.exitCode);
    EXPECT_EQ("The JAVA_HOME environment variable does not\npoint to a working 64-bit JDK or JRE.\n" +
                  std::string(kNotStartable),
              variable.shown);
    EXPECT_TRUE(logHas(variable, "ERROR: Could not get DLL-Handle."));

    // Found in a directory of the sequence, with a library that lacks the entry point.
    layOutRuntime(dir.file(L"app\\jre"), runtime("1.8.0_66", "jvm_noexport.dll"));
    LauncherRun directory = run(launcher(block("B..\\jre;")));
    EXPECT_EQ("The JVM found at ..\\jre is damaged.\nPlease reinstall or define QUILL_JAVA_HOME\nto point to an "
              "installed 64-bit JDK or JRE.\n" + std::string(kNotStartable),
              directory.shown);
    EXPECT_TRUE(logHas(directory, "ERROR: Could not load functions")) << directory.log;
}

TEST_F(JvmSearch, ThirtyTwoBitLibraryFailsToLoadAndTheSearchGoesOn)
{
    layOutRuntime(dir.file(L"old"), runtime("1.8.0_66", "jvm32.dll"));
    layOutRuntime(dir.file(L"good"), runtime("1.8.0_66"));
    const std::string old = narrowPath(dir.file(L"old"));
    const std::string good = narrowPath(dir.file(L"good"));
    LauncherRun run = this->run(launcher(block("A" + old + ";A" + good + ";")));
    EXPECT_TRUE(logHas(run, "Trying " + lower(old) + "\\bin\\server\\jvm.dll (exists 1)")) << run.log;
    EXPECT_TRUE(logHas(run, "Failed with error code 193")) << run.log;
    EXPECT_TRUE(logHas(run, "Loading of JVM-DLL successful"));
    EXPECT_GT(logPosition(run, "Loading of JVM-DLL successful"), logPosition(run, "Failed with error code 193"));
}

// Runtimes that fail in every way a damaged installation can: java.exe dies of an access
// violation (before or after its version text) and a jvm.dll whose initialisation fails.
// Each is logged and passed over, quickly, and the working runtime behind them is loaded.
TEST_F(JvmSearch, BrokenRuntimesArePassedOver)
{
    RuntimeLayout diesAfterVersion = runtime("1.8.0_66");
    diesAfterVersion.java.crash = "after";
    RuntimeLayout diesAtOnce = runtime("1.8.0_66");
    diesAtOnce.java.crash = "before";
    const std::vector<std::pair<std::wstring, RuntimeLayout>> runtimes = {
        {L"dies-after-version", diesAfterVersion},
        {L"dies-at-once", diesAtOnce},
        {L"init-fails", runtime("1.8.0_66", "jvm_initfail.dll")},
        {L"good", runtime("1.8.0_66")},
    };
    std::string sequence;
    for (const auto& entry : runtimes) {
        ASSERT_FALSE(layOutRuntime(dir.file(entry.first), entry.second).empty());
        sequence += "A" + narrowPath(dir.file(entry.first)) + ";";
    }
    DWORD start = GetTickCount();
    LauncherRun run = this->run(launcher(block(sequence)));
    EXPECT_LT(GetTickCount() - start, 20000u);

    // 0xC0000005, the access violation, as the logged exit code; cached as a failure.
    const std::vector<std::string> lines = linesOf(run.log);
    EXPECT_EQ(2, std::count(lines.begin(), lines.end(), "Exit Code -1073741819")) << run.log;
    for (const wchar_t* name : {L"dies-after-version", L"dies-at-once"}) {
        EXPECT_EQ(1u, standinStarts(dir.file(std::wstring(name) + L"\\bin\\java.exe")).size()) << toUtf8(name);
    }
    const std::string initFails = lower(narrowPath(dir.file(L"init-fails\\bin\\server\\jvm.dll")));
    EXPECT_TRUE(logHas(run, "Trying " + initFails + " (exists 1)")) << run.log;
    EXPECT_TRUE(logHas(run, "Failed with error code 1114")) << run.log;
    const std::string good = lower(narrowPath(dir.file(L"good\\bin\\server\\jvm.dll")));
    EXPECT_TRUE(logHas(run, "Trying " + good + " (exists 1)")) << run.log;
    EXPECT_GT(logPosition(run, "Loading of JVM-DLL successful"), logPosition(run, "Failed with error code 1114"));
    EXPECT_EQ(lines.size(), logPosition(run, "ERROR: No JVM found"));
}

// Every candidate the search passes over gets a log line that says why, not only that
// its check returned 0.
TEST_F(JvmSearch, EachRejectedCandidateIsLoggedWithItsReason)
{
    RuntimeLayout noVersion = runtime("1.8.0_66");
    noVersion.java.versionLine = "no version here";
    const std::string range = " not accepted (minimum 1.7, maximum 1.8, pre-releases accepted)";
    const struct {
        const wchar_t* home;
        RuntimeLayout layout;
        std::string reason;
    } cases[] = {
        {L"old", runtime("1.6.0_45"), "version 1.6.0_45" + range},
        {L"new", runtime("11.0.2"), "version 11.0.2" + range},
        {L"no-version", noVersion, "the version probe failed (no release file, and -version gave no version)"},
        {L"no-dll", runtime("1.8.0_66", ""), "no jvm.dll under " + narrowPath(dir.file(L"no-dll\\bin"))},
        {L"bits32", runtime("1.8.0_66", "jvm32.dll"), "its jvm.dll is not a 64-bit library (error 193)"},
    };
    std::string sequence;
    for (const auto& c : cases) {
        ASSERT_FALSE(layOutRuntime(dir.file(c.home), c.layout).empty());
        sequence += "A" + narrowPath(dir.file(c.home)) + ";";
    }
    makeDirectories(dir.file(L"empty"));
    sequence += "A" + narrowPath(dir.file(L"empty")) + ";";
    LauncherRun run = this->run(launcher(block(sequence)));
    EXPECT_EQ(1u, run.result.exitCode);
    EXPECT_FALSE(logHas(run, "Loading of JVM-DLL successful"));
    const std::string log = lower(run.log);
    for (const auto& c : cases) {
        std::string line = "rejected " + narrowPath(dir.file(std::wstring(c.home) + L"\\bin\\java.exe")) + ": " + c.reason;
        EXPECT_TRUE(containsLine(log, lower(line))) << line << "\n" << run.log;
    }
    std::string missing = "rejected " + narrowPath(dir.file(L"empty\\bin\\java.exe")) + ": no such file";
    EXPECT_TRUE(containsLine(log, lower(missing))) << missing << "\n" << run.log;
}

// The packager writes the version range of the descriptor into the built-in text of the
// no-runtime message, so the user learns what to install; without a range it is the text
// it always was.
TEST_F(JvmSearch, NoRuntimeMessageSaysWhichJavaTheApplicationNeeds)
{
    const struct {
        std::string java;
        std::string ending;
    } cases[] = {
        {"", ""},  // first: the built-in text the others end differently
        {"min_version = \"11\"\n", "The application needs Java 11 or later.\n"},
        {"min_version = \"11\"\nmax_version = \"17\"\n", "The application needs Java 11 to 17.\n"},
        // The default minimum stays part of the range.
        {"max_version = \"17\"\n", "The application needs Java 1.8 to 17.\n"},
        {"min_version = \"\"\nmax_version = \"17\"\n", "The application needs Java 17 or earlier.\n"},
    };
    std::string builtIn;
    for (const auto& c : cases) {
        std::string descriptor = "[service]\nname = \"Needs\"\n[application]\nmain_class = \"a.B\"\n"
                                 "class_path = [ { archive = \"a.jar\", optional = true } ]\n[java]\n" +
                                 c.java + "search = [ { directory = \"..\\\\jre\" } ]\n";
        packager::BuildSettings settings;
        settings.withoutRuntimeLibrary = true;
        packager::BuildResult built;
        std::vector<packager::Diagnostic> errors;
        ASSERT_TRUE(packager::buildFromDescriptor(descriptor, "needs.toml", settings, &built, &errors))
            << (errors.empty() ? "" : errors[0].message);
        LauncherRun run = this->run(launcher(built.block));
        EXPECT_EQ(1u, run.result.exitCode);
        if (c.ending.empty()) {
            builtIn = run.shown;
            EXPECT_EQ(0u, builtIn.find("No JVM could be found on your system.\nPlease define the environment "
                                       "variable QUILL_JAVA_HOME"))
                << builtIn;
            continue;
        }
        EXPECT_EQ(builtIn + c.ending, run.shown) << c.java;
    }
}

TEST_F(JvmSearch, PreferredSubdirectoryIsTriedFirst)
{
    RuntimeLayout layout = runtime("1.8.0_66");
    layout.jvmSubdir = "custom";
    layOutRuntime(dir.file(L"app\\jre"), layout);
    blockformat::ConfigBlock b = block("B..\\jre;");
    b.set(152, "custom");
    LauncherRun run = this->run(launcher(b));
    const std::string bin = lower(narrowPath(dir.file(L"app\\jre\\bin")));
    EXPECT_TRUE(logHas(run, "Trying " + bin + "\\custom\\jvm.dll (exists 1)")) << run.log;
    EXPECT_FALSE(logHas(run, "Trying " + bin + "\\hotspot\\jvm.dll (exists 0)"));
}

// A library that jvm.dll imports comes from its own runtime, never from the working
// directory, which others may be able to write.
TEST_F(JvmSearch, TheLibrarysDependenciesComeFromItsRuntimeNotTheWorkingDirectory)
{
    ASSERT_FALSE(layOutRuntime(dir.file(L"app\\jre"), runtime("1.8.0_66", "jvm_withdep.dll")).empty());
    ASSERT_TRUE(copyStandin("jvmdep.dll", dir.file(L"app\\jre\\bin\\jvmdep.dll")));
    // A copy in the working directory the launcher is started in.
    ASSERT_TRUE(makeDirectories(dir.file(L"work")));
    ASSERT_TRUE(copyStandin("jvmdep.dll", dir.file(L"work\\jvmdep.dll")));
    ProcessOptions options;
    options.workingDirectory = dir.file(L"work");
    options.setEnv[L"JVMDEP_RECORD"] = dir.file(L"jvmdep.record");
    LauncherRun run = this->run(launcher(block("B..\\jre;")), options);
    const std::string bin = lower(narrowPath(dir.file(L"app\\jre\\bin")));
    ASSERT_TRUE(logHas(run, "Trying " + bin + "\\server\\jvm.dll (exists 1)")) << run.log;
    EXPECT_EQ(bin + "\\jvmdep.dll\n", lower(readText(dir.file(L"jvmdep.record")))) << run.log;
}

TEST_F(JvmSearch, DevelopmentKitFoundOnThePathLoadsItsJreLibrary)
{
    RuntimeLayout layout = runtime("1.8.0_66");
    layout.jdk = true;
    layOutRuntime(dir.file(L"jdk"), layout);
    ProcessOptions options;
    wchar_t path[8192];
    DWORD n = GetEnvironmentVariableW(L"PATH", path, 8192);
    options.setEnv[L"PATH"] = dir.file(L"jdk\\bin") + L";" + std::wstring(path, n < 8192 ? n : 0);
    LauncherRun run = this->run(launcher(block("S;")), options);
    // <jdk>\bin has no library directory; the JRE inside the JDK has.
    EXPECT_TRUE(logHas(run, "Loading of JVM-DLL successful")) << run.log;
    const std::string jdk = narrowPath(dir.file(L"jdk"));
    EXPECT_TRUE(logHas(run, "Trying " + lower(jdk) + "\\bin\\..\\jre\\bin\\server\\jvm.dll (exists 1)")) << run.log;
}

TEST_F(JvmSearch, LocationFilesAndTheFallbackVariables)
{
    layOutRuntime(dir.file(L"preferred"), runtime("1.8.0_66"));
    makeDirectories(dir.file(L"app\\.deploykit"));
    writeTextFile(dir.file(L"app\\.deploykit\\pref_jre.cfg"), narrowPath(dir.file(L"preferred")) + "\r\nignored\r\n");
    LauncherRun preferred = run(launcher(block("B..\\jre;")));
    EXPECT_TRUE(logHas(preferred, "Has preferred location " + narrowPath(dir.file(L"preferred")))) << preferred.log;
    EXPECT_TRUE(logHas(preferred, "Using preferred location"));
    EXPECT_FALSE(logHas(preferred, "Testing location ..\\jre (type B)"));
    DeleteFileW(dir.file(L"app\\.deploykit\\pref_jre.cfg").c_str());

    // QUILL_JAVA_HOME comes after everything else.
    ProcessOptions options;
    options.setEnv[L"QUILL_JAVA_HOME"] = dir.file(L"preferred");
    LauncherRun fallback = run(launcher(block("B..\\jre;")), options);
    EXPECT_TRUE(logHas(fallback, "Loading of JVM-DLL successful")) << fallback.log;
    EXPECT_LT(logPosition(fallback, "Search sequence finished"), logPosition(fallback, "Loading of JVM-DLL successful"));
}

} // namespace

namespace {

TEST_F(JvmSearch, OverlongVariableAndLocationLineAreNoRuntime)
{
    // A location file of one endless line and a variable longer than any path: the search
    // goes on past both and ends with the message for no runtime, nothing written past. The
    // line is not taken cut, which would name another directory.
    makeDirectories(dir.file(L"app\\.deploykit"));
    writeTextFile(dir.file(L"app\\.deploykit\\pref_jre.cfg"), std::string(20000, 'x'));
    ProcessOptions options;
    options.setEnv[L"JAVA_HOME"] = std::wstring(7000, L'j');
    options.setEnv[L"QUILL_JAVA_HOME"] = std::wstring(7000, L'q');
    LauncherRun run = this->run(launcher(block("EJAVA_HOME;")), options);
    EXPECT_EQ(1u, run.result.exitCode);
    EXPECT_EQ(kNoJvm, run.shown);
    EXPECT_TRUE(logHas(run, "ERROR: JAVA_HOME is too long (7000 characters)")) << run.log;
    EXPECT_TRUE(logHas(run, "ERROR: QUILL_JAVA_HOME is too long (7000 characters)"));
    EXPECT_TRUE(logHas(run, "location file line too long; not used")) << run.log;
    EXPECT_FALSE(logHas(run, "Has preferred location " + std::string(5999, 'x')));
}

} // namespace

namespace {

// A key as an installer writes it, with one string value; removed again with the parents
// it had to create.
class InstallerKey {
public:
    InstallerKey(HKEY root, const std::string& path, const char* name, const std::string& value)
        : root_(root), path_(path)
    {
        for (std::string p = path; !p.empty() && !exists(p);) {
            created_.push_back(p);
            size_t separator = p.find_last_of('\\');
            p = separator == std::string::npos ? std::string() : p.substr(0, separator);
        }
        HKEY key = nullptr;
        if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot create " << path;
            return;
        }
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }
    ~InstallerKey()
    {
        for (const std::string& p : created_) {   // innermost first
            RegDeleteKeyExA(root_, p.c_str(), KEY_WOW64_64KEY, 0);
        }
    }
    InstallerKey(const InstallerKey&) = delete;
    InstallerKey& operator=(const InstallerKey&) = delete;

private:
    bool exists(const std::string& path) const
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root_, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    HKEY root_;
    std::string path_;
    std::vector<std::string> created_;
};

} // namespace

// With the packager's default sequence, no JAVA_HOME and no JavaSoft key, a runtime that
// one of today's installers registered is found, and its release file spares the
// "-version" run on the first start.
TEST_F(JvmSearch, DefaultSequenceFindsEachInstallersRuntime)
{
    const struct {
        const char* name;
        HKEY root;
        const char* key;
        const char* value;
        const char* suffix;
    } cases[] = {
        {"Temurin MSI", HKEY_LOCAL_MACHINE, "SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.1.12\\hotspot\\MSI", "Path", "\\"},
        {"Temurin EXE, user", HKEY_CURRENT_USER, "SOFTWARE\\Eclipse Adoptium\\JRE\\21.0.1.12\\hotspot\\EXE", "Path", ""},
        {"Microsoft", HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\JDK\\21.0.1.12\\hotspot\\MSI", "Path", "\\"},
        {"Semeru", HKEY_LOCAL_MACHINE, "SOFTWARE\\Semeru\\JDK\\21.0.1.12\\openj9\\MSI", "Path", "\\"},
        {"Zulu", HKEY_LOCAL_MACHINE, "SOFTWARE\\Azul Systems\\Zulu\\zulu-21", "InstallationPath", "\\"},
        {"Liberica", HKEY_LOCAL_MACHINE, "SOFTWARE\\BellSoft\\Liberica\\jdk-21", "InstallationPath", "\\"},
        {"JavaSoft 9+", HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JDK\\21.0.1", "JavaHome", ""},
    };
    const char* sequence = packager::findKey("java", cfg::jvmSearchSequence)->defaultValue;
    int index = 0;
    for (const auto& c : cases) {
        const std::wstring home = dir.file(L"installed" + std::to_wstring(index++));
        RuntimeLayout layout = runtime("21.0.1");
        layout.release = "IMPLEMENTOR=\"x\"\r\nJAVA_VERSION=\"21.0.1\"\r\n";
        std::wstring java = layOutRuntime(home, layout);
        ASSERT_FALSE(java.empty());
        InstallerKey key(c.root, c.key, c.value, narrowPath(home) + c.suffix);
        LauncherRun run = this->run(launcher(block(sequence, "1.8", "")));
        EXPECT_TRUE(logHas(run, "Loading of JVM-DLL successful")) << c.name << "\n" << run.log;
        EXPECT_TRUE(logHas(run, "taking installed runtime " + lower(narrowPath(java)) + " 21.0.1")) << c.name;
        EXPECT_TRUE(logHas(run, "got version from release file 21.0.1")) << c.name;
        EXPECT_EQ(0u, standinStarts(java).size()) << c.name;
    }
}
