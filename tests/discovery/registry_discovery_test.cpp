// The registry sources of Java runtimes, against keys each test makes in Wine's registry
// (and removes again) and stand-in runtimes in the test's own directory.
#include "discovery_environment.h"

#include "jvm/discovery/java_probe.h"
#include "jvm/discovery/registry_discovery.h"
#include "platform/text_format.h"
#include "support/test_runtime.h"

#include <algorithm>
#include <memory>

namespace {

const char kJavaSoftKey[] = "SOFTWARE\\JavaSoft";
const char kLocatedParent[] = "SOFTWARE\\tarnwell\\quill\\locatedjvms";

class RegistryDiscoveryTest : public DiscoveryTest {
protected:
    // A runtime of the given version in `name` below the test directory; its home.
    std::string home(const std::wstring& name, const std::string& version, bool jdk = false)
    {
        RuntimeLayout layout;
        layout.jdk = jdk;
        layout.java.versionLine = "java version \"" + version + "\"";
        EXPECT_FALSE(layOutRuntime(directory_->file(name), layout).empty()) << "stand-in runtime not laid out";
        return pathIn(name);
    }

    // The resolved executable of a home, as the sources report it.
    std::string executableOf(const std::string& javaHome)
    {
        char out[kTextCapacity];
        resolveJavaExecutable(out, sizeof out, javaHome.c_str());
        return resolved(out);
    }

    // The name under which a located runtime is listed: its executable with '/' for '\'.
    static std::string locatedName(std::string executable)
    {
        std::replace(executable.begin(), executable.end(), '\\', '/');
        return executable;
    }

    // Sub-key `version` of a JavaSoft family key with its JavaHome.
    static void addJavaSoftVersion(const ScopedKey& family, const std::string& version, const std::string& javaHome)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (family.path() + "\\" + version).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "JavaHome", 0, REG_SZ, reinterpret_cast<const BYTE*>(javaHome.c_str()),
                       static_cast<DWORD>(javaHome.size() + 1));
        RegCloseKey(key);
    }

    struct Found {
        bool found = false;
        std::string path;
        std::string version;
    };

    using Finder = bool (*)(char*, size_t, char*, size_t, const JavaVersion&, const JavaVersion&);
    static Found run(Finder finder, const char* minimum, const char* maximum)
    {
        Found result;
        char path[kTextCapacity] = "";
        char version[kTextCapacity] = "";
        result.found = finder(path, sizeof path, version, sizeof version, parseJavaVersion(minimum),
                              parseJavaVersion(maximum));
        result.path = path;
        result.version = version;
        return result;
    }

    // The executables that checkJavaExe examined, in order, as the log names them.
    static std::vector<std::string> checkedExecutables(const LogCursor& log)
    {
        std::vector<std::string> checked;
        const std::string prefix = "checkJavaExe (";
        for (const std::string& line : log.lines()) {
            if (line.compare(0, prefix.size(), prefix) == 0) {
                checked.push_back(resolved(line.substr(prefix.size(), line.find(", [out]") - prefix.size())));
            }
        }
        return checked;
    }
};

} // namespace

TEST_F(RegistryDiscoveryTest, CurrentVersionChoosesBetweenRuntimeAndDevelopmentKit)
{
    struct Case {
        const char* name;
        const char* runtimeCurrent;   // "" for no CurrentVersion value
        const char* kitCurrent;
        const char* requireJdk;
        char expected;                // 'R' runtime key, 'K' development kit key, 0 none
    };
    const Case cases[] = {
        {"runtime newer", "1.8", "1.7", "0", 'R'},
        {"equal versions", "1.8", "1.8", "0", 'R'},
        {"kit newer", "1.7", "1.8", "0", 'K'},
        {"JDK required", "1.8", "1.7", "1", 'K'},
        {"runtime out of range", "1.9", "1.7", "0", 'K'},
        {"no CurrentVersion", "", "", "0", 0},
        {"only one out of range", "1.6", "", "0", 0},
    };
    int index = 0;
    for (const Case& c : cases) {
        ScopedKey runtimeFamily(HKEY_LOCAL_MACHINE, kJavaSoftKey, "Java Runtime Environment");
        ScopedKey kitFamily(HKEY_LOCAL_MACHINE, kJavaSoftKey, "Java Development Kit");
        std::wstring n = std::to_wstring(index++);
        std::string runtimeHome = home(L"r" + n, std::string(c.runtimeCurrent) + ".0_66");
        std::string kitHome = home(L"k" + n, std::string(c.kitCurrent) + ".0_80", true);
        if (*c.runtimeCurrent != '\0') {
            runtimeFamily.setString("CurrentVersion", c.runtimeCurrent);
            addJavaSoftVersion(runtimeFamily, c.runtimeCurrent, runtimeHome);
        }
        if (*c.kitCurrent != '\0') {
            kitFamily.setString("CurrentVersion", c.kitCurrent);
            addJavaSoftVersion(kitFamily, c.kitCurrent, kitHome);
        }
        setConfigString(kRequireJdkId, c.requireJdk);
        LogCursor log;
        Found found = run(findCurrentVersionJvm, "1.7", "1.8");
        EXPECT_EQ(found.found, c.expected != 0) << c.name;
        if (c.expected == 'R') {
            EXPECT_EQ(found.path, executableOf(runtimeHome)) << c.name;
            EXPECT_EQ(found.version, std::string(c.runtimeCurrent) + ".0_66") << c.name;
        } else if (c.expected == 'K') {
            EXPECT_EQ(found.path, executableOf(kitHome)) << c.name;
            EXPECT_EQ(found.version, std::string(c.kitCurrent) + ".0_80") << c.name;
        } else {
            EXPECT_EQ(checkedExecutables(log).size(), 0u) << c.name;
        }
    }
}

TEST_F(RegistryDiscoveryTest, EnumeratedVersionsAreTriedInDescendingTextualOrder)
{
    ScopedKey runtimeFamily(HKEY_LOCAL_MACHINE, kJavaSoftKey, "Java Runtime Environment");
    std::string family = pathIn(L"gone-family");     // never laid out
    std::string old = home(L"old", "1.6.0_45");
    std::string working = home(L"working", "1.8.0_101");
    std::string gone = pathIn(L"gone-66");
    addJavaSoftVersion(runtimeFamily, "1.8", family);
    addJavaSoftVersion(runtimeFamily, "1.8.0_101", working);
    addJavaSoftVersion(runtimeFamily, "1.8.0_66", gone);
    addJavaSoftVersion(runtimeFamily, "1.6.0_45", old);   // out of range: never tried

    LogCursor log;
    Found found = run(findJavaSoftJvm, "1.7", "1.8");
    EXPECT_TRUE(found.found);
    EXPECT_EQ(found.path, executableOf(working));
    EXPECT_EQ(found.version, "1.8.0_101");
    EXPECT_EQ(checkedExecutables(log), (std::vector<std::string>{executableOf(gone), executableOf(working)}));
}

TEST_F(RegistryDiscoveryTest, RequiredJdkSkipsTheRuntimeKeyButEnumeratesTheKitKey)
{
    ScopedKey runtimeFamily(HKEY_LOCAL_MACHINE, kJavaSoftKey, "Java Runtime Environment");
    ScopedKey kitFamily(HKEY_LOCAL_MACHINE, kJavaSoftKey, "Java Development Kit");
    // A JDK listed under the runtime key would qualify if that key were read.
    std::string listedAsRuntime = home(L"listed-as-runtime", "1.8.0_66", true);
    runtimeFamily.setString("CurrentVersion", "1.8");
    addJavaSoftVersion(runtimeFamily, "1.8", listedAsRuntime);
    addJavaSoftVersion(runtimeFamily, "1.8.0_66", listedAsRuntime);
    setConfigString(kRequireJdkId, "1");

    LogCursor log;
    EXPECT_FALSE(run(findJavaSoftJvm, "1.7", "1.8").found);
    EXPECT_EQ(checkedExecutables(log).size(), 0u);

    std::string kit = home(L"kit", "1.7.0_80", true);
    addJavaSoftVersion(kitFamily, "1.7.0_80", kit);
    Found found = run(findJavaSoftJvm, "1.7", "1.8");
    EXPECT_TRUE(found.found);
    EXPECT_EQ(found.path, executableOf(kit));
}

TEST_F(RegistryDiscoveryTest, LocatedRuntimesUnderBothRootsWithTheTieRules)
{
    struct Case {
        const char* name;
        const char* userVersion;      // null: no entry under HKEY_CURRENT_USER
        const char* machineVersion;   // null: none under HKEY_LOCAL_MACHINE; "" an entry whose runtime is gone
        char expected;                // 'U', 'M' or 0
    };
    const Case cases[] = {
        {"equal versions", "1.8.0_66", "1.8.0_66", 'M'},
        {"user newer", "1.8.0_71", "1.8.0_66", 'U'},
        {"machine newer", "1.8.0_66", "1.8.0_71", 'M'},
        {"only user", "1.8.0_66", nullptr, 'U'},
        {"machine runtime gone", "1.8.0_66", "", 'U'},
        {"user out of range", "1.6.0_45", "1.8.0_66", 'M'},
        {"pre-releases count here", "9-ea", nullptr, 'U'},
        {"none", nullptr, nullptr, 0},
    };
    int index = 0;
    for (const Case& c : cases) {
        std::wstring n = std::to_wstring(index++);
        std::unique_ptr<ScopedKey> user, machine;
        std::string userExe, machineExe;
        if (c.userVersion != nullptr) {
            userExe = executableOf(home(L"u" + n, c.userVersion));
            user = std::make_unique<ScopedKey>(HKEY_CURRENT_USER, kLocatedParent, locatedName(userExe));
        }
        if (c.machineVersion != nullptr) {
            machineExe = *c.machineVersion != '\0' ? executableOf(home(L"m" + n, c.machineVersion))
                                                    : resolved(pathIn(L"m" + n + L"\\bin\\java.exe"));
            machine = std::make_unique<ScopedKey>(HKEY_LOCAL_MACHINE, kLocatedParent, locatedName(machineExe));
        }
        Found found = run(
            [](char* p, size_t pc, char* v, size_t vc, const JavaVersion& lo, const JavaVersion& hi) {
                return findLocatedJvm(p, pc, v, vc, lo, hi, true);
            },
            "1.7", "9");
        EXPECT_EQ(found.found, c.expected != 0) << c.name;
        if (c.expected != 0) {
            EXPECT_EQ(found.path, c.expected == 'U' ? userExe : machineExe) << c.name;
            EXPECT_EQ(found.version, c.expected == 'U' ? c.userVersion : c.machineVersion) << c.name;
        }
    }
}

TEST_F(RegistryDiscoveryTest, LocatedRuntimeTieUnderOneRootKeepsTheEarlierEntry)
{
    std::string first = executableOf(home(L"tie-a", "1.8.0_66"));
    std::string second = executableOf(home(L"tie-b", "1.8.0_66"));
    std::string older = executableOf(home(L"tie-c", "1.8.0_65"));
    ScopedKey a(HKEY_CURRENT_USER, kLocatedParent, locatedName(first));
    ScopedKey b(HKEY_CURRENT_USER, kLocatedParent, locatedName(second));
    ScopedKey c(HKEY_CURRENT_USER, kLocatedParent, locatedName(older));
    char path[kTextCapacity];
    char version[kTextCapacity];
    ASSERT_TRUE(findLocatedJvm(path, sizeof path, version, sizeof version, {}, {}, true));
    EXPECT_EQ(std::string(path), first);
}

TEST_F(RegistryDiscoveryTest, RegisteredRuntimeWeighsJavaSoftAgainstLocated)
{
    struct Case {
        const char* name;
        const char* skipJavaSoft;
        const char* javaSoft;   // version behind CurrentVersion 1.8; null: no JavaSoft runtime
        const char* located;    // a located runtime outside dpk_jres; null: none
        const char* ownJre;     // a located runtime inside dpk_jres; null: none
        char expected;          // 'S' JavaSoft, 'L' located, 'O' own jre, 0 none
    };
    const Case cases[] = {
        {"equal: located wins", "0", "1.8.0_66", "1.8.0_66", nullptr, 'L'},
        {"newer JavaSoft wins", "0", "1.8.0_71", "1.8.0_66", nullptr, 'S'},
        {"only JavaSoft", "0", "1.8.0_66", nullptr, nullptr, 'S'},
        {"all located count", "0", "1.8.0_60", "1.8.0_80", "1.8.0_66", 'L'},
        {"165: only dpk_jres", "1", "1.8.0_99", "1.8.0_80", "1.8.0_66", 'O'},
        {"165: nothing of ours", "1", "1.8.0_99", "1.8.0_80", nullptr, 0},
    };
    int index = 0;
    for (const Case& c : cases) {
        std::wstring n = std::to_wstring(index++);
        setConfigString(kSkipJavaSoftId, c.skipJavaSoft);
        ScopedKey runtimeFamily(HKEY_LOCAL_MACHINE, kJavaSoftKey, "Java Runtime Environment");
        std::string javaSoftExe, locatedExe, ownExe;
        if (c.javaSoft != nullptr) {
            std::string javaHome = home(L"sun" + n, c.javaSoft);
            javaSoftExe = executableOf(javaHome);
            runtimeFamily.setString("CurrentVersion", "1.8");
            addJavaSoftVersion(runtimeFamily, "1.8", javaHome);
        }
        std::unique_ptr<ScopedKey> locatedKey, ownKey;
        if (c.located != nullptr) {
            locatedExe = executableOf(home(L"found" + n, c.located));
            locatedKey = std::make_unique<ScopedKey>(HKEY_CURRENT_USER, kLocatedParent, locatedName(locatedExe));
        }
        if (c.ownJre != nullptr) {
            ownExe = executableOf(home(L"dpk_jres\\jre" + n, c.ownJre));
            ownKey = std::make_unique<ScopedKey>(HKEY_LOCAL_MACHINE, kLocatedParent, locatedName(ownExe));
        }
        LogCursor log;
        char path[kTextCapacity] = "";
        bool found = findRegisteredJvm(path, sizeof path, parseJavaVersion("1.7"), parseJavaVersion("1.8"));
        EXPECT_EQ(found, c.expected != 0) << c.name;
        const std::string& expected = c.expected == 'S' ? javaSoftExe : c.expected == 'L' ? locatedExe : ownExe;
        if (c.expected != 0) {
            EXPECT_EQ(std::string(path), expected) << c.name;
        }
        bool javaSoftRead = *c.skipJavaSoft == '0';
        EXPECT_EQ(log.has("found sun " + javaSoftExe + " " + (c.javaSoft ? c.javaSoft : "")),
                  javaSoftRead && c.javaSoft != nullptr)
            << c.name;
        if (!javaSoftRead && c.javaSoft != nullptr) {
            std::vector<std::string> checked = checkedExecutables(log);
            EXPECT_EQ(std::count(checked.begin(), checked.end(), javaSoftExe), 0) << c.name;
        }
    }
}

TEST_F(RegistryDiscoveryTest, PreviousInstallationsAreTriedInOrder)
{
    const std::string appId = "discovery-test-" + std::to_string(GetCurrentProcessId());
    std::string app1 = pathIn(L"app1");
    std::string app2 = pathIn(L"app2");
    std::string app3 = pathIn(L"app3");
    home(L"app1\\jre", "1.6.0_45");
    home(L"app2\\jre", "1.8.0_66");
    home(L"app3\\jre", "1.8.0_71", true);
    struct Case {
        const char* name;
        HKEY root;
        const char* requireJdk;
        std::string installations;   // "" sets no value
        bool found;
        std::string executable;
        std::vector<std::string> lines;   // in this order among the log lines that are not from checkJavaExe
    };
    const std::string list = app1 + ";;" + app2 + ";" + app3 + ";";
    const Case cases[] = {
        {"user list", HKEY_CURRENT_USER, "0", list, true, executableOf(app2 + "\\jre"),
         {"found installations: " + list, "java version did not match in " + app1 + "\\jre"}},
        {"machine list", HKEY_LOCAL_MACHINE, "0", list, true, executableOf(app2 + "\\jre"),
         {"found installations: " + list, "java version did not match in " + app1 + "\\jre"}},
        {"JDK required", HKEY_CURRENT_USER, "1", list, true, executableOf(app3 + "\\jre"),
         {"found installations: " + list, "did not find java in " + app1 + "\\jre",
          "did not find java in " + app2 + "\\jre"}},
        {"no value", HKEY_CURRENT_USER, "0", "", false, "",
         {"could not query value node 0", "could not query value node 0"}},
    };
    for (const Case& c : cases) {
        setConfigString(kApplicationId, appId);
        setConfigString(kRequireJdkId, c.requireJdk);
        // Without a list of its own the application finds the key holding another one's.
        ScopedValue value(c.root, kInstallationsKey, c.installations.empty() ? appId + "-other" : appId,
                          c.installations.empty() ? app2 : c.installations);
        LogCursor log;
        char path[kTextCapacity] = "";
        EXPECT_EQ(findPreviousInstallationJvm(c.root, path, sizeof path, parseJavaVersion("1.7"), {}), c.found)
            << c.name;
        EXPECT_EQ(std::string(path), c.executable) << c.name;
        std::vector<std::string> lines;
        for (const std::string& line : log.lines()) {
            if (line.rfind("checkJavaExe", 0) != 0 && line.rfind("file ", 0) != 0 && line.rfind("got ", 0) != 0 &&
                line.rfind("Exit Code", 0) != 0 && line.rfind("Java version", 0) != 0 && line.rfind("rejected ", 0) != 0 &&
                line.rfind("temp", 0) != 0 && line.rfind("GetTempPath", 0) != 0 && line.rfind("make dir", 0) != 0) {
                lines.push_back(line);
            }
        }
        EXPECT_EQ(lines, c.lines) << c.name;
    }
}

TEST_F(RegistryDiscoveryTest, PreviousInstallationLookupWithoutIdOrKey)
{
    // Without an application identifier nothing is read and nothing logged.
    LogCursor quiet;
    char path[kTextCapacity] = "";
    EXPECT_FALSE(findPreviousInstallationJvm(HKEY_CURRENT_USER, path, sizeof path, {}, {}));
    EXPECT_TRUE(quiet.lines().empty());

    // A root without the installations key: the open fails, with the system's reason. An
    // identifier that does not fit its buffer is not looked up cut (it would be another
    // application's value), only the cut is logged; one that just fits is looked up.
    ScopedKey emptyRoot(HKEY_CURRENT_USER, "SOFTWARE\\discovery-test-" + std::to_string(GetCurrentProcessId()), "root");
    HKEY root = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, emptyRoot.path().c_str(), 0, KEY_READ, &root), ERROR_SUCCESS);
    struct Case {
        std::string id;
        const char* line;  // logged once for each of the two views
    };
    const Case cases[] = {
        {"discovery-test", "could not open installation node 2"},
        {std::string(kTextCapacity - 1, 'i'), "could not open installation node 2"}, // exact fit
        {std::string(kTextCapacity, 'i'), "ERROR: config string 160 truncated (6000 6000)"}, // one over
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id.size());
        setConfigString(kApplicationId, c.id);
        LogCursor log;
        EXPECT_FALSE(findPreviousInstallationJvm(root, path, sizeof path, {}, {}));
        EXPECT_EQ(log.lines(), (std::vector<std::string>{c.line, c.line}));
    }
    RegCloseKey(root);
}
