// The stand-in's gate, through which tests hold runs inside main: a run whose semaphore or
// event is not there ends at once as "gate", instead of going on as if it were held.
#include "support/launch_environment.h"

#include <windows.h>

namespace {

using jnistandin::Behaviour;

class StandinGate : public LaunchTest {};

TEST_F(StandinGate, MissingSemaphoreOrEventEndsTheRun)
{
    std::wstring exe = package(block());
    jnistandin::MainGate gate;
    ASSERT_TRUE(gate.ready());
    Behaviour present;
    gate.hold(present);
    const std::string absent = "Global\\quill-standin-absent";
    struct Case {
        const char* name;
        std::string entered;
        std::string waitsFor;
        std::string gateLine;
    };
    const Case cases[] = {
        {"no semaphore", absent, present.mainWaitsFor, "cannot release the semaphore " + absent},
        {"no event", present.mainEntered, absent, "no event " + absent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Behaviour behaviour;
        behaviour.mainEntered = c.entered;
        behaviour.mainWaitsFor = c.waitsFor;
        LaunchRun run = this->run(exe, {L"/run"}, behaviour);
        EXPECT_EQ(static_cast<DWORD>(jnistandin::kAbortExitCode), run.exitCode()) << run.describe();
        EXPECT_EQ(std::vector<std::string>{c.gateLine}, run.record.all("gate")) << run.describe();
        EXPECT_EQ(0u, run.record.count("DestroyJavaVM")) << run.describe();
    }
    // The run with the semaphore said it had come before it found no event.
    EXPECT_TRUE(gate.waitForEntries(1, 0));
    EXPECT_FALSE(gate.waitForEntries(2, 0));
}

} // namespace
