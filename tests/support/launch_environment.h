// Test support of the launch tests: one application in a fresh directory (the launcher
// as app\bin\app.exe, a stand-in runtime in app\jre found through "B..\jre;"), run with
// the stand-in JVM playing the Java side the test chooses, and what it recorded.
#pragma once

#include "support/jni_standin.h"
#include "support/test_launcher.h"
#include "support/test_runtime.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// How long a test waits for launchers to reach the stand-in's main (or to end) while
// others are held there, and how long such a run may take before it counts as hung.
constexpr DWORD kArrivalMs = 60000;
constexpr DWORD kHeldRunMs = 120000;

struct LaunchRun {
    LauncherRun launcher;
    jnistandin::Record record;
    DWORD exitCode() const { return launcher.result.exitCode; }
    // Everything worth seeing when an assertion fails.
    std::string describe() const;
};

// Removes what a run left in the registry for executables below `directory`: version
// cache entries and recorded single-instance process ids.
void forgetRegistryEntries(const std::wstring& directory);

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The example service block, quill flavour, no class-path entries, and the runtime search
    // "B..\jre;".
    blockformat::ConfigBlock block() const;
    // Packages the launcher as app\bin\<name>.
    std::wstring package(const blockformat::ConfigBlock& block, const std::wstring& name = L"app.exe");
    // Runs `exe` with `arguments` after writing the control file for `behaviour`.
    LaunchRun run(const std::wstring& exe, const std::vector<std::wstring>& arguments,
                  jnistandin::Behaviour behaviour = {}, ProcessOptions options = {});
    // A service child: the arguments followed by "__dpk_restart", `input` on its stdin.
    LaunchRun runChild(const std::wstring& exe, const std::vector<std::wstring>& arguments,
                       const std::string& input, jnistandin::Behaviour behaviour = {});
    // Starts `count` launchers with "/run" at once. Each run that reaches main is held
    // there (by the stand-in, through a jnistandin::MainGate), so holding its instance
    // semaphore, until `inMain` runs are in main and all the others have ended; then they
    // go on. More runs in main than that, or runs that do not come within
    // kArrivalMs, fail the test.
    std::vector<LauncherRun> runHeldInMain(const std::wstring& exe, size_t count, size_t inMain,
                                           jnistandin::Behaviour behaviour = {});
    // The PATH the launcher last set, from its log ("" when none).
    static std::string lastPathSetting(const std::string& log);

    std::wstring appDir() const { return dir.file(L"app"); }
    std::wstring binDir() const { return dir.file(L"app\\bin"); }
    std::string binDirA() const { return narrowPath(binDir()); }
    std::wstring recordPath() const { return dir.file(L"jvm.record"); }
    std::wstring jvmDll() const { return dir.file(L"app\\jre\\bin\\server\\jvm.dll"); }

    ScratchDirectory dir;
};

std::string joinLines(const std::vector<std::string>& lines);
