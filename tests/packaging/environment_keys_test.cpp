// [environment]: the variables in the order written as the one environment record, the
// names and forms refused at their place, the note that the values are readable, and
// inspect's descriptor, which gives the section back as written and the same launcher
// byte for byte, or leaves out with a note a record that no descriptor gives.
#include "packager_test_support.h"

#include "format/record_ids.h"
#include "packaging/descriptor/build.h"
#include "packaging/descriptor/writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace packagertest;

const char kNote[] =
    "[environment] is stored in the launcher as it stands, where anyone who can read the executable can read it: "
    "give no secrets there (a service can read one from a file that only its account may read)";

// The environment record's text as UTF-8 with its line feeds as "|", "<none>" without one.
std::string environmentRecord(const ConfigBlock& block)
{
    std::string out = "<none>";
    for (const blockformat::WideRecord& record : block.wide) {
        if (record.id != cfg::environmentVariables) {
            continue;
        }
        out.clear();
        for (char16_t c : record.value) {
            if (c == u'\n') {
                out += '|';
            } else if (c < 0x80) {
                out += static_cast<char>(c);
            } else {
                out += "<" + std::to_string(static_cast<unsigned>(c)) + ">";
            }
        }
    }
    return out;
}

bool hasNote(const Built& built)
{
    for (const std::string& note : built.result.notes) {
        if (note == kNote) {
            return true;
        }
    }
    return false;
}

TEST(EnvironmentKeys, VariablesGiveOneRecordInTheOrderWritten)
{
    const struct {
        const char* lines;  // from line 3
        std::string record;
    } cases[] = {
        {"", "<none>"},
        {"[environment]\n", "<none>"},
        {R"([environment]
APP_HOME = "${launcher:sys.launcherDirectory}"
APP_MODE = "production"
PATH = { prepend = "${launcher:sys.launcherDirectory}\\native" }
APP_PLUGINS = { append = "${launcher:sys.launcherDirectory}\\plugins" }
JAVA_TOOL_OPTIONS = { remove = true }
)",
         R"(sAPP_HOME=${launcher:sys.launcherDirectory}|sAPP_MODE=production|)"
         R"(pPATH=${launcher:sys.launcherDirectory}\\native|aAPP_PLUGINS=${launcher:sys.launcherDirectory}\\plugins|)"
         R"(rJAVA_TOOL_OPTIONS=|)"},
        // Not in key order: as written, since an entry may build on one before it.
        {"[environment]\nZ = \"1\"\nA = \"${Z}2\"\nM = { append = \"${A}\" }\n", "sZ=1|sA=${Z}2|aM=${A}|"},
        {"[environment]\nPath = \"a\"\nPATH = { append = \"b\" }\n", "sPath=a|aPATH=b|"},
        {"[environment]\nEMPTY = \"\"\n", "sEMPTY=|"},
        {"[environment]\nB.prepend = \"x\"\nA = \"y\"\n", "pB=x|sA=y|"},
        {"[environment]\nA = \"y\"\n[environment.B]\nremove = true\n", "sA=y|rB=|"},
        {"[environment]\n\"My Var\" = \"line\\nnext\\\\\"\n\"\xC3\xA9t\xC3\xA9\" = \"\xE2\x82\xAC \xF0\x9F\x98\x80\"\n",
         "sMy Var=line\\nnext\\\\|s<233>t<233>=<8364> <55357><56832>|"},
        {"[environment]\nOPTS = \"-Da=b=c\"\n", "sOPTS=-Da=b=c|"},
    };
    for (const auto& c : cases) {
        Built built = build(serviceDescriptor(c.lines));
        ASSERT_TRUE(built.ok) << c.lines << packager::formatDiagnostic(built.errors.front());
        EXPECT_EQ(c.record, environmentRecord(built.result.block)) << c.lines;
        // The description stays the first wide record, as in every launcher before.
        ASSERT_FALSE(built.result.block.wide.empty());
        EXPECT_EQ(cfg::serviceDescription, built.result.block.wide[0].id);
        EXPECT_EQ(c.record != "<none>", hasNote(built)) << c.lines;
    }
}

TEST(EnvironmentKeys, WrongNamesAndFormsAreRefusedWithTheirPlace)
{
    const std::string forms = "a string, { prepend = \"...\" }, { append = \"...\" } or { remove = true }";
    const std::string longest(32767, 'x');
    std::string euros;
    for (int i = 0; i < 32768; ++i) {
        euros += "\xE2\x82\xAC";
    }
    const struct {
        std::string lines;  // in [environment], from line 4
        std::string error;
    } cases[] = {
        {"\"\" = \"x\"\n", "4:1: error: environment.\"\" is no variable name Windows takes: it is empty"},
        {"\"A=B\" = \"x\"\n", "4:1: error: environment.\"A=B\" is no variable name Windows takes: it holds '='"},
        {"\"=C:\" = \"C:\\\\\"\n", "4:1: error: environment.\"=C:\" is no variable name Windows takes: it holds '='"},
        {"\"A\\u0000B\" = \"x\"\n", "4:1: error: the key 'environment.A\\u0000B' holds a NUL character"},
        {"X = \"a\\u0000b\"\n",
         "4:5: error: environment.X holds a NUL character, which the launcher reads as the end of the text"},
        {"X = { prepend = \"\\u0000\" }\n",
         "4:17: error: environment.X.prepend holds a NUL character, which the launcher reads as the end of the text"},
        {"X = 1\n", "4:5: error: environment.X must be " + forms + ", not an integer"},
        {"X = [\"a\"]\n", "4:5: error: environment.X must be " + forms + ", not an array"},
        {"X = {}\n", "4:5: error: environment.X must be " + forms + ": one key, not 0"},
        {"X = { prepend = \"a\", append = \"b\" }\n", "4:5: error: environment.X must be " + forms + ": one key, not 2"},
        {"X = { set = \"a\" }\n", "4:7: error: unknown key 'environment.X.set'"},
        {"X = { prepend = 1 }\n", "4:17: error: environment.X.prepend must be a string, not an integer"},
        {"X = { append = true }\n", "4:16: error: environment.X.append must be a string, not a boolean"},
        {"X = { remove = false }\n",
         "4:16: error: environment.X.remove must be true; leave the variable out to keep it as it is"},
        {"X = { remove = \"yes\" }\n", "4:16: error: environment.X.remove must be true, not a string"},
        {"X = \"" + longest + "x\"\n", "4:5: error: environment.X has 32768 characters; a variable holds at most 32767"},
        {"X = { append = \"" + euros + "\" }\n",
         "4:16: error: environment.X has 32768 characters; a variable holds at most 32767"},
        {"JAVA_HOME = \"${launcher:sys.jvmHome}\"\n",
         "4:13: error: environment.JAVA_HOME refers to ${launcher:sys.jvmHome}, which is not known when the "
         "environment is set: the launcher chooses the Java runtime after it"},
        {"P = { prepend = \"%QUILL_JVM_HOME%\\\\bin\" }\n",
         "4:17: error: environment.P refers to %QUILL_JVM_HOME%, which is not known when the environment is set: the "
         "launcher chooses the Java runtime after it"},
    };
    for (const auto& c : cases) {
        expectTheOneError(serviceDescriptor("[environment]\n" + c.lines), c.error, c.lines.substr(0, 60));
    }
    expectTheOneError(std::string("environment = \"A=1\"\n") + kMinimal,
                      "1:15: error: environment must be a table, not a string", "not a table");
    // The longest value a variable holds is taken.
    Built longestValue = build(serviceDescriptor("[environment]\nX = \"" + longest + "\"\n"));
    EXPECT_TRUE(longestValue.ok);
}

TEST(RoundTrip, EnvironmentComesBackAsWrittenAndBuildsTheSameLauncher)
{
    const struct {
        const char* label;
        std::string section;  // as written, which is also how inspect writes it back
    } cases[] = {
        {"the four forms",
         "APP_HOME = \"${launcher:sys.launcherDirectory}\"\n"
         "APP_MODE = \"production\"\n"
         "PATH = { prepend = \"${launcher:sys.launcherDirectory}\\\\native\" }\n"
         "APP_PLUGINS = { append = \"${launcher:sys.launcherDirectory}\\\\plugins\" }\n"
         "JAVA_TOOL_OPTIONS = { remove = true }\n"},
        {"not in key order", "Z = \"1\"\nA = { append = \"${Z}\" }\nPath = \"x\"\nPATH = { remove = true }\n"},
        {"names that need quotes", "\"My Var\" = \"1\"\n\"a.b\" = \"2\"\n\"\xC3\xA9t\xC3\xA9\" = \"3\"\n\"x\\\"y\" = \"4\"\n"},
        {"hostile values",
         "A = \"\\\\\"\nB = \"line\\nnext\\r\\t\\u0001\"\nC = \"\\\"quoted\\\" \\\\n\"\nD = \"\"\n"
         "E = \"\xE2\x82\xAC \xF0\x9F\x98\x80\"\nF = \"a=b\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Built built = build(serviceDescriptor("[environment]\n" + c.section));
        ASSERT_TRUE(built.ok) << packager::formatDiagnostic(built.errors.front());
        packager::Description description;
        auto [first, second] = roundTrip(built.result.block, &description);
        EXPECT_TRUE(description.rebuildsIdentically) << description.descriptor;
        EXPECT_TRUE(description.notes.empty()) << description.notes.front();
        EXPECT_EQ(first, second) << description.descriptor;
        EXPECT_NE(std::string::npos, description.descriptor.find("\n[environment]\n" + c.section + "\n"))
            << description.descriptor;
    }
    // Without the section, inspect writes none.
    Built plain = build(serviceDescriptor(""));
    ASSERT_TRUE(plain.ok);
    packager::Description description;
    roundTrip(plain.result.block, &description);
    EXPECT_EQ(std::string::npos, description.descriptor.find("[environment]")) << description.descriptor;
}

// A launcher from elsewhere may hold an environment record that no descriptor gives:
// inspect leaves it out and says why, and the descriptor still builds.
TEST(RoundTrip, AnEnvironmentRecordNoDescriptorGivesIsLeftOutWithANote)
{
    const struct {
        std::u16string record;
        std::string why;
    } cases[] = {
        {u"xA=b\n", "entry 1 has no operation the launcher knows"},
        {u"sA=b", "entry 1 ends inside an entry"},
        {u"sA=1\naA=2\n", "it sets the variable \"A\" twice, which a descriptor cannot say"},
        {u"sA=" + std::u16string(1, char16_t(0xDC00)) + u"\n",
         "a variable's name or value holds an unpaired surrogate, which no descriptor can express"},
    };
    for (const auto& c : cases) {
        Built built = build(serviceDescriptor(""));
        ASSERT_TRUE(built.ok);
        ConfigBlock block = built.result.block;
        block.setWide(cfg::environmentVariables, c.record);
        packager::Description description;
        Bytes launcher = launcherBytes(block);
        packager::PackagedLauncher read;
        std::string error;
        ASSERT_TRUE(packager::readPackagedLauncher(launcher, &read, &error)) << error;
        description = packager::describeLauncher(read, {}, "demo.exe");
        EXPECT_TRUE(description.builds) << c.why;
        EXPECT_FALSE(description.rebuildsIdentically) << c.why;
        EXPECT_EQ(std::string::npos, description.descriptor.find("[environment]")) << description.descriptor;
        const std::string note = "record 30012 ([environment]) cannot be written as a descriptor: " + c.why +
                                 "; the descriptor leaves it out";
        bool found = false;
        for (const std::string& text : description.notes) {
            found = found || text == note;
        }
        EXPECT_TRUE(found) << note;
    }
}

// Through the command line: the note on standard error with the launcher written, and a
// refused name as the one error line with exit code 2 and nothing written.
TEST(EnvironmentKeys, BuildNotesThatTheValuesAreReadableAndRefusesWithExitCodeTwo)
{
    ScratchDirectory scratch;
    Bytes image = syntheticImage();
    std::string imagePath = scratch.file("image.exe", std::string(image.begin(), image.end()));
    std::string good = scratch.file("good.toml", std::string(kMinimal) + "[environment]\nAPP_MODE = \"production\"\n");
    std::string output = (scratch.path / "out.exe").string();
    PackagerRun built = runPackager("build " + good + " " + imagePath + " " + output + " --no-runtime-library");
    EXPECT_EQ(0, built.code) << built.err;
    EXPECT_EQ(std::string("packager: note: ") + kNote + "\n", built.err);
    EXPECT_TRUE(fs::exists(output));

    std::string bad = scratch.file("bad.toml", std::string(kMinimal) + "[environment]\n\"APP=MODE\" = \"production\"\n");
    std::string refused = (scratch.path / "refused.exe").string();
    PackagerRun run = runPackager("build " + bad + " " + imagePath + " " + refused + " --no-runtime-library");
    EXPECT_EQ(2, run.code);
    EXPECT_EQ(bad + ":7:1: error: environment.\"APP=MODE\" is no variable name Windows takes: it holds '='\n", run.err);
    EXPECT_FALSE(fs::exists(refused));
    EXPECT_FALSE(fs::exists(refused + ".partial"));
}

} // namespace
