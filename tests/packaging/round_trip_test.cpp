// The round trip launcher -> inspect -> build: the same launcher byte for byte, values no
// key can express kept as records, launchers from elsewhere, bytes behind a NUL, and the
// reader's refusal of cut-off and foreign files.
#include "packager_test_support.h"

#include "format/record_ids.h"
#include "packaging/descriptor/build.h"
#include "packaging/descriptor/writer.h"
#include "packaging/example/example_config.h"
#include "packaging/launcher/reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace packagertest;

TEST(RoundTrip, InspectThenBuildGivesTheSameLauncherByteForByte)
{
    ScratchDirectory scratch;
    scratch.file("conf/app.properties", "port=80\n");
    std::string runtime = scratch.file("launcher-runtime.jar", "PK runtime");
    std::string descriptor = scratch.file("service.toml", "");
    const std::string descriptors[] = {
        kMinimal,
        R"toml([service]
name = "Heartbeat \u00e9t\u00e9"
description = "Writes a line \u2764 every second"
start = "demand"
dependencies = ["Tcpip"]
[service.description_translations]
de = "Schreibt"
de_CH = "Schreibt (CH)"
[application]
main_class = "com.example.heartbeat.Heartbeat"
class_path = [ { archive = "heartbeat.jar" }, { scan = "lib", optional = true }, { environment = "CP" } ]
arguments = ["heartbeat.log", "two words", ""]
[java]
min_version = "1.8"
max_version = "17.0.2+8"
search = [ { directory = "jre", fallback = "relative-only" }, { registry = true }, { installed = true },
           { path = true } ]
require_jdk = true
jvm_subdirectory = "server"
application_id = "1234-5678"
skip_javasoft_registry = true
[vm]
options = ["-Xmx64m", "-Dx=\"quoted\""]
[launcher]
kind = "message-boxes"
flavour = "deploykit"
working_directory = ".."
installation_directory = "..\\"
native_library_directories = ["native"]
[output]
stdout = "out.log"
stderr = "err.log"
redirect_stderr = false
append = false
[instance]
single = true
global = true
[splash]
enabled = true
after_vm = true
[splash.status]
text = "\u00c9tat"
x = -3
[messages]
language = "fr"
caption = "Heartbeat"
jvm_damaged = "Broken: {0}\tTab"
[records]
141 = "not read"
-7 = "negative"
[[files]]
source = "conf/app.properties"
name = "conf/app.properties"
)toml",
    };
    for (const std::string& text : descriptors) {
        Built built = build(text, descriptor, runtime);
        ASSERT_TRUE(built.ok) << packager::formatDiagnostic(built.errors.front());
        packager::Description description;
        auto [first, second] = roundTrip(built.result.block, &description);
        EXPECT_TRUE(description.rebuildsIdentically) << description.descriptor;
        EXPECT_TRUE(description.notes.empty()) << description.notes.front();
        EXPECT_EQ(first, second) << description.descriptor;
        if (text.find("installed = true") != std::string::npos) {
            EXPECT_NE(description.descriptor.find("{ installed = true }"), std::string::npos) << description.descriptor;
        }
    }
}

TEST(RoundTrip, ValuesNoKeyCanExpressAreKeptAsRecords)
{
    Built built = build(kMinimal);
    ASSERT_TRUE(built.ok);
    ConfigBlock block = built.result.block;
    block.set(130, "2");                      // on, but not as a flag is written
    block.set(107, "7");                      // no kind of the packager's
    block.set(121, "X1odd;A1app.jar");         // an unknown type and no final ';'
    block.set(128, "R..\\jre;B;");             // a letter of the launcher's without a key
    block.set(10109, "020");                  // not the integer's own text
    block.set(123, "  -Xmx1g  ");              // blanks the split would lose
    block.set(30019, "logs\\${launcher:sys.serviceName.log");  // a reference that never closes
    packager::Description description;
    auto [first, second] = roundTrip(block, &description);
    EXPECT_TRUE(description.rebuildsIdentically) << description.descriptor;
    EXPECT_EQ(first, second) << description.descriptor;
    for (const char* kept : {"\"130\" = \"2\"", "\"107\" = \"7\"", "\"121\" = \"X1odd;A1app.jar\"", "\"10109\" = \"020\"",
                             "\"30019\" = \"logs\\\\${launcher:sys.serviceName.log\""}) {
        EXPECT_NE(description.descriptor.find(kept), std::string::npos) << kept << "\n" << description.descriptor;
    }
    EXPECT_NE(description.descriptor.find("options = \"  -Xmx1g  \""), std::string::npos) << description.descriptor;
}

TEST(RoundTrip, ALauncherFromElsewhereGivesADescriptorThatBuilds)
{
    // The example block has its records in another order and carries identifiers this
    // packager does not write: the descriptor keeps every value, and says that the bytes
    // will differ.
    ConfigBlock block = packager::exampleServiceBlock();
    packager::Description description;
    auto [first, second] = roundTrip(block, &description);
    EXPECT_FALSE(description.rebuildsIdentically);
    ASSERT_FALSE(description.notes.empty());
    EXPECT_NE(description.notes[0].find("not in the packager's order"), std::string::npos);
    packager::PackagedLauncher again;
    std::string error;
    ASSERT_TRUE(packager::readPackagedLauncher(second, &again, &error)) << error;
    for (const blockformat::NarrowRecord& record : block.narrow) {
        EXPECT_EQ(value(again.block, record.id), record.value) << "identifier " << record.id;
    }
}

TEST(RoundTrip, BytesBehindANulAreNamedAndNeverCountAsRebuildingIdentically)
{
    Built built = build(kMinimal);
    ASSERT_TRUE(built.ok);
    ConfigBlock block = built.result.block;
    ConfigBlock asRead = block;  // what the launcher reads of it
    block.set(cfg::serviceName, std::string("Demo\0tail", 9));
    block.set(99999, std::string("a\0b", 3));
    asRead.set(99999, "a");
    block.wide[0].value = std::u16string(u"Writes\0more", 11);
    asRead.wide[0].value = u"Writes";
    packager::Description description;
    auto [first, second] = roundTrip(block, &description);
    EXPECT_FALSE(description.rebuildsIdentically);
    EXPECT_EQ(description.notes, std::vector<std::string>{
        "records 101 (service.name), 20017 (service.description) and 99999 hold bytes behind a NUL character, which "
        "the launcher never reads; the descriptor gives the text as the launcher reads it, and a build of it leaves "
        "those bytes out"});
    EXPECT_NE(description.descriptor.find("\n# The launcher's settings as it reads them; `packager build` gives a "
                                          "launcher with other bytes.\n"), std::string::npos) << description.descriptor;
    EXPECT_NE(description.descriptor.find("\nname = \"Demo\"\n"), std::string::npos) << description.descriptor;
    EXPECT_NE(description.descriptor.find("\ndescription = \"Writes\"\n"), std::string::npos);
    EXPECT_NE(first, second);
    EXPECT_EQ(second, launcherBytes(asRead));
}

TEST(Reader, RefusesCutOffAndForeignFiles)
{
    Built built = build(kMinimal);
    ASSERT_TRUE(built.ok);
    built.result.block.addIncludedFiles({{"a.txt", {1, 2, 3}}});
    Bytes launcher = launcherBytes(built.result.block);
    packager::PackagedLauncher read;
    std::string error;
    ASSERT_TRUE(packager::readPackagedLauncher(launcher, &read, &error)) << error;
    EXPECT_EQ(read.image, syntheticImage());
    EXPECT_EQ(read.trailingBytes, 0u);
    const struct {
        size_t size;
        const char* error;
    } cuts[] = {
        {launcher.size() - 1, "the included file a.txt is cut off"},
        {syntheticImage().size() + 30, "the configuration block is cut off in narrow record 0"},
        {syntheticImage().size() + 2, "no configuration block behind the image (not a packaged launcher)"},
        {syntheticImage().size(), "no configuration block behind the image (not a packaged launcher)"},
    };
    for (const auto& cut : cuts) {
        Bytes shorter(launcher.begin(), launcher.begin() + static_cast<long>(cut.size));
        EXPECT_FALSE(packager::readPackagedLauncher(shorter, &read, &error)) << cut.size;
        EXPECT_EQ(error, cut.error) << cut.size;
    }
}

} // namespace
