// The service's child: its command line from the service manager's start arguments, and
// a real child (a copy of this test program) started with its pipes, waited for and ended.
#include "service/child_process.h"

#include "config/service_signals.h"
#include "config/start_failure_report.h"
#include "format/command_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kChildModeVariable[] = L"CHILD_PROCESS_TEST_MODE";
// An inheritable handle of the parent, which the child must not have.
constexpr wchar_t kForeignHandleVariable[] = L"CHILD_PROCESS_TEST_FOREIGN";

TEST(ChildCommandLineFromStart, StartParametersFollowTheOwnArgumentsAndTooLongOnesAreRefused)
{
    const std::wstring fits(kChildArgumentCapacity - 1, L'p');
    const std::wstring tooLong(kChildArgumentCapacity, L'p');
    struct Case {
        const char* name;
        const wchar_t* own;
        std::vector<const wchar_t*> parameters;  // argv[1] on; argv[0] is the name
        bool built;
        std::wstring expected;
    };
    const Case cases[] = {
        {"own arguments as split, then the parameters", L"own 'two words'", {L"-x", L"a b", L"\u0416\u00E9"}, true,
         L"\"C:\\a b\\svc.exe\" \"My Svc\" own \"two words\" -x \"a b\" \u0416\u00E9 __dpk_restart"},
        {"a missing parameter counts as empty", nullptr, {nullptr, L""}, true,
         L"\"C:\\a b\\svc.exe\" \"My Svc\" \"\" \"\" __dpk_restart"},
        {"the longest parameter", L"", {fits.c_str()}, true,
         L"\"C:\\a b\\svc.exe\" \"My Svc\" " + fits + L" __dpk_restart"},
        {"one character more is refused, not cut", L"", {L"ok", tooLong.c_str()}, false, L""},
        {"parameters that fit one by one but not together", L"", {fits.c_str(), fits.c_str()}, false, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<wchar_t*> argv = {const_cast<wchar_t*>(L"My Svc")};
        for (const wchar_t* parameter : c.parameters) argv.push_back(const_cast<wchar_t*>(parameter));
        std::wstring line = L"left over";
        EXPECT_EQ(c.built, makeChildCommandLine(L"C:\\a b\\svc.exe", L"My Svc", c.own, static_cast<DWORD>(argv.size()),
                                                argv.data(), &line));
        if (c.built) {
            EXPECT_EQ(c.expected, line);
        }
    }
}

// Runs only in the copy of this program that the test below starts as a child.
TEST(ChildProcessStandIn, Runs)
{
    wchar_t mode[16];
    const DWORD n = GetEnvironmentVariableW(kChildModeVariable, mode, 16);
    if (n == 0 || n >= 16) {
        GTEST_SKIP() << "runs as a child of ChildProcess tests only";
    }
    if (std::wcscmp(mode, L"reads") == 0) {
        // The exit code says what arrived: 7 for the stop line, 8 for the end of input.
        char text[8] = {};
        DWORD read = 0;
        const BOOL got = ReadFile(GetStdHandle(STD_INPUT_HANDLE), text, sizeof text - 1, &read, nullptr);
        ExitProcess(got && std::strcmp(text, "0\n") == 0 ? 7 : 8);
    }
    if (std::wcscmp(mode, L"signals") == 0) {
        // The signals' argument comes last: alive once, then a dump request answered.
        ArgumentList arguments;
        splitCommandLine(GetCommandLineW(), arguments);
        ServiceSignalHandles signals;
        if (arguments.empty() || !parseServiceSignalsArgument(arguments.last(), &signals) ||
            !openServiceSignals(signals) || signals.alive == nullptr) {
            ExitProcess(30);
        }
        DWORD flags = 0;
        if (!GetHandleInformation(signals.dumpRequest, &flags) || (flags & HANDLE_FLAG_INHERIT) != 0) ExitProcess(31);
        if (!SetEvent(signals.alive) || WaitForSingleObject(signals.dumpRequest, 30000) != WAIT_OBJECT_0 ||
            !SetEvent(signals.dumpDone)) {
            ExitProcess(32);
        }
        ExitProcess(11);
    }
    if (std::wcscmp(mode, L"reports") == 0 || std::wcscmp(mode, L"inherits") == 0) {
        // The report's argument comes before the signals'; the child's own input and output
        // are there too.
        ArgumentList arguments;
        splitCommandLine(GetCommandLineW(), arguments);
        HANDLE report = arguments.size() < 2 ? nullptr : parseStartFailureReportArgument(arguments[arguments.size() - 2]);
        if (report == nullptr || !openStartFailureReport(report)) ExitProcess(20);
        DWORD flags = 0;
        if (!GetHandleInformation(report, &flags) || (flags & HANDLE_FLAG_INHERIT) != 0) ExitProcess(21);
        if (std::wcscmp(mode, L"reports") == 0) {
            reportStartFailure(L"first");
            reportStartFailure(L"second \u00e9 \u4e2d");
            reportStartFailure(std::wstring(kStartFailureReportCapacity, L'x'));  // cut to what is left
            ExitProcess(1);
        }
        // The exit code says whether the parent's other inheritable handle came along: the
        // event it names is set, so a wait on an inherited copy succeeds at once.
        wchar_t value[32];
        const DWORD n = GetEnvironmentVariableW(kForeignHandleVariable, value, 32);
        HANDLE foreign = n > 0 && n < 32 ? reinterpret_cast<HANDLE>(static_cast<uintptr_t>(_wtoi64(value))) : nullptr;
        ExitProcess(foreign != nullptr && WaitForSingleObject(foreign, 0) == WAIT_OBJECT_0 ? 9 : 10);
    }
    WaitForSingleObject(GetCurrentProcess(), INFINITE);  // "hangs": until it is ended
}

// Exit codes of a child that ends by itself, and of one that must be ended.
TEST(ChildProcess, TheChildGetsItsInputAndEndsByItselfOrWhenEnded)
{
    wchar_t self[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameW(nullptr, self, MAX_PATH));
    const std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --gtest_filter=ChildProcessStandIn.Runs";
    struct Case {
        const char* name;
        const wchar_t* mode;
        bool inJob;
        const char* input;  // written to its input before it is closed; null: kept open
        bool endIt;
        DWORD exitCode;
    };
    const Case cases[] = {
        {"the stop line", L"reads", false, "0\n", false, 7},
        {"the end of input", L"reads", true, "", false, 8},
        {"ended in its job", L"hangs", true, nullptr, true, 1},
        {"ended without a job", L"hangs", false, nullptr, true, 1},
        // The child's own report reaches its parent, and only the handles meant for the
        // child are inherited.
        {"reports a start failure", L"reports", true, nullptr, false, 1},
        {"inherits nothing else", L"inherits", false, nullptr, false, 10},
        // The events of its signals: it says it is alive and answers a dump request.
        {"signals alive and answers a dump request", L"signals", true, nullptr, false, 11},
    };
    // An inheritable handle such as any library of this process may make.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    UniqueHandleNull foreign(CreateEventW(&inheritable, TRUE, TRUE, nullptr));
    ASSERT_TRUE(foreign);
    ASSERT_TRUE(SetEnvironmentVariableW(kForeignHandleVariable,
                                        std::to_wstring(reinterpret_cast<uintptr_t>(foreign.get())).c_str()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(SetEnvironmentVariableW(kChildModeVariable, c.mode));
        Child child;
        // A failing case leaves no child behind (it would hold this program's output open).
        struct Cleanup {
            Child& child;
            ~Cleanup()
            {
                if (child.process) TerminateProcess(child.process.get(), 0);
            }
        } cleanup{child};
        const bool signals = std::wcscmp(c.mode, L"signals") == 0;
        const bool started = startChild(commandLine, c.inJob, &child, signals);
        SetEnvironmentVariableW(kChildModeVariable, nullptr);
        ASSERT_TRUE(started);
        ASSERT_TRUE(child.process && child.input);
        EXPECT_EQ(c.inJob, static_cast<bool>(child.job));
        if (c.inJob) {
            BOOL inJob = FALSE;
            EXPECT_TRUE(IsProcessInJob(child.process.get(), child.job.get(), &inJob) && inJob);
        }
        DWORD exitCode = 0xdeadbeef;
        EXPECT_FALSE(waitForChildEnd(child.process.get(), 0, &exitCode)) << "it has just started";
        if (c.input != nullptr) {
            DWORD written = 0;
            ASSERT_TRUE(WriteFile(child.input.get(), c.input, static_cast<DWORD>(std::strlen(c.input)), &written,
                                  nullptr));
            child.input.reset();
        }
        EXPECT_EQ(signals, static_cast<bool>(child.aliveSignal));
        if (signals) {
            ASSERT_TRUE(child.dumpRequest && child.dumpDone);
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.aliveSignal.get(), 30000));
            EXPECT_TRUE(SetEvent(child.dumpRequest.get()));
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.dumpDone.get(), 30000));
        }
        if (c.endIt) {
            const DWORD before = GetTickCount();
            EXPECT_TRUE(endChild(child, &exitCode));
            EXPECT_LT(GetTickCount() - before, 5000u);
        } else {
            EXPECT_TRUE(waitForChildEnd(child.process.get(), 30000, &exitCode)) << "no end within 30 s";
        }
        EXPECT_EQ(c.exitCode, exitCode);
        // What the child reported: UTF-8 lines, up to the report's capacity.
        const std::string report = childStartFailure(child);
        if (std::wcscmp(c.mode, L"reports") == 0) {
            const std::string expected = "first\nsecond \xC3\xA9 \xE4\xB8\xAD\n";
            ASSERT_EQ(kStartFailureReportCapacity, report.size());
            EXPECT_EQ(expected, report.substr(0, expected.size()));
            EXPECT_EQ(std::string(kStartFailureReportCapacity - expected.size(), 'x'), report.substr(expected.size()));
        } else {
            EXPECT_EQ("", report);
        }
    }
    SetEnvironmentVariableW(kForeignHandleVariable, nullptr);
}

// The argument that names the report: only the exact form names a handle.
TEST(StartFailureReport, OnlyTheExactArgumentNamesAHandle)
{
    EXPECT_EQ(L"__dpk_report:1234", startFailureReportArgument(reinterpret_cast<HANDLE>(1234)));
    const struct {
        const wchar_t* argument;
        uintptr_t handle;  // 0: none
    } cases[] = {
        {L"__dpk_report:1234", 1234},
        {L"__dpk_report:8", 8},
        {L"__dpk_report:", 0},
        {L"__dpk_report:0", 0},
        {L"__dpk_report:12a", 0},
        {L"__dpk_report:-4", 0},
        {L"__dpk_report: 4", 0},
        {L"__dpk_report:99999999999999999999999", 0},
        {L"__DPK_REPORT:4", 0},
        {L"x__dpk_report:4", 0},
        {L"__dpk_restart", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.argument, c.argument + std::wcslen(c.argument)));
        EXPECT_EQ(c.handle, reinterpret_cast<uintptr_t>(parseStartFailureReportArgument(c.argument)));
    }
    // Anything but a pipe is no report: nothing is written to it.
    UniqueHandleNull event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_FALSE(openStartFailureReport(event.get()));
    EXPECT_FALSE(openStartFailureReport(nullptr));
}

// The argument that names the signals: three numbers, of which only the alive one may be 0.
TEST(ServiceSignals, OnlyTheExactArgumentNamesTheEvents)
{
    ServiceSignalHandles given;
    given.alive = reinterpret_cast<HANDLE>(12);
    given.dumpRequest = reinterpret_cast<HANDLE>(340);
    given.dumpDone = reinterpret_cast<HANDLE>(5);
    EXPECT_EQ(L"__dpk_signals:12,340,5", serviceSignalsArgument(given));
    const struct {
        const wchar_t* argument;
        bool parsed;
        uintptr_t alive, request, done;
    } cases[] = {
        {L"__dpk_signals:12,340,5", true, 12, 340, 5},
        {L"__dpk_signals:0,8,9", true, 0, 8, 9},
        {L"__dpk_signals:1,0,9", false, 0, 0, 0},
        {L"__dpk_signals:1,8,0", false, 0, 0, 0},
        {L"__dpk_signals:1,8", false, 0, 0, 0},
        {L"__dpk_signals:1,8,9,", false, 0, 0, 0},
        {L"__dpk_signals:,8,9", false, 0, 0, 0},
        {L"__dpk_signals:1,8,9x", false, 0, 0, 0},
        {L"__dpk_signals:1,99999999999999999999999,9", false, 0, 0, 0},
        {L"__dpk_report:1,8,9", false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.argument, c.argument + std::wcslen(c.argument)));
        ServiceSignalHandles parsed;
        EXPECT_EQ(c.parsed, parseServiceSignalsArgument(c.argument, &parsed));
        EXPECT_EQ(c.alive, reinterpret_cast<uintptr_t>(parsed.alive));
        EXPECT_EQ(c.request, reinterpret_cast<uintptr_t>(parsed.dumpRequest));
        EXPECT_EQ(c.done, reinterpret_cast<uintptr_t>(parsed.dumpDone));
    }
    // Handles that are no objects to wait for are not taken.
    ServiceSignalHandles none;
    none.dumpRequest = reinterpret_cast<HANDLE>(0x7ff0);
    none.dumpDone = reinterpret_cast<HANDLE>(0x7ff4);
    EXPECT_FALSE(openServiceSignals(none));
    EXPECT_EQ(nullptr, serviceSignals().dumpRequest);
}

} // namespace
