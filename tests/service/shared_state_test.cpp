// The state the control handler and the supervising loop share: the statuses each
// sequence of steps reports to the service manager, what reaches each child's standard
// input, and the stop request.
#include "service/shared_state.h"

#include "platform/handle.h"
#include "support/empty_config_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const SERVICE_STATUS_HANDLE kHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5a5a);
std::vector<SERVICE_STATUS> reported;

BOOL WINAPI recordStatus(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status)
{
    EXPECT_EQ(kHandle, handle);
    reported.push_back(*status);
    return TRUE;
}

enum class Step { stop, shutdown, preshutdown, interrogate, childRunning, childEnded, progress, stopped, endedWith };

struct Action {
    Step step;
    DWORD value = 0;  // progress: the wait hint; stopped: the specific code; endedWith: the exit code
};

struct Report {
    DWORD state;
    DWORD checkpoint;
    DWORD waitHint;
    DWORD serviceSpecificCode;  // 0: none (and no Win32 error)
};

// What a child read from its input, and "|closed" once that input has been closed.
std::string drain(HANDLE pipe)
{
    std::string text;
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
        if (available == 0) {
            return text + "|open";
        }
        std::string block(available, '\0');
        DWORD read = 0;
        if (!ReadFile(pipe, &block[0], available, &read, nullptr)) break;
        text += block.substr(0, read);
    }
    return GetLastError() == ERROR_BROKEN_PIPE ? text + "|closed" : text + "|error";
}

class SharedStateTest : public EmptyConfigStoreTest {};

TEST_F(SharedStateTest, StepsReportInOrderAndTheStopLineGoesOutOnce)
{
    constexpr DWORD R = SERVICE_RUNNING, P = SERVICE_STOP_PENDING, S = SERVICE_STOPPED;
    struct Case {
        const char* name;
        std::vector<Action> actions;
        std::vector<Report> reports;         // after the report of open
        std::vector<std::string> children;   // per child, what it read
        bool stopRequested;
        bool preshutdown = false;            // accepted in place of shutdown
    };
    const Case cases[] = {
        {"a stop while the child runs; a second one sends nothing",
         {{Step::childRunning}, {Step::stop}, {Step::stop}},
         {{R, 0, 50000, 0}, {P, 0, 50000, 0}, {P, 0, 50000, 0}},
         {"0\n|closed"},
         true},
        {"a stop before the child runs is kept for it, and running is not reported",
         {{Step::stop}, {Step::childRunning}},
         {{P, 0, 50000, 0}, {P, 0, 50000, 0}},
         {"0\n|closed"},
         true},
        {"a shutdown and the stop deadline's progress move the checkpoint on",
         {{Step::childRunning}, {Step::shutdown}, {Step::progress, 7000}, {Step::progress, 6000}},
         {{R, 0, 50000, 0}, {P, 1, 50000, 0}, {P, 2, 7000, 0}, {P, 3, 6000, 0}},
         {"0\n|closed"},
         true},
        {"a pre-shutdown is a stop that moves the checkpoint on, the stop deadline's progress following",
         {{Step::childRunning}, {Step::preshutdown}, {Step::progress, 7000}, {Step::preshutdown}},
         {{R, 0, 50000, 0}, {P, 1, 50000, 0}, {P, 2, 7000, 0}, {P, 3, 7000, 0}},
         {"0\n|closed"},
         true,
         true},
        {"a pre-shutdown before the child runs is kept for it",
         {{Step::preshutdown}, {Step::childRunning}},
         {{P, 1, 50000, 0}, {P, 1, 50000, 0}},
         {"0\n|closed"},
         true,
         true},
        {"any other control reports the status again",
         {{Step::interrogate}, {Step::childRunning}, {Step::interrogate}},
         {{R, 0, 50000, 0}, {R, 0, 50000, 0}, {R, 0, 50000, 0}},
         {"|open"},
         false},
        {"stopped is final",
         {{Step::childRunning}, {Step::stop}, {Step::stopped, 5001}, {Step::stop}, {Step::progress, 1},
          {Step::interrogate}, {Step::endedWith, 0}},
         {{R, 0, 50000, 0}, {P, 0, 50000, 0}, {S, 0, 50000, 5001}},
         {"0\n|closed"},
         true},
        {"a clean end stops the service",
         {{Step::childRunning}, {Step::childEnded}, {Step::endedWith, 0}},
         {{R, 0, 50000, 0}, {S, 0, 50000, 0}},
         {"|closed"},
         false},
        {"a failure on its own leaves the status to the service manager's recovery",
         {{Step::childRunning}, {Step::childEnded}, {Step::endedWith, 3}},
         {{R, 0, 50000, 0}},
         {"|closed"},
         false},
        {"a failure after a stop request stops the service",
         {{Step::childRunning}, {Step::stop}, {Step::endedWith, 3}},
         {{R, 0, 50000, 0}, {P, 0, 50000, 0}, {S, 0, 50000, 0}},
         {"0\n|closed"},
         true},
        {"a stop between two children goes to the second, not to the first's closed input",
         {{Step::childRunning}, {Step::childEnded}, {Step::stop}, {Step::childRunning}},
         {{R, 0, 50000, 0}, {P, 0, 50000, 0}, {P, 0, 50000, 0}},
         {"|closed", "0\n|closed"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reported.clear();
        SharedServiceState state;
        ASSERT_TRUE(state.prepare(50000, c.preshutdown));
        state.open(kHandle, recordStatus);
        ASSERT_EQ(1u, reported.size());
        EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), reported[0].dwCurrentState);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_ACCEPT_STOP |
                                     (c.preshutdown ? SERVICE_ACCEPT_PRESHUTDOWN : SERVICE_ACCEPT_SHUTDOWN)),
                  reported[0].dwControlsAccepted);
        reported.clear();

        std::vector<UniqueHandleNull> childEnds;  // the children's read ends
        for (const Action& action : c.actions) {
            switch (action.step) {
            case Step::stop: state.control(SERVICE_CONTROL_STOP); break;
            case Step::shutdown: state.control(SERVICE_CONTROL_SHUTDOWN); break;
            case Step::preshutdown: state.control(SERVICE_CONTROL_PRESHUTDOWN); break;
            case Step::interrogate: state.control(SERVICE_CONTROL_INTERROGATE); break;
            case Step::childRunning: {
                HANDLE read = nullptr;
                HANDLE write = nullptr;
                ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 0));
                childEnds.emplace_back(read);
                state.childRunning(write);
                break;
            }
            case Step::childEnded: state.childEnded(); break;
            case Step::progress: state.reportStopProgress(action.value); break;
            case Step::stopped: state.reportStopped(action.value, ServiceEvent::stopped); break;
            case Step::endedWith: state.reportStoppedAfterChild(action.value); break;
            }
        }

        ASSERT_EQ(c.reports.size(), reported.size());
        for (size_t i = 0; i < reported.size(); ++i) {
            SCOPED_TRACE("report " + std::to_string(i + 1));
            EXPECT_EQ(c.reports[i].state, reported[i].dwCurrentState);
            EXPECT_EQ(c.reports[i].checkpoint, reported[i].dwCheckPoint);
            EXPECT_EQ(c.reports[i].waitHint, reported[i].dwWaitHint);
            EXPECT_EQ(c.reports[i].serviceSpecificCode, reported[i].dwServiceSpecificExitCode);
            EXPECT_EQ(c.reports[i].serviceSpecificCode != 0 ? static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR) : 0u,
                      reported[i].dwWin32ExitCode);
        }
        std::vector<std::string> children;
        for (const UniqueHandleNull& end : childEnds) children.push_back(drain(end.get()));
        EXPECT_EQ(c.children, children);
        EXPECT_EQ(c.stopRequested, state.stopRequested());
        EXPECT_EQ(c.stopRequested ? WAIT_OBJECT_0 : static_cast<DWORD>(WAIT_TIMEOUT),
                  WaitForSingleObject(state.stopEvent(), 0));
        state.childEnded();
        CloseHandle(state.stopEvent());
    }
}

} // namespace
