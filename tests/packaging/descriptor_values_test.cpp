// Descriptor values: the block of a minimal descriptor with every default, readable keys as
// the launcher's encodings, and the launcher kind from service.start and launcher.kind.
#include "packager_test_support.h"

#include "format/record_ids.h"
#include "packaging/descriptor/build.h"
#include "packaging/descriptor/draft.h"
#include "packaging/descriptor/keys.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using namespace packagertest;

TEST(Defaults, AMinimalDescriptorGivesACompleteServiceBlock)
{
    Built built = build(kMinimal);
    ASSERT_TRUE(built.ok) << packager::formatDiagnostic(built.errors.front());
    const ConfigBlock& block = built.result.block;
    // Every identifier the launcher reads, but the two that only a key writes, then the 21
    // message texts.
    std::vector<int32_t> order;
    for (int32_t id : packager::narrowRecordOrder()) {
        if (id != cfg::serviceStartMode && id != cfg::serviceRecovery) {
            order.push_back(id);
        }
    }
    ASSERT_EQ(block.narrow.size(), order.size() + 21);
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(block.narrow[i].id, order[i]);
    }
    const std::map<int32_t, std::string> expected = {
        {101, "Demo"}, {107, "4"}, {2001, "q"}, {146, "."}, {126, "1.8"}, {127, ""},
        {128, "B..\\jre;Y;V;EJAVA_HOME;EJDK_HOME;S;"}, {121, "A1app.jar;"}, {122, "com.example.Main"},
        {123, ""}, {124, ""}, {125, "1"}, {102, "0"}, {104, "0"}, {106, "1"}, {10005, "0"},
        {10123, "0"}, {108, "0"}, {2002, "0"}, {2003, ""}, {1000, "Error"},
        {30000, "30"}, {30001, "0"}, {30002, "1"}, {30003, "60"}, {30004, "300"}, {30005, "5"},
        {30006, "<absent>"}, {30007, "LocalSystem"}, {30008, "<absent>"}, {30009, "1"},
    };
    for (const auto& [id, text] : expected) {
        EXPECT_EQ(value(block, id), text) << "identifier " << id;
    }
    EXPECT_NE(value(block, 1016).find("QUILL_JAVA_HOME to point to an installed {0}-bit JDK or JRE"), std::string::npos);
    EXPECT_NE(value(block, 1016).find("download"), std::string::npos);
    ASSERT_EQ(block.wide.size(), 1u);
    EXPECT_EQ(block.wide[0].id, 20017);
    EXPECT_TRUE(block.wide[0].value.empty());
    EXPECT_TRUE(block.localeGroups.empty());
    EXPECT_TRUE(block.includedContents.empty());
    EXPECT_EQ(built.result.notes.size(), 1u);  // no runtime library configured
}

TEST(Values, ReadableKeysBecomeTheLauncherEncodings)
{
    Built built = build(std::string(kMinimal) + R"toml(
[java]
search = [ { directory = "..\\jre" }, { directory = "C:\\jdk", fallback = "relative-only" },
           { environment = "JAVA_HOME" }, { path = true }, { registry = true } ]
allow_prerelease = true
jvm_subdirectory = "server"
[vm]
options = ["-Xmx64m", "-Dname=a b", "-Dq=say \"hi\"", ""]
pass_j_arguments = false
[launcher]
kind = "message-boxes"
flavour = "deploykit"
native_library_directories = ["lib\\native", "bin"]
[service.x]
)toml");
    ASSERT_FALSE(built.ok);
    EXPECT_EQ(packager::formatDiagnostic(built.errors.front()), "service.toml:19:10: error: unknown key 'service.x'");
    built = build(std::string(kMinimal) + R"toml(dependencies = ["Tcpip", "Dnscache"]
start = "demand"
[java]
search = [ { directory = "..\\jre" }, { directory = "C:\\jdk", fallback = "relative-only" },
           { environment = "JAVA_HOME" }, { path = true }, { registry = true } ]
allow_prerelease = true
jvm_subdirectory = "server"
[vm]
options = ["-Xmx64m", "-Dname=a b", "-Dq=say \"hi\"", ""]
pass_j_arguments = false
[launcher]
flavour = "deploykit"
native_library_directories = ["lib\\native", "bin"]
[output]
stderr = "${launcher:sys.launcherDirectory}\\logs\\err.log"
append = false
[splash.version]
text = "version 2"
x = 5
)toml");
    // dependencies belong to [service]; the minimal text ends inside [application].
    ASSERT_FALSE(built.ok);
    EXPECT_NE(built.errors.front().message.find("application.dependencies"), std::string::npos);

    built = build(R"toml([service]
name = "Demo"
dependencies = ["Tcpip", "Dnscache"]
start = "demand"
[application]
main_class = "com.example.Main"
class_path = [ { scan = "..\\lib" }, { directory = "classes", optional = true }, { environment = "EXTRA_CP" } ]
arguments = ["--port", "80 80"]
[java]
search = [ { directory = "..\\jre" }, { directory = "C:\\jdk", fallback = "relative-only" },
           { environment = "JAVA_HOME" }, { path = true }, { registry = true }, { installed = true } ]
allow_prerelease = true
jvm_subdirectory = "server"
[vm]
options = ["-Xmx64m", "-Dname=a b", "-Dq=say \"hi\"", ""]
pass_j_arguments = false
[launcher]
flavour = "deploykit"
native_library_directories = ["lib\\native", "bin"]
[output]
stderr = "${launcher:sys.launcherDirectory}\\logs\\err.log"
append = false
[splash.version]
text = "version 2"
x = 5
)toml");
    ASSERT_TRUE(built.ok) << packager::formatDiagnostic(built.errors.front());
    const ConfigBlock& block = built.result.block;
    EXPECT_EQ(value(block, 149), "Tcpip,Dnscache");
    EXPECT_EQ(value(block, 107), "0");
    EXPECT_EQ(value(block, 121), "S1..\\lib;D0classes;E1EXTRA_CP;");
    EXPECT_EQ(value(block, 124), "--port \"80 80\"");
    EXPECT_EQ(value(block, 128), "B..\\jre;AC:\\jdk;EJAVA_HOME;S;Y;V;");
    EXPECT_EQ(value(block, 130), "1");
    EXPECT_EQ(value(block, 152), "server");
    EXPECT_EQ(value(block, 123), "-Xmx64m \"-Dname=a b\" '-Dq=say \"hi\"' \"\"");
    EXPECT_EQ(value(block, 125), "0");
    EXPECT_EQ(value(block, 2001), "d");
    EXPECT_EQ(value(block, 10004), "lib\\native;bin");
    EXPECT_EQ(value(block, 102), "1");  // naming the file switches the redirection on
    EXPECT_EQ(value(block, 103), "${launcher:sys.launcherDirectory}\\logs\\err.log");
    EXPECT_EQ(value(block, 104), "0");
    EXPECT_EQ(value(block, 106), "0");
    EXPECT_EQ(value(block, 10118), "version 2");
    EXPECT_EQ(value(block, 10116), "5");
    EXPECT_EQ(value(block, 10117), "40");
}

TEST(Values, KindAndStartGiveTheLauncherKind)
{
    const struct {
        const char* lines;
        const char* kind;
    } cases[] = {
        {"", "4"},
        {"[service]\nstart = \"auto\"\n", "4"},
        {"[service]\nstart = \"demand\"\n", "0"},
        {"[launcher]\nkind = \"gui\"\n", "1"},
        {"[launcher]\nkind = \"message-boxes\"\n[service]\nstart = \"demand\"\n", "5"},
    };
    for (const auto& c : cases) {
        std::string text = std::string("[application]\nmain_class = \"a.B\"\nclass_path = [ { scan = \"lib\" } ]\n") +
                           c.lines + (std::string(c.lines).find("[service]") == std::string::npos ? "[service]\n" : "") +
                           "name = \"Demo\"\n";
        Built built = build(text);
        ASSERT_TRUE(built.ok) << text << packager::formatDiagnostic(built.errors.front());
        EXPECT_EQ(value(built.result.block, 107), c.kind) << text;
    }
}

} // namespace
