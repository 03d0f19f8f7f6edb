// Unpacking of a runtime shipped with packed jar files, run in process against runtime
// directories laid out per test, with the stand-in unpack200.exe in their bin directory
// (tests/standins/unpack200: its pack format and its ".starts" record). The log is on for
// the whole program (see main), and each test reads the lines it added.
//
// Also here: the stand-in jvm.dll libraries load (or fail to) as the runtime search needs.
#include "config/config_loader.h"
#include "config/config_store.h"
#include "format/record_ids.h"
#include "jvm/discovery/packed_jre.h"
#include "platform/diagnostic_log.h"
#include "platform/handle.h"
#include "platform/text_format.h"
#include "support/process_runner.h"
#include "support/scratch_directory.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The test program started as a child: unpackJre on the runtime named next, which is
// expected to end the process.
const char kUnpackChildArgument[] = "--unpack-child";
const char kInternalErrorText[] = "An internal error occurred (error code: {0})";

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string readBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        bytes.append(buffer, n);
    }
    CloseHandle(file);
    return bytes;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Text-mode output ends its lines with CR LF; the tests compare lines.
std::string withoutCarriageReturns(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string clean = withoutCarriageReturns(text);
    size_t start = 0;
    while (start < clean.size()) {
        size_t end = clean.find('\n', start);
        if (end == std::string::npos) end = clean.size();
        lines.push_back(clean.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool containsLine(const std::vector<std::string>& lines, const std::string& wanted)
{
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

// The lines that this process's log gained since construction.
class LogTail {
public:
    LogTail() : start_(contents().size()) {}
    std::vector<std::string> lines() const { return splitLines(contents().substr(start_)); }

private:
    static std::string contents()
    {
        const wchar_t* path = logFilePath();
        return path != nullptr ? readBytes(path) : std::string();
    }
    size_t start_;
};

// Sends what the C runtime writes to standard output into a file while it lives: the
// runtime's descriptor 1 and the process's standard output handle both.
class StdoutCapture {
public:
    explicit StdoutCapture(const std::wstring& file) : file_(file)
    {
        fflush(stdout);
        savedHandle_ = GetStdHandle(STD_OUTPUT_HANDLE);
        savedDescriptor_ = _dup(1);
        int descriptor = _wopen(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
        if (savedDescriptor_ < 0 || descriptor < 0 || _dup2(descriptor, 1) != 0) {
            ADD_FAILURE() << "cannot redirect standard output";
        }
        if (descriptor >= 0) _close(descriptor);
        SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(1)));
    }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;
    ~StdoutCapture() { finish(); }

    // Restores standard output and returns what was written to it.
    std::string finish()
    {
        if (savedDescriptor_ >= 0) {
            fflush(stdout);
            _dup2(savedDescriptor_, 1);
            _close(savedDescriptor_);
            savedDescriptor_ = -1;
            SetStdHandle(STD_OUTPUT_HANDLE, savedHandle_);
            captured_ = readBytes(file_);
            DeleteFileW(file_.c_str());
        }
        return captured_;
    }

private:
    std::wstring file_;
    HANDLE savedHandle_ = nullptr;
    int savedDescriptor_ = -1;
    std::string captured_;
};

// The directory of the stand-in programs, as a Windows path.
std::string standinDirectory()
{
    const char* dir = std::getenv("STANDIN_DIR");
    if (dir == nullptr) {
        return std::string();
    }
    std::string path = dir;
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;  // Wine shows the Unix root as drive Z:
    }
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string standin(const char* name) { return standinDirectory() + "\\" + name; }

std::string packBytes(const std::string& header, const std::string& jar) { return header + "\n" + jar; }

// A runtime directory with bin, lib and lib\ext in a fresh scratch directory.
class PackedRuntime {
public:
    explicit PackedRuntime(bool withUnpacker = true)
    {
        home_ = scratch_.pathA() + "\\jre";
        for (const char* dir : {"", "\\bin", "\\lib", "\\lib\\ext"}) {
            EXPECT_TRUE(CreateDirectoryA((home_ + dir).c_str(), nullptr)) << home_ << dir;
        }
        if (withUnpacker) {
            EXPECT_TRUE(CopyFileA(standin("unpack200.exe").c_str(), unpacker().c_str(), FALSE))
                << "stand-in unpack200.exe missing in " << standinDirectory();
        }
    }

    const std::string& home() const { return home_; }
    std::string path(const std::string& relative) const { return home_ + "\\" + relative; }
    std::string unpacker() const { return path("bin\\unpack200.exe"); }

    void write(const std::string& relative, const std::string& bytes) const
    {
        FILE* file = fopen(path(relative).c_str(), "wb");
        ASSERT_NE(nullptr, file) << relative;
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
    std::string read(const std::string& relative) const { return readBytes(widen(path(relative))); }
    bool has(const std::string& relative) const { return exists(path(relative)); }

    // The stand-in unpacker's record: the arguments of each start, in order.
    std::vector<std::string> unpackerStarts() const { return splitLines(readBytes(widen(unpacker() + ".starts"))); }

    // The unpacker's arguments for a packed file, as the launcher must build them.
    std::string argumentsFor(const std::string& packRelative) const
    {
        std::string pack = path(packRelative);
        return "-r \"" + pack + "\" \"" + pack.substr(0, pack.size() - 5) + "\"";
    }

    // Names matching the pattern, in the order the directory listing delivers them.
    std::vector<std::string> listing(const std::string& pattern) const
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA entry;
        HANDLE find = FindFirstFileA(path(pattern).c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            names.push_back(entry.cFileName);
        } while (FindNextFileA(find, &entry));
        FindClose(find);
        return names;
    }

    std::wstring scratchFile(const std::wstring& name) const { return scratch_.file(name); }

private:
    ScratchDirectory scratch_;
    std::string home_;
};

// What one unpackJre call showed: its log lines and its standard output.
struct Observed {
    std::vector<std::string> log;
    std::string out;
};

Observed observeUnpackJre(const PackedRuntime& runtime)
{
    LogTail tail;
    StdoutCapture capture(runtime.scratchFile(L"stdout.txt"));
    unpackJre(runtime.home().c_str());
    Observed observed;
    observed.out = withoutCarriageReturns(capture.finish());
    observed.log = tail.lines();
    return observed;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

} // namespace

TEST(PackedJre, WithoutPackedFilesNothingIsLoggedPrintedOrStarted)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;
        std::vector<std::string> directories;
    };
    const Case cases[] = {
        {"empty runtime", {}, {}},
        {"plain jars", {{"lib\\rt.jar", "rt"}, {"lib\\ext\\a.jar", "a"}}, {}},
        {"other endings",
         {{"lib\\rt.pack", "x"}, {"lib\\rt.jar.pack.bak", "x"}, {"lib\\rt.jar.packed", "x"}, {"lib\\pack", "x"}},
         {}},
        // A directory is no packed file, whatever its name.
        {"directory named like a packed jar", {}, {"lib\\tools.jar.pack", "lib\\ext\\x.jar.pack"}},
    };
    for (const Case& c : cases) {
        PackedRuntime runtime;
        for (const auto& [name, bytes] : c.files) runtime.write(name, bytes);
        for (const std::string& dir : c.directories) ASSERT_TRUE(CreateDirectoryA(runtime.path(dir).c_str(), nullptr));

        Observed observed = observeUnpackJre(runtime);

        EXPECT_EQ("", joined(observed.log)) << c.what;
        EXPECT_EQ("", observed.out) << c.what;
        EXPECT_FALSE(runtime.has("bin\\unpack200.exe.starts")) << c.what;
        for (const auto& [name, bytes] : c.files) EXPECT_EQ(bytes, runtime.read(name)) << c.what << ": " << name;
    }
}

TEST(PackedJre, PackedFileBesideItsJarIsOnlyChecked)
{
    PackedRuntime runtime;
    runtime.write("lib\\rt.jar.pack", packBytes("STANDIN-PACK", "new"));
    runtime.write("lib\\rt.jar", "old");

    Observed observed = observeUnpackJre(runtime);

    EXPECT_EQ("checking " + runtime.path("lib\\rt.jar") + "\n", joined(observed.log));
    EXPECT_EQ("", observed.out);
    EXPECT_FALSE(runtime.has("bin\\unpack200.exe.starts"));
    EXPECT_EQ("old", runtime.read("lib\\rt.jar"));
    EXPECT_TRUE(runtime.has("lib\\rt.jar.pack"));
}

TEST(PackedJre, EveryPackedJarIsUnpackedOneAfterAnotherAndOnlyOnce)
{
    PackedRuntime runtime;
    const std::vector<std::string> libJars = {"rt", "charsets", "jsse"};
    for (const std::string& jar : libJars) {
        runtime.write("lib\\" + jar + ".jar.pack", packBytes("STANDIN-PACK", jar + " bytes"));
    }
    runtime.write("lib\\ext\\localedata.jar.pack", packBytes("STANDIN-PACK", "localedata bytes"));
    runtime.write("lib\\present.jar", "present");  // a jar that was never packed is left alone

    // lib before lib\ext, each in the order of the directory listing.
    std::vector<std::string> packs;
    for (const std::string& name : runtime.listing("lib\\*.jar.pack")) packs.push_back("lib\\" + name);
    for (const std::string& name : runtime.listing("lib\\ext\\*.jar.pack")) packs.push_back("lib\\ext\\" + name);
    ASSERT_EQ(4u, packs.size());

    std::vector<std::string> expectedLog;
    std::vector<std::string> expectedStarts;
    // The unpackers inherit standard output; the launcher's line comes before theirs.
    std::string expectedOut = "Preparing JRE ...\n";
    for (const std::string& pack : packs) {
        expectedLog.push_back("checking " + runtime.path(pack.substr(0, pack.size() - 5)));
        if (expectedLog.size() == 1) expectedLog.push_back("Unpacking JRE");
        expectedLog.push_back(runtime.unpacker());
        expectedLog.push_back(runtime.argumentsFor(pack));
        expectedLog.push_back("waiting for unpack200 to finish");
        expectedLog.push_back("unpack done");
        expectedStarts.push_back(runtime.argumentsFor(pack));
        expectedOut += "unpacked " + runtime.path(pack.substr(0, pack.size() - 5)) + "\n";
    }
    expectedLog.push_back("Unpacking JRE done");

    Observed first = observeUnpackJre(runtime);

    EXPECT_EQ(joined(expectedLog), joined(first.log));
    EXPECT_EQ(expectedOut, first.out);
    // One line per start, in order; none began while another still ran.
    EXPECT_EQ(joined(expectedStarts), joined(runtime.unpackerStarts()));
    for (const std::string& jar : libJars) {
        EXPECT_EQ(jar + " bytes", runtime.read("lib\\" + jar + ".jar")) << jar;
        EXPECT_FALSE(runtime.has("lib\\" + jar + ".jar.pack")) << jar;
    }
    EXPECT_EQ("localedata bytes", runtime.read("lib\\ext\\localedata.jar"));
    EXPECT_FALSE(runtime.has("lib\\ext\\localedata.jar.pack"));
    EXPECT_EQ("present", runtime.read("lib\\present.jar"));

    // The next start finds the jars in place.
    Observed second = observeUnpackJre(runtime);

    EXPECT_EQ("", joined(second.log));
    EXPECT_EQ("", second.out);
    EXPECT_EQ(4u, runtime.unpackerStarts().size());
}

// An unpacker that fails leaves the packed file, which is then the only copy of the jar,
// and no jar that a later start would take for a finished one; that start tries again.
TEST(PackedJre, FailedUnpackKeepsThePackedFileForTheNextStart)
{
    struct Case {
        const char* header;
        int exitCode;
    };
    const Case cases[] = {
        {"STANDIN-PACK FAIL 3", 3},     // writes nothing
        {"STANDIN-PACK PARTIAL 4", 4},  // leaves half a jar
        {"STANDIN-PACK FAIL 0", 0},     // claims success but writes nothing
    };
    for (const Case& c : cases) {
        PackedRuntime runtime;
        const std::string pack = packBytes(c.header, "rt bytes");
        runtime.write("lib\\rt.jar.pack", pack);

        Observed first = observeUnpackJre(runtime);

        EXPECT_EQ("Preparing JRE ...\n", first.out) << c.header;
        EXPECT_TRUE(containsLine(first.log, "unpack200 failed (exit code " + std::to_string(c.exitCode) +
                                                "), packed file kept"))
            << c.header << "\n" << joined(first.log);
        EXPECT_EQ("Unpacking JRE done", first.log.empty() ? "" : first.log.back()) << c.header;
        EXPECT_EQ(pack, runtime.read("lib\\rt.jar.pack")) << c.header;
        EXPECT_FALSE(runtime.has("lib\\rt.jar")) << c.header;

        observeUnpackJre(runtime);

        EXPECT_EQ(2u, runtime.unpackerStarts().size()) << c.header;
    }
}

// Paths are built in bounded buffers; one that does not fit is refused, not used cut.
TEST(PackedJre, OverlongPathsAreRefusedWhole)
{
    PackedRuntime runtime;
    runtime.write("lib\\rt.jar.pack", packBytes("STANDIN-PACK", "rt bytes"));
    const std::string pack = runtime.path("lib\\rt.jar.pack");
    // The search pattern is the home, "\lib\*.jar.pack" (15 characters) and a NUL.
    const size_t homeFittingPattern = kTextCapacity - 1 - 15;
    // The unpacker is the home and "\bin\unpack200.exe" (18 characters).
    const size_t homeOverProgram = kTextCapacity - 18;
    auto longHome = [&](size_t length) { return runtime.home() + std::string(length - runtime.home().size(), 'a'); };

    struct Case {
        const char* what;
        std::string home;
        std::string subdirectory;  // empty: unpackOneFile on the real packed file
        bool refused;
    };
    const Case cases[] = {
        {"pattern fits exactly", longHome(homeFittingPattern), "lib", false},
        {"pattern one over", longHome(homeFittingPattern + 1), "lib", true},
        {"pattern far over", longHome(kTextCapacity + 100), "lib", true},
        {"subdirectory over", runtime.home(), std::string(kTextCapacity, 'x'), true},
        {"unpacker path one over", longHome(homeOverProgram), "", true},
        {"unpacker path far over", longHome(2 * kTextCapacity), "", true},
    };
    for (const Case& c : cases) {
        LogTail tail;
        if (c.subdirectory.empty()) {
            unpackOneFile(c.home.c_str(), pack.c_str());
        } else {
            bool started = false;
            unpackJarsIn(c.home.c_str(), c.subdirectory.c_str(), &started);
            EXPECT_FALSE(started) << c.what;
        }
        std::vector<std::string> log = tail.lines();
        bool refused = std::any_of(log.begin(), log.end(),
                                   [](const std::string& line) { return line.rfind("path too long", 0) == 0; });
        EXPECT_EQ(c.refused, refused) << c.what << "\n" << joined(log);
        EXPECT_FALSE(containsLine(log, "waiting for unpack200 to finish")) << c.what;
    }
    EXPECT_FALSE(runtime.has("bin\\unpack200.exe.starts"));
    EXPECT_EQ(packBytes("STANDIN-PACK", "rt bytes"), runtime.read("lib\\rt.jar.pack"));
}

// The jar path is the packed path without ".pack"; anything else would name the wrong
// output, and the unpacker removes its input.
TEST(PackedJre, OnlyPackedFilesAreHandedToTheUnpacker)
{
    PackedRuntime runtime;
    runtime.write("lib\\rt.jar", "jar");
    runtime.write("lib\\a.pac", "x");
    for (const char* name : {"lib\\rt.jar", "lib\\a.pac", "", "k"}) {
        LogTail tail;
        std::string path = name[0] != '\0' ? runtime.path(name) : std::string();
        unpackOneFile(runtime.home().c_str(), path.c_str());
        EXPECT_EQ("not a packed file: " + path + "\n", joined(tail.lines())) << name;
    }
    EXPECT_FALSE(runtime.has("bin\\unpack200.exe.starts"));
    EXPECT_EQ("jar", runtime.read("lib\\rt.jar"));

    LogTail tail;
    unpackOneFile(runtime.home().c_str(), runtime.path("lib\\missing.jar.pack").c_str());
    EXPECT_EQ("pack path doesn't exists\n", joined(tail.lines()));
}

TEST(PackedJre, MissingUnpackerEndsTheLauncherWithInternalError20)
{
    PackedRuntime runtime(false);
    const std::string pack = packBytes("STANDIN-PACK", "rt bytes");
    runtime.write("lib\\rt.jar.pack", pack);
    wchar_t self[MAX_PATH + 1];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    ASSERT_TRUE(n > 0 && n <= MAX_PATH);

    ProcessResult child = runProcess(
        commandLineOf(self, {widen(kUnpackChildArgument), L"\"" + widen(runtime.home()) + L"\""}));

    ASSERT_TRUE(child.started);
    EXPECT_FALSE(child.timedOut);
    EXPECT_EQ(1u, child.exitCode);
    EXPECT_EQ("Preparing JRE ...\n", withoutCarriageReturns(child.out));
    // The child logs too (the environment turns the log on); its path follows the message.
    const std::string message = "An internal error occurred (error code: 20)\n\nLog: ";
    std::string err = withoutCarriageReturns(child.err);
    ASSERT_EQ(0u, err.rfind(message, 0)) << err;
    std::string logPath = err.substr(message.size());
    while (!logPath.empty() && logPath.back() == '\n') logPath.pop_back();
    std::vector<std::string> log = splitLines(readBytes(widen(logPath)));
    DeleteFileA(logPath.c_str());
    // The last lines: the unpacker's arguments, its failure, and the message shown.
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(runtime.argumentsFor("lib\\rt.jar.pack"), log[log.size() - 3]);
    EXPECT_EQ("could not create unpack process", log[log.size() - 2]);
    EXPECT_EQ("error shown: An internal error occurred (error code: 20)", log.back());
    EXPECT_EQ(pack, runtime.read("lib\\rt.jar.pack"));
    EXPECT_FALSE(runtime.has("lib\\rt.jar"));
}

TEST(JvmStandins, OnlyTheSixtyFourBitLibraryWithTheEntryPointServes)
{
    UniqueModule jvm(LoadLibraryA(standin("jvm.dll").c_str()));
    ASSERT_NE(nullptr, jvm.get()) << "error " << GetLastError();
    EXPECT_NE(nullptr, reinterpret_cast<void*>(GetProcAddress(jvm.get(), "JNI_CreateJavaVM")));

    UniqueModule noExport(LoadLibraryA(standin("jvm_noexport.dll").c_str()));
    ASSERT_NE(nullptr, noExport.get()) << "error " << GetLastError();
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, reinterpret_cast<void*>(GetProcAddress(noExport.get(), "JNI_CreateJavaVM")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());

    ASSERT_TRUE(exists(standin("jvm32.dll")));
    SetLastError(0xdeadbeef);
    UniqueModule jvm32(LoadLibraryA(standin("jvm32.dll").c_str()));
    DWORD error = GetLastError();
    EXPECT_EQ(nullptr, jvm32.get());
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), error);
}

TEST(JvmStandins, CreateJavaVmIsRecordedAndFails)
{
    ScratchDirectory dir;
    std::string record = dir.fileA("jvm.record");
    ASSERT_TRUE(SetEnvironmentVariableA("STANDIN_JVM_RECORD", record.c_str()));
    UniqueModule jvm(LoadLibraryA(standin("jvm.dll").c_str()));
    ASSERT_NE(nullptr, jvm.get());
    // One calling convention on 64-bit Windows; jint is a 32-bit long there.
    using CreateJavaVm = long (*)(void**, void**, void*);
    void* entry = reinterpret_cast<void*>(GetProcAddress(jvm.get(), "JNI_CreateJavaVM"));
    auto create = reinterpret_cast<CreateJavaVm>(entry);
    ASSERT_NE(nullptr, create);
    void* vm = &dir;
    void* env = &dir;
    EXPECT_EQ(-1, create(&vm, &env, nullptr));
    EXPECT_EQ(-1, create(&vm, &env, nullptr));
    SetEnvironmentVariableA("STANDIN_JVM_RECORD", nullptr);
    EXPECT_EQ(nullptr, vm);
    EXPECT_EQ(nullptr, env);
    EXPECT_EQ("JNI_CreateJavaVM\nJNI_CreateJavaVM\n", withoutCarriageReturns(readBytes(widen(record))));
}

namespace {

// The child of MissingUnpackerEndsTheLauncherWithInternalError20: a launcher whose
// errors go to standard error, with the usual text of message 1009.
int runUnpackChild(const char* javaHome)
{
    useMessageBoxes = false;
    setConfigString(cfg::msgInternalError, kInternalErrorText);
    unpackJre(javaHome);
    return 99;  // not reached: unpackJre ends the process
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], kUnpackChildArgument) == 0) {
        return runUnpackChild(argv[2]);
    }
    // The log decides once per process, at its first line: turn it on before anything
    // logs, in a directory of this run.
    ProgramLogDirectory logDirectory(L"packed_jre_tests");
    if (logDirectory.path().empty() || logFilePath() == nullptr) {
        fprintf(stderr, "the diagnostic log did not start\n");
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
