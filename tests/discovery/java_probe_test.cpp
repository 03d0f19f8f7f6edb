// The test of one Java installation against stand-in runtimes: the executable a home
// resolves to, the probe by running "-version", the version cache in the registry and
// what the log says about each decision.
#include "discovery_environment.h"

#include "jvm/discovery/java_probe.h"
#include "platform/text_format.h"
#include "support/access_list.h"
#include "support/test_runtime.h"

#include <cstring>

namespace {

struct Probe {
    bool accepted = false;
    std::string path;      // as checkJavaExe left it
    std::string version;
};

class JavaProbeTest : public DiscoveryTest {
protected:
    Probe check(const std::string& javaExecutable, const char* minimum = "", const char* maximum = "",
                bool allowPrerelease = false, bool useVersionCache = true)
    {
        Probe probe;
        char path[kTextCapacity];
        char version[kTextCapacity];
        EXPECT_TRUE(copyText(path, sizeof path, javaExecutable.c_str()));
        probe.accepted = checkJavaExe(path, sizeof path, version, sizeof version, parseJavaVersion(minimum),
                                      parseJavaVersion(maximum), allowPrerelease, useVersionCache);
        probe.path = path;
        probe.version = version;
        return probe;
    }

    // A runtime in `name` under the test directory; the path of its java.exe.
    std::wstring runtime(const std::wstring& name, const RuntimeLayout& layout = {})
    {
        std::wstring java = layOutRuntime(directory_->file(name), layout);
        EXPECT_FALSE(java.empty()) << "stand-in runtime not laid out (STANDIN_DIR set?)";
        return java;
    }

    static std::string cachedText(const std::string& resolvedPath, const char* name)
    {
        std::vector<uint8_t> bytes;
        DWORD type = 0;
        if (!readValue(HKEY_CURRENT_USER, versionCacheKeyOf(resolvedPath.c_str()), name, bytes, &type)) {
            return "<none>";
        }
        // Up to the terminator, which the registry may add to a string stored without one.
        std::string text(bytes.begin(), bytes.end());
        return type == REG_SZ ? std::string(text.c_str()) : text;
    }

    static uint64_t lastWriteTimeOf(const std::wstring& path)
    {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
        return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    }

    // Probe files left in the temporary directory of the test program.
    static size_t probeFilesLeft()
    {
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        return listNames(temp, L"qll*").size();
    }
};

} // namespace

TEST_F(JavaProbeTest, FirstProbeRunsTheRuntimeAndTheSecondAnswersFromTheCache)
{
    std::wstring java = runtime(L"jre8");
    std::string given = narrowPath(java);
    std::string expected = resolved(given);
    size_t filesBefore = probeFilesLeft();

    LogCursor first;
    Probe probe = check(given, "1.7", "1.8");
    EXPECT_TRUE(probe.accepted);
    EXPECT_EQ(probe.path, expected);
    EXPECT_EQ(probe.version, "1.8.0_66");
    for (const std::string& line :
         {"checkJavaExe (" + given + ", [out], 2, 2, 0)", std::string("file exists"), std::string("Exit Code 0"),
          std::string("Java version: 1.8.0_66"), std::string("got version from execution 1.8.0_66"),
          std::string("checkJavaExe returning 1")}) {
        EXPECT_TRUE(first.has(line)) << line;
    }
    std::vector<std::string> starts = standinStarts(java);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_NE(starts[0].find(" -version"), std::string::npos) << starts[0];
    EXPECT_EQ(probeFilesLeft(), filesBefore) << "the probe's temporary file was left behind";

    // The entry: the file time as 8 bytes, the version without a terminator.
    std::vector<uint8_t> stamp;
    DWORD type = 0;
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, versionCacheKeyOf(expected.c_str()), "LastWriteTime", stamp, &type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    uint64_t fileTime = lastWriteTimeOf(java);
    ASSERT_EQ(stamp.size(), 8u);
    EXPECT_EQ(std::memcmp(stamp.data(), &fileTime, 8), 0);
    std::vector<uint8_t> version;
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, versionCacheKeyOf(expected.c_str()), "Version", version, &type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(cachedText(expected, "Version"), "1.8.0_66");

    LogCursor second;
    probe = check(given, "1.7", "1.8");
    EXPECT_TRUE(probe.accepted);
    EXPECT_EQ(probe.version, "1.8.0_66");
    EXPECT_TRUE(second.has("got version from registry 1.8.0_66"));
    EXPECT_EQ(standinStarts(java).size(), 1u) << "a warm cache must start no process";

    // Without the cache the runtime runs again.
    probe = check(given, "1.7", "1.8", false, false);
    EXPECT_TRUE(probe.accepted);
    EXPECT_EQ(standinStarts(java).size(), 2u);
}

// The text of the probe's output file decides which runtime runs: nobody but the
// launcher's account, SYSTEM and the administrators may get at the file.
TEST_F(JavaProbeTest, OutputFileIsPrivateFromItsCreation)
{
    RuntimeLayout layout;
    layout.java.recordStderrSecurity = true;
    std::wstring java = runtime(L"jre8", layout);
    Probe probe = check(narrowPath(java), "1.7", "1.8", false, false);
    EXPECT_TRUE(probe.accepted);
    std::string list = readText(java + L".security");
    ASSERT_FALSE(list.empty()) << "the runtime did not record its standard error";
    list.pop_back();
    EXPECT_EQ(0u, list.rfind("D:", 0)) << list;
    EXPECT_TRUE(entriesForEverybody(list).empty()) << list;
}

TEST_F(JavaProbeTest, TouchedExecutableIsProbedAgainAndItsEntryRewritten)
{
    std::wstring java = runtime(L"jre8");
    std::string given = narrowPath(java);
    ASSERT_TRUE(check(given).accepted);
    ASSERT_TRUE(touchFile(java));
    JavaStandinConfig newer;
    newer.versionLine = "java version \"1.8.0_71\"";
    ASSERT_TRUE(writeStandinConfig(java, newer));

    LogCursor log;
    Probe probe = check(given);
    EXPECT_TRUE(probe.accepted);
    EXPECT_TRUE(log.has("got version from execution 1.8.0_71"));
    EXPECT_EQ(standinStarts(java).size(), 2u);
    EXPECT_EQ(cachedText(probe.path, "Version"), "1.8.0_71");
    uint64_t fileTime = lastWriteTimeOf(java);
    EXPECT_EQ(cachedText(probe.path, "LastWriteTime"), std::string(reinterpret_cast<const char*>(&fileTime), 8));
}

TEST_F(JavaProbeTest, UntrustedCacheEntriesAreProbedAgain)
{
    std::wstring java = runtime(L"jre8");
    std::string path = resolved(narrowPath(java));
    uint64_t fileTime = lastWriteTimeOf(java);
    struct Case {
        const char* cached;
        bool started;
    };
    const Case cases[] = {
        {"1.0.0", true}, {"1.5.", true}, {"1.6.", true}, {"1.7.", true}, {"", true},
        {"1.8.0_77", false},   // a trusted entry is believed, whatever the runtime would say
    };
    for (const Case& c : cases) {
        storeCachedVersion(path.c_str(), fileTime, c.cached);
        size_t startsBefore = standinStarts(java).size();
        LogCursor log;
        Probe probe = check(path);
        EXPECT_TRUE(probe.accepted) << c.cached;
        EXPECT_EQ(standinStarts(java).size(), startsBefore + (c.started ? 1 : 0)) << c.cached;
        const char* expected = c.started ? "1.8.0_66" : c.cached;
        EXPECT_EQ(probe.version, expected) << c.cached;
        EXPECT_EQ(cachedText(path, "Version"), expected) << c.cached;
        EXPECT_TRUE(log.has(std::string(c.started ? "got version from execution " : "got version from registry ") +
                            expected))
            << c.cached;
    }
    // An entry of another last-write time is stale.
    storeCachedVersion(path.c_str(), fileTime + 1, "1.8.0_77");
    EXPECT_EQ(check(path).version, "1.8.0_66");
}

// An entry damaged by hand or by another program: a value of another type than the launcher
// writes is no entry. The runtime is asked again and the entry rewritten in its own form,
// instead of a bogus version (the bytes of a number, say) rejecting a good runtime for as
// long as the executable stays unchanged.
TEST_F(JavaProbeTest, CacheEntriesOfTheWrongTypeAreProbedAgain)
{
    std::wstring java = runtime(L"jre8");
    const std::string path = resolved(narrowPath(java));
    const std::string key = versionCacheKeyOf(path.c_str());
    const uint64_t fileTime = lastWriteTimeOf(java);
    const std::string version = "1.8.0_77";  // what a trusted entry would answer
    const DWORD number = 0x0038312e;            // "1.8" and a NUL as a little-endian number
    struct Case {
        const char* name;
        DWORD stampType;
        DWORD versionType;
        std::vector<uint8_t> versionBytes;
    };
    const Case cases[] = {
        {"version as a number", REG_BINARY, REG_DWORD,
         std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(&number), reinterpret_cast<const uint8_t*>(&number) + 4)},
        {"version as binary", REG_BINARY, REG_BINARY, std::vector<uint8_t>(version.begin(), version.end())},
        {"version as a list", REG_BINARY, REG_MULTI_SZ, std::vector<uint8_t>(version.begin(), version.end())},
        {"time as text", REG_SZ, REG_SZ, std::vector<uint8_t>(version.begin(), version.end())},
        {"time as a 64-bit number", REG_QWORD, REG_SZ, std::vector<uint8_t>(version.begin(), version.end())},
    };
    for (const Case& c : cases) {
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(handle, "LastWriteTime", 0, c.stampType, reinterpret_cast<const BYTE*>(&fileTime), 8);
        RegSetValueExA(handle, "Version", 0, c.versionType, c.versionBytes.data(),
                       static_cast<DWORD>(c.versionBytes.size()));
        RegCloseKey(handle);

        size_t startsBefore = standinStarts(java).size();
        Probe probe = check(path);
        EXPECT_TRUE(probe.accepted) << c.name;
        EXPECT_EQ(probe.version, "1.8.0_66") << c.name;
        EXPECT_EQ(standinStarts(java).size(), startsBefore + 1) << c.name;
        std::vector<uint8_t> bytes;
        DWORD type = 0;
        EXPECT_TRUE(readValue(HKEY_CURRENT_USER, key, "LastWriteTime", bytes, &type));
        EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY)) << c.name;
        EXPECT_TRUE(readValue(HKEY_CURRENT_USER, key, "Version", bytes, &type));
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << c.name;
        EXPECT_EQ(cachedText(path, "Version"), "1.8.0_66") << c.name;
    }
    // The entry in the launcher's own form is believed.
    storeCachedVersion(path.c_str(), fileTime, version.c_str());
    EXPECT_EQ(check(path).version, version);
}

TEST_F(JavaProbeTest, CachedValuesAreReadWithinTheirCapacity)
{
    const std::string path = resolved(pathIn(L"cache-only\\bin\\java.exe"));
    const std::string key = versionCacheKeyOf(path.c_str());
    const uint64_t fileTime = 0x01d2f00dcafe1234ULL;
    struct Case {
        const char* name;
        std::vector<uint8_t> stamp;
        std::string version;    // stored as these exact bytes
        size_t capacity;
        bool found;
        const char* expected;
    };
    std::vector<uint8_t> rightStamp(8), shortStamp(4), longStamp(9, 0);
    std::memcpy(rightStamp.data(), &fileTime, 8);
    std::memcpy(shortStamp.data(), &fileTime, 4);
    std::memcpy(longStamp.data(), &fileTime, 8);
    // The longest text that fits with its terminator, whether or not the registry keeps one.
    const std::string exactFit(kTextCapacity - 1, '1');
    const Case cases[] = {
        {"without terminator", rightStamp, "1.8.0_66", kTextCapacity, true, "1.8.0_66"},
        {"with terminator", rightStamp, std::string("1.8.0_66", 9), kTextCapacity, true, "1.8.0_66"},
        {"short stamp", shortStamp, "1.8.0_66", kTextCapacity, false, ""},
        {"long stamp", longStamp, "1.8.0_66", kTextCapacity, false, ""},
        {"exact fit of the value", rightStamp, exactFit, kTextCapacity, true, exactFit.c_str()},
        {"one over the value capacity", rightStamp, exactFit + "1", kTextCapacity, false, ""},
        {"caller's buffer exactly fits", rightStamp, "1.8.0_66", 9, true, "1.8.0_66"},
        {"caller's buffer one short", rightStamp, "1.8.0_66", 8, false, ""},
    };
    for (const Case& c : cases) {
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(handle, "LastWriteTime", 0, REG_BINARY, c.stamp.data(), static_cast<DWORD>(c.stamp.size()));
        RegSetValueExA(handle, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.version.data()),
                       static_cast<DWORD>(c.version.size()));
        RegCloseKey(handle);
        std::vector<char> version(c.capacity + 16, 'x');
        version[c.capacity] = '#';   // just past the capacity: must stay untouched
        EXPECT_EQ(readCachedVersion(path.c_str(), fileTime, version.data(), c.capacity), c.found) << c.name;
        EXPECT_STREQ(version.data(), c.expected) << c.name;
        EXPECT_EQ(version[c.capacity], '#') << c.name;
    }
}

TEST_F(JavaProbeTest, VersionLineOfTheRuntimeDecides)
{
    struct Case {
        const char* name;
        const char* lineBefore;
        const char* versionLine;
        bool accepted;
        const char* version;
    };
    const Case cases[] = {
        {"java", "", "java version \"1.8.0_66\"", true, "1.8.0_66"},
        {"openjdk", "", "openjdk version \"1.8.0_66\"", true, "1.8.0_66"},
        {"openjdk with date", "", "openjdk version \"11.0.2\" 2019-01-15", true, "11.0.2"},
        {"note first", "Picked up _JAVA_OPTIONS: -Xmx512m", "java version \"1.8.0_66\"", false, ""},
        {"no closing mark", "", "java version \"1.8.0_66", false, ""},
        {"other runtime", "", "runtime 1.8.0_66", false, ""},
        {"nothing", "", "", false, ""},
        {"pre-release", "", "openjdk version \"9-ea\"", false, "9-ea"},
    };
    int index = 0;
    for (const Case& c : cases) {
        RuntimeLayout layout;
        layout.java.lineBefore = c.lineBefore;
        layout.java.versionLine = c.versionLine;
        std::wstring java = runtime(L"jre" + std::to_wstring(index++), layout);
        LogCursor log;
        Probe probe = check(narrowPath(java));
        EXPECT_EQ(probe.accepted, c.accepted) << c.name;
        EXPECT_EQ(probe.version, c.version) << c.name;
        bool gotVersion = c.version[0] != '\0';
        EXPECT_EQ(log.has("couldn't get version"), !gotVersion) << c.name;
        // Only a version that was read is cached; a runtime that said nothing usable is asked again.
        EXPECT_EQ(cachedText(resolved(narrowPath(java)), "Version"), gotVersion ? c.version : "<none>") << c.name;
    }
}

TEST_F(JavaProbeTest, FailingRuntimeIsCachedAsFailedAndAskedAgain)
{
    RuntimeLayout layout;
    layout.java.exitCode = 3;
    std::wstring java = runtime(L"broken", layout);
    std::string given = narrowPath(java);
    LogCursor log;
    Probe probe = check(given);
    EXPECT_FALSE(probe.accepted);
    EXPECT_EQ(probe.version, "");
    EXPECT_TRUE(log.has("Exit Code 3"));
    EXPECT_TRUE(log.has("couldn't get version"));
    EXPECT_TRUE(log.has("checkJavaExe returning 0"));
    EXPECT_EQ(cachedText(resolved(given), "Version"), "1.0.0");
    EXPECT_FALSE(check(given).accepted);
    EXPECT_EQ(standinStarts(java).size(), 2u) << "a cached failure is never trusted";
}

TEST_F(JavaProbeTest, MissingExecutableIsRejectedWithoutTouchingTheCache)
{
    std::string given = pathIn(L"nothing\\bin\\java.exe");
    LogCursor log;
    Probe probe = check(given);
    EXPECT_FALSE(probe.accepted);
    EXPECT_EQ(probe.path, resolved(given));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"checkJavaExe (" + given + ", [out], 0, 0, 0)",
                                                      "file doesn't exist",
                                                      "rejected " + resolved(given) + ": no such file",
                                                      "checkJavaExe returning 0"}));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, versionCacheKeyOf(resolved(given).c_str())));
}

TEST_F(JavaProbeTest, ExecutableThatCannotBeStartedIsRejected)
{
    std::wstring java = directory_->file(L"fake\\bin\\java.exe");
    ASSERT_TRUE(makeDirectories(directory_->file(L"fake\\bin")));
    ASSERT_TRUE(writeTextFile(java, "not a program\n"));
    std::string path = resolved(narrowPath(java));
    size_t filesBefore = probeFilesLeft();
    LogCursor log;
    char version[kTextCapacity] = "stale";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(queryJavaVersion(path.c_str(), lastWriteTimeOf(java), version, sizeof version));
    EXPECT_STREQ(version, "");
    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(log.countStartingWith("Could not create process "), 1u);
    for (const std::string& line : lines) {
        if (line.rfind("Could not create process ", 0) == 0) {
            EXPECT_NE(line.find(" -version > "), std::string::npos) << line;
            EXPECT_EQ(line.find("(error 0)"), std::string::npos) << line;
            EXPECT_EQ(line.find(std::to_string(static_cast<int>(0xdeadbeef))), std::string::npos) << line;
        }
    }
    EXPECT_EQ(probeFilesLeft(), filesBefore);
}

TEST_F(JavaProbeTest, RuntimeInADirectoryWithBlanksIsProbed)
{
    std::wstring java = runtime(L"Program Files\\Java\\jre 8");
    Probe probe = check(narrowPath(java));
    EXPECT_TRUE(probe.accepted);
    EXPECT_EQ(probe.version, "1.8.0_66");
    EXPECT_EQ(standinStarts(java).size(), 1u);
}

TEST_F(JavaProbeTest, GraphicalLauncherNeedsJavaw)
{
    struct Case {
        const char* name;
        bool javaw;
        const char* maximum;
        bool accepted;
        const char* ending;
    };
    const Case cases[] = {
        {"with javaw", true, "", true, "\\bin\\javaw.exe"},
        {"without javaw", false, "", false, "\\bin\\javaw.exe"},
        {"rejected version keeps java.exe", true, "1.7", false, "\\bin\\java.exe"},
    };
    setConfigString(kLauncherKindId, "1");
    int index = 0;
    for (const Case& c : cases) {
        RuntimeLayout layout;
        layout.javaw = c.javaw;
        std::wstring java = runtime(L"gui" + std::to_wstring(index++), layout);
        Probe probe = check(narrowPath(java), "", c.maximum);
        EXPECT_EQ(probe.accepted, c.accepted) << c.name;
        std::string ending = c.ending;
        ASSERT_GE(probe.path.size(), ending.size()) << c.name;
        EXPECT_EQ(probe.path.substr(probe.path.size() - ending.size()), ending) << c.name;
    }
}

TEST_F(JavaProbeTest, JavaHomeResolvesToItsExecutable)
{
    RuntimeLayout jdk;
    jdk.jdk = true;
    RuntimeLayout jdkWithoutTools = jdk;
    jdkWithoutTools.toolsJar = false;
    runtime(L"jre", RuntimeLayout{});
    runtime(L"jdk", jdk);
    runtime(L"jdk-notools", jdkWithoutTools);
    struct Case {
        const wchar_t* home;
        const char* requireJdk;
        bool qualifies;
        const wchar_t* executable;
    };
    const Case cases[] = {
        {L"jre", "0", true, L"jre\\bin\\java.exe"},
        {L"jdk", "0", true, L"jdk\\jre\\bin\\java.exe"},
        {L"jdk-notools", "0", true, L"jdk-notools\\jre\\bin\\java.exe"},
        {L"missing", "0", true, L"missing\\bin\\java.exe"},   // not tested here; the probe will tell
        {L"jdk", "1", true, L"jdk\\jre\\bin\\java.exe"},
        {L"jdk-notools", "1", false, L"jdk-notools\\jre\\bin\\java.exe"},
        {L"jre", "1", false, L"jre\\jre\\bin\\java.exe"},
    };
    for (const Case& c : cases) {
        setConfigString(kRequireJdkId, c.requireJdk);
        char out[kTextCapacity];
        EXPECT_EQ(resolveJavaExecutable(out, sizeof out, pathIn(c.home).c_str()), c.qualifies)
            << narrowPath(c.home) << " " << c.requireJdk;
        EXPECT_EQ(std::string(out), pathIn(c.executable)) << narrowPath(c.home) << " " << c.requireJdk;
    }
    // A home whose executable path does not fit never qualifies, nothing is written past the
    // buffer, and no cut path is left in it for a caller that tests the file.
    setConfigString(kRequireJdkId, "0");
    struct Limit {
        const wchar_t* home;
        size_t room;  // the capacity beyond the home's length
        bool qualifies;
        const wchar_t* executable;  // nullptr: the buffer is left empty
    };
    const Limit limits[] = {
        {L"jdk", std::strlen("\\jre\\bin\\java.exe") + 1, true, L"jdk\\jre\\bin\\java.exe"}, // exact fit
        {L"jdk", std::strlen("\\jre\\bin\\java.exe"), false, nullptr},                        // one over
        // The first candidate, "jre\\bin\\java.exe" below the home, must fit too.
        {L"jre", std::strlen("\\bin\\java.exe") + 1, false, nullptr},
        {L"jre", std::strlen("\\bin\\java.exe"), false, nullptr},
    };
    for (const Limit& c : limits) {
        std::string home = pathIn(c.home);
        SCOPED_TRACE(narrowPath(c.home) + " +" + std::to_string(c.room));
        std::vector<char> out(home.size() + 32, '#');
        size_t capacity = home.size() + c.room;
        EXPECT_EQ(c.qualifies, resolveJavaExecutable(out.data(), capacity, home.c_str()));
        EXPECT_EQ(out[capacity], '#');
        EXPECT_EQ(c.executable != nullptr ? pathIn(c.executable) : std::string(), std::string(out.data()));
    }
}

// Costs the full minute the launcher waits for a runtime.
TEST_F(JavaProbeTest, RuntimeThatNeverFinishesIsEndedAfterAMinute)
{
    RuntimeLayout layout;
    layout.java.sleepMs = 600000;
    std::wstring java = runtime(L"hanging", layout);
    std::string given = narrowPath(java);
    size_t filesBefore = probeFilesLeft();
    LogCursor log;
    DWORD begin = GetTickCount();
    Probe probe = check(given);
    DWORD elapsed = GetTickCount() - begin;
    EXPECT_FALSE(probe.accepted);
    EXPECT_GE(elapsed, kVersionProbeTimeoutMs - 1000);
    EXPECT_LT(elapsed, kVersionProbeTimeoutMs + 20000);
    EXPECT_TRUE(log.has("Exit Code 259"));
    EXPECT_TRUE(log.has("Terminating process"));
    EXPECT_TRUE(log.has("couldn't get version"));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, versionCacheKeyOf(resolved(given).c_str())))
        << "nothing is cached for a runtime that was ended";
    EXPECT_EQ(probeFilesLeft(), filesBefore);
}

// A runtime's release file names its version: a probe with a good one starts no process
// and touches no registry (nothing is cached, every later probe reads the file again), and
// is judged by the bounds; a file that names no version leaves the decision to a run of
// the runtime, which is cached as before.
TEST_F(JavaProbeTest, ReleaseFileSparesTheFirstProbe)
{
    struct Case {
        const char* name;
        bool jdk;                // java.exe below <home>\jre\bin (Java 8 development kit)
        std::string release;     // "" writes no release file
        const char* minimum;
        bool accepted;
        const char* version;     // the version examined
        size_t starts;           // runs of the stand-in
        const char* cached;      // a version cached before the first probe, or nullptr
    };
    const Case cases[] = {
        {"LF", false, "IMPLEMENTOR=\"x\"\nJAVA_VERSION=\"17.0.9\"\n", "11", true, "17.0.9", 0, nullptr},
        {"CR LF", false, "IMPLEMENTOR=\"x\"\r\nJAVA_VERSION=\"21\"\r\nOS_ARCH=\"amd64\"\r\n", "11", true, "21", 0, nullptr},
        {"Java 8 JDK above its jre", true, "JAVA_VERSION=\"1.8.0_392\"\r\n", "1.8", true, "1.8.0_392", 0, nullptr},
        {"below the minimum", false, "JAVA_VERSION=\"11.0.21\"\n", "17", false, "11.0.21", 0, nullptr},
        {"no version line", false, "IMPLEMENTOR=\"x\"\nOS_NAME=\"Windows\"\n", "1.8", true, "1.8.0_66", 1, nullptr},
        {"garbage version", false, "JAVA_VERSION=\"banana\"\n", "1.8", true, "1.8.0_66", 1, nullptr},
        {"no release file", false, "", "1.8", true, "1.8.0_66", 1, nullptr},
        // The release file is read before the cache: an entry left by an earlier build of
        // the runtime in the same place does not decide.
        {"over a cached version", false, "JAVA_VERSION=\"21.0.2\"\n", "17", true, "21.0.2", 0, "11.0.1"},
    };
    int index = 0;
    for (const Case& c : cases) {
        RuntimeLayout layout;
        layout.jdk = c.jdk;
        layout.release = c.release;
        std::wstring java = runtime(L"rt" + std::to_wstring(index++), layout);
        std::string expected = resolved(narrowPath(java));
        if (c.cached != nullptr) {
            storeCachedVersion(expected.c_str(), lastWriteTimeOf(java), c.cached);
        }
        LogCursor log;
        Probe probe = check(narrowPath(java), c.minimum);
        EXPECT_EQ(probe.accepted, c.accepted) << c.name;
        EXPECT_EQ(probe.version, c.version) << c.name;
        EXPECT_EQ(standinStarts(java).size(), c.starts) << c.name;
        EXPECT_EQ(log.has(std::string("got version from release file ") + c.version), c.starts == 0) << c.name;
        EXPECT_EQ(cachedText(expected, "Version"), c.cached != nullptr ? c.cached : c.starts == 0 ? "<none>" : c.version)
            << c.name;

        // The next probe starts nothing either: the release file or the cache answers.
        LogCursor again;
        probe = check(narrowPath(java), c.minimum);
        EXPECT_EQ(probe.accepted, c.accepted) << c.name;
        EXPECT_TRUE(again.has(std::string(c.starts == 0 ? "got version from release file " : "got version from registry ") +
                              c.version))
            << c.name;
        EXPECT_EQ(standinStarts(java).size(), c.starts) << c.name;
    }
}
