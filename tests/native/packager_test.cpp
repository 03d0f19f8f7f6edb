// The packager on the build machine: descriptor errors with their positions, the key
// table and its reference, the defaults of a minimal descriptor, message languages,
// locale groups, included files, and the round trip build -> inspect -> build, byte for
// byte; the command line last.
#include "format/record_ids.h"
#include "packaging/descriptor/build.h"
#include "packaging/descriptor/draft.h"
#include "packaging/descriptor/keys.h"
#include "packaging/descriptor/text.h"
#include "packaging/descriptor/values.h"
#include "packaging/descriptor/writer.h"
#include "packaging/example/example_config.h"
#include "packaging/descriptor/key_reference.h"
#include "packaging/launcher/writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using blockformat::ConfigBlock;
using Bytes = std::vector<uint8_t>;

const char kMinimal[] = R"toml([service]
name = "Demo"
[application]
main_class = "com.example.Main"
class_path = [ { archive = "app.jar" } ]
)toml";

void putInt(Bytes& out, size_t at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// A PE32+ image of three sections whose last one ends the file.
Bytes syntheticImage()
{
    Bytes image(0xC00, 0xCC);
    std::fill(image.begin(), image.begin() + 0x400, 0);
    image[0] = 'M';
    image[1] = 'Z';
    putInt(image, 60, 0x80, 4);
    putInt(image, 0x80, 0x00004550u, 4);
    putInt(image, 0x86, 3, 2);
    putInt(image, 0x94, 240, 2);
    const uint32_t sections[3][2] = {{0x400, 0x200}, {0x600, 0x400}, {0xA00, 0x200}};
    for (size_t i = 0; i < 3; ++i) {
        size_t entry = 0x80 + 24 + 240 + 40 * i;
        putInt(image, entry + 16, sections[i][1], 4);
        putInt(image, entry + 20, sections[i][0], 4);
    }
    return image;
}

// A scratch directory of the test's own, removed with the object.
struct ScratchDirectory {
    fs::path path;
    ScratchDirectory()
    {
        path = fs::temp_directory_path() /
               ("packager_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~ScratchDirectory() { fs::remove_all(path); }
    std::string file(const std::string& name, const std::string& content) const
    {
        fs::path target = path / name;
        fs::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary) << content;
        return target.string();
    }
};

struct Built {
    bool ok = false;
    packager::BuildResult result;
    std::vector<packager::Diagnostic> errors;
};

Built build(const std::string& text, const std::string& path = "service.toml", const std::string& runtime = "")
{
    Built built;
    packager::BuildSettings settings;
    settings.runtimeLibrary = runtime;
    built.ok = packager::buildFromDescriptor(text, path, settings, &built.result, &built.errors);
    return built;
}

const std::string* narrow(const ConfigBlock& block, int32_t id)
{
    for (const blockformat::NarrowRecord& record : block.narrow) {
        if (record.id == id) {
            return &record.value;
        }
    }
    return nullptr;
}

std::string value(const ConfigBlock& block, int32_t id)
{
    const std::string* found = narrow(block, id);
    return found == nullptr ? "<absent>" : *found;
}

Bytes launcherBytes(const ConfigBlock& block)
{
    Bytes launcher;
    std::string error;
    EXPECT_TRUE(blockformat::packageImage(syntheticImage(), block, &launcher, &error)) << error;
    return launcher;
}

// Packages the block, inspects the launcher and builds the description again: the bytes
// of both launchers.
std::pair<Bytes, Bytes> roundTrip(const ConfigBlock& block, packager::Description* description)
{
    Bytes first = launcherBytes(block);
    packager::PackagedLauncher read;
    std::string error;
    EXPECT_TRUE(packager::readPackagedLauncher(first, &read, &error)) << error;
    *description = packager::describeLauncher(read, {}, "demo.exe");
    std::map<std::string, Bytes> contents;
    for (size_t i = 0; i < read.fileNames.size(); ++i) {
        std::string source = read.fileNames[i];
        for (char& c : source) {
            c = c == '\\' ? '/' : c;
        }
        contents[source] = read.block.includedContents[i];
    }
    packager::BuildSettings settings;
    settings.fileContents = &contents;
    packager::BuildResult again;
    std::vector<packager::Diagnostic> errors;
    bool ok = packager::buildFromDescriptor(description->descriptor, "again.toml", settings, &again, &errors);
    EXPECT_TRUE(ok) << (errors.empty() ? "" : packager::formatDiagnostic(errors.front())) << "\n"
                    << description->descriptor;
    return {first, ok ? launcherBytes(again.block) : Bytes()};
}

// --- errors ------------------------------------------------------------------------------

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
         "use ${launcher:sys.launcherDirectory}, ${launcher:sys.launcherTempDirectory} or ${launcher:sys.jvmHome}, "
         "or a path relative to the executable's directory"},
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

// --- the key table ----------------------------------------------------------------------

TEST(KeyTable, EveryRecordHasOneDefaultAndEveryDefaultWritesBack)
{
    // Two defaults would disagree. A record without a default is left out unless a key
    // sets it, so some key must; these are the ones a launcher may find absent.
    std::set<int32_t> withoutDefault;
    for (int32_t id : packager::narrowRecordOrder()) {
        int defaults = 0;
        int setters = 0;
        for (const packager::DescriptorKey& key : packager::descriptorKeys()) {
            defaults += key.record == id && key.defaultValue != nullptr;
            setters += key.record == id || (key.kind == packager::KeyKind::choice && key.linked == id);
        }
        EXPECT_LE(defaults, 1) << "record " << id;
        EXPECT_GE(setters, 1) << "record " << id;
        if (defaults == 0) {
            withoutDefault.insert(id);
        }
    }
    EXPECT_EQ(withoutDefault, (std::set<int32_t>{cfg::serviceStartMode, cfg::serviceRecovery}));
    std::set<std::string> sections;
    for (const packager::DescriptorSection& section : packager::descriptorSections()) {
        sections.insert(section.name);
    }
    std::set<std::string> names;
    for (const packager::DescriptorKey& key : packager::descriptorKeys()) {
        const std::string name = packager::keyPath(key);
        EXPECT_TRUE(names.insert(name).second) << name << " twice";
        EXPECT_EQ(sections.count(key.section), 1u) << name;
        EXPECT_TRUE(key.record == 0 || cfg::findRecord(key.record) != nullptr) << name;
        if (key.code != packager::KeyCode::own && key.defaultValue != nullptr && key.required == nullptr) {
            EXPECT_TRUE(packager::decodeValue(key, key.defaultValue).has_value()) << name;
        }
    }
}

TEST(KeyTable, DocsDescriptorMdIsTheReferenceTheTableGives)
{
    std::ifstream in(DESCRIPTOR_REFERENCE, std::ios::binary);
    ASSERT_TRUE(in) << DESCRIPTOR_REFERENCE << " is missing";
    std::string committed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string generated = packager::keyReference();
    if (committed == generated) {
        return;
    }
    std::istringstream a(committed);
    std::istringstream b(generated);
    std::string left;
    std::string right;
    int line = 1;
    while (std::getline(a, left) && std::getline(b, right) && left == right) {
        ++line;
    }
    ADD_FAILURE() << "docs/descriptor.md differs from the key table from line " << line << " on:\n  committed: "
                  << left << "\n  the table: " << right
                  << "\nRegenerate it with a native build's packager: "
                     "build/native/src/packaging/packager keys > docs/descriptor.md";
}

// --- defaults and values ------------------------------------------------------------------

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

// --- the service wrapper's keys -------------------------------------------------------------

// A descriptor with `lines` from its third line on, in [service] unless they open another
// section.
std::string serviceDescriptor(const std::string& lines)
{
    return "[service]\nname = \"Demo\"\n" + lines +
           "[application]\nmain_class = \"a.B\"\nclass_path = [ { scan = \"lib\" } ]\n";
}

// The descriptor does not build, with exactly the one error "service.toml:<error>".
void expectTheOneError(const std::string& descriptor, const std::string& error, const std::string& label)
{
    Built built = build(descriptor);
    EXPECT_FALSE(built.ok) << label;
    ASSERT_EQ(built.errors.size(), 1u)
        << label << (built.errors.empty() ? "" : packager::formatDiagnostic(built.errors.back()));
    EXPECT_EQ(packager::formatDiagnostic(built.errors[0]), "service.toml:" + error) << label;
}

std::vector<std::pair<int32_t, std::string>> narrowRecords(const ConfigBlock& block)
{
    std::vector<std::pair<int32_t, std::string>> records;
    for (const blockformat::NarrowRecord& record : block.narrow) {
        records.emplace_back(record.id, record.value);
    }
    return records;
}

TEST(ServiceKeys, EachValueGivesItsRecordsAndNoOthers)
{
    const std::map<int32_t, std::string> defaults = {
        {107, "4"}, {30000, "30"}, {30001, "0"}, {30002, "1"}, {30003, "60"}, {30004, "300"}, {30005, "5"},
        {30006, "<absent>"}, {30007, "LocalSystem"}, {30008, "<absent>"}, {30009, "1"},
    };
    const struct {
        const char* lines;
        std::map<int32_t, std::string> records;  // the others keep their defaults
    } cases[] = {
        {"", {}},
        {"stop_timeout = 0\n", {{30000, "0"}}},
        {"stop_timeout = 86400\n", {{30000, "86400"}}},
        {"restart = \"never\"\n", {{30001, "0"}}},
        {"restart = \"on-failure\"\n", {{30001, "1"}}},
        {"restart = \"always\"\n", {{30001, "2"}}},
        {"restart_delay = 0\nrestart_delay_max = 0\n", {{30002, "0"}, {30003, "0"}}},
        {"restart_delay = 86400\nrestart_delay_max = 86400\n", {{30002, "86400"}, {30003, "86400"}}},
        {"restart_delay = 60\n", {{30002, "60"}}},
        {"restart_reset = 0\n", {{30004, "0"}}},
        {"restart_reset = 864000\n", {{30004, "864000"}}},
        {"restart_limit = 0\n", {{30005, "0"}}},
        {"restart_limit = 1000\n", {{30005, "1000"}}},
        {"start = \"auto\"\n", {}},
        {"start = \"demand\"\n", {{107, "0"}}},
        {"start = \"delayed\"\n", {{30006, "delayed"}}},
        {"start = \"disabled\"\n", {{30006, "disabled"}}},
        {"start = \"delayed\"\n[launcher]\nkind = \"service\"\n", {{30006, "delayed"}}},
        {"start = \"demand\"\n[launcher]\nkind = \"gui\"\n", {{107, "1"}}},
        {"account = \"LocalSystem\"\n", {}},
        {"account = \"LocalService\"\n", {{30007, "LocalService"}}},
        {"account = \"NetworkService\"\n", {{30007, "NetworkService"}}},
        {"account = \"virtual\"\n", {{30007, "virtual"}}},
        {"account = \"CORP\\\\svc-app$\"\n", {{30007, "CORP\\svc-app$"}}},
        {"account = \"CORP\\\\Jane Doe\"\n", {{30007, "CORP\\Jane Doe"}}},
        {"account = \".\\\\jane\"\n", {{30007, ".\\jane"}}},
        {"account = \"corp.example.com\\\\j\\u00f6rg\"\n", {{30007, "corp.example.com\\j\xF6rg"}}},
        {"recovery = {}\n", {{30008, "60;86400;0"}}},
        {"recovery = { restart_after = 0 }\n", {{30008, "0;86400;0"}}},
        {"recovery = { non_crash_failures = true }\n", {{30008, "60;86400;1"}}},
        {"recovery = { restart_after = 86400, reset_after = 31536000, non_crash_failures = false }\n",
         {{30008, "86400;31536000;0"}}},
        {"[service.recovery]\nreset_after = 0\n", {{30008, "60;0;0"}}},
        {"event_log = false\n", {{30009, "0"}}},
        {"event_log = true\n", {}},
    };
    for (const auto& c : cases) {
        std::string text = serviceDescriptor(c.lines);
        Built built = build(text);
        ASSERT_TRUE(built.ok) << text << packager::formatDiagnostic(built.errors.front());
        for (auto [id, expected] : defaults) {
            auto given = c.records.find(id);
            EXPECT_EQ(value(built.result.block, id), given != c.records.end() ? given->second : expected)
                << c.lines << "record " << id;
        }
    }
}

TEST(ServiceKeys, WrongValuesAreRefusedWithTheirPlace)
{
    const std::string forms = "; give \"LocalSystem\", \"LocalService\", \"NetworkService\", \"virtual\", a group "
                              "managed service account \"DOMAIN\\name$\" or a user \"DOMAIN\\user\" (\".\\user\" "
                              "for a local one) or \"user@domain\"";
    const struct {
        const char* lines;  // from line 3
        std::string error;  // the one error line
    } cases[] = {
        {"stop_timeout = \"30\"\n", "3:16: error: service.stop_timeout must be an integer, not a string"},
        {"stop_timeout = 1.5\n", "3:16: error: service.stop_timeout must be an integer, not a number"},
        {"stop_timeout = -1\n", "3:16: error: service.stop_timeout must be between 0 and 86400, not -1"},
        {"stop_timeout = 86401\n", "3:16: error: service.stop_timeout must be between 0 and 86400, not 86401"},
        {"stop_timeout = 4294967326\n",
         "3:16: error: service.stop_timeout must be between 0 and 86400, not 4294967326"},
        {"restart_delay = 86401\n", "3:17: error: service.restart_delay must be between 0 and 86400, not 86401"},
        {"restart_delay_max = -5\n", "3:21: error: service.restart_delay_max must be between 0 and 86400, not -5"},
        {"restart_reset = 864001\n",
         "3:17: error: service.restart_reset must be between 0 and 864000, not 864001"},
        {"restart_limit = 1001\n", "3:17: error: service.restart_limit must be between 0 and 1000, not 1001"},
        {"restart = \"sometimes\"\n",
         "3:11: error: service.restart must be one of \"never\", \"on-failure\", \"always\", not \"sometimes\""},
        {"restart = true\n", "3:11: error: service.restart must be a string, not a boolean"},
        {"start = \"manual\"\n",
         "3:9: error: service.start must be one of \"auto\", \"demand\", \"delayed\", \"disabled\", not \"manual\""},
        {"restart_delay = 10\nrestart_delay_max = 5\n",
         "4:21: error: service.restart_delay_max 5 is below service.restart_delay 10: the longest delay before a "
         "restart cannot be shorter than the first"},
        {"restart_delay = 86401\nrestart_delay_max = 0\n",
         "3:17: error: service.restart_delay must be between 0 and 86400, not 86401"},
        {"restart_delay = 61\n",
         "3:17: error: service.restart_delay_max 60 is below service.restart_delay 61: the longest delay before a "
         "restart cannot be shorter than the first"},
        {"event_log = \"yes\"\n", "3:13: error: service.event_log must be true or false, not a string"},
        {"recovery = 60\n",
         "3:12: error: service.recovery must be a table such as { restart_after = 60 }, not an integer"},
        {"recovery = { restart = 60 }\n", "3:14: error: unknown key 'service.recovery.restart'"},
        {"recovery = { restart_after = 86401 }\n",
         "3:30: error: service.recovery.restart_after must be between 0 and 86400, not 86401"},
        {"recovery = { restart_after = \"60\" }\n",
         "3:30: error: service.recovery.restart_after must be an integer, not a string"},
        {"recovery = { reset_after = 31536001 }\n",
         "3:28: error: service.recovery.reset_after must be between 0 and 31536000, not 31536001"},
        {"recovery = { non_crash_failures = 1 }\n",
         "3:35: error: service.recovery.non_crash_failures must be true or false, not an integer"},
        {"[service.recovery]\nrestart_after = -1\n",
         "4:17: error: service.recovery.restart_after must be between 0 and 86400, not -1"},
        {"start = \"delayed\"\n[launcher]\nkind = \"gui\"\n",
         "3:9: error: service.start \"delayed\" needs launcher.kind \"service\" (the launcher installs other kinds "
         "with demand start)"},
        {"start = \"disabled\"\n[launcher]\nkind = \"message-boxes\"\n",
         "3:9: error: service.start \"disabled\" needs launcher.kind \"service\" (the launcher installs other kinds "
         "with demand start)"},
        {"account = 5\n", "3:11: error: service.account must be a string, not an integer"},
        {"account = \"\"\n", "3:11: error: service.account \"\" is empty" + forms},
        {"account = \" LocalSystem\"\n",
         "3:11: error: service.account \" LocalSystem\" begins or ends with a blank" + forms},
        {"account = \"CORP\\\\jane \"\n",
         "3:11: error: service.account \"CORP\\jane \" begins or ends with a blank" + forms},
        {"account = \"jane\"\n",
         "3:11: error: service.account \"jane\" is no built-in account and names no domain" + forms},
        {"account = \"CORP\\\\jane@x\"\n",
         "3:11: error: service.account \"CORP\\jane@x\" holds a character no account name may hold (one of "
         "\"/[]:;|=,+*?<>@)" + forms},
        {"account = \"NT AUTHORITY\\\\SYSTEM\"\n",
         "3:11: error: service.account \"NT AUTHORITY\\SYSTEM\" names LocalSystem in a form the service manager does "
         "not take (use \"LocalSystem\")" + forms},
        {"account = \"CORP\\\\a\\\\b\"\n", "3:11: error: service.account \"CORP\\a\\b\" has more than one '\\'" + forms},
        {"account = \"\\\\jane\"\n", "3:11: error: service.account \"\\jane\" has an empty domain or user name" + forms},
        {"account = \"CORP\\\\\"\n", "3:11: error: service.account \"CORP\\\" has an empty domain or user name" + forms},
        {"account = \"CORP\\\\$\"\n",
         "3:11: error: service.account \"CORP\\$\" has an empty domain or user name" + forms},
        {"account = \"CORP \\\\jane\"\n",
         "3:11: error: service.account \"CORP \\jane\" has a blank beside its '\\'" + forms},
        {"account = \"CORP\\\\ja\\tne\"\n",
         "3:11: error: service.account \"CORP\\ja\\tne\" holds a control character" + forms},
        {"account = \"CORP\\\\ja:ne\"\n",
         "3:11: error: service.account \"CORP\\ja:ne\" holds a character no account name may hold (one of "
         "\"/[]:;|=,+*?<>@)" + forms},
        {"account = \"CORP\\\\\\u20acuro\"\n",
         "3:11: error: service.account holds a character the launcher cannot show (only ISO-8859-1 text is "
         "possible)"},
    };
    for (const auto& c : cases) {
        expectTheOneError(serviceDescriptor(c.lines), c.error, c.lines);
    }
}

// Inspect of a launcher shows each value under its key, and its build gives the launcher
// again byte for byte.
TEST(RoundTrip, EveryServiceKeyComesBackAsItsKey)
{
    const struct {
        const char* lines;
        std::vector<std::string> inspected;  // lines of the inspected descriptor
    } cases[] = {
        {"start = \"delayed\"\nstop_timeout = 0\nrestart = \"on-failure\"\nrestart_delay = 5\nrestart_delay_max = 600\n"
         "restart_reset = 3600\nrestart_limit = 0\naccount = \"CORP\\\\svc$\"\n"
         "recovery = { restart_after = 120, reset_after = 3600, non_crash_failures = true }\nevent_log = false\n",
         {"start = \"delayed\"", "stop_timeout = 0", "restart = \"on-failure\"", "restart_delay = 5",
          "restart_delay_max = 600", "restart_reset = 3600", "restart_limit = 0", "account = \"CORP\\\\svc$\"",
          "recovery = { restart_after = 120, reset_after = 3600, non_crash_failures = true }", "event_log = false"}},
        {"start = \"disabled\"\nrestart = \"always\"\naccount = \".\\\\jane\"\nrecovery = {}\n",
         {"start = \"disabled\"", "restart = \"always\"", "account = \".\\\\jane\"",
          "recovery = { restart_after = 60, reset_after = 86400, non_crash_failures = false }",
          "stop_timeout = 30", "event_log = true"}},
        {"start = \"demand\"\naccount = \"virtual\"\n[launcher]\nkind = \"service\"\n",
         {"start = \"demand\"", "kind = \"service\"", "account = \"virtual\"", "restart = \"never\""}},
        {"start = \"auto\"\naccount = \"NetworkService\"\n", {"start = \"auto\"", "account = \"NetworkService\""}},
    };
    for (const auto& c : cases) {
        Built built = build(serviceDescriptor(c.lines));
        ASSERT_TRUE(built.ok) << c.lines << packager::formatDiagnostic(built.errors.front());
        packager::Description description;
        auto [first, second] = roundTrip(built.result.block, &description);
        EXPECT_TRUE(description.rebuildsIdentically) << description.descriptor;
        EXPECT_TRUE(description.notes.empty()) << description.notes.front();
        EXPECT_EQ(first, second) << description.descriptor;
        for (const std::string& line : c.inspected) {
            EXPECT_NE(description.descriptor.find("\n" + line + "\n"), std::string::npos)
                << line << "\n" << description.descriptor;
        }
        EXPECT_EQ(description.descriptor.find("[records]"), std::string::npos) << description.descriptor;
        // No key, no record: the inspected descriptor names neither.
        bool recovery = std::string(c.lines).find("recovery") != std::string::npos;
        EXPECT_EQ(description.descriptor.find("\nrecovery = ") != std::string::npos, recovery) << c.lines;
    }
}

TEST(RoundTrip, ServiceRecordsNoKeyCanExpressStayRecords)
{
    const struct {
        const char* lines;
        std::vector<std::string> inspected;
    } cases[] = {
        {"[records]\n30006 = \"later\"\n", {"start = \"auto\"", "\"30006\" = \"later\""}},
        {"start = \"demand\"\n[records]\n30006 = \"delayed\"\n", {"start = \"demand\"", "\"30006\" = \"delayed\""}},
        {"[records]\n30006 = \"\"\n", {"start = \"auto\"", "\"30006\" = \"\""}},
        {"[records]\n30000 = \"90000\"\n", {"\"30000\" = \"90000\""}},
        {"[records]\n30000 = \"030\"\n", {"\"30000\" = \"030\""}},
        {"[records]\n30001 = \"3\"\n", {"\"30001\" = \"3\""}},
        {"[records]\n30007 = \"jane\"\n", {"\"30007\" = \"jane\""}},
        {"[records]\n30008 = \"60;86400\"\n", {"\"30008\" = \"60;86400\""}},
        {"[records]\n30008 = \"60;86400;2\"\n", {"\"30008\" = \"60;86400;2\""}},
        {"[records]\n30008 = \"60;86400;1;\"\n", {"\"30008\" = \"60;86400;1;\""}},
        {"[records]\n30008 = \"60;;1\"\n", {"\"30008\" = \"60;;1\""}},
        {"[records]\n30008 = \"86401;0;0\"\n", {"\"30008\" = \"86401;0;0\""}},
        {"[records]\n30009 = \"yes\"\n", {"\"30009\" = \"yes\""}},
        // A maximum below the first delay: the key that the build refuses becomes a record.
        {"restart_delay = 10\n[records]\n30003 = \"5\"\n", {"restart_delay = 10", "\"30003\" = \"5\""}},
    };
    for (const auto& c : cases) {
        Built built = build(serviceDescriptor(c.lines));
        ASSERT_TRUE(built.ok) << c.lines << packager::formatDiagnostic(built.errors.front());
        packager::Description description;
        auto [first, second] = roundTrip(built.result.block, &description);
        EXPECT_TRUE(description.rebuildsIdentically) << description.descriptor;
        EXPECT_TRUE(description.notes.empty()) << description.notes.front();
        EXPECT_EQ(first, second) << description.descriptor;
        for (const std::string& line : c.inspected) {
            EXPECT_NE(description.descriptor.find("\n" + line + "\n"), std::string::npos)
                << line << "\n" << description.descriptor;
        }
    }
}

TEST(RoundTrip, ALauncherWithoutTheServiceRecordsSaysSoAndStaysWithoutEmptyOnes)
{
    // As an older packager built it: none of the service wrapper's records.
    Built built = build(serviceDescriptor("start = \"demand\"\n"));
    ASSERT_TRUE(built.ok);
    ConfigBlock older = built.result.block;
    std::vector<blockformat::NarrowRecord> kept;
    for (const blockformat::NarrowRecord& record : older.narrow) {
        if (record.id < cfg::kFirstExtensionId || record.id > cfg::kLastExtensionId) {
            kept.push_back(record);
        }
    }
    older.narrow = kept;
    packager::Description description;
    auto [first, second] = roundTrip(older, &description);
    EXPECT_FALSE(description.rebuildsIdentically);
    EXPECT_EQ(description.notes,
              std::vector<std::string>{
                  "this launcher has no records 30000 (service.stop_timeout), 30001 (service.restart), 30002 "
                  "(service.restart_delay), 30003 (service.restart_delay_max), 30004 (service.restart_reset), 30005 "
                  "(service.restart_limit), 30007 (service.account), 30009 (service.event_log), 30010 "
                  "(output.max_size) and 30011 (output.keep), which this packager writes; a build of the descriptor "
                  "adds them with the packager's defaults, so the launcher it gives differs there"});
    const std::string& text = description.descriptor;
    EXPECT_NE(text.find("\n# The launcher's settings as it reads them; `packager build` gives a launcher with other "
                        "bytes.\n"),
              std::string::npos)
        << text;
    for (const char* line : {"# stop_timeout = 30  # not in this launcher; a build writes this default",
                             "# max_size = \"10 MB\"  # not in this launcher; a build writes this default",
                             "# keep = 5  # not in this launcher; a build writes this default",
                             "# restart = \"never\"  # not in this launcher; a build writes this default",
                             "# account = \"LocalSystem\"  # not in this launcher; a build writes this default",
                             "# event_log = true  # not in this launcher; a build writes this default",
                             "start = \"demand\""}) {
        EXPECT_NE(text.find(std::string("\n") + line + "\n"), std::string::npos) << line << "\n" << text;
    }
    for (const char* absent : {"recovery", "\"300", "[records]"}) {
        EXPECT_EQ(text.find(absent), std::string::npos) << absent << "\n" << text;
    }
    // The build of the descriptor is the older launcher with the defaults added, and no
    // record the older launcher lacks comes back empty.
    packager::PackagedLauncher again;
    std::string error;
    ASSERT_TRUE(packager::readPackagedLauncher(second, &again, &error)) << error;
    EXPECT_EQ(narrowRecords(again.block), narrowRecords(built.result.block));
    EXPECT_EQ(value(again.block, cfg::serviceStartMode), "<absent>");
    EXPECT_EQ(value(again.block, cfg::serviceRecovery), "<absent>");
}

// --- the size limit of the output files -----------------------------------------------------

TEST(OutputKeys, SizesWithOrWithoutAUnitGiveBytes)
{
    const struct {
        const char* lines;  // in [output]
        std::string maxSize;
        std::string keep;
    } cases[] = {
        {"", "10485760", "5"},
        {"max_size = 0\n", "0", "5"},
        {"max_size = 1048576\nkeep = 3\n", "1048576", "3"},
        {"max_size = \"1 MB\"\n", "1048576", "5"},
        {"max_size = \"1MB\"\n", "1048576", "5"},
        {"max_size = \"512 kb\"\n", "524288", "5"},
        {"max_size = \"2  Gb\"\n", "2147483648", "5"},
        {"max_size = \"1024 GB\"\n", "1099511627776", "5"},
        {"max_size = \"1000\"\n", "1000", "5"},
        {"max_size = \"0 MB\"\nkeep = 0\n", "0", "0"},
        {"keep = 1000\n", "10485760", "1000"},
    };
    for (const auto& c : cases) {
        std::string text = serviceDescriptor(std::string("[output]\n") + c.lines);
        Built built = build(text);
        ASSERT_TRUE(built.ok) << text << packager::formatDiagnostic(built.errors.front());
        EXPECT_EQ(value(built.result.block, cfg::outputMaxSize), c.maxSize) << c.lines;
        EXPECT_EQ(value(built.result.block, cfg::outputKeep), c.keep) << c.lines;
    }
}

TEST(OutputKeys, WrongValuesAreRefusedWithTheirPlace)
{
    const std::string forms = "; give bytes, or a number with \"KB\", \"MB\" or \"GB\", such as \"10 MB\"";
    const struct {
        const char* lines;  // in [output], from line 4
        std::string error;
    } cases[] = {
        {"max_size = -1\n", "4:12: error: output.max_size must be between 0 and 1099511627776 bytes (1024 GB), not -1"},
        {"max_size = 1099511627777\n",
         "4:12: error: output.max_size must be between 0 and 1099511627776 bytes (1024 GB), not 1099511627777"},
        {"max_size = \"1025 GB\"\n",
         "4:12: error: output.max_size must be between 0 and 1099511627776 bytes (1024 GB), not 1100585369600"},
        {"max_size = \"99999999999999999999\"\n",
         "4:12: error: output.max_size \"99999999999999999999\" is too large" + forms},
        {"max_size = \"9999999999 GB\"\n", "4:12: error: output.max_size \"9999999999 GB\" is too large" + forms},
        {"max_size = \"10 XB\"\n", "4:12: error: output.max_size \"10 XB\" has no unit the launcher knows" + forms},
        {"max_size = \"10 MB \"\n", "4:12: error: output.max_size \"10 MB \" has no unit the launcher knows" + forms},
        {"max_size = \"10 MiB\"\n", "4:12: error: output.max_size \"10 MiB\" has no unit the launcher knows" + forms},
        {"max_size = \"MB\"\n", "4:12: error: output.max_size \"MB\" does not begin with a number" + forms},
        {"max_size = \"-1 MB\"\n", "4:12: error: output.max_size \"-1 MB\" does not begin with a number" + forms},
        {"max_size = \"\"\n", "4:12: error: output.max_size \"\" does not begin with a number" + forms},
        {"max_size = 1.5\n",
         "4:12: error: output.max_size must be a byte count or a size such as \"10 MB\", not a number"},
        {"max_size = true\n",
         "4:12: error: output.max_size must be a byte count or a size such as \"10 MB\", not a boolean"},
        {"keep = -1\n", "4:8: error: output.keep must be between 0 and 1000, not -1"},
        {"keep = 1001\n", "4:8: error: output.keep must be between 0 and 1000, not 1001"},
        {"keep = \"5\"\n", "4:8: error: output.keep must be an integer, not a string"},
    };
    for (const auto& c : cases) {
        expectTheOneError(serviceDescriptor(std::string("[output]\n") + c.lines), c.error, c.lines);
    }
}

// The system's temporary directory is shared by every user: a service launcher may not name
// its output files there, a desktop launcher (which writes to its user's own) may.
TEST(OutputKeys, TheSystemTemporaryDirectoryIsForDesktopKindsOnly)
{
    const std::string why =
        ", the system's temporary directory, which every user can write to: another user could create the "
        "service's file there first to read or change its output or to stop its start, or put a link in its place; "
        "use a path relative to the executable's directory (only the launcher.kind \"gui\" and \"message-boxes\" "
        "accept this folder)";
    const struct {
        const char* kindLines;  // from line 3; [output] follows
        int outputLine;         // of the first [output] key
        bool service;
    } kinds[] = {
        {"", 4, true},
        {"[launcher]\nkind = \"service\"\n", 6, true},
        {"start = \"demand\"\n", 5, true},
        {"[launcher]\nkind = \"gui\"\n", 6, false},
        {"[launcher]\nkind = \"message-boxes\"\n", 6, false},
    };
    const struct {
        const char* key;
        int32_t record;
        int32_t redirection;
        const char* name;
    } names[] = {
        {"stderr", cfg::stderrFile, cfg::redirectStderr, "${launcher:sys.tempDir}demo_error.log"},
        {"stdout", cfg::stdoutFile, cfg::redirectStdout, "${installer:sys.tempDir}\\logs\\out.log"},
        {"stderr", cfg::stderrFile, cfg::redirectStderr, "${installer:sys.tempDir}"},
        {"stdout", cfg::stdoutFile, cfg::redirectStdout, "${launcher:sys.launcherDirectory}\\${launcher:sys.tempDir}"},
    };
    for (const auto& kind : kinds) {
        for (const auto& name : names) {
            const std::string fileName = name.name;
            std::string quoted;
            for (char c : fileName) {
                quoted += c == '\\' ? std::string("\\\\") : std::string(1, c);
            }
            std::string text = serviceDescriptor(std::string(kind.kindLines) + "[output]\n" + name.key + " = \"" +
                                                 quoted + "\"\n");
            std::string label = std::string(kind.kindLines) + name.key + " = " + fileName;
            if (kind.service) {
                const size_t at = fileName.rfind("${");
                const std::string reference = fileName.substr(at, fileName.find('}', at) + 1 - at);
                expectTheOneError(text,
                                  std::to_string(kind.outputLine) + ":" + std::to_string(std::string(name.key).size() + 4) +
                                      ": error: output." + name.key + " refers to " + reference + why,
                                  label);
            } else {
                Built built = build(text);
                ASSERT_TRUE(built.ok) << label << ": " << packager::formatDiagnostic(built.errors.front());
                EXPECT_EQ(value(built.result.block, name.record), fileName) << label;
                EXPECT_EQ(value(built.result.block, name.redirection), "1") << label;
            }
        }
    }
    // The example service, described and built again as a descriptor of its own, passes the check.
    packager::PackagedLauncher example;
    std::string error;
    ASSERT_TRUE(packager::readPackagedLauncher(launcherBytes(packager::exampleServiceBlock()), &example, &error)) << error;
    Built rebuilt = build(packager::describeLauncher(example, {}, "demo.exe").descriptor);
    EXPECT_TRUE(rebuilt.ok) << (rebuilt.errors.empty() ? "" : packager::formatDiagnostic(rebuilt.errors.front()));
    // The message for a reference nothing resolves no longer recommends the shared folder.
    Built unknown = build(serviceDescriptor("[launcher]\nkind = \"gui\"\n[output]\nstderr = \"${TEMP}\\\\e.log\"\n"));
    ASSERT_EQ(unknown.errors.size(), 1u);
    EXPECT_EQ(unknown.errors[0].message.find("sys.tempDir"), std::string::npos) << unknown.errors[0].message;
}

// Inspect shows a size in the largest unit that divides it, and a record no value of the
// key gives stays a record; either way the build gives the launcher again byte for byte.
TEST(RoundTrip, OutputLimitComesBackAsItsKeysOrRecords)
{
    const struct {
        const char* lines;
        std::vector<std::string> inspected;
        bool records;  // the inspected descriptor has a [records] section
    } cases[] = {
        {"", {"max_size = \"10 MB\"", "keep = 5"}, false},
        {"[output]\nmax_size = 0\nkeep = 0\n", {"max_size = 0", "keep = 0"}, false},
        {"[output]\nmax_size = 1000\nkeep = 1000\n", {"max_size = 1000", "keep = 1000"}, false},
        {"[output]\nmax_size = 1536\n", {"max_size = 1536"}, false},
        {"[output]\nmax_size = \"3 kb\"\n", {"max_size = \"3 KB\""}, false},
        {"[output]\nmax_size = 1073741824\n", {"max_size = \"1 GB\""}, false},
        {"[output]\nmax_size = \"2048 MB\"\n", {"max_size = \"2 GB\""}, false},
        {"[output]\nmax_size = \"1024 GB\"\n", {"max_size = \"1024 GB\""}, false},
        {"[records]\n30010 = \"010\"\n", {"\"30010\" = \"010\""}, true},
        {"[records]\n30010 = \"10 MB\"\n", {"\"30010\" = \"10 MB\""}, true},
        {"[records]\n30010 = \"-5\"\n", {"\"30010\" = \"-5\""}, true},
        {"[records]\n30010 = \"1099511627777\"\n", {"\"30010\" = \"1099511627777\""}, true},
        {"[records]\n30011 = \"1001\"\n", {"\"30011\" = \"1001\""}, true},
    };
    for (const auto& c : cases) {
        Built built = build(serviceDescriptor(c.lines));
        ASSERT_TRUE(built.ok) << c.lines << packager::formatDiagnostic(built.errors.front());
        packager::Description description;
        auto [first, second] = roundTrip(built.result.block, &description);
        EXPECT_TRUE(description.rebuildsIdentically) << description.descriptor;
        EXPECT_TRUE(description.notes.empty()) << description.notes.front();
        EXPECT_EQ(first, second) << description.descriptor;
        for (const std::string& line : c.inspected) {
            EXPECT_NE(description.descriptor.find("\n" + line + "\n"), std::string::npos)
                << line << "\n" << description.descriptor;
        }
        EXPECT_EQ(description.descriptor.find("[records]") != std::string::npos, c.records) << description.descriptor;
    }
}

// --- messages ---------------------------------------------------------------------------

TEST(Messages, LanguagesAreBuiltInAndEachTextCanBeOverridden)
{
    Built english = build(kMinimal);
    Built german = build(std::string(kMinimal) + "[messages]\nlanguage = \"de\"\n");
    Built french = build(std::string(kMinimal) + "[messages]\nlanguage = \"fr\"\ncaption = \"Attention\"\n");
    ASSERT_TRUE(english.ok && german.ok && french.ok);
    for (int32_t id = 1000; id <= 1020; ++id) {
        std::string en = value(english.result.block, id);
        std::string de = value(german.result.block, id);
        std::string fr = value(french.result.block, id);
        EXPECT_NE(en, de) << id;
        EXPECT_NE(en, fr) << id;
        // The argument goes where the English text has it, in every language.
        EXPECT_EQ(en.find("{0}") != std::string::npos, de.find("{0}") != std::string::npos) << id;
        EXPECT_EQ(en.find("{0}") != std::string::npos, fr.find("{0}") != std::string::npos) << id;
    }
    EXPECT_EQ(value(german.result.block, 1000), "Fehler");
    EXPECT_EQ(value(french.result.block, 1000), "Attention");
    // Narrow texts are ISO-8859-1 bytes, which the launcher widens one to one.
    EXPECT_NE(value(german.result.block, 1007).find("l\xE4uft"), std::string::npos);
    EXPECT_NE(value(french.result.block, 1011).find("M\xE9thode"), std::string::npos);
}

// The no-runtime texts (1001, 1016) end with the version range, in the language of the
// other texts; the default range, or a text of the descriptor's own, leaves them as they
// were. `inspect` gives back a descriptor without message keys for them.
TEST(Messages, NoRuntimeTextsNameTheVersionRange)
{
    const struct {
        std::string lines;  // after kMinimal
        std::string language;
        std::string sentence;  // ISO-8859-1; empty: the built-in texts unchanged
    } cases[] = {
        {"[java]\nmin_version = \"11\"\n", "en", "The application needs Java 11 or later."},
        {"[java]\nmin_version = \"11\"\nmax_version = \"17\"\n[messages]\nlanguage = \"de\"\n", "de",
         "Die Anwendung ben\xF6tigt Java 11 bis 17."},
        {"[java]\nmin_version = \"\"\nmax_version = \"17\"\n[messages]\nlanguage = \"fr\"\n", "fr",
         "L'application n\xE9" "cessite Java 17 ou plus ancien."},
        {"", "en", ""},
        {"[java]\nmin_version = \"1.8\"\n", "en", ""},
    };
    for (const auto& c : cases) {
        Built plain = build(std::string(kMinimal) + (c.language == "en" ? "" : "[messages]\nlanguage = \"" + c.language + "\"\n"));
        Built ranged = build(std::string(kMinimal) + c.lines);
        ASSERT_TRUE(plain.ok && ranged.ok) << c.lines;
        for (int32_t id : {1001, 1016}) {
            std::string expected = value(plain.result.block, id) + (c.sentence.empty() ? "" : "\n" + c.sentence);
            EXPECT_EQ(value(ranged.result.block, id), expected) << c.lines << id;
        }
        packager::Description description;
        std::pair<Bytes, Bytes> both = roundTrip(ranged.result.block, &description);
        EXPECT_EQ(both.first, both.second) << c.lines;
        EXPECT_EQ(description.descriptor.find("no_jvm"), std::string::npos) << description.descriptor;
        EXPECT_EQ(description.descriptor.find("[records]"), std::string::npos) << description.descriptor;
    }
    // A text of the descriptor's own stays as it is given.
    Built own = build(std::string(kMinimal) + "[java]\nmin_version = \"11\"\n[messages]\nno_jvm_found = \"Install Java.\"\n");
    ASSERT_TRUE(own.ok);
    EXPECT_EQ(value(own.result.block, 1016), "Install Java.");
}

// --- locale groups ----------------------------------------------------------------------

TEST(LocaleGroups, TranslationsOfTheDescriptionComeInPrefixOrder)
{
    Built built = build(std::string(kMinimal) + R"toml([service.description_translations]
de_CH = "Schweiz"
"" = "any"
de = "Deutsch"
fr = "Fran\u00e7ais"
)toml" + "[service]\n");
    // [service] twice is a TOML error; the translations table must follow [service] itself.
    ASSERT_FALSE(built.ok);
    EXPECT_NE(built.errors.front().message.find("cannot redefine existing table 'service'"), std::string::npos)
        << built.errors.front().message;
    built = build(R"toml([service]
name = "Demo"
description = "Writes a line"
[service.description_translations]
de_CH = "Schweiz"
"" = "any"
de = "Deutsch"
fr = "Fran\u00e7ais"
[application]
main_class = "a.B"
class_path = [ { archive = "a.jar" } ]
)toml");
    ASSERT_TRUE(built.ok) << packager::formatDiagnostic(built.errors.front());
    const ConfigBlock& block = built.result.block;
    ASSERT_EQ(block.wide.size(), 1u);
    EXPECT_EQ(block.wide[0].value, u"Writes a line");
    std::vector<std::string> prefixes;
    for (const blockformat::LocaleGroup& group : block.localeGroups) {
        prefixes.push_back(group.prefix);
        ASSERT_EQ(group.records.size(), 1u);
        EXPECT_EQ(group.records[0].id, 20017);
    }
    // The empty prefix first, a language before its countries: the later match wins.
    EXPECT_EQ(prefixes, (std::vector<std::string>{"", "de", "de_CH", "fr"}));
    EXPECT_EQ(block.localeGroups[3].records[0].value, u"Fran\u00e7ais");
}

// --- included files -----------------------------------------------------------------------

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

// --- round trip -------------------------------------------------------------------------

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
    packager::Description description;
    auto [first, second] = roundTrip(block, &description);
    EXPECT_TRUE(description.rebuildsIdentically) << description.descriptor;
    EXPECT_EQ(first, second) << description.descriptor;
    for (const char* kept : {"\"130\" = \"2\"", "\"107\" = \"7\"", "\"121\" = \"X1odd;A1app.jar\"", "\"10109\" = \"020\""}) {
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

// --- the command line -----------------------------------------------------------------

struct PackagerRun {
    int code;
    std::string err;
    std::string out;
};

std::string fileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

PackagerRun runPackager(const std::string& arguments, const ScratchDirectory& scratch)
{
    const char* packager = std::getenv("PACKAGER");
    fs::path errFile = scratch.path / "stderr.txt";
    fs::path outFile = scratch.path / "stdout.txt";
    std::string command = std::string(packager) + " " + arguments + " >" + outFile.string() + " 2>" + errFile.string();
    int status = std::system(command.c_str());
    return {WEXITSTATUS(status), fileText(errFile), fileText(outFile)};
}

TEST(CommandLine, AnErrorExitsWithTwoAndLeavesNoOutput)
{
    if (std::getenv("PACKAGER") == nullptr) {
        GTEST_SKIP() << "PACKAGER is not set";
    }
    ScratchDirectory scratch;
    Bytes image = syntheticImage();
    std::string imagePath = scratch.file("image.exe", std::string(image.begin(), image.end()));
    std::string bad = scratch.file("bad.toml", std::string(kMinimal) + "[java]\nsearch = [ { folder = \"x\" } ]\n");
    std::string output = (scratch.path / "out.exe").string();
    PackagerRun run = runPackager("build " + bad + " " + imagePath + " " + output, scratch);
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.err, bad + ":7:14: error: unknown search entry type 'folder' in java.search[0] (directory, "
                             "environment, path, registry or installed)\n");
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(fs::exists(output + ".partial"));

    // A good one, then inspect with the files and the image, then build again.
    scratch.file("app.properties", "x=1");
    std::string good = scratch.file("good.toml", std::string(kMinimal) + "[[files]]\nsource = \"app.properties\"\n");
    ASSERT_EQ(runPackager("build " + good + " " + imagePath + " " + output + " --no-runtime-library", scratch).code, 0);
    std::string inspected = (scratch.path / "back" / "service.toml").string();
    fs::create_directories(scratch.path / "back");
    PackagerRun inspect = runPackager("inspect " + output + " --output " + inspected + " --extract " +
                                  (scratch.path / "back" / "files").string() + " --image " +
                                  (scratch.path / "back" / "image.exe").string(),
                              scratch);
    ASSERT_EQ(inspect.code, 0) << inspect.err;
    EXPECT_EQ(inspect.err, "");
    std::string again = (scratch.path / "again.exe").string();
    ASSERT_EQ(runPackager("build " + inspected + " " + (scratch.path / "back" / "image.exe").string() + " " + again +
                              " --no-runtime-library",
                          scratch).code,
              0);
    std::ifstream a(output, std::ios::binary);
    std::ifstream b(again, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), std::istreambuf_iterator<char>()),
              std::string(std::istreambuf_iterator<char>(b), std::istreambuf_iterator<char>()));
}

TEST(CommandLine, EachMistakeIsNamedWithExitCodeTwo)
{
    if (std::getenv("PACKAGER") == nullptr) {
        GTEST_SKIP() << "PACKAGER is not set";
    }
    ScratchDirectory scratch;
    Bytes image = syntheticImage();
    std::string imagePath = scratch.file("image.exe", std::string(image.begin(), image.end()));
    std::string good = scratch.file("good.toml", kMinimal);
    std::string output = (scratch.path / "out.exe").string();
    std::string missing = (scratch.path / "missing.toml").string();
    std::string notJar = scratch.file("runtime.jar", "not a zip archive");
    std::string sharedOutput =
        scratch.file("shared.toml", std::string(kMinimal) + "[output]\nstderr = '${installer:sys.tempDir}\\e.log'\n");
    const struct {
        std::string arguments;
        std::string firstLine;  // of standard error
    } cases[] = {
        {"", "usage: packager build <descriptor.toml> <launcher-image.exe> <output.exe>"},
        {"frobnicate", "packager: unknown command frobnicate"},
        {"build " + good, "packager: build needs a descriptor, a launcher image and an output file"},
        {"build --frob " + good + " " + imagePath + " " + output, "packager: unknown option --frob"},
        {"build " + good + " " + imagePath + " " + output + " --runtime-library",
         "packager: --runtime-library needs the path of the jar"},
        {"build " + missing + " " + imagePath + " " + output, "packager: cannot read " + missing},
        {"build " + good + " " + good + " " + output,
         "packager: not an executable image (no MZ header): " + good +
             " is not a launcher image (the Windows build's launcher.exe)"},
        {"build " + good + " " + imagePath + " " + (scratch.path / "no" / "out.exe").string(),
         "packager: cannot write " + (scratch.path / "no" / "out.exe").string() + ": the folder " +
             (scratch.path / "no").string() + " does not exist"},
        // An input as the output would be replaced by the launcher.
        {"build " + good + " " + imagePath + " " + good,
         "packager: the output file " + good + " is the descriptor " + good +
             "; name another output file (nothing was written)"},
        {"build " + good + " " + imagePath + " " + (scratch.path / "." / "image.exe").string(),
         "packager: the output file " + (scratch.path / "." / "image.exe").string() + " is the launcher image " +
             imagePath + "; name another output file (nothing was written)"},
        {"build " + good + " " + imagePath + " " + notJar + " --runtime-library " + notJar,
         "packager: the runtime library " + notJar + " is not a jar (no zip archive header); nothing was written"},
        {"build " + good + " " + imagePath + " " + output + " --runtime-library " + missing,
         "packager: the runtime library jar " + missing + " does not exist; nothing was written"},
        {"build " + good + " " + imagePath + " " + output + " --runtime-library " + scratch.path.string(),
         "packager: the runtime library jar " + scratch.path.string() + " is not a file; nothing was written"},
        // A service's output in the shared temporary directory: one line with the reason.
        {"build " + sharedOutput + " " + imagePath + " " + output,
         sharedOutput + ":7:10: error: output.stderr refers to ${installer:sys.tempDir}, the system's temporary "
                        "directory, which every user can write to: another user could create the service's file "
                        "there first to read or change its output or to stop its start, or put a link in its place; "
                        "use a path relative to the executable's directory (only the launcher.kind \"gui\" and "
                        "\"message-boxes\" accept this folder)"},
        {"inspect", "packager: inspect needs one launcher"},
        {"inspect " + imagePath + " --extract", "packager: --extract needs a path"},
        {"inspect " + missing, "packager: cannot read " + missing},
        {"inspect " + imagePath,
         "packager: " + imagePath + ": no configuration block behind the image (not a packaged launcher)"},
        {"keys extra", "packager: keys takes no arguments"},
    };
    for (const auto& c : cases) {
        PackagerRun run = runPackager(c.arguments, scratch);
        EXPECT_EQ(run.code, 2) << c.arguments;
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), c.firstLine) << c.arguments;
        EXPECT_FALSE(fs::exists(output)) << c.arguments;
    }
    // The inputs are untouched, and a real jar (a zip archive) is taken.
    EXPECT_EQ(fileText(good), kMinimal);
    EXPECT_EQ(fileText(imagePath), std::string(image.begin(), image.end()));
    std::string jar = scratch.file("real.jar", std::string("PK\x03\x04", 4) + "rest");
    PackagerRun withJar = runPackager("build " + good + " " + imagePath + " " + output + " --runtime-library " + jar,
                                      scratch);
    EXPECT_EQ(withJar.code, 0) << withJar.err;
    EXPECT_NE(withJar.out.find("1 included file(s)"), std::string::npos) << withJar.out;
    PackagerRun keys = runPackager("keys", scratch);
    EXPECT_EQ(keys.code, 0);
    EXPECT_EQ(keys.out, packager::keyReference());
    PackagerRun help = runPackager("--help", scratch);
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("packager keys"), std::string::npos) << help.out;
}

std::string imageText()
{
    Bytes image = syntheticImage();
    return std::string(image.begin(), image.end());
}

// Every file below `root`, relative to it.
std::set<std::string> listing(const fs::path& root)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        names.insert(entry.path().lexically_relative(root).generic_string());
    }
    return names;
}

// A launcher that names its files by 11-byte placeholders, with one edit applied; inspect
// of it with --output, --extract and --image in a folder of its own.
struct Inspected {
    PackagerRun run;
    std::set<std::string> written;  // below the scratch directory
};

Inspected inspectEdited(const ScratchDirectory& scratch, const std::string& placeholder, const std::string& edit,
                        const std::string& files)
{
    fs::remove_all(scratch.path / "work");
    std::string imagePath = scratch.file("image.exe", imageText());
    scratch.file("a.txt", "a");
    std::string descriptor = scratch.file("service.toml", std::string(kMinimal) + files);
    std::string built = (scratch.path / "built.exe").string();
    PackagerRun build = runPackager("build " + descriptor + " " + imagePath + " " + built + " --no-runtime-library",
                                    scratch);
    EXPECT_EQ(build.code, 0) << build.err;
    std::string launcher = fileText(built);
    size_t at = launcher.find(placeholder);
    EXPECT_NE(at, std::string::npos) << placeholder;
    launcher.replace(at, edit.size(), edit);
    fs::path work = scratch.path / "work";
    std::string edited = scratch.file("work/l.exe", launcher);
    fs::remove(built);
    Inspected inspected;
    inspected.run = runPackager("inspect " + edited + " --output " + (work / "out.toml").string() + " --extract " +
                                    (work / "ex").string() + " --image " + (work / "img.exe").string(),
                                scratch);
    fs::remove(scratch.path / "stderr.txt");
    fs::remove(scratch.path / "stdout.txt");
    inspected.written = listing(scratch.path);
    return inspected;
}

TEST(CommandLine, InspectRefusesIncludedFileNamesThatLeaveItsFolderBeforeWritingAnything)
{
    if (std::getenv("PACKAGER") == nullptr) {
        GTEST_SKIP() << "PACKAGER is not set";
    }
    ScratchDirectory scratch;
    const std::string files = "[[files]]\nsource = \"a.txt\"\nname = \"zQ7zQ7zQ7zQ\"\n"
                              "[[files]]\nsource = \"a.txt\"\nname = \"yQ7yQ7yQ7yQ\\\\b\"\n";
    const std::set<std::string> untouched = {"a.txt", "image.exe", "service.toml", "work", "work/l.exe"};
    const std::string kInside = " (no drive, no '/', no empty, '.' or '..' steps)";
    const struct {
        std::string name;  // 11 bytes in place of the first file's name
        std::string reason;
    } cases[] = {
        {"..\\..\\EVIL1", "\"..\\..\\EVIL1\" must stay inside the folder it is extracted to" + kInside},
        {"C:\\x\\EVIL12", "\"C:\\x\\EVIL12\" must stay inside the folder it is extracted to" + kInside},
        {"/tmp/EVIL12", "\"/tmp/EVIL12\" must stay inside the folder it is extracted to" + kInside},
        {"\\\\srv\\EVIL1", "\"\\\\srv\\EVIL1\" must stay inside the folder it is extracted to" + kInside},
        {"a\\.\\EVIL123", "\"a\\.\\EVIL123\" must stay inside the folder it is extracted to" + kInside},
        {"CON\\EVIL123", "\"CON\\EVIL123\" names a device (CON), not a file"},
        {"EVIL\x01" "123456", "\"EVIL\\x01123456\" holds a control character"},
        {"EVIL*123456", "\"EVIL*123456\" holds '*', which no Windows file name may hold"},
        {"EVIL123456.", "\"EVIL123456.\" has a step ending in '.' or ' ', which Windows leaves out"},
    };
    for (const auto& c : cases) {
        Inspected inspected = inspectEdited(scratch, "zQ7zQ7zQ7zQ", c.name, files);
        EXPECT_EQ(inspected.run.code, 2) << c.name;
        EXPECT_EQ(inspected.run.err, "packager: " + (scratch.path / "work" / "l.exe").string() +
                                         ": the included file name " + c.reason + "; nothing was written\n");
        EXPECT_EQ(inspected.written, untouched) << c.name;
        EXPECT_FALSE(fs::exists("/tmp/EVIL12"));
    }
    // A file that is also the other one's folder, in other case.
    Inspected clash = inspectEdited(scratch, "yQ7yQ7yQ7yQ", "ZQ7ZQ7ZQ7ZQ", files);
    EXPECT_EQ(clash.run.code, 2);
    EXPECT_EQ(clash.run.err, "packager: " + (scratch.path / "work" / "l.exe").string() +
                                 ": the included files cannot be written: zQ7zQ7zQ7zQ is a file and the folder of "
                                 "ZQ7ZQ7ZQ7ZQ\\b; nothing was written\n");
    EXPECT_EQ(clash.written, untouched);
    // A name that is cut at a NUL is extracted as the launcher reads it.
    Inspected cut = inspectEdited(scratch, "zQ7zQ7zQ7zQ", std::string("EVIL\0", 5), files);
    EXPECT_EQ(cut.run.code, 0) << cut.run.err;
    EXPECT_EQ(cut.written.count("work/ex/EVIL"), 1u);
}

TEST(CommandLine, LatinOneNamesAndTextsComeBackAsUtf8)
{
    if (std::getenv("PACKAGER") == nullptr) {
        GTEST_SKIP() << "PACKAGER is not set";
    }
    ScratchDirectory scratch;
    std::string imagePath = scratch.file("image.exe", imageText());
    scratch.file("\xC3\xA9t\xC3\xA9.txt", "summer");
    scratch.file("a.txt", "a");
    std::string descriptor = scratch.file(
        "service.toml", "[service]\nname = \"D\xC3\xA9mo\"\n[application]\nmain_class = \"a.B\"\n"
                        "class_path = [ { archive = \"\xC3\xA9.jar\" } ]\n"
                        "[[files]]\nsource = \"\xC3\xA9t\xC3\xA9.txt\"\n[[files]]\nsource = \"a.txt\"\nname = \"\xC3\xA9\"\n"
                        "[[files]]\nsource = \"a.txt\"\nname = \"d\xC3\xAF/\xC3\xBF\"\n");
    std::string first = (scratch.path / "first.exe").string();
    PackagerRun built = runPackager("build " + descriptor + " " + imagePath + " " + first + " --no-runtime-library",
                                    scratch);
    ASSERT_EQ(built.code, 0) << built.err;
    EXPECT_EQ(built.err, "");  // --no-runtime-library is a choice, not a problem to note
    fs::path back = scratch.path / "back";
    fs::create_directories(back);
    PackagerRun inspected = runPackager("inspect " + first + " --output " + (back / "service.toml").string() +
                                            " --extract " + (back / "files").string() + " --image " +
                                            (back / "image.exe").string(),
                                        scratch);
    ASSERT_EQ(inspected.code, 0) << inspected.err;
    EXPECT_EQ(inspected.err, "");
    EXPECT_EQ(fileText(back / "files" / "\xC3\xA9t\xC3\xA9.txt"), "summer");
    EXPECT_EQ(fileText(back / "files" / "\xC3\xA9"), "a");
    EXPECT_EQ(fileText(back / "files" / "d\xC3\xAF" / "\xC3\xBF"), "a");
    std::string text = fileText(back / "service.toml");
    for (const char* line : {"name = \"D\xC3\xA9mo\"", "source = \"files/\xC3\xA9t\xC3\xA9.txt\"",
                             "name = \"\xC3\xA9t\xC3\xA9.txt\"", "source = \"files/\xC3\xA9\"",
                             "source = \"files/d\xC3\xAF/\xC3\xBF\"", "name = \"d\xC3\xAF\\\\\xC3\xBF\""}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    std::string second = (scratch.path / "second.exe").string();
    ASSERT_EQ(runPackager("build " + (back / "service.toml").string() + " " + (back / "image.exe").string() + " " +
                              second + " --no-runtime-library",
                          scratch).code,
              0);
    EXPECT_EQ(fileText(first), fileText(second));
}

TEST(CommandLine, InspectFailsWhenNoDescriptorThatBuildsCanBeWritten)
{
    if (std::getenv("PACKAGER") == nullptr) {
        GTEST_SKIP() << "PACKAGER is not set";
    }
    ScratchDirectory scratch;
    const std::string files = "[service.description_translations]\nde_CH = \"Schweiz\"\n"
                              "[[files]]\nsource = \"a.txt\"\nname = \"zQ7zQ7zQ7zQ\"\n";
    const std::set<std::string> untouched = {"a.txt", "image.exe", "service.toml", "work", "work/l.exe"};
    // kMinimal's [service] table gets the translations through a dotted header.
    Inspected inspected = inspectEdited(scratch, "de_CH", "s~_JS", files);
    EXPECT_EQ(inspected.run.code, 2);
    EXPECT_EQ(inspected.run.err.find('\n'), inspected.run.err.size() - 1) << inspected.run.err;
    EXPECT_NE(inspected.run.err.find("no descriptor that builds can be written for this launcher: "),
              std::string::npos)
        << inspected.run.err;
    EXPECT_NE(inspected.run.err.find("'s~_JS' is no locale code"), std::string::npos) << inspected.run.err;
    EXPECT_NE(inspected.run.err.find("; nothing was written"), std::string::npos) << inspected.run.err;
    EXPECT_EQ(inspected.written, untouched);
}

// --- writing launchers -------------------------------------------------------------------

TEST(LauncherFile, StreamedFilesAreCopiedAsTheyWereMeasured)
{
    ScratchDirectory scratch;
    std::string image = scratch.file("image.exe", imageText());
    std::string content(200000, '\0');
    for (size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i * 7 % 251);
    }
    std::string source = scratch.file("big.bin", content);
    ConfigBlock inMemory;
    inMemory.addIncludedFiles({{"big.bin", Bytes(content.begin(), content.end())}, {"small", Bytes{1, 2}}});
    std::string expected = (scratch.path / "expected.exe").string();
    std::string error;
    ASSERT_TRUE(packager::writeLauncher(image, inMemory, expected, &error)) << error;
    ConfigBlock streamed = inMemory;
    streamed.includedContents[0].clear();  // as a build that streams leaves it
    const struct {
        const char* what;
        std::string path;
        uint64_t size;
        std::string error;  // empty: written
    } cases[] = {
        {"as measured", source, content.size(), ""},
        {"grown since", source, content.size() - 1, "the included file " + source + " changed while the launcher was written"},
        {"shrunk since", source, content.size() + 1, "the included file " + source + " changed while the launcher was written"},
        {"gone", (scratch.path / "gone.bin").string(), 1, "cannot read the included file " + (scratch.path / "gone.bin").string()},
    };
    for (const auto& c : cases) {
        std::string output = (scratch.path / "out.exe").string();
        fs::remove(output);
        error.clear();
        bool ok = packager::writeLauncher(image, streamed, output, &error, {{fs::path(c.path), c.size}, {}});
        EXPECT_EQ(ok, c.error.empty()) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_EQ(fs::exists(output), ok) << c.what;
        EXPECT_FALSE(fs::exists(output + ".partial")) << c.what;
        if (ok) {
            EXPECT_EQ(fileText(output), fileText(expected)) << c.what;
        }
    }
}

TEST(LauncherFile, BlocksTheLauncherCannotReadBackAreRefused)
{
    ConfigBlock block;
    block.narrow.push_back({101, std::string(64, 'n')});
    block.wide.push_back({20017, std::u16string(32, u'w')});
    block.localeGroups.push_back({"de", {{20017, std::u16string(8, u'g')}}});
    const struct {
        uint64_t largest;
        std::string problem;
    } cases[] = {
        {64, ""},
        {63, "record 101 has 64 bytes; the launcher reads at most 63"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(packager::blockLimitProblem(block, c.largest), c.problem) << c.largest;
    }
    block.narrow[0].value = "n";
    EXPECT_EQ(packager::blockLimitProblem(block, 63), "record 20017 is longer than the launcher reads");
    block.wide[0].value = u"w";
    EXPECT_EQ(packager::blockLimitProblem(block, 15), "the de record 20017 is longer than the launcher reads");
    EXPECT_EQ(packager::blockLimitProblem(block), "");
}

} // namespace
