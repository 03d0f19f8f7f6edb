// Descriptor errors: each at its line and column, every error of a descriptor in one line
// each, and values that work at run time but surprise, which build with a note.
#include "packager_test_support.h"

#include "format/record_ids.h"
#include "packaging/descriptor/build.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace packagertest;

TEST(DescriptorErrors, EachIsReportedAtItsLineAndColumn)
{
    const std::string head = "[service]\nname = \"Demo\"\n[application]\nmain_class = \"com.example.Main\"\n"
                             "class_path = [ { archive = \"app.jar\" } ]\n";
    struct Case {
        const char* what;
        std::string text;
        int line;
        int column;
        const char* message;
    } cases[] = {
        {"unknown key", head + "[java]\nmin_versoin = \"1.8\"\n", 7, 1, "unknown key 'java.min_versoin'"},
        {"unknown section", head + "[servise]\nname = \"x\"\n", 6, 2, "unknown key 'servise'"},
        {"wrong type", head + "[instance]\nsingle = \"yes\"\n", 7, 10, "instance.single must be true or false, not a string"},
        {"wrong type of a section", "java = 8\n" + head, 1, 8, "java must be a table, not an integer"},
        {"malformed version", head + "[java]\nmin_version = \"1.x\"\n", 7, 15, "is no Java version"},
        {"version with an empty component", head + "[java]\nmax_version = \"1..8\"\n", 7, 15, "is no Java version"},
        {"minimum above maximum", head + "[java]\nmin_version = \"11\"\nmax_version = \"1.8\"\n", 7, 15,
         "is above java.max_version"},
        {"unknown search entry type", head + "[java]\nsearch = [ { folder = \"jre\" } ]\n", 7, 14,
         "unknown search entry type 'folder'"},
        {"search flag not true", head + "[java]\nsearch = [ { registry = false } ]\n", 7, 25, "must be true"},
        {"unknown class path type", "[service]\nname = \"Demo\"\n[application]\nmain_class = \"a.B\"\n"
                                    "class_path = [ { jar = \"app.jar\" } ]\n", 5, 18, "unknown class path entry type 'jar'"},
        {"missing main class", "[service]\nname = \"Demo\"\n[application]\nclass_path = [ { archive = \"a.jar\" } ]\n",
         3, 1, "application.main_class is missing"},
        {"missing class path", "[service]\nname = \"Demo\"\n\n[application]\nmain_class = \"a.B\"\n", 4, 1,
         "application.class_path is missing"},
        {"empty class path", "[service]\nname = \"Demo\"\n[application]\nmain_class = \"a.B\"\nclass_path = []\n", 5, 14,
         "must have at least one entry"},
        {"missing application", "[service]\nname = \"Demo\"\n", 1, 1, "application.main_class is missing"},
        {"missing service name", "[application]\nmain_class = \"a.B\"\nclass_path = [ { scan = \"lib\" } ]\n", 1, 1,
         "service.name is missing"},
        {"bad main class", "[service]\nname = \"Demo\"\n[application]\nmain_class = \"com..Main\"\n"
                           "class_path = [ { archive = \"a.jar\" } ]\n", 4, 14, "is no Java class name"},
        {"missing included file", head + "[[files]]\nsource = \"nowhere/missing.jar\"\n", 7, 10,
         "included file nowhere/missing.jar does not exist"},
        {"included file name too deep", head + "[[files]]\nsource = \"service.toml\"\nname = \"a\\\\b\\\\c.txt\"\n", 8, 8,
         "at most one directory"},
        {"locale code", head + "[service.description_translations]\ngerman = \"x\"\n", 7, 1, "is no locale code"},
        {"text beyond ISO-8859-1", head + "[messages]\ncaption = \"\xE2\x82\xAC\"\n", 7, 11, "ISO-8859-1"},
        {"both quotes in an option", head + "[vm]\noptions = [\"-Da='\\\" b\"]\n", 7, 12, "both kinds of quote"},
        {"unknown language", head + "[messages]\nlanguage = \"it\"\n", 7, 12, "must be \"en\", \"de\" or \"fr\""},
        {"automatic start of a gui launcher", "[service]\nname = \"Demo\"\nstart = \"auto\"\n[application]\n"
                                              "main_class = \"a.B\"\nclass_path = [ { scan = \"lib\" } ]\n[launcher]\n"
                                              "kind = \"gui\"\n", 3, 9, "needs launcher.kind \"service\""},
        {"syntax", "[service\nname = \"Demo\"\n", 1, 9, "expected ']'"},
        // A NUL ends a text for the launcher: refused in every text, alone, at its place.
        {"NUL in a text", "[service]\nname = \"De\\u0000mo\"\n[application]\nmain_class = \"a.B\"\n"
                          "class_path = [ { archive = \"a.jar\" } ]\n", 2, 8,
         "service.name holds a NUL character, which the launcher reads as the end of the text"},
        {"NUL in the description", "[service]\nname = \"Demo\"\ndescription = \"a\\u0000\"\n[application]\n"
                                   "main_class = \"a.B\"\nclass_path = [ { archive = \"a.jar\" } ]\n", 3, 15,
         "service.description holds a NUL character"},
        {"NUL in a translation", head + "[service.description_translations]\nde = \"\\u0000\"\n", 7, 6,
         "service.description_translations.de holds a NUL character"},
        {"NUL in a class name", "[service]\nname = \"Demo\"\n[application]\nmain_class = \"a.\\u0000B\"\n"
                                "class_path = [ { archive = \"a.jar\" } ]\n", 4, 14,
         "application.main_class holds a NUL character"},
        {"NUL in a class path entry", "[service]\nname = \"Demo\"\n[application]\nmain_class = \"a.B\"\n"
                                      "class_path = [ { archive = \"a\\u0000.jar\" } ]\n", 5, 28,
         "application.class_path[0].archive holds a NUL character"},
        {"NUL in an option", head + "[vm]\noptions = [\"-Dx\", \"-Da\\u0000\"]\n", 7, 19,
         "vm.options[1] holds a NUL character"},
        {"NUL in a choice", head + "[launcher]\nkind = \"gui\\u0000\"\n", 7, 8, "launcher.kind holds a NUL character"},
        {"NUL in a message", head + "[messages]\ncaption = \"\\u0000\"\n", 7, 11,
         "messages.caption holds a NUL character"},
        {"NUL in a record", head + "[records]\n141 = \"a\\u0000\"\n", 7, 7, "records.141 holds a NUL character"},
        {"NUL in an included file's source", head + "[[files]]\nsource = \"service.toml\\u0000.jar\"\n", 7, 10,
         "files[0].source holds a NUL character"},
        {"NUL in a key", head + "[instance]\n\"sin\\u0000gle\" = true\n", 7, 1,
         "the key 'instance.sin\\u0000gle' holds a NUL character"},
        // What would only fail at /install or when the application starts.
        {"slash in the service name", "[service]\nname = \"a/b\"\n[application]\nmain_class = \"a.B\"\n"
                                      "class_path = [ { archive = \"a.jar\" } ]\n", 2, 8,
         "service.name \"a/b\" holds '/' or '\\', which the service manager does not accept"},
        {"backslash in the service name", "[service]\nname = 'a\\b'\n[application]\nmain_class = \"a.B\"\n"
                                          "class_path = [ { archive = \"a.jar\" } ]\n", 2, 8, "holds '/' or '\\'"},
        {"service name too long", "[service]\nname = \"" + std::string(257, 'n') + "\"\n[application]\n"
                                  "main_class = \"a.B\"\nclass_path = [ { archive = \"a.jar\" } ]\n", 2, 8,
         "service.name has 257 characters; the service manager accepts at most 256"},
        {"empty search", head + "[java]\nsearch = []\n", 7, 10, "java.search must have at least one entry"},
        {"VM option without its dash", head + "[vm]\noptions = [\"-Xmx32m\", \"Dfoo=bar\"]\n", 7, 23,
         "vm.options \"Dfoo=bar\" does not begin with '-': the Java VM would refuse it"},
        {"VM option without its dash in a text", head + "[vm]\noptions = \"-Xmx32m Xss1m\"\n", 7, 11,
         "vm.options \"Xss1m\" does not begin with '-'"},
        {"environment variable in an output file", head + "[output]\nstdout = \"${TEMP}/echo-out.log\"\n", 7, 10,
         "output.stdout refers to ${TEMP}, which nothing resolves when the application starts"},
        {"unknown variable in an output file", head + "[output]\nstderr = \"${installer:app.dir}\\\\e.log\"\n", 7, 10,
         "use ${launcher:sys.programData} (the machine's application-data folder"},
        {"unclosed variable in an output file", head + "[output]\nstderr = \"${launcher:sys.tempDir\"\n", 7, 10,
         "has the reference \"${launcher:sys.tempDir\" without its closing '}'"},
    };
    ScratchDirectory scratch;
    std::string descriptor = scratch.file("service.toml", "");
    for (const Case& c : cases) {
        Built built = build(c.text, descriptor);
        EXPECT_FALSE(built.ok) << c.what;
        ASSERT_FALSE(built.errors.empty()) << c.what;
        const packager::Diagnostic& error = built.errors.front();
        if (std::string(c.what) != "missing application") {
            EXPECT_EQ(built.errors.size(), 1u) << c.what << ": " << packager::formatDiagnostic(built.errors.back());
        }
        EXPECT_EQ(error.file, descriptor) << c.what;
        EXPECT_EQ(error.line, c.line) << c.what << ": " << error.message;
        EXPECT_EQ(error.column, c.column) << c.what << ": " << error.message;
        EXPECT_NE(error.message.find(c.message), std::string::npos) << c.what << ": " << error.message;
    }
}

TEST(DescriptorErrors, AllErrorsOfOneDescriptorAreReportedInOneLineEach)
{
    Built built = build("[service]\nname = 5\nnmae = \"x\"\n[application]\nmain_class = \"a.B\"\n"
                        "class_path = [ { archive = \"a.jar\" } ]\n[java]\nmin_version = \"eight\"\n");
    ASSERT_EQ(built.errors.size(), 3u);
    for (const packager::Diagnostic& error : built.errors) {
        std::string line = packager::formatDiagnostic(error);
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        EXPECT_EQ(line.rfind("service.toml:", 0), 0u) << line;
    }
    EXPECT_EQ(packager::formatDiagnostic(built.errors[0]), "service.toml:3:1: error: unknown key 'service.nmae'");
    // A value quoted in a message keeps its error on one line.
    Built quoted = build("[service]\nname = \"x\"\n[application]\nmain_class = \"a\\nb\\u0001\"\n"
                         "class_path = [ { archive = \"a.jar\" } ]\n");
    ASSERT_EQ(quoted.errors.size(), 1u);
    EXPECT_EQ(packager::formatDiagnostic(quoted.errors[0]),
              "service.toml:4:14: error: application.main_class \"a\\nb\\x01\" is no Java class name (such as "
              "\"com.example.Main\")");
    // Long values are cut, long keys too; each message stays one short line.
    const std::string huge(10485760, 'A');
    const struct {
        std::string descriptor;
        std::string line;
    } cases[] = {
        {"[service]\nname = \"x\"\nstart = \"x\\ny\"\n",
         "service.toml:3:9: error: service.start must be one of \"auto\", \"demand\", \"delayed\", "
         "\"disabled\", not \"x\\ny\""},
        {"[service]\nname = \"x\"\nstart = \"" + huge + "\"\n",
         "service.toml:3:9: error: service.start must be one of \"auto\", \"demand\", \"delayed\", \"disabled\", not \"" +
             std::string(40, 'A') + "\u2026\" (10485760 characters)"},
        {"[service]\nname = \"x\"\nstart = \"\u00e9\\u0001" + std::string(100, 'b') + "\"\n",
         "service.toml:3:9: error: service.start must be one of \"auto\", \"demand\", \"delayed\", \"disabled\", not \"\u00e9\\x01" +
             std::string(38, 'b') + "\u2026\" (102 characters)"},
    };
    for (const auto& c : cases) {
        Built built = build(c.descriptor + "[application]\nmain_class = \"a.B\"\nclass_path = [ { archive = \"a.jar\" } ]\n");
        ASSERT_FALSE(built.errors.empty());
        EXPECT_EQ(packager::formatDiagnostic(built.errors.front()), c.line);
    }
    Built longKey = build("[service]\nname = \"x\"\n" + std::string(5000, 'k') + " = 1\n[application]\n");
    ASSERT_FALSE(longKey.errors.empty());
    std::string line = packager::formatDiagnostic(longKey.errors.front());
    EXPECT_LT(line.size(), 1100u);
    EXPECT_NE(line.find("\u2026 (5022 bytes)"), std::string::npos) << line.substr(0, 80) << line.substr(1000);
    packager::Diagnostic controls{"f", 1, 1, std::string("a\0b\x1B\r\t", 6)};
    EXPECT_EQ(packager::formatDiagnostic(controls), "f:1:1: error: a\\0b\\x1B\\r\\t");
}

TEST(DescriptorChecks, ValuesThatWorkAtRunTimeBuildAndSurprisesGetANote)
{
    const std::string head = "[service]\nname = \"" + std::string(256, 'n') + "\"\n[application]\n"
                             "main_class = \"a.B\"\nclass_path = [ { archive = \"a.jar\" } ]\n";
    auto notesAbout = [](const Built& built, const std::string& part) {
        std::vector<std::string> found;
        for (const std::string& note : built.result.notes) {
            if (note.find(part) != std::string::npos) found.push_back(note);
        }
        return found;
    };
    const struct {
        const char* what;
        std::string text;
        std::string notePart;  // empty: no note about the search or the options
        std::string note;
    } cases[] = {
        {"variables that are resolved",
         head + "[output]\nstdout = \"${launcher:sys.launcherDirectory}\\\\o.log\"\n"
                "stderr = \"${launcher:sys.jvmHome}/e.log\"\n", "", ""},
        {"a file after -include-options, a variable for an option",
         head + "[vm]\noptions = [\"-include-options\", \"more.vmoptions\", \"${OPTS}\"]\n", "", ""},
        {"one option as a text", head + "[vm]\noptions = \"-Xmx32m\"\n", "", ""},
        {"several options as one text", head + "[vm]\noptions = \"-Xmx32m -Dfoo=bar\"\n", "vm.options",
         "vm.options is one text, which the launcher splits at blanks into 2 options; an array of strings, one per "
         "option, says where each begins"},
        {"a range with the default search", head + "[java]\nmin_version = \"11\"\n", "java.search",
         "when no runtime of Java 11 or later is found, the launcher takes one from the java.search directory "
         "entries (\"..\\jre\") whatever its version, as a runtime shipped with the application is better than none"},
        {"a range, strict", head + "[java]\nmin_version = \"11\"\nstrict_version = true\n", "", ""},
        {"a range and directories", head + "[java]\nmin_version = \"11\"\nmax_version = \"17\"\nsearch = [ { directory = "
                                           "\"jre\" }, { installed = true }, { directory = \"rt\", fallback = "
                                           "\"relative-only\" } ]\n",
         "java.search", "when no runtime of Java 11 to 17 is found, the launcher takes one from the java.search "
                        "directory entries (\"jre\", \"rt\") whatever its version"},
        {"no range of its own", head + "[java]\nsearch = [ { directory = \"jre\" } ]\n", "", ""},
        {"the default range given", head + "[java]\nmin_version = \"1.8\"\nsearch = [ { directory = \"jre\" } ]\n",
         "", ""},
        {"a range without directories", head + "[java]\nmax_version = \"17\"\nsearch = [ { installed = true } ]\n",
         "", ""},
    };
    for (const auto& c : cases) {
        Built built = build(c.text);
        ASSERT_TRUE(built.ok) << c.what << ": " << (built.errors.empty() ? "" : built.errors[0].message);
        std::vector<std::string> notes = notesAbout(built, "java.search");
        std::vector<std::string> options = notesAbout(built, "vm.options");
        notes.insert(notes.end(), options.begin(), options.end());
        if (c.notePart.empty()) {
            EXPECT_TRUE(notes.empty()) << c.what << ": " << notes.front();
        } else {
            ASSERT_EQ(notes.size(), 1u) << c.what;
            EXPECT_EQ(notes[0].substr(0, c.note.size()), c.note) << c.what;
        }
    }
}

} // namespace
