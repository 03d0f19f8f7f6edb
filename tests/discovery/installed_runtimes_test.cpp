// The runtimes today's installers register, laid out in Wine's registry as each installer
// writes its keys, with stand-in runtimes in the homes: what is collected and in which
// order, and which runtime the search entry V loads.
#include "discovery_environment.h"

#include "format/record_ids.h"
#include "jvm/discovery/installed_runtimes.h"
#include "jvm/discovery/jvm_search.h"
#include "platform/text_format.h"
#include "support/test_runtime.h"

#include <memory>

namespace {

// One registered runtime: where the installer writes it and what.
struct Registration {
    HKEY root;
    std::string parent;      // the key below which `leaf` is created
    std::string leaf;
    const char* valueName;
    DWORD type;              // REG_SZ or another type for a value that is not a path
    std::string home;        // below the test directory; "" with a type other than REG_SZ
    const char* suffix;      // appended to the home as written ("\\" as MSI installers do)
};

class InstalledRuntimesTest : public DiscoveryTest {
protected:
    void TearDown() override
    {
        removeKeys();
        SetEnvironmentVariableA("PATH", savedPath_.c_str());
        DiscoveryTest::TearDown();
    }

    void SetUp() override
    {
        DiscoveryTest::SetUp();
        char path[32768];
        DWORD n = GetEnvironmentVariableA("PATH", path, sizeof path);
        savedPath_ = n > 0 && n < sizeof path ? path : "";
    }

    // A runtime of `version` in `name` below the test directory, its version in the
    // release file; with `jvm` a loadable jvm.dll. Returns its home.
    std::string runtime(const std::wstring& name, const std::string& version, bool jvm = true)
    {
        RuntimeLayout layout;
        layout.release = "JAVA_VERSION=\"" + version + "\"\r\n";
        layout.java.versionLine = "openjdk version \"" + version + "\"";
        if (jvm) {
            layout.jvmDll = "jvm.dll";
        }
        EXPECT_FALSE(layOutRuntime(directory_->file(name), layout).empty()) << "stand-in runtime not laid out";
        return pathIn(name);
    }

    void add(const Registration& r)
    {
        keys_.push_back(std::make_unique<ScopedKey>(r.root, r.parent, r.leaf));
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(r.root, keys_.back()->path().c_str(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key),
                  ERROR_SUCCESS);
        if (r.type == REG_SZ) {
            std::string text = r.home + r.suffix;
            RegSetValueExA(key, r.valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1));
        } else {
            DWORD flag = 1;
            RegSetValueExA(key, r.valueName, 0, r.type, reinterpret_cast<const BYTE*>(&flag), sizeof flag);
        }
        RegCloseKey(key);
    }

    // The JavaHome flag the vendors' installers set beside Path.
    void addFlag(const std::string& path)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key),
                  ERROR_SUCCESS);
        DWORD flag = 1;
        RegSetValueExA(key, "JavaHome", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flag), sizeof flag);
        RegCloseKey(key);
    }

    // The newest first, so that the parents the first keys created go last.
    void removeKeys()
    {
        while (!keys_.empty()) {
            keys_.pop_back();
        }
    }

    std::vector<std::unique_ptr<ScopedKey>> keys_;

private:
    std::string savedPath_;
};

const HKEY kMachine = HKEY_LOCAL_MACHINE;
const HKEY kUser = HKEY_CURRENT_USER;

} // namespace

TEST_F(InstalledRuntimesTest, EveryInstallerLayoutIsCollectedNewestFirst)
{
    const std::string oracle = runtime(L"oracle17", "17.0.9");
    const std::string temurin = runtime(L"temurin21", "21.0.1");
    const std::string temurinJre = runtime(L"temurin8", "1.8.0_392");
    const std::string adopt = runtime(L"adopt11", "11.0.11");
    const std::string microsoft = runtime(L"ms17", "17.0.8");
    const std::string semeru = runtime(L"semeru17", "17.0.9");
    const std::string zulu = runtime(L"zulu21", "21.0.1");
    const std::string liberica = runtime(L"liberica11", "11.0.21");
    const std::string corretto = runtime(L"corretto11", "11.0.21");
    const std::string gone = pathIn(L"deleted23");   // never laid out
    const std::string flagOnly = runtime(L"flag-only", "16.0.2");

    const Registration registrations[] = {
        {kMachine, "SOFTWARE\\JavaSoft\\JDK", "17", "JavaHome", REG_SZ, oracle, ""},
        {kMachine, "SOFTWARE\\JavaSoft\\JDK", "17.0.9", "JavaHome", REG_SZ, oracle, ""},
        {kMachine, "SOFTWARE\\JavaSoft\\JRE", "11.0.21", "JavaHome", REG_SZ, corretto, ""},
        {kMachine, "SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.1.12\\hotspot", "MSI", "Path", REG_SZ, temurin, "\\"},
        {kMachine, "SOFTWARE\\Eclipse Adoptium\\JRE\\8.0.392.8\\hotspot", "EXE", "Path", REG_SZ, temurinJre, ""},
        {kMachine, "SOFTWARE\\Eclipse Adoptium\\JDK\\22.0.0.1\\hotspot", "MSI", "Path", REG_DWORD, "", ""},
        {kMachine, "SOFTWARE\\AdoptOpenJDK\\JDK\\11.0.11.9", "MSI", "Path", REG_SZ, adopt, "\\"},
        {kMachine, "SOFTWARE\\Eclipse Foundation\\JDK\\16.0.2.7\\hotspot", "MSI", "JavaHome", REG_SZ, flagOnly, ""},
        {kMachine, "SOFTWARE\\Microsoft\\JDK\\17.0.8.7\\hotspot", "MSI", "Path", REG_SZ, microsoft, "\\"},
        {kMachine, "SOFTWARE\\Semeru\\JDK\\17.0.9.9\\openj9", "MSI", "Path", REG_SZ, semeru, "\\"},
        {kMachine, "SOFTWARE\\BellSoft\\Liberica", "jdk-11", "InstallationPath", REG_SZ, liberica, "\\"},
        {kUser, "SOFTWARE\\Azul Systems\\Zulu", "zulu-21", "InstallationPath", REG_SZ, zulu, "\\"},
        {kUser, "SOFTWARE\\Eclipse Adoptium\\JDK\\23.0.0.1\\hotspot", "EXE", "Path", REG_SZ, gone, ""},
    };
    for (const Registration& r : registrations) {
        add(r);
    }
    // Vendor installers set JavaHome to 1 beside Path: a flag, never a home.
    addFlag("SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.1.12\\hotspot\\MSI");
    addFlag("SOFTWARE\\Microsoft\\JDK\\17.0.8.7\\hotspot\\MSI");

    LogCursor log;
    std::vector<InstalledRuntime> found = collectInstalledRuntimes();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {gone, "23.0.0.1"},      {temurin, "21.0.1.12"}, {zulu, "21"},        {semeru, "17.0.9.9"},
        {oracle, "17.0.9"},      {microsoft, "17.0.8.7"}, {corretto, "11.0.21"}, {adopt, "11.0.11.9"},
        {liberica, "11"},        {temurinJre, "8.0.392.8"},
    };
    std::vector<std::pair<std::string, std::string>> actual;
    for (const InstalledRuntime& runtime : found) {
        actual.emplace_back(runtime.home, runtime.version);
    }
    EXPECT_EQ(actual, expected);
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0].key, "HKEY_CURRENT_USER\\SOFTWARE\\Eclipse Adoptium\\JDK\\23.0.0.1\\hotspot\\EXE");

    const std::string machine = "HKEY_LOCAL_MACHINE\\SOFTWARE\\";
    for (const std::string& line : std::vector<std::string>{
             "reading installed runtimes of HKEY_LOCAL_MACHINE\\SOFTWARE\\Eclipse Adoptium",
             "reading installed runtimes of HKEY_CURRENT_USER\\SOFTWARE\\Azul Systems\\Zulu",
             "passed over " + machine + "Eclipse Adoptium\\JDK\\22.0.0.1\\hotspot\\MSI: value Path is not a string "
                                        "(type 4)",
             "passed over " + machine + "Eclipse Foundation\\JDK\\16.0.2.7\\hotspot\\MSI: no value Path",
             "passed over " + machine + "JavaSoft\\JDK\\17.0.9: " + oracle + " is listed already",
             "found installed runtime " + temurin + " (version 21.0.1.12) in " + machine +
                 "Eclipse Adoptium\\JDK\\21.0.1.12\\hotspot\\MSI",
         }) {
        EXPECT_TRUE(log.has(line)) << line;
    }
}

TEST_F(InstalledRuntimesTest, SearchEntryLoadsTheNewestRuntimeThatFits)
{
    struct Case {
        const char* name;
        const char* minimum;
        const char* maximum;
        bool newerLoads;           // the jvm.dll of the newest runtime loads
        bool newerExists;          // the newest runtime's folder exists
        char expected;             // 'N' newest (21), 'M' middle (17), 'O' old (11), 0 none
    };
    const Case cases[] = {
        {"newest fitting", "1.8", "", true, true, 'N'},
        {"maximum excludes the newest", "1.8", "17", true, true, 'M'},
        {"minimum and maximum", "11", "11", true, true, 'O'},
        {"broken newest passed over", "1.8", "", false, true, 'M'},
        {"deleted newest passed over", "1.8", "", true, false, 'M'},
        {"nothing fits", "25", "", true, true, 0},
    };
    int index = 0;
    for (const Case& c : cases) {
        std::wstring n = std::to_wstring(index++);
        std::string newest = c.newerExists ? runtime(L"new" + n, "21.0.1", c.newerLoads) : pathIn(L"new" + n);
        std::string middle = runtime(L"mid" + n, "17.0.9");
        std::string old = runtime(L"old" + n, "11.0.21");
        add({kMachine, "SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.1.12\\hotspot", "MSI", "Path", REG_SZ, newest, "\\"});
        add({kUser, "SOFTWARE\\Azul Systems\\Zulu", "zulu-17", "InstallationPath", REG_SZ, middle, "\\"});
        add({kMachine, "SOFTWARE\\BellSoft\\Liberica", "jdk-11", "InstallationPath", REG_SZ, old, ""});
        setConfigString(cfg::jvmSearchSequence, "V");
        setConfigString(cfg::minJavaVersion, c.minimum);
        setConfigString(cfg::maxJavaVersion, c.maximum);

        LogCursor log;
        char javaExecutable[kTextCapacity] = "";
        char sourceText[kTextCapacity] = "";
        JvmSource source = JvmSource::None;
        HMODULE module = findJvm(javaExecutable, sizeof javaExecutable, &source, sourceText, sizeof sourceText);
        const std::string& home = c.expected == 'N' ? newest : c.expected == 'M' ? middle : old;
        EXPECT_EQ(module != nullptr, c.expected != 0) << c.name;
        if (c.expected != 0) {
            EXPECT_EQ(std::string(javaExecutable), resolved(home + "\\bin\\java.exe")) << c.name;
            EXPECT_EQ(source, JvmSource::Registry) << c.name;
        } else {
            EXPECT_EQ(source, JvmSource::None) << c.name;
        }
        if (!c.newerLoads) {
            EXPECT_TRUE(log.has("passed over " + newest + ": its jvm.dll did not load")) << c.name;
        }
        if (!c.newerExists) {
            EXPECT_TRUE(log.has("passed over " + newest + ": not an acceptable runtime")) << c.name;
        }
        // Every version came from a release file: no runtime was started.
        EXPECT_EQ(log.countStartingWith("got version from execution"), 0u) << c.name;
        removeKeys();
        if (module != nullptr) {
            FreeLibrary(module);
        }
    }
}
