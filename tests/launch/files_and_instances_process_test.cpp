// Class path assembly, included files and the single-instance guard, end to end: what the
// stand-in VM was given, what the application found in its temporary directory, and how
// real launcher processes see each other.
#include "support/launch_environment.h"

#include "platform/private_security.h"
#include "support/access_list.h"

#include <windows.h>

#include <sddl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

using jnistandin::Behaviour;

std::string optionValue(const jnistandin::Record& record, const std::string& prefix)
{
    for (const std::string& option : record.options()) {
        if (option.compare(0, prefix.size(), prefix) == 0) return option.substr(prefix.size());
    }
    return "<missing " + prefix + ">";
}

class ClassPath : public LaunchTest {};

TEST_F(ClassPath, EntriesOverridesAndMandatoryChecks)
{
    ASSERT_TRUE(makeDirectories(appDir() + L"\\lib"));
    ASSERT_TRUE(makeDirectories(appDir() + L"\\empty"));
    ASSERT_TRUE(writeTextFile(appDir() + L"\\lib\\a.jar", "jar"));
    ASSERT_TRUE(writeTextFile(appDir() + L"\\lib\\b.zip", "zip"));
    const std::string bin = binDirA();
    const std::string app = narrowPath(appDir());
    struct Case {
        const char* name;
        std::string entries;     // configuration 121
        std::string vmoptions;   // app.vmoptions
        char flavour;
        std::string expected;    // the class path, or the message when exitCode is 1
        DWORD exitCode;
        std::string installDir = "..\\";  // configuration 10003
        std::string logPart = "";          // a part of the log, when it matters
    };
    // A directory that fills a 6000-byte path buffer exactly, and one a byte longer; and
    // a scanned directory whose name, behind the executable's directory, is one too long.
    const std::string fits = "C:\\" + std::string(5996, 'i');
    const std::string over = fits + "i";
    const std::string longName(6000 - (bin.size() + 1), 'n');
    const std::vector<Case> cases = {
        {"nothing", "", "", 'q', "", 0},
        {"archive", "A1..\\lib\\a.jar", "", 'q', bin + "\\..\\lib\\a.jar", 0},
        {"missing optional archive is added", "A0..\\lib\\none.jar;D1..\\lib", "", 'q',
         bin + "\\..\\lib\\none.jar;" + bin + "\\..\\lib", 0},
        {"missing mandatory archive", "A1..\\lib\\none.jar", "", 'q',
         "File or directory ..\\lib\\none.jar not found or empty", 1},
        {"scanned directory: jar then zip", "S1..\\lib", "", 'q', bin + "\\..\\lib\\a.jar;" + bin + "\\..\\lib\\b.zip", 0},
        {"empty scanned directory passes", "S1..\\empty;A0x.jar", "", 'q', bin + "\\x.jar", 0},
        {"missing scanned directory", "S1..\\nothere", "", 'q', "File or directory ..\\nothere not found or empty", 1},
        {"environment value without quotes", "E1CP_QUOTED;E1CP_ENDS", "", 'q', "q1;q2;e1", 0},
        {"undefined mandatory variable", "E1CP_UNDEFINED", "", 'q', "The environment variable CP_UNDEFINED has to be defined",
         1},
        {"undefined optional variable is skipped", "E0CP_UNDEFINED;A0x.jar", "", 'q', bin + "\\x.jar", 0},
        {"overrides", "A0x.jar", "-classpath/p pre.jar\n-classpath r1.jar\n-classpath r2.jar\n-classpath/a post.jar\n", 'q',
         "pre.jar;r2.jar;post.jar", 0},
        {"deploykit runtime archive", "A0x.jar", "", 'd', app + "\\.deploykit\\dpkruntime.jar;" + bin + "\\x.jar", 0},
        {"runtime archive beside an installation directory that just fits", "A0x.jar", "", 'd',
         fits + "\\.deploykit\\dpkruntime.jar;" + bin + "\\x.jar", 0, fits},
        {"no runtime archive beside one a byte too long", "A0x.jar", "", 'd', bin + "\\x.jar", 0, over,
         "installation directory too long; not used"},
        {"scanned directory whose path is a byte too long is missing", "S1" + longName, "", 'q',
         "File or directory " + longName, 1, "..\\",
         "path too long for 5999: " + bin + "\\" + longName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        blockformat::ConfigBlock b = block();
        b.set(121, c.entries);
        b.set(2001, std::string(1, c.flavour));
        b.set(10003, c.installDir);
        std::wstring exe = package(b);
        std::wstring vmoptions = binDir() + L"\\app.vmoptions";
        DeleteFileW(vmoptions.c_str());
        if (!c.vmoptions.empty()) {
            ASSERT_TRUE(writeTextFile(vmoptions, c.vmoptions));
        }
        ProcessOptions options;
        options.setEnv[L"CP_QUOTED"] = L"\"q1;q2\"";
        options.setEnv[L"CP_ENDS"] = L"e1;";
        options.unsetEnv.push_back(L"CP_UNDEFINED");
        LaunchRun run = this->run(exe, {L"/run"}, Behaviour{}, options);
        ASSERT_EQ(c.exitCode, run.exitCode()) << run.describe();
        if (c.exitCode == 0) {
            EXPECT_EQ(c.expected, optionValue(run.record, "-Djava.class.path=")) << run.describe();
        } else {
            EXPECT_NE(std::string::npos, run.launcher.err.find(c.expected)) << run.describe();
            EXPECT_EQ(0u, run.record.count("JNI_CreateJavaVM"));
        }
        EXPECT_NE(std::string::npos, run.launcher.log.find(c.logPart)) << run.describe();
    }
}

class IncludedFiles : public LaunchTest {};

std::vector<uint8_t> pattern(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xff);
    return bytes;
}

TEST_F(IncludedFiles, ReachTheApplicationAndTheClassPath)
{
    blockformat::ConfigBlock b = block();
    const std::vector<uint8_t> big = pattern(15001);  // two full chunks and a remainder
    b.addIncludedFiles({{"app.jar", big},
                        {"empty.txt", {}},
                        {"conf\\settings.txt", {'a', '\r', '\n', '%', 'b'}},
                        {"user\\extra.zip", {'z'}},
                        {"lib\\hidden.jar", {'h'}}});
    std::wstring exe = package(b);
    Behaviour behaviour;
    behaviour.mainReadsFiles = {"app.jar", "empty.txt", "conf\\settings.txt", "user\\extra.zip"};
    LaunchRun run = this->run(exe, {L"/run"}, behaviour);
    ASSERT_EQ(0u, run.exitCode()) << run.describe();
    const std::string tempDir = optionValue(run.record, "-Dquill.tempDir=");
    EXPECT_NE(std::string::npos, tempDir.find("_dir")) << tempDir;
    EXPECT_EQ(joinLines({"app.jar 15001", "empty.txt missing", "conf\\settings.txt 5", "user\\extra.zip 1"}),
              joinLines(run.record.all("tempFile")))
        << run.describe();
    std::vector<std::string> contents = run.record.all("tempFileContent");
    ASSERT_EQ(3u, contents.size());
    EXPECT_TRUE(std::string(big.begin(), big.end()) == contents[0]) << "the large file differs";
    EXPECT_EQ(std::string("a\r\n%b"), contents[1]);
    // Extraction read every record, to the end of the executable.
    EXPECT_EQ(std::to_string(readBytes(exe).size()), optionValue(run.record, "-Dquill.unextractedPosition="));
    // Archives of the directory and its "user" subdirectory only.
    EXPECT_EQ(tempDir + "\\app.jar;" + tempDir + "\\user\\extra.zip", optionValue(run.record, "-Djava.class.path="));
    // A normal return leaves the directory for the application.
    EXPECT_TRUE(pathExists(fromUtf8(tempDir)));
}

// While the application runs, nobody but the launcher's account, SYSTEM and the
// administrators can get at its folder, its sub-folders or the files in them.
TEST_F(IncludedFiles, FolderAndFilesArePrivateWhileTheApplicationRuns)
{
    blockformat::ConfigBlock b = block();
    b.addIncludedFiles({{"app.jar", {'a'}}, {"user\\extra.zip", {'z'}}});
    Behaviour behaviour;
    behaviour.mainRecordsSecurity = {".", "app.jar", "user", "user\\extra.zip"};
    LaunchRun run = this->run(package(b), {L"/run"}, behaviour);
    ASSERT_EQ(0u, run.exitCode()) << run.describe();
    const std::vector<std::string> lists = run.record.all("tempFileSecurity");
    ASSERT_EQ(behaviour.mainRecordsSecurity.size(), lists.size()) << run.describe();
    for (size_t i = 0; i < lists.size(); ++i) {
        const std::string& name = behaviour.mainRecordsSecurity[i];
        ASSERT_EQ(0u, lists[i].rfind(name + " D:", 0)) << lists[i];
        EXPECT_TRUE(entriesForEverybody(lists[i]).empty()) << lists[i];
    }
}

// Every fatal end removes the directory; a normal return keeps it.
TEST_F(IncludedFiles, DirectoryIsRemovedOnEveryFatalExit)
{
    struct Case {
        const char* name;
        std::string classPath;
        Behaviour behaviour;
        DWORD exitCode;
        bool kept;
    };
    Behaviour creationFails;
    creationFails.create = -1;
    Behaviour noMainClass;
    noMainClass.missingClasses = {"com/quill/runtime/WinLauncher"};
    Behaviour noMainMethod;
    noMainMethod.missingMethods = {"main"};
    Behaviour throws;
    throws.main = "throw";
    Behaviour noArray;
    noArray.failNewObjectArray = true;
    const std::vector<Case> cases = {
        {"normal return", "", Behaviour{}, 0, true},
        {"class path check", "A1missing.jar", Behaviour{}, 1, false},
        {"VM creation fails", "", creationFails, 1, false},
        {"main class missing", "", noMainClass, 1, false},
        {"main method missing", "", noMainMethod, 1, false},
        {"main throws", "", throws, 1, false},
        {"argument array fails", "", noArray, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        blockformat::ConfigBlock b = block();
        b.set(121, c.classPath);
        b.addIncludedFiles({{"lib\\a.jar", {'a'}}});
        LaunchRun run = this->run(package(b), {L"/run"}, c.behaviour);
        EXPECT_EQ(c.exitCode, run.exitCode()) << run.describe();
        std::vector<std::wstring> left = listNames(dir.path(), L"qll*_dir*");
        EXPECT_EQ(c.kept ? 1u : 0u, left.size()) << run.describe();
        for (const std::wstring& name : left) removeTree(dir.file(name));
    }
}

// The processes of this name, by their ids.
std::vector<DWORD> processesNamed(const std::wstring& exeName)
{
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, exeName.c_str()) == 0) found.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

// Each run leaves its directory (the VM may hold its archives to the end), and the next
// start removes it: after many runs only the last one's is there, with no marker beside it.
// A run still in main keeps its directory through other starts; a run killed from outside
// loses it at the next start.
TEST_F(IncludedFiles, EndedRunsDirectoriesGoAtTheNextStart)
{
    blockformat::ConfigBlock b = block();
    b.addIncludedFiles({{"sub\\a.jar", {'a'}}, {"empty.txt", {}}, {"launcher-runtime.jar", {'j', 'a', 'r'}}});
    const std::wstring exeName = L"sweep_app.exe";
    const std::wstring exe = package(b, exeName);
    auto ours = [this] { return listNames(dir.path(), L"qll*"); };
    const DWORD started = GetTickCount();
    for (int i = 0; i < 50; ++i) {
        LaunchRun run = this->run(exe, {L"/run"});
        ASSERT_EQ(0u, run.exitCode()) << "run " << i << "\n" << run.describe();
        const std::wstring own = fromUtf8(optionValue(run.record, "-Dquill.tempDir="));
        const std::vector<std::wstring> left = ours();
        ASSERT_EQ(1u, left.size()) << "run " << i << "\n" << run.describe();
        ASSERT_EQ(own, dir.file(left[0])) << "run " << i;
    }
    std::printf("50 runs in %lu ms\n", static_cast<unsigned long>(GetTickCount() - started));

    // A run held in main, and another start meanwhile.
    jnistandin::MainGate gate;
    ASSERT_TRUE(gate.ready());
    Behaviour held;
    held.record = toUtf8(dir.file(L"held.record"));
    gate.hold(held);
    ASSERT_TRUE(jnistandin::writeControl(jnistandin::controlBeside(jvmDll()), held));
    LauncherRun first;
    ProcessOptions options;
    options.timeoutMs = kHeldRunMs;
    std::thread firstRun([&] { first = runLauncherIn(exe, {L"/run"}, dir.path(), true, options); });
    const bool firstInMain = gate.waitForEntries(1, kArrivalMs);
    LaunchRun second;
    std::wstring firstDir;
    std::vector<DWORD> running;
    if (firstInMain) {
        firstDir = fromUtf8(optionValue(jnistandin::readRecord(dir.file(L"held.record")), "-Dquill.tempDir="));
        second = run(exe, {L"/run"});
        running = processesNamed(exeName);
        // Killed from outside while in main.
        if (running.size() == 1) {
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, running[0]);
            if (process != nullptr) {
                TerminateProcess(process, 9);
                WaitForSingleObject(process, kArrivalMs);
                CloseHandle(process);
            }
        }
    }
    gate.release();
    firstRun.join();
    ASSERT_TRUE(firstInMain) << "the held run did not reach main within " << kArrivalMs << " ms\n" << first.log;
    EXPECT_EQ(0u, second.exitCode()) << second.describe();
    ASSERT_EQ(1u, running.size()) << "only the held run was running";
    EXPECT_EQ(9u, first.result.exitCode) << first.log;
    // The held run's directory outlived the second start whole.
    EXPECT_EQ(1u, second.record.count("JNI_CreateJavaVM")) << second.describe();
    std::vector<std::wstring> left = ours();
    std::sort(left.begin(), left.end());
    const std::wstring secondDir = fromUtf8(optionValue(second.record, "-Dquill.tempDir="));
    ASSERT_EQ(2u, left.size());
    for (const std::wstring& name : left) {
        EXPECT_TRUE(dir.file(name) == firstDir || dir.file(name) == secondDir) << toUtf8(name);
    }
    EXPECT_TRUE(pathExists(firstDir + L"\\sub\\a.jar"));
    EXPECT_TRUE(pathExists(firstDir + L"\\launcher-runtime.jar"));

    // The next start removes both: the killed run's and the ended one's.
    LaunchRun third = run(exe, {L"/run"});
    ASSERT_EQ(0u, third.exitCode()) << third.describe();
    left = ours();
    ASSERT_EQ(1u, left.size()) << third.describe();
    EXPECT_EQ(fromUtf8(optionValue(third.record, "-Dquill.tempDir=")), dir.file(left[0]));
}

// A main that throws: the exception is printed and the VM is asked to end as System.exit(1)
// ends it; its exit hook removes the directory. Should the VM refuse, the launcher ends
// the same way itself.
TEST_F(IncludedFiles, ThrownMainEndsTheVmWithExitCodeOne)
{
    struct Case {
        const char* name;
        bool refused;
        const char* recordKey;
    };
    for (const Case& c : {Case{"the VM exits", false, "exitHook"}, Case{"the exit is refused", true, "exitRefused"}}) {
        SCOPED_TRACE(c.name);
        blockformat::ConfigBlock b = block();
        b.addIncludedFiles({{"lib\\a.jar", {'a'}}, {"empty.txt", {}}});
        Behaviour behaviour;
        behaviour.main = "throw";
        behaviour.exitRefused = c.refused;
        LaunchRun run = this->run(package(b), {L"/run"}, behaviour);
        EXPECT_EQ(1u, run.exitCode()) << run.describe();
        EXPECT_NE(std::string::npos,
                  run.launcher.err.find(std::string("Exception in thread \"main\" ") + jnistandin::kThrownException))
            << run.describe();
        EXPECT_TRUE(run.record.exitHookGiven()) << run.describe();
        EXPECT_EQ(joinLines({"I 1"}), joinLines(run.record.callArguments("java/lang/System.exit"))) << run.describe();
        EXPECT_EQ(joinLines({"1"}), joinLines(run.record.all("exit"))) << run.describe();
        EXPECT_EQ(joinLines({"1"}), joinLines(run.record.all(c.recordKey))) << run.describe();
        EXPECT_EQ(0u, run.record.count("DestroyJavaVM")) << "the application's threads are not waited for";
        if (c.refused) {
            EXPECT_NE(std::string::npos, run.launcher.err.find(jnistandin::kExitRefusedException)) << run.describe();
        }
        EXPECT_TRUE(listNames(dir.path(), L"qll*").empty()) << run.describe();
    }
}

// A name that would leave the directory is never written: message 1009 with code 11.
TEST_F(IncludedFiles, NamesOutsideTheDirectoryAreRefused)
{
    for (const std::string& name : {std::string("..\\escaped.txt"), std::string("sub\\..\\..\\escaped.txt"),
                                    "C:" + narrowPath(dir.file(L"escaped.txt")), narrowPath(dir.file(L"escaped.txt"))}) {
        SCOPED_TRACE(name);
        blockformat::ConfigBlock b = block();
        b.addIncludedFiles({{name, {'x'}}});
        LaunchRun run = this->run(package(b), {L"/run"});
        EXPECT_EQ(1u, run.exitCode()) << run.describe();
        EXPECT_NE(std::string::npos, run.launcher.err.find("An internal error occurred (error code: 11)"))
            << run.describe();
        EXPECT_FALSE(pathExists(dir.file(L"escaped.txt")));
        EXPECT_TRUE(listNames(dir.path(), L"qll*_dir*").empty());
        EXPECT_EQ(0u, run.record.count("JNI_CreateJavaVM"));
    }
}

class SingleInstance : public LaunchTest {
protected:
    static std::string semaphoreOf(const LauncherRun& run)
    {
        const std::string prefix = "semaphore name ";
        for (const std::string& line : linesOf(run.log)) {
            if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size(), line.find(',') - prefix.size());
        }
        return "<none>";
    }
    std::string baseName(const std::wstring& exe) const
    {
        std::string name = narrowPath(exe);
        for (char& ch : name) {
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            if (ch == '\\' || ch == ' ') ch = '_';
        }
        return "Local\\" + name;
    }
};

TEST_F(SingleInstance, NumberedSemaphoresCountTheRunningInstances)
{
    std::wstring exe = package(block());
    jnistandin::MainGate gate;
    ASSERT_TRUE(gate.ready());
    Behaviour held;
    gate.hold(held);
    ASSERT_TRUE(jnistandin::writeControl(jnistandin::controlBeside(jvmDll()), held));
    // Its own temporary directory, so that its log is not taken for the second one's.
    const std::wstring firstTmp = dir.file(L"first");
    ASSERT_TRUE(makeDirectories(firstTmp));
    LauncherRun first;
    ProcessOptions options;
    options.timeoutMs = kHeldRunMs;
    std::thread firstRun([&] { first = runLauncherIn(exe, {L"/run"}, firstTmp, true, options); });
    // The second runs while the first is held in main; it writes a control of its own,
    // which the first, having read its own, no longer sees.
    const bool firstInMain = gate.waitForEntries(1, kArrivalMs);
    LaunchRun second;
    if (firstInMain) second = run(exe, {L"/run"});
    gate.release();
    firstRun.join();
    ASSERT_TRUE(firstInMain) << "the first launcher did not reach main within " << kArrivalMs << " ms\n" << first.log;
    LaunchRun third = run(exe, {L"/run"});
    EXPECT_EQ(baseName(exe) + "0", semaphoreOf(first)) << first.log;
    EXPECT_EQ(baseName(exe) + "1", semaphoreOf(second.launcher)) << second.describe();
    EXPECT_EQ(baseName(exe) + "0", semaphoreOf(third.launcher)) << third.describe();
    EXPECT_EQ(0u, first.result.exitCode);
    EXPECT_EQ(0u, second.exitCode());
    EXPECT_EQ("-Dquill.semaphoreName=" + baseName(exe) + "1", second.record.options().at(0));
}

// Any user may make an object in the global namespace. One that another account made first
// under a service's name does not make the service think it runs already; a launcher's own
// object (owned by its account) still does.
TEST_F(SingleInstance, GlobalObjectThatIsNotALaunchersDoesNotStopTheStart)
{
    blockformat::ConfigBlock b = block();
    b.set(10005, "1");
    b.set(10007, "0");
    b.set(158, "1");
    std::wstring exe = package(b);
    const std::string name = "Global" + baseName(exe).substr(std::strlen("Local"));
    const std::wstring self = processAccountSid();
    const std::string foreign = "S-1-5-21-1-2-3-1001";
    struct Case {
        const char* name;
        std::wstring security;  // SDDL of the semaphore made first; empty: an event instead
        bool goesOn;
        std::string logLine;
    };
    const std::vector<Case> cases = {
        {"another account's semaphore, open to everybody", L"O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)", true,
         "ERROR: the single-instance object " + name + " was made by another account (" + foreign +
             "), not by a launcher; going on as the first instance"},
        {"a semaphore nobody may open", L"O:S-1-5-21-1-2-3-1001D:P", true,
         "ERROR: the single-instance object " + name +
             " exists and cannot be opened (error 5), not a launcher's; going on as the first instance"},
        {"an event under that name", L"", true,
         "ERROR: the single-instance object " + name +
             " exists and cannot be opened (error 6), not a launcher's; going on as the first instance"},
        {"a launcher's semaphore of this account", L"O:" + self + L"D:P(A;;GA;;;" + self + L")", false, "exiting"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!c.security.empty()) {
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.security.c_str(), SDDL_REVISION_1,
                                                                             &descriptor, nullptr));
        }
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        HANDLE first = c.security.empty() ? CreateEventA(nullptr, TRUE, FALSE, name.c_str())
                                          : CreateSemaphoreA(&attributes, 1, 1, name.c_str());
        LocalFree(descriptor);
        ASSERT_NE(nullptr, first);
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError()) << "the name is taken already";
        LaunchRun run = this->run(exe, {L"/run"});
        CloseHandle(first);
        EXPECT_EQ(0u, run.exitCode()) << run.describe();
        EXPECT_EQ(c.goesOn ? 1u : 0u, run.record.count("JNI_CreateJavaVM")) << run.describe();
        EXPECT_TRUE(containsLine(run.launcher.log, c.logLine)) << run.describe();
    }
}

TEST_F(SingleInstance, OneOfSimultaneousStartsContinues)
{
    blockformat::ConfigBlock b = block();
    b.set(10005, "1");
    b.set(10007, "0");
    std::wstring exe = package(b);
    Behaviour behaviour;
    behaviour.record = toUtf8(recordPath());
    DeleteFileW(recordPath().c_str());
    // The one that goes on stays in main until the other three have ended.
    std::vector<LauncherRun> runs = runHeldInMain(exe, 4, 1, behaviour);
    jnistandin::Record record = jnistandin::readRecord(recordPath());
    EXPECT_EQ(1u, record.count("main")) << record.dump();

    // The registry holds the id of the one that continued; the others name it and end with 0.
    DWORD recorded = 0;
    DWORD size = sizeof recorded;
    std::string valueName = narrowPath(exe);
    for (char& ch : valueName) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, "SOFTWARE\\tarnwell\\quill\\pids", valueName.c_str(),
                                          RRF_RT_REG_DWORD, nullptr, &recorded, &size));
    int continued = 0;
    int stopped = 0;
    for (const LauncherRun& run : runs) {
        EXPECT_EQ(0u, run.result.exitCode) << run.log;
        EXPECT_EQ(baseName(exe), semaphoreOf(run));
        if (containsLine(run.log, "launch done")) ++continued;
        if (containsLine(run.log, "other pid " + std::to_string(recorded)) && containsLine(run.log, "exiting")) {
            ++stopped;
            EXPECT_EQ(std::string::npos, run.log.find("Searching for a JVM")) << run.log;
        }
    }
    EXPECT_EQ(1, continued);
    EXPECT_EQ(3, stopped);
}

} // namespace
