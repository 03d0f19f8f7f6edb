// The command line, run in-process as the `packager` executable runs it: an error exits
// with 2 and leaves no output, each mistake is named, inspect refuses names that leave its
// folder before it writes anything, ISO-8859-1 names and texts come back as UTF-8, and
// inspect fails rather than write a descriptor that does not build.
#include "packager_test_support.h"

#include "packaging/descriptor/key_reference.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace packagertest;

TEST(CommandLine, AnErrorExitsWithTwoAndLeavesNoOutput)
{
    ScratchDirectory scratch;
    Bytes image = syntheticImage();
    std::string imagePath = scratch.file("image.exe", std::string(image.begin(), image.end()));
    std::string bad = scratch.file("bad.toml", std::string(kMinimal) + "[java]\nsearch = [ { folder = \"x\" } ]\n");
    std::string output = (scratch.path / "out.exe").string();
    PackagerRun run = runPackager("build " + bad + " " + imagePath + " " + output);
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.err, bad + ":7:14: error: unknown search entry type 'folder' in java.search[0] (directory, "
                             "environment, path, registry or installed)\n");
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(fs::exists(output + ".partial"));

    // A good one, then inspect with the files and the image, then build again.
    scratch.file("app.properties", "x=1");
    std::string good = scratch.file("good.toml", std::string(kMinimal) + "[[files]]\nsource = \"app.properties\"\n");
    ASSERT_EQ(runPackager("build " + good + " " + imagePath + " " + output + " --no-runtime-library").code, 0);
    std::string inspected = (scratch.path / "back" / "service.toml").string();
    fs::create_directories(scratch.path / "back");
    PackagerRun inspect = runPackager("inspect " + output + " --output " + inspected + " --extract " +
                                      (scratch.path / "back" / "files").string() + " --image " +
                                      (scratch.path / "back" / "image.exe").string());
    ASSERT_EQ(inspect.code, 0) << inspect.err;
    EXPECT_EQ(inspect.err, "");
    std::string again = (scratch.path / "again.exe").string();
    ASSERT_EQ(runPackager("build " + inspected + " " + (scratch.path / "back" / "image.exe").string() + " " + again +
                              " --no-runtime-library").code,
              0);
    std::ifstream a(output, std::ios::binary);
    std::ifstream b(again, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), std::istreambuf_iterator<char>()),
              std::string(std::istreambuf_iterator<char>(b), std::istreambuf_iterator<char>()));
}

TEST(CommandLine, EachMistakeIsNamedWithExitCodeTwo)
{
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
        PackagerRun run = runPackager(c.arguments);
        EXPECT_EQ(run.code, 2) << c.arguments;
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), c.firstLine) << c.arguments;
        EXPECT_FALSE(fs::exists(output)) << c.arguments;
    }
    // The inputs are untouched, and a real jar (a zip archive) is taken.
    EXPECT_EQ(fileText(good), kMinimal);
    EXPECT_EQ(fileText(imagePath), std::string(image.begin(), image.end()));
    std::string jar = scratch.file("real.jar", std::string("PK\x03\x04", 4) + "rest");
    PackagerRun withJar = runPackager("build " + good + " " + imagePath + " " + output + " --runtime-library " + jar);
    EXPECT_EQ(withJar.code, 0) << withJar.err;
    EXPECT_NE(withJar.out.find("1 included file(s)"), std::string::npos) << withJar.out;
    PackagerRun keys = runPackager("keys");
    EXPECT_EQ(keys.code, 0);
    EXPECT_EQ(keys.out, packager::keyReference());
    PackagerRun help = runPackager("--help");
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("packager keys"), std::string::npos) << help.out;
}

// The `packager` executable hands its arguments and streams to the same command line: each
// run gives the same exit code, standard output and standard error either way.
TEST(CommandLine, TheExecutableRunsTheLibrarysCommandLine)
{
    if (std::getenv("PACKAGER") == nullptr) {
        GTEST_SKIP() << "PACKAGER is not set";
    }
    ScratchDirectory scratch;
    std::string imagePath = scratch.file("image.exe", imageText());
    std::string good = scratch.file("good.toml", kMinimal);
    std::string bad = scratch.file("bad.toml", std::string(kMinimal) + "[java]\nmin_version = \"1.x\"\n");
    std::string launcher = (scratch.path / "out.exe").string();
    const std::string cases[] = {
        "",
        "--help",
        "frobnicate",
        "keys extra",
        "build " + good,
        "build " + bad + " " + imagePath + " " + launcher,
        "build " + good + " " + imagePath + " " + launcher + " --no-runtime-library",
        "inspect " + launcher,
        "keys",
    };
    for (const std::string& arguments : cases) {
        // Both runs start from the files as they are.
        std::set<std::string> before = listing(scratch.path);
        std::string launcherBefore = fileText(launcher);
        PackagerRun inProcess = runPackager(arguments);
        std::set<std::string> after = listing(scratch.path);
        std::string launcherAfter = fileText(launcher);
        if (before.count("out.exe") != 0) {
            scratch.file("out.exe", launcherBefore);
        } else {
            fs::remove(launcher);
        }
        PackagerRun executable = runPackagerExecutable(arguments, scratch);
        EXPECT_EQ(executable.code, inProcess.code) << arguments;
        EXPECT_EQ(executable.out, inProcess.out) << arguments;
        EXPECT_EQ(executable.err, inProcess.err) << arguments;
        EXPECT_EQ(listing(scratch.path), after) << arguments;
        EXPECT_EQ(fileText(launcher), launcherAfter) << arguments;
    }
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
    PackagerRun build = runPackager("build " + descriptor + " " + imagePath + " " + built + " --no-runtime-library");
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
                                (work / "ex").string() + " --image " + (work / "img.exe").string());
    inspected.written = listing(scratch.path);
    return inspected;
}

TEST(CommandLine, InspectRefusesIncludedFileNamesThatLeaveItsFolderBeforeWritingAnything)
{
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
    PackagerRun built = runPackager("build " + descriptor + " " + imagePath + " " + first + " --no-runtime-library");
    ASSERT_EQ(built.code, 0) << built.err;
    EXPECT_EQ(built.err, "");  // --no-runtime-library is a choice, not a problem to note
    fs::path back = scratch.path / "back";
    fs::create_directories(back);
    PackagerRun inspected = runPackager("inspect " + first + " --output " + (back / "service.toml").string() +
                                        " --extract " + (back / "files").string() + " --image " +
                                        (back / "image.exe").string());
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
                              second + " --no-runtime-library").code,
              0);
    EXPECT_EQ(fileText(first), fileText(second));
}

TEST(CommandLine, InspectFailsWhenNoDescriptorThatBuildsCanBeWritten)
{
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

// Each output of inspect replaces its file: none may be the launcher it reads (which
// would be gone, or replaced by its bare image) or another output.
TEST(CommandLine, InspectWritesNoOutputOverTheLauncherOrAnotherOutput)
{
    ScratchDirectory scratch;
    std::string imagePath = scratch.file("image.exe", imageText());
    scratch.file("a.txt", "a");
    // An included file of the launcher's own name, which --extract into its folder would write.
    std::string descriptor =
        scratch.file("service.toml", std::string(kMinimal) + "[[files]]\nsource = \"a.txt\"\nname = \"l.exe\"\n");
    std::string launcher = (scratch.path / "l.exe").string();
    ASSERT_EQ(runPackager("build " + descriptor + " " + imagePath + " " + launcher + " --no-runtime-library").code, 0);
    const std::string launcherBytes = fileText(launcher);
    const std::string toml = (scratch.path / "d.toml").string();
    const std::string remedy = "; name another output file (nothing was written)\n";
    const struct {
        std::string options;
        std::string error;
    } cases[] = {
        {"--output " + launcher, "packager: the output file " + launcher + " is the launcher " + launcher + remedy},
        {"--image " + launcher, "packager: the image file " + launcher + " is the launcher " + launcher + remedy},
        {"--output " + toml + " --image " + toml,
         "packager: the image file " + toml + " is the output file " + toml + remedy},
        {"--extract " + scratch.path.string(),
         "packager: the extracted file " + (scratch.path / "l.exe").string() + " is the launcher " + launcher + remedy},
    };
    const std::set<std::string> files = listing(scratch.path);
    for (const auto& c : cases) {
        PackagerRun run = runPackager("inspect " + launcher + " " + c.options);
        EXPECT_EQ(run.code, 2) << c.options;
        EXPECT_EQ(run.err, c.error) << c.options;
        EXPECT_EQ(run.out, "") << c.options;
        EXPECT_EQ(listing(scratch.path), files) << c.options;
        EXPECT_EQ(fileText(launcher), launcherBytes) << c.options;
    }
}

} // namespace
