// Load: many launchers of one application at the same moment, and many in a row. Each
// instance must get its own numbered semaphore; in single-instance mode exactly one goes
// on; and a long run of starts leaves no temporary file or directory behind.
#include "support/launch_environment.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

using jnistandin::Behaviour;

std::string semaphoreOf(const LauncherRun& run)
{
    const std::string prefix = "semaphore name ";
    for (const std::string& line : linesOf(run.log)) {
        if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size(), line.find(',') - prefix.size());
    }
    return "<none>";
}

class Load : public LaunchTest {};

TEST_F(Load, TwentySimultaneousStartsGetTwentyNumbers)
{
    // All twenty are in main, holding their semaphores, at the same time.
    std::vector<LauncherRun> runs = runHeldInMain(package(block()), 20, 20);
    std::set<std::string> names;
    for (const LauncherRun& run : runs) {
        EXPECT_EQ(0u, run.result.exitCode) << run.log;
        names.insert(semaphoreOf(run));
    }
    EXPECT_EQ(20u, names.size());
    std::string sample = *names.begin();
    std::string base = sample.substr(0, sample.find_last_not_of("0123456789") + 1);
    for (int n = 0; n < 20; ++n) {
        EXPECT_EQ(1u, names.count(base + std::to_string(n))) << base << n;
    }
}

TEST_F(Load, OneOfTwentySimultaneousSingleInstanceStartsGoesOn)
{
    blockformat::ConfigBlock b = block();
    b.set(10005, "1");
    b.set(10007, "0");
    // The one that goes on stays in main until the other nineteen have ended.
    std::vector<LauncherRun> runs = runHeldInMain(package(b), 20, 1);
    int continued = 0;
    for (const LauncherRun& run : runs) {
        EXPECT_EQ(0u, run.result.exitCode) << run.log;
        if (containsLine(run.log, "launch done")) ++continued;
    }
    EXPECT_EQ(1, continued);
}

TEST_F(Load, StartsInARowLeaveNothingBehind)
{
    std::wstring exe = package(block());
    ASSERT_TRUE(jnistandin::writeControl(jnistandin::controlBeside(jvmDll()), Behaviour{}));
    const std::wstring tmp = dir.file(L"tmp");
    ASSERT_TRUE(makeDirectories(tmp));
    ProcessOptions options;
    options.setEnv[L"TMP"] = tmp;
    options.setEnv[L"TEMP"] = tmp;
    // LOAD_STARTS chooses another number (scripts/soak-run).
    const char* chosen = std::getenv("LOAD_STARTS");
    const int starts = chosen != nullptr && *chosen != '\0' ? std::atoi(chosen) : 200;
    int failures = 0;
    DWORD began = GetTickCount();
    for (int n = 0; n < starts; ++n) {
        ProcessResult result = runProcess(commandLineOf(exe, {L"/run"}), options);
        if (result.exitCode != 0 && ++failures <= 3) {
            ADD_FAILURE() << "start " << n << " ended with " << result.exitCode << ": " << result.err;
        }
    }
    std::printf("%d starts in a row in %lu ms\n", starts, static_cast<unsigned long>(GetTickCount() - began));
    EXPECT_EQ(0, failures);
    // Nothing in the temporary directory: no marker files, no directories, no logs.
    EXPECT_TRUE(listNames(tmp, L"*").empty()) << toUtf8(listNames(tmp, L"*").front());
    // Nobody holds the first instance semaphore of the application any more.
    std::string semaphore = narrowPath(exe);
    for (char& ch : semaphore) {
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (ch == '\\' || ch == ' ') ch = '_';
    }
    semaphore = "Local\\" + semaphore + "0";
    HANDLE holder = OpenSemaphoreA(SYNCHRONIZE, FALSE, semaphore.c_str());
    EXPECT_EQ(nullptr, holder) << semaphore;
    if (holder != nullptr) CloseHandle(holder);
}

} // namespace
