// Overlong inputs: texts far beyond the launcher's 6000-byte buffers, wherever a user,
// a packager or the machine can put them. Each run must end with a defined outcome (exit
// code 0 or 1, and a message for 1) and never write past a buffer; the same test runs
// against a launcher built with the compiler's stack protector and _FORTIFY_SOURCE
// (HARDENED_LAUNCHER_IMAGE), where a write past a buffer ends the process at once.
#include "support/launch_environment.h"
#include "packaging/descriptor/text.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

using jnistandin::Behaviour;

// A run ended as the launcher ends: 0, or 1 with something on standard error.
::testing::AssertionResult endedCleanly(const LaunchRun& run)
{
    DWORD code = run.exitCode();
    if (code == 0 || (code == 1 && !run.launcher.err.empty())) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "exit code 0x" << std::hex << code << std::dec << "\n" << run.describe();
}

// The launcher under test: the hardened build when given, else the ordinary one.
class Overlong : public LaunchTest {
protected:
    void SetUp() override
    {
        LaunchTest::SetUp();
        const char* hardened = std::getenv("HARDENED_LAUNCHER_IMAGE");
        if (hardened != nullptr && *hardened != '\0') {
            image_ = winePathOf(hardened);
        }
    }

    std::wstring packageOverlong(const blockformat::ConfigBlock& block, const std::wstring& name = L"app.exe")
    {
        if (image_.empty()) {
            return package(block, name);
        }
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_TRUE(blockformat::packageImage(readBytes(image_), block, &bytes, &error)) << error;
        std::wstring exe = binDir() + L"\\" + name;
        EXPECT_TRUE(writeBytes(exe, bytes));
        return exe;
    }

    std::wstring image_;
};

std::string lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

size_t countLinesContaining(const std::string& log, const std::string& part)
{
    size_t count = 0;
    for (const std::string& line : linesOf(log)) count += line.find(part) != std::string::npos ? 1 : 0;
    return count;
}

// `piece` repeated until the text holds at least `size` bytes, the last piece whole.
std::string wholePieces(const std::string& piece, size_t size)
{
    std::string text;
    while (text.size() < size) text += piece;
    return text;
}

size_t countOccurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// A text of `size` bytes made of `piece` repeated.
std::string repeated(const std::string& piece, size_t size)
{
    std::string text;
    while (text.size() < size) text += piece;
    text.resize(size);
    return text;
}

TEST_F(Overlong, EveryConfigurationStringAt7000Bytes)
{
    const blockformat::ConfigBlock base = block();
    std::vector<int32_t> ids;
    for (const blockformat::NarrowRecord& record : base.narrow) ids.push_back(record.id);
    for (const blockformat::WideRecord& record : base.wide) ids.push_back(-record.id);  // wide: negative
    // Plain text, and text made of references that grow when expanded.
    const std::string plain = repeated("q", 7000);
    const std::string references = repeated("${launcher:sys.launcherDirectory}${PATH};", 7000);
    Behaviour behaviour;
    behaviour.main = "return";
    int failures = 0;
    int started = 0;
    for (int32_t signedId : ids) {
        for (const std::string* text : {&plain, &references}) {
            blockformat::ConfigBlock b = base;
            if (signedId >= 0) {
                b.set(signedId, *text);
            } else {
                b.setWide(-signedId, packager::utf8ToUtf16(*text));
            }
            std::wstring exe = packageOverlong(b);
            DWORD start = GetTickCount();
            LaunchRun run = this->run(exe, {L"/run", L"argument"}, behaviour);
            DWORD elapsed = GetTickCount() - start;
            if (run.record.count("JNI_CreateJavaVM") > 0) ++started;
            ::testing::AssertionResult clean = endedCleanly(run);
            if ((!clean || elapsed > 20000) && ++failures <= 5) {
                ADD_FAILURE() << "configuration " << signedId << (text == &plain ? " plain" : " references") << " ("
                              << elapsed << " ms): " << clean.message();
            }
        }
    }
    EXPECT_EQ(0, failures);
    // Most settings do not stop the launch; the runs reached the VM.
    EXPECT_GT(started, static_cast<int>(ids.size()));
}

TEST_F(Overlong, CommandLineOf10000Characters)
{
    std::wstring exe = packageOverlong(block());
    const std::wstring longName(10000, L'n');
    // A service command refuses a name that it could only use cut.
    for (const wchar_t* command : {L"/install", L"/start", L"/stop", L"/uninstall", L"/status"}) {
        LauncherRun run = runLauncher(exe, {command, longName}, dir);
        EXPECT_EQ(1u, run.result.exitCode) << toUtf8(command);
        EXPECT_EQ("The service name given on the command line is too long (10000 characters; at most 5999).\n", run.shown)
            << toUtf8(command);
    }
    // An application argument that long reaches main.
    Behaviour behaviour;
    behaviour.main = "return";
    LaunchRun run = this->run(exe, {L"/run", longName}, behaviour);
    ASSERT_TRUE(endedCleanly(run));
    std::vector<std::string> arguments = run.record.all("element");
    EXPECT_NE(arguments.end(), std::find(arguments.begin(), arguments.end(), std::string(10000, 'n')))
        << run.describe();
}

// PATH is read whole and rewritten only when the system can hold the result: a PATH of
// 30,000 characters gets the native library directory in front and the runtime's bin
// directory behind; one of 40,000, beyond what a variable can hold, stays as it is
// instead of being stored cut. The VM sees all of it either way.
TEST_F(Overlong, PathOf40000Characters)
{
    blockformat::ConfigBlock b = block();
    b.set(10004, "native");
    std::wstring exe = packageOverlong(b);
    const std::string native = lower(binDirA() + "\\native");
    for (size_t size : {30000u, 40000u}) {
        SCOPED_TRACE(size);
        std::wstring path;
        for (int n = 0; path.size() < size; ++n) path += L"C:\\dir" + std::to_wstring(n) + L";";
        path.resize(size);
        ProcessOptions options;
        options.setEnv[L"PATH"] = path;
        Behaviour behaviour;
        behaviour.main = "return";
        LaunchRun run = this->run(exe, {L"/run"}, behaviour, options);
        ASSERT_TRUE(endedCleanly(run));
        EXPECT_EQ(0u, run.exitCode());
        std::string libraryPath;
        for (const std::string& option : run.record.options()) {
            if (option.rfind("-Djava.library.path=", 0) == 0) libraryPath = option.substr(20);
        }
        const std::string given = toUtf8(path);
        if (size == 30000u) {
            const std::string bin = lower(narrowPath(appDir() + L"\\jre\\bin"));
            EXPECT_EQ(lower(libraryPath), native + ";" + lower(given) + ";" + bin);
        } else {
            EXPECT_EQ(libraryPath, given);
            EXPECT_EQ(2u, countLinesContaining(run.launcher.log, "failed with error 206")) << "both extensions refused";
        }
    }
}

TEST_F(Overlong, EnvironmentValuesOf10000Characters)
{
    blockformat::ConfigBlock b = block();
    b.set(128, "EQUILL_TEST_HOME;B..\\jre;");
    b.set(123, "-Dbig=${BIG_VALUE} -Dsmall=1");
    std::wstring exe = packageOverlong(b);
    ProcessOptions options;
    options.setEnv[L"QUILL_TEST_HOME"] = std::wstring(10000, L'h');
    options.setEnv[L"BIG_VALUE"] = std::wstring(10000, L'v');
    Behaviour behaviour;
    behaviour.main = "return";
    LaunchRun run = this->run(exe, {L"/run"}, behaviour, options);
    ASSERT_TRUE(endedCleanly(run));
    EXPECT_EQ(0u, run.exitCode());
    // The overlong home is no runtime; the next entry is.
    EXPECT_TRUE(containsLine(run.launcher.log, "Loading of JVM-DLL successful")) << run.describe();
    // The configured options no longer fit once expanded: none of them is taken, neither
    // the cut one nor those the cut lost, and the log says so.
    for (const std::string& option : run.record.options()) {
        EXPECT_NE(0u, option.rfind("-Dbig=", 0)) << "a cut option reached the VM";
        EXPECT_NE("-Dsmall=1", option);
    }
    EXPECT_TRUE(containsLine(run.launcher.log, "expanded text of 10016 characters cut to 5999")) << run.describe();
    EXPECT_TRUE(containsLine(run.launcher.log, "configured VM options too long; not used")) << run.describe();
}

// Every text with a fixed buffer, at its exact size and at one more: at the exact size it is
// used whole; one over, it is never used cut (the entry is passed over, the setting left as
// without it) and the log says which text it was. Paths are absolute and do not exist:
// what counts is what the launcher does with the text. Texts the launcher reads whole
// reach their reader whole, beyond the size their buffers once had.
TEST_F(Overlong, TextsAtAndOneOverTheirCapacity)
{
    wchar_t longForm[MAX_PATH + 1];
    DWORD n = GetLongPathNameW(binDir().c_str(), longForm, MAX_PATH + 1);
    ASSERT_TRUE(n > 0 && n <= MAX_PATH);
    const std::string moduleDir = toUtf8(longForm) + "\\";
    // What one run is given: the block, the environment and the vmoptions file.
    struct Setup {
        blockformat::ConfigBlock block;
        ProcessOptions options;
        std::string vmOptions;
        std::string location;  // the preferred location file's first line
    };
    struct Limit {
        const char* what;
        size_t capacity;  // terminator included
        // Puts the text of `size` characters (after expansion) into the setup; returns it.
        std::function<std::string(Setup&, size_t size)> put;
        // Whether the run used the text whole.
        std::function<bool(const LaunchRun&, const std::string& text)> used;
        const char* overLine;  // the log line of the text one over
    };
    auto hasOption = [](const LaunchRun& run, const std::string& option) { return run.record.has("option", option); };
    auto hasElement = [](const LaunchRun& run, const std::string& text) {
        std::vector<std::string> elements = run.record.arrayElements("com/quill/runtime/WinLauncher.main");
        return std::find(elements.begin(), elements.end(), text) != elements.end();
    };
    auto logHas = [](const LaunchRun& run, const std::string& line) { return containsLine(run.launcher.log, line); };
    const std::vector<Limit> limits = {
        {"configured VM options", 6000,
         [](Setup& s, size_t size) {
             s.block.set(123, "-Dcfg=${QUILL_OVERLONG_CFG}");
             s.options.setEnv[L"QUILL_OVERLONG_CFG"] = std::wstring(size - 6, L'c');
             return "-Dcfg=" + std::string(size - 6, 'c');
         },
         hasOption, "configured VM options too long; not used"},
        {"vmoptions line", 6000,
         [](Setup& s, size_t size) {
             s.vmOptions += "-Dline=${QUILL_OVERLONG_LINE}\n";
             s.options.setEnv[L"QUILL_OVERLONG_LINE"] = std::wstring(size - 7, L'l');
             return "-Dline=" + std::string(size - 7, 'l');
         },
         hasOption, "expanded vmoptions line too long; not used"},
        {"vmoptions include", 6000,
         [&moduleDir](Setup& s, size_t size) {
             const std::string name(size - moduleDir.size(), 'i');
             s.vmOptions += "-include-options " + name + "\n";
             return moduleDir + name;
         },
         [&logHas](const LaunchRun& run, const std::string& path) {
             return logHas(run, "adding vmoptions from (0000000000000000) <" + path + "> (" +
                                    path.substr(path.find_last_of('\\') + 1) + ")");
         },
         "vmoptions include too long; not used"},
        {"default arguments", 2000,
         [](Setup& s, size_t size) {
             s.block.set(124, "--d ${QUILL_OVERLONG_ARG}");
             s.options.setEnv[L"QUILL_OVERLONG_ARG"] = std::wstring(size - 4, L'a');
             return std::string(size - 4, 'a');
         },
         hasElement, "default arguments too long; not used"},
        {"redirection path", 6000,
         [](Setup& s, size_t size) {
             s.block.set(102, "1");
             s.block.set(103, "C:\\" + std::string(size - 3, 'e'));
             return "C:\\" + std::string(size - 3, 'e');
         },
         hasElement, "redirection path too long; not used"},
        {"working directory", 6000,
         [](Setup& s, size_t size) {
             s.block.set(146, "C:\\" + std::string(size - 3, 'w'));
             return "C:\\" + std::string(size - 3, 'w');
         },
         [&logHas](const LaunchRun& run, const std::string& path) {
             return logHas(run, "change working directory to " + path);
         },
         "ERROR: config string 146 truncated (6000 6000)"},
        {"native library directories", 6000,
         [](Setup& s, size_t size) {
             s.block.set(10004, "C:\\" + std::string(size - 3, 'n'));
             return "C:\\" + std::string(size - 3, 'n');
         },
         [](const LaunchRun& run, const std::string& path) {
             return run.launcher.log.find("Setting PATH (native libs) " + path + ";") != std::string::npos;
         },
         "native library directories too long; not used"},
        {"class path entry", 6000,
         [](Setup& s, size_t size) {
             s.block.set(121, "A0${QUILL_OVERLONG_CP}");
             s.options.setEnv[L"QUILL_OVERLONG_CP"] = L"C:\\" + std::wstring(size - 3, L'p');
             return "C:\\" + std::string(size - 3, 'p');
         },
         [](const LaunchRun& run, const std::string& path) {
             for (const std::string& option : run.record.options()) {
                 if (option.rfind("-Djava.class.path=", 0) == 0) return option.find(path) != std::string::npos;
             }
             return false;
         },
         "class path entry too long; not used"},
        {"search entry", 6000,
         [](Setup& s, size_t size) {
             s.block.set(128, "B${QUILL_OVERLONG_HOME};B..\\jre;");
             s.options.setEnv[L"QUILL_OVERLONG_HOME"] = L"C:\\" + std::wstring(size - 3, L'h');
             return "C:\\" + std::string(size - 3, 'h');
         },
         [&logHas](const LaunchRun& run, const std::string& home) {
             return logHas(run, "Testing location " + home + " (type B)");
         },
         "search entry too long; not used"},
        {"preferred JVM directory", 200,
         [](Setup& s, size_t size) {
             s.block.set(152, std::string(size, 'd'));
             return std::string(size, 'd');
         },
         [](const LaunchRun& run, const std::string& name) {
             return run.launcher.log.find("\\" + name + "\\jvm.dll (exists 0)") != std::string::npos;
         },
         "ERROR: config string 152 truncated (200 200)"},
        {"location file line", 6000,
         [](Setup& s, size_t size) {
             s.location = "C:\\" + std::string(size - 3, 'f');
             return s.location;
         },
         [&logHas](const LaunchRun& run, const std::string& home) {
             return logHas(run, "Has preferred location " + home);
         },
         "location file line too long; not used"},
    };

    for (bool over : {false, true}) {
        SCOPED_TRACE(over ? "one over" : "exact size");
        Setup setup{block(), {}, "", ""};
        std::vector<std::string> texts;
        for (const Limit& limit : limits) {
            texts.push_back(limit.put(setup, limit.capacity - 1 + (over ? 1 : 0)));
        }
        // Read whole, however long: the search sequence and the class path behind 7000
        // bytes of entries, and a main class of 7000 bytes.
        const std::string unusedEntries = wholePieces("Zunused;", 7000);
        setup.block.set(128, unusedEntries + *setup.block.findNarrow(128));
        const std::string unusedArchives = wholePieces("A0C:\\unused.jar;", 7000);
        setup.block.set(121, unusedArchives + *setup.block.findNarrow(121));
        const std::string mainClass = "com.example." + repeated("Long", 7000);
        setup.block.set(122, mainClass);
        ASSERT_TRUE(writeTextFile(binDir() + L"\\app.vmoptions", setup.vmOptions));
        ASSERT_TRUE(makeDirectories(appDir() + L"\\.deploykit"));
        ASSERT_TRUE(writeTextFile(appDir() + L"\\.deploykit\\pref_jre.cfg", setup.location + "\n"));
        Behaviour behaviour;
        behaviour.main = "return";
        LaunchRun run = this->run(packageOverlong(setup.block), {L"/run"}, behaviour, setup.options);
        ASSERT_TRUE(endedCleanly(run));
        ASSERT_EQ(0u, run.exitCode()) << run.describe();
        for (size_t i = 0; i < limits.size(); ++i) {
            SCOPED_TRACE(limits[i].what);
            EXPECT_EQ(!over, limits[i].used(run, texts[i]));
            EXPECT_EQ(over, containsLine(run.launcher.log, limits[i].overLine));
        }
        EXPECT_TRUE(hasElement(run, mainClass)) << "main class";
        std::string classPath;
        for (const std::string& option : run.record.options()) {
            if (option.rfind("-Djava.class.path=", 0) == 0) classPath = option;
        }
        EXPECT_EQ(unusedArchives.size() / std::strlen("A0C:\\unused.jar;"), countOccurrences(classPath, "unused.jar"));
    }
}

TEST_F(Overlong, VmOptionsLinesBeyondTheBuffer)
{
    std::wstring exe = packageOverlong(block());
    // Lines of 20000 bytes are skipped whole; lines that just fit are taken whole, also
    // the last one without a line end.
    const std::string fits = "-Dfits=" + std::string(5999 - 7, 'f');
    const std::string last = "-Dlast=" + std::string(5999 - 7, 'l');
    ASSERT_TRUE(writeTextFile(binDir() + L"\\app.vmoptions",
                              "-Dbefore=1\n-Dlong=" + std::string(20000, 'x') + "\n" + fits + "\r\n-Dlong2=" +
                                  std::string(20000, 'y') + "\r\n-Dafter=2\n" + last));
    Behaviour behaviour;
    behaviour.main = "return";
    LaunchRun run = this->run(exe, {L"/run"}, behaviour);
    ASSERT_TRUE(endedCleanly(run));
    std::vector<std::string> options = run.record.options();
    std::vector<std::string> fromFile;
    for (const std::string& option : options) {
        if (option.rfind("-Dquill.", 0) != 0 && option.rfind("-Djava.", 0) != 0 && option.rfind("-Dsun.", 0) != 0 &&
            option.rfind("-Duser.", 0) != 0 && option.rfind("-Ddeploykit.", 0) != 0) {
            fromFile.push_back(option);
        }
    }
    EXPECT_EQ(joinLines({"-Dbefore=1", fits, "-Dafter=2", last}), joinLines(fromFile)) << run.describe();
    EXPECT_TRUE(containsLine(run.launcher.log, "vmoptions line of 20007 bytes is longer than 5999 bytes; ignored"))
        << run.launcher.log;
    EXPECT_TRUE(containsLine(run.launcher.log, "vmoptions line of 20008 bytes is longer than 5999 bytes; ignored"))
        << run.launcher.log;
}

} // namespace
