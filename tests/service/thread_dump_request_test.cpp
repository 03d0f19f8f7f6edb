// Thread dumps of the running child as the service process asks for them: no child, a
// child that answers, one that does not, and an answer that comes too late for its request.
#include "service/thread_dump_request.h"

#include "platform/handle.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

struct Events {
    UniqueHandleNull request{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    UniqueHandleNull done{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

TEST(ThreadDumpRequest, AnsweredByTheRunningChildOnly)
{
    EXPECT_EQ(DumpAnswer::notRunning, requestThreadDump(1000));

    Events child;
    ASSERT_TRUE(child.request && child.done);
    offerThreadDumps(child.request.get(), child.done.get());
    // The child's own handles may go at once: the offer keeps its own.
    UniqueHandleNull request(child.request.release());
    UniqueHandleNull done(child.done.release());

    // A child that answers one request.
    std::thread answering([&] {
        if (WaitForSingleObject(request.get(), 10000) == WAIT_OBJECT_0) SetEvent(done.get());
    });
    EXPECT_EQ(DumpAnswer::taken, requestThreadDump(10000));
    answering.join();

    // One that does not: its request is taken back, so that it does not answer it later
    // for the next one.
    const DWORD before = GetTickCount();
    EXPECT_EQ(DumpAnswer::noAnswer, requestThreadDump(300));
    EXPECT_GE(GetTickCount() - before, 250u);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(request.get(), 0));

    // A done that came late is no answer to the next request.
    SetEvent(done.get());
    EXPECT_EQ(DumpAnswer::noAnswer, requestThreadDump(300));

    withdrawThreadDumps();
    EXPECT_EQ(DumpAnswer::notRunning, requestThreadDump(1000));
}

} // namespace
