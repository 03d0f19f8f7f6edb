// Java version texts: parsing, the strict and lenient range checks, the pre-release rule,
// which of two versions is newer, and the pure helpers of the runtime probe.
#include "config/config_store.h"
#include "jvm/discovery/installed_runtimes.h"
#include "jvm/discovery/java_probe.h"
#include "jvm/discovery/java_version.h"

#include "support/empty_config_store.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

constexpr int32_t kAllowPrereleaseId = 130;

class JavaVersionTest : public EmptyConfigStoreTest {};

} // namespace

TEST_F(JavaVersionTest, ParseSplitsAtEverySeparatorAndConvertsLikeStrtol)
{
    struct Case {
        const char* text;
        JavaVersion expected;
    };
    const Case cases[] = {
        {"1.8.0_66", {1, 8, 0, 66}},
        {"1.8.0_66-b17", {1, 8, 0, 66, 0}},
        {"9-ea", {9, 0}},
        {"1.7", {1, 7}},
        {"1.8.0_101", {1, 8, 0, 101}},
        {"11.0.2+9", {11, 0, 2, 9}},
        {"..1__8--", {1, 8}},                    // runs of separators make no empty pieces
        {"", {}},
        {"._-+", {}},
        {" 7", {7}},                             // strtol skips leading blanks
        {"1.99999999999", {1, INT32_MAX}},       // clamped to 32 bits
        {"-99999999999", {INT32_MAX}},           // "-" separates: no negative pieces
        {"12abc.3", {12, 3}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseJavaVersion(c.text), c.expected) << c.text;
    }
    EXPECT_TRUE(parseJavaVersion(nullptr).empty());
}

TEST_F(JavaVersionTest, StrictAndLenientRangeChecks)
{
    struct Case {
        const char* minimum;
        const char* maximum;
        const char* version;
        bool strict;    // isVersionAccepted
        bool lenient;   // isVersionFamilyInRange
    };
    const Case cases[] = {
        {"1.7", "1.8", "1.6.0_45", false, false},
        {"1.7", "1.8", "1.7.0_80", true, true},
        {"1.7", "1.8", "1.8.0_66", true, true},
        {"1.7", "1.8", "9", false, false},
        {"1.7", "1.8", "1.9.0", false, false},
        {"1.8.0_40", "", "1.8.0_31", false, false},
        {"1.8.0_40", "", "1.8.0_101", true, true},   // numeric per component, not textual
        {"1.7", "", "1", false, true},                // a family that may hold 1.7.x
        {"", "1.8", "1", false, true},
        {"", "", "", true, true},
        {"", "", "1.0.0", true, true},
        {"1.8", "1.8", "1.8", true, true},
        {"1.8.0_66", "1.8.0_66", "1.8", false, true},
    };
    for (const Case& c : cases) {
        JavaVersion minimum = parseJavaVersion(c.minimum);
        JavaVersion maximum = parseJavaVersion(c.maximum);
        EXPECT_EQ(isVersionAccepted(c.version, minimum, maximum, false), c.strict)
            << c.minimum << " .. " << c.maximum << ": " << c.version;
        EXPECT_EQ(isVersionFamilyInRange(c.version, minimum, maximum), c.lenient)
            << c.minimum << " .. " << c.maximum << ": " << c.version;
    }
}

TEST_F(JavaVersionTest, PreReleaseVersionsNeedPermission)
{
    struct Case {
        const char* version;
        bool prerelease;
    };
    const Case cases[] = {
        {"9-ea", true},         {"1.8.0-beta", true}, {"11-rc", true},
        {"1.8.0_66-search", true},   // "ea" inside a longer word still counts
        {"1.8.0_66", false},    {"9-EA", false},      // case-sensitive
    };
    const JavaVersion none;
    for (const Case& c : cases) {
        EXPECT_EQ(isVersionAccepted(c.version, none, none, false), !c.prerelease) << c.version;
        EXPECT_TRUE(isVersionAccepted(c.version, none, none, true)) << c.version;
    }
    // With permission the text is compared as its numbers: 9-ea is 9, 0.
    EXPECT_TRUE(isVersionAccepted("9-ea", parseJavaVersion("9"), parseJavaVersion("9.0"), true));
    EXPECT_FALSE(isVersionAccepted("9-ea", parseJavaVersion("9.1"), none, true));
    // Configuration 130 grants the same permission to every caller.
    setConfigString(kAllowPrereleaseId, "1");
    EXPECT_TRUE(isVersionAccepted("9-ea", none, none, false));
    // The lenient family check has no pre-release rule.
    setConfigString(kAllowPrereleaseId, "0");
    EXPECT_TRUE(isVersionFamilyInRange("9-ea", none, none));
}

TEST_F(JavaVersionTest, NewerIsStrictlyNewer)
{
    struct Case {
        const char* first;
        const char* second;
        bool newer;
    };
    const Case cases[] = {
        {"1.8.0", "1.8", true},   {"1.8", "1.8.0", false},         {"1.8.0_101", "1.8.0_66", true},
        {"1.8.0_66", "1.8.0_101", false}, {"1.8", "1.8", false},   {"", "1.0", false},
        {"1.0", "", true},        {"", "", false},                 {"9", "1.8.0_66", true},
        {"11.0.2", "11.0.10", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isNewerVersion(c.first, c.second), c.newer) << c.first << " vs " << c.second;
    }
}

TEST_F(JavaVersionTest, VersionIsWhatTheQuotationMarksOfTheFirstLineEnclose)
{
    struct Case {
        const char* line;
        const char* version;
    };
    const Case cases[] = {
        {"java version \"1.8.0_66\"\n", "1.8.0_66"},
        {"java version \"1.8.0_66\"", "1.8.0_66"},
        {"openjdk version \"1.8.0_66\"\n", "1.8.0_66"},
        {"openjdk version \"11.0.2\" 2019-01-15\n", "11.0.2"},
        {"java version \"10.0.1\" 2018-04-17 LTS\n", "10.0.1"},
        {"java version \"\"\n", ""},
        // Cut short before the closing mark: nothing reliable to take.
        {"java version \"1.8.0_6", ""},
        {"java version \"", ""},
        {"java version ", ""},
        {"", ""},
        {"Picked up _JAVA_OPTIONS: -Xmx512m\n", ""},
        {"Java version \"1.8.0_66\"\n", ""},
        {" java version \"1.8.0_66\"\n", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(versionFromVersionLine(c.line), c.version) << c.line;
    }
    EXPECT_EQ(versionFromVersionLine(nullptr), "");
}

TEST_F(JavaVersionTest, CacheKeyIsThePathWithSlashesBelowTheCacheKey)
{
    EXPECT_EQ(versionCacheKeyOf("c:\\program files\\java\\jre7\\bin\\java.exe"),
              "SOFTWARE\\tarnwell\\quill\\jvms\\c:/program files/java/jre7/bin/java.exe");
    EXPECT_EQ(versionCacheKeyOf("\\\\server\\share\\java.exe"), "SOFTWARE\\tarnwell\\quill\\jvms\\//server/share/java.exe");
    EXPECT_EQ(versionCacheKeyOf(""), "SOFTWARE\\tarnwell\\quill\\jvms\\");
}

TEST_F(JavaVersionTest, ReleaseFileVersionLine)
{
    struct Case {
        const char* name;
        std::string text;
        const char* version;   // "" when the file must be probed instead
    };
    const Case cases[] = {
        {"LF", "IMPLEMENTOR=\"Eclipse Adoptium\"\nJAVA_VERSION=\"17.0.9\"\nOS_NAME=\"Windows\"\n", "17.0.9"},
        {"CR LF", "IMPLEMENTOR=\"x\"\r\nJAVA_VERSION=\"21.0.1\"\r\nOS_ARCH=\"amd64\"\r\n", "21.0.1"},
        {"Java 8 form", "JAVA_VERSION=\"1.8.0_392\"\r\n", "1.8.0_392"},
        {"feature release only", "JAVA_VERSION=\"21\"", "21"},
        {"last line without end", "A=\"b\"\nJAVA_VERSION=\"11.0.21\"", "11.0.21"},
        {"pre-release kept whole", "JAVA_VERSION=\"22-ea\"\n", "22-ea"},
        {"the first line counts", "JAVA_VERSION=\"17.0.9\"\nJAVA_VERSION=\"99\"\n", "17.0.9"},
        {"no such line", "IMPLEMENTOR=\"x\"\nJAVA_RUNTIME_VERSION=\"17.0.9+9\"\n", ""},
        {"empty file", "", ""},
        {"empty version", "JAVA_VERSION=\"\"\n", ""},
        {"garbage version", "JAVA_VERSION=\"seventeen\"\n", ""},
        {"no closing mark", "JAVA_VERSION=\"17.0.9\n", ""},
        {"text after the mark", "JAVA_VERSION=\"17.0.9\" # note\n", ""},
        {"not at line start", " JAVA_VERSION=\"17.0.9\"\n", ""},
        {"unquoted", "JAVA_VERSION=17.0.9\n", ""},
        {"binary", std::string("\x7f" "ELF\0\0JAVA_VERSION", 17), ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(versionFromReleaseText(c.text), c.version) << c.name;
    }
}

TEST_F(JavaVersionTest, ReleaseVersionForm)
{
    for (const char* good : {"17", "17.0.9", "1.8.0_392", "21-ea", "17.0.9+9", "11.0.2-internal.1"}) {
        EXPECT_TRUE(isReleaseVersion(good)) << good;
    }
    for (const char* bad : {"", "x17", "17.", ".17", "17..0", "1.8.0_", "17-", "17-ea.", "17 0", "17/0", "-17"}) {
        EXPECT_FALSE(isReleaseVersion(bad)) << bad;
    }
}

TEST_F(JavaVersionTest, InstalledRuntimeKeyNamesAndOrder)
{
    struct Name {
        std::string key;
        const char* zulu;
        const char* liberica;
    };
    const Name names[] = {
        {"zulu-21", "21", ""},     {"zulu-8-jre", "8", ""}, {"zulu-", "", ""},        {"zulu-x", "", ""},
        {"jdk-17", "", "17"},      {"jre-8", "", "8"},      {"jdk-17.0.9", "", "17.0.9"},
        {"jdk-", "", ""},          {"17", "", ""},          {"zulu-21-jre-x", "", ""},
    };
    for (const Name& n : names) {
        EXPECT_EQ(versionOfZuluKey(n.key), n.zulu) << n.key;
        EXPECT_EQ(versionOfLibericaKey(n.key), n.liberica) << n.key;
    }

    struct Order {
        const char* first;
        const char* second;
        bool newer;
    };
    const Order orders[] = {
        {"21.0.1.12", "17.0.9.9", true},  {"11", "1.8.0_392", true},     {"8.0.392.8", "11", false},
        {"1.8.0_392", "8.0.392.8", false}, {"8.0.392.8", "1.8.0_392", true}, {"17.0.10", "17.0.9", true},
        {"21.0.1.12", "21", true},         {"21", "21.0.1.12", false},    {"17", "17", false},
    };
    for (const Order& o : orders) {
        EXPECT_EQ(isNewerInstalledVersion(o.first, o.second), o.newer) << o.first << " vs " << o.second;
    }
}
