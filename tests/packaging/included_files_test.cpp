// Included files: read relative to the descriptor behind the runtime library jar, and names
// the launcher could not extract refused.
#include "packager_test_support.h"

#include "format/record_ids.h"
#include "packaging/descriptor/build.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace packagertest;

TEST(IncludedFiles, AreReadRelativeToTheDescriptorWithTheRuntimeLibraryFirst)
{
    ScratchDirectory scratch;
    scratch.file("conf/app.properties", "port=80\n");
    scratch.file("data.bin", std::string("\0\x01\xA7", 3));
    std::string runtime = scratch.file("build/launcher-runtime.jar", "PK runtime");
    std::string descriptor = scratch.file("service.toml", "");
    std::string text = std::string(kMinimal) + R"toml([[files]]
source = "conf/app.properties"
name = "conf/app.properties"
[[files]]
source = "data.bin"
)toml";
    Built built = build(text, descriptor, runtime);
    ASSERT_TRUE(built.ok) << packager::formatDiagnostic(built.errors.front());
    const ConfigBlock& block = built.result.block;
    EXPECT_EQ(value(block, 2002), "3");
    EXPECT_EQ(value(block, 2003), "launcher-runtime.jar;conf\\app.properties;data.bin");
    ASSERT_EQ(block.includedContents.size(), 3u);
    EXPECT_EQ(std::string(block.includedContents[0].begin(), block.includedContents[0].end()), "PK runtime");
    EXPECT_EQ(std::string(block.includedContents[2].begin(), block.includedContents[2].end()), std::string("\0\x01\xA7", 3));
    EXPECT_TRUE(built.result.notes.empty());

    // Turned off, or missing: no runtime library, and a note only in the second case.
    Built off = build(text + "[launcher]\nruntime_library = false\n", descriptor, runtime);
    ASSERT_TRUE(off.ok);
    EXPECT_EQ(value(off.result.block, 2002), "2");
    EXPECT_TRUE(off.result.notes.empty());
    Built missing = build(text, descriptor, (scratch.path / "nowhere.jar").string());
    ASSERT_TRUE(missing.ok);
    EXPECT_EQ(value(missing.result.block, 2002), "2");
    ASSERT_EQ(missing.result.notes.size(), 1u);
    EXPECT_NE(missing.result.notes[0].find("nowhere.jar does not exist"), std::string::npos);
}

TEST(IncludedFiles, NamesTheLauncherCannotExtractAreRefused)
{
    ScratchDirectory scratch;
    std::string descriptor = scratch.file("service.toml", "");
    scratch.file("a.txt", "a");
    const struct {
        const char* name;  // as TOML text
        const char* message;
    } cases[] = {
        {"..\\\\a.txt", "files[0] name \"..\\a.txt\" must stay inside the launcher's temporary directory"},
        {"\\\\a.txt", "files[0] name \"\\a.txt\" must stay inside the launcher's temporary directory"},
        {"C:\\\\a.txt", "files[0] name \"C:\\a.txt\" must be a non-empty relative name without ';' or ':'"},
        {"a;b.txt", "files[0] name \"a;b.txt\" must be a non-empty relative name without ';' or ':'"},
        {"x/y/z.txt", "files[0] name \"x\\y\\z.txt\" may have at most one directory (the launcher creates only one "
                      "level)"},
    };
    for (const auto& c : cases) {
        Built built = build(std::string(kMinimal) + "[[files]]\nsource = \"a.txt\"\nname = \"" + c.name + "\"\n",
                            descriptor);
        ASSERT_FALSE(built.ok) << c.name;
        EXPECT_EQ(built.errors.front().message, c.message);
    }
    // Names no extraction could give back: devices, characters and endings Windows refuses.
    const struct {
        const char* name;  // as TOML text
        const char* message;
    } unwritable[] = {
        {"con.txt", "files[0] name \"con.txt\" names a device (con.txt), not a file"},
        {"conf/LPT1", "files[0] name \"conf\\LPT1\" names a device (LPT1), not a file"},
        {"a<b", "files[0] name \"a<b\" holds '<', which no Windows file name may hold"},
        {"a.", "files[0] name \"a.\" has a step ending in '.' or ' ', which Windows leaves out"},
        {"dir /a", "files[0] name \"dir \\a\" has a step ending in '.' or ' ', which Windows leaves out"},
        {"a\\tb", "files[0] name \"a\\tb\" holds a control character"},
    };
    for (const auto& c : unwritable) {
        Built built = build(std::string(kMinimal) + "[[files]]\nsource = \"a.txt\"\nname = \"" + c.name + "\"\n",
                            descriptor);
        ASSERT_FALSE(built.ok) << c.name;
        EXPECT_EQ(built.errors.front().message, c.message);
    }
    // Names that cannot all be files at once: a file that is another's folder (also in
    // other case), and two names that differ only behind a NUL.
    const struct {
        const char* files;
        const char* message;
    } clashes[] = {
        {"name = \"a\"\n[[files]]\nsource = \"a.txt\"\nname = \"a/b\"",
         "files: a is a file and the folder of a\\b; no folder can hold both"},
        {"name = \"\u00C9t\u00E9/x\"\n[[files]]\nsource = \"a.txt\"\nname = \"\u00E9T\u00C9\"",
         "files: \u00E9T\u00C9 is a file and the folder of \u00C9t\u00E9\\x; no folder can hold both"},
        {"name = \"a\\u0000b\"\n[[files]]\nsource = \"a.txt\"\nname = \"a\\u0000c\"",
         "files[0].name holds a NUL character, which the launcher reads as the end of the text"},
    };
    for (const auto& c : clashes) {
        Built built = build(std::string(kMinimal) + "[[files]]\nsource = \"a.txt\"\n" + c.files + "\n", descriptor);
        ASSERT_FALSE(built.ok) << c.files;
        EXPECT_EQ(built.errors.front().message, c.message);
    }
    Built twice = build(
        std::string(kMinimal) + "[[files]]\nsource = \"a.txt\"\n[[files]]\nsource = \"a.txt\"\nname = \"A.TXT\"\n",
        descriptor);
    ASSERT_FALSE(twice.ok);
    EXPECT_EQ(twice.errors.front().message, "two included files are both named A.TXT");
}

} // namespace
