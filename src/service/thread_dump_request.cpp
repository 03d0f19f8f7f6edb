// The running child's thread dumps, one request at a time.
#include "service/thread_dump_request.h"

#include "platform/diagnostic_log.h"
#include "platform/handle.h"

#include <memory>

namespace {

struct DumpEvents {
    UniqueHandleNull request;
    UniqueHandleNull done;
};

// The current child's events, replaced under `eventsLock`; a request holds its own
// reference while it waits, so that the child's end never waits for a request. Never
// destroyed: the thread of the control pipe may still ask while the process ends.
SRWLOCK eventsLock = SRWLOCK_INIT;
std::shared_ptr<DumpEvents>& current()
{
    static auto* events = new std::shared_ptr<DumpEvents>();
    return *events;
}
// One request at a time: a second would take the first one's answer.
SRWLOCK requestLock = SRWLOCK_INIT;

HANDLE duplicate(HANDLE handle)
{
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        logMessage("could not keep the child's dump event (%d); no dumps of it", static_cast<int>(GetLastError()));
        return nullptr;
    }
    return copy;
}

std::shared_ptr<DumpEvents> currentEvents()
{
    AcquireSRWLockShared(&eventsLock);
    std::shared_ptr<DumpEvents> events = current();
    ReleaseSRWLockShared(&eventsLock);
    return events;
}

void replace(std::shared_ptr<DumpEvents> events)
{
    AcquireSRWLockExclusive(&eventsLock);
    current().swap(events);
    ReleaseSRWLockExclusive(&eventsLock);
}

} // namespace

void offerThreadDumps(HANDLE request, HANDLE done)
{
    auto events = std::make_shared<DumpEvents>();
    events->request.reset(duplicate(request));
    events->done.reset(duplicate(done));
    replace(events->request && events->done ? events : nullptr);
}

void withdrawThreadDumps()
{
    replace(nullptr);
}

DumpAnswer requestThreadDump(DWORD timeoutMs)
{
    AcquireSRWLockExclusive(&requestLock);
    DumpAnswer answer = DumpAnswer::notRunning;
    if (std::shared_ptr<DumpEvents> events = currentEvents()) {
        // A done that a request before this one set too late is not this one's answer.
        ResetEvent(events->done.get());
        if (!SetEvent(events->request.get())) {
            logMessage("could not ask the child for a thread dump (%d)", static_cast<int>(GetLastError()));
            answer = DumpAnswer::noAnswer;
        } else {
            const DWORD waited = WaitForSingleObject(events->done.get(), timeoutMs);
            answer = waited == WAIT_OBJECT_0 ? DumpAnswer::taken : DumpAnswer::noAnswer;
            if (answer == DumpAnswer::noAnswer) {
                // Not left for the child to take later, when nobody waits for its answer.
                ResetEvent(events->request.get());
            }
        }
    }
    ReleaseSRWLockExclusive(&requestLock);
    logMessage("thread dump %s", answer == DumpAnswer::taken        ? "taken"
                                 : answer == DumpAnswer::notRunning ? "not taken: no child runs"
                                                                    : "not taken: the child did not answer");
    return answer;
}
