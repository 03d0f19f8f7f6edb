// Test support of the launch tests.
#include "support/launch_environment.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

namespace {

std::string lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Deletes the subkeys (version cache) and values (process ids) of `key` whose names begin
// with `prefix`, compared without case.
void forgetBelow(const char* keyName, const std::string& prefix, bool subkeys)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) return;
    std::vector<std::string> doomed;
    char name[4096];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        LONG result = subkeys ? RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr)
                              : RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result == ERROR_SUCCESS && lower(name).compare(0, prefix.size(), prefix) == 0) doomed.push_back(name);
    }
    for (const std::string& entry : doomed) {
        if (subkeys) RegDeleteKeyA(key, entry.c_str());
        else RegDeleteValueA(key, entry.c_str());
    }
    RegCloseKey(key);
}

} // namespace

void forgetRegistryEntries(const std::wstring& directory)
{
    std::string prefix = lower(narrowPath(directory));
    std::string slashed = prefix;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    forgetBelow("SOFTWARE\\tarnwell\\quill\\jvms", slashed, true);
    forgetBelow("SOFTWARE\\tarnwell\\quill\\pids", prefix, false);
}

std::string joinLines(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

std::string LaunchRun::describe() const
{
    return "exit code " + std::to_string(launcher.result.exitCode) + "\n--- stderr\n" + launcher.err +
           "\n--- record\n" + record.dump() + "\n--- log\n" + launcher.log;
}

void LaunchTest::SetUp()
{
    RuntimeLayout layout;
    layout.java.versionLine = "java version \"1.8.0_66\"";
    layout.jvmDll = "jvm.dll";
    ASSERT_FALSE(layOutRuntime(dir.file(L"app\\jre"), layout).empty()) << "stand-ins missing (STANDIN_DIR)";
    ASSERT_TRUE(makeDirectories(binDir()));
}

void LaunchTest::TearDown()
{
    forgetRegistryEntries(dir.path());
}

blockformat::ConfigBlock LaunchTest::block() const
{
    blockformat::ConfigBlock b = serviceBlock();
    b.set(2001, "q");
    b.set(128, "B..\\jre;");
    b.set(126, "1.7");
    b.set(127, "1.8");
    b.set(121, "");
    b.set(123, "");
    return b;
}

std::wstring LaunchTest::package(const blockformat::ConfigBlock& block, const std::wstring& name)
{
    return packageLauncher(dir, block, L"app\\bin\\" + name);
}

LaunchRun LaunchTest::run(const std::wstring& exe, const std::vector<std::wstring>& arguments,
                          jnistandin::Behaviour behaviour, ProcessOptions options)
{
    DeleteFileW(recordPath().c_str());
    behaviour.record = toUtf8(recordPath());
    EXPECT_TRUE(jnistandin::writeControl(jnistandin::controlBeside(jvmDll()), behaviour));
    for (const wchar_t* name : {L"JAVA_HOME", L"JDK_HOME", L"QUILL_JAVA_HOME", L"DEPLOYKIT_JAVA_HOME",
                                L"STANDIN_JVM_CONTROL", L"STANDIN_JVM_RECORD"}) {
        if (options.setEnv.count(name) == 0) options.unsetEnv.push_back(name);
    }
    LaunchRun result;
    result.launcher = runLauncher(exe, arguments, dir, true, options);
    result.record = jnistandin::readRecord(recordPath());
    return result;
}

LaunchRun LaunchTest::runChild(const std::wstring& exe, const std::vector<std::wstring>& arguments,
                               const std::string& input, jnistandin::Behaviour behaviour)
{
    std::vector<std::wstring> line = arguments;
    line.push_back(L"__dpk_restart");
    ProcessOptions options;
    options.input = input;
    return run(exe, line, behaviour, options);
}

std::vector<LauncherRun> LaunchTest::runHeldInMain(const std::wstring& exe, size_t count, size_t inMain,
                                                    jnistandin::Behaviour behaviour)
{
    jnistandin::MainGate gate;
    EXPECT_TRUE(gate.ready()) << "cannot make the stand-in's semaphore and event, error " << GetLastError();
    gate.hold(behaviour);
    EXPECT_TRUE(jnistandin::writeControl(jnistandin::controlBeside(jvmDll()), behaviour));
    ProcessOptions options;
    options.timeoutMs = kHeldRunMs;
    LaunchersTogether together(exe, std::vector<std::vector<std::wstring>>(count, {L"/run"}), dir, options);
    // Entries and ends as they come, until every run is accounted for or one too many is
    // in main.
    size_t entered = 0;
    size_t ended = 0;
    const HANDLE events[] = {static_cast<HANDLE>(gate.entries()), together.endings()};
    const DWORD start = GetTickCount();
    while (entered <= inMain && entered + ended < count) {
        const DWORD spent = GetTickCount() - start;
        if (spent >= kArrivalMs) break;
        const DWORD which = WaitForMultipleObjects(2, events, FALSE, kArrivalMs - spent);
        if (which == WAIT_OBJECT_0) ++entered;
        else if (which == WAIT_OBJECT_0 + 1) ++ended;
        else break;
    }
    const std::string seen = std::to_string(entered) + " of " + std::to_string(count) + " runs reached main and " +
                             std::to_string(ended) + " ended within " + std::to_string(GetTickCount() - start) + " ms";
    EXPECT_EQ(inMain, entered) << seen;
    EXPECT_EQ(count - inMain, ended) << seen;
    gate.release();
    return together.join();
}

std::string LaunchTest::lastPathSetting(const std::string& log)
{
    std::string value;
    for (const std::string& line : linesOf(log)) {
        for (const char* prefix : {"Setting PATH (native libs) ", "Setting PATH "}) {
            std::string p = prefix;
            if (line.compare(0, p.size(), p) == 0 && line.find(" failed with error ") == std::string::npos) {
                value = line.substr(p.size());
                break;
            }
        }
    }
    return value;
}
