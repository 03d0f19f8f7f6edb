// The service process's control pipe and the /dump command, both ends of its exchange.
#include "service/control_pipe.h"

#include "config/run_settings.h"
#include "platform/diagnostic_log.h"
#include "platform/handle.h"
#include "platform/private_security.h"
#include "service/thread_dump_request.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr wchar_t kPipePrefix[] = L"\\\\.\\pipe\\quill-service-";
// The longest pipe name the system takes.
constexpr size_t kMaxPipeName = 256;
constexpr DWORD kLineCapacity = 64;
// How long either end waits for the other's line, beyond the time a dump may take.
constexpr DWORD kExchangeWaitMs = 5000;

constexpr char kDumpRequest[] = "dump";
constexpr char kTaken[] = "taken";
constexpr char kNotRunning[] = "not running";
constexpr char kNoAnswer[] = "no answer";

// Overlapped I/O on `pipe` that waits at most `timeoutMs`; cancelled on time-out, so that
// a peer that neither writes nor reads never holds the other end. False, logged by the
// caller, on failure or time-out.
bool transfer(HANDLE pipe, HANDLE event, bool write, void* data, DWORD size, DWORD timeoutMs, DWORD* done)
{
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    ResetEvent(event);
    const BOOL started = write ? WriteFile(pipe, data, size, nullptr, &overlapped)
                               : ReadFile(pipe, data, size, nullptr, &overlapped);
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    if (WaitForSingleObject(event, timeoutMs) != WAIT_OBJECT_0) {
        CancelIo(pipe);
        GetOverlappedResult(pipe, &overlapped, done, TRUE);
        SetLastError(WAIT_TIMEOUT);
        return false;
    }
    return GetOverlappedResult(pipe, &overlapped, done, FALSE) != FALSE;
}

// One line of at most kLineCapacity - 1 characters, without its end; false for none in time.
bool readLine(HANDLE pipe, HANDLE event, DWORD timeoutMs, std::string* line)
{
    const DWORD start = GetTickCount();
    line->clear();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        char block[kLineCapacity];
        DWORD read = 0;
        if (elapsed >= timeoutMs || !transfer(pipe, event, false, block, sizeof block, timeoutMs - elapsed, &read) ||
            read == 0) {
            return false;
        }
        line->append(block, read);
        const size_t end = line->find('\n');
        if (end != std::string::npos) {
            line->resize(end);
            if (!line->empty() && line->back() == '\r') line->pop_back();
            return true;
        }
        if (line->size() >= kLineCapacity) {
            return false;
        }
    }
}

bool writeLine(HANDLE pipe, HANDLE event, const char* text, DWORD timeoutMs)
{
    std::string line = std::string(text) + "\n";
    DWORD written = 0;
    return transfer(pipe, event, true, &line[0], static_cast<DWORD>(line.size()), timeoutMs, &written) &&
           written == line.size();
}

struct Served {
    UniqueFile pipe;
    UniqueHandleNull event;
};

// Answers one client after another on the one instance of the pipe, which this process
// keeps for as long as it runs, so that the name is never free for another.
DWORD WINAPI serveControlPipe(LPVOID parameter)
{
    std::unique_ptr<Served> served(static_cast<Served*>(parameter));
    const HANDLE pipe = served->pipe.get();
    const HANDLE event = served->event.get();
    for (;;) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        ResetEvent(event);
        DWORD ignored = 0;
        if (!ConnectNamedPipe(pipe, &overlapped)) {
            const DWORD error = GetLastError();
            if (error == ERROR_IO_PENDING) {
                if (!GetOverlappedResult(pipe, &overlapped, &ignored, TRUE)) {
                    logMessage("control pipe: waiting for a client failed (%d); no more requests",
                               static_cast<int>(GetLastError()));
                    return 0;
                }
            } else if (error == ERROR_NO_DATA) {
                // A client came and went before the wait: let it go, wait for the next.
                DisconnectNamedPipe(pipe);
                continue;
            } else if (error != ERROR_PIPE_CONNECTED) {
                logMessage("control pipe: waiting for a client failed (%d); no more requests",
                           static_cast<int>(error));
                return 0;
            }
        }
        std::string request;
        if (!readLine(pipe, event, kExchangeWaitMs, &request)) {
            logMessage("control pipe: no request line (%d)", static_cast<int>(GetLastError()));
        } else if (request != kDumpRequest) {
            logMessage("control pipe: unknown request (%d characters)", static_cast<int>(request.size()));
        } else {
            logMessage("control pipe: thread dump requested");
            const DumpAnswer answer = requestThreadDump(kThreadDumpWaitMs);
            const char* reply = answer == DumpAnswer::taken        ? kTaken
                                : answer == DumpAnswer::notRunning ? kNotRunning
                                                                   : kNoAnswer;
            if (!writeLine(pipe, event, reply, kExchangeWaitMs)) {
                logMessage("control pipe: the answer could not be written (%d)", static_cast<int>(GetLastError()));
            } else {
                // Disconnecting drops what the client has not read yet: its end of the
                // pipe, or the time limit, comes first.
                char rest[kLineCapacity];
                DWORD read = 0;
                while (transfer(pipe, event, false, rest, sizeof rest, kExchangeWaitMs, &read) && read > 0) {
                }
            }
        }
        DisconnectNamedPipe(pipe);
    }
}

} // namespace

std::wstring controlPipeName(const std::wstring& name)
{
    std::wstring pipe = kPipePrefix + name;
    return pipe.size() <= kMaxPipeName ? pipe : std::wstring();
}

bool startControlPipe()
{
    const std::wstring name = controlPipeName(serviceNameW);
    if (name.empty()) {
        logMessage("control pipe: the service name is too long for a pipe's; no /dump");
        return false;
    }
    PrivateSecurity security(PrivateKind::object);
    if (security.attributes() == nullptr) {
        logMessage("control pipe: no private descriptor; no /dump");
        return false;
    }
    auto served = std::unique_ptr<Served>(new Served);
    // The first instance of the name, or none: a pipe of that name made by another process
    // before this one would receive the requests.
    served->pipe.reset(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
                                        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                        kLineCapacity, kLineCapacity, 0, security.attributes()));
    if (!served->pipe) {
        logMessage("control pipe %S could not be made (%d); no /dump", name.c_str(), static_cast<int>(GetLastError()));
        return false;
    }
    served->event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!served->event) {
        logMessage("control pipe: no event (%d); no /dump", static_cast<int>(GetLastError()));
        return false;
    }
    UniqueHandleNull thread(CreateThread(nullptr, 0, serveControlPipe, served.get(), 0, nullptr));
    if (!thread) {
        logMessage("control pipe: no thread (%d); no /dump", static_cast<int>(GetLastError()));
        return false;
    }
    served.release();
    logMessage("control pipe %S served", name.c_str());
    return true;
}

namespace {

void sayLine(const char* format, const char* detail = "")
{
    std::printf(format, serviceName, detail);
    std::fflush(stdout);
}

// The service's process id when it is running; 0 when it is not (said).
DWORD runningServiceProcess()
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueServiceHandle service(manager ? OpenServiceW(manager.get(), serviceNameW, SERVICE_QUERY_STATUS) : nullptr);
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!service || !QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                          sizeof status, &needed)) {
        const DWORD error = GetLastError();
        std::printf("The status of service %s could not be read (error %d).\n", serviceName, static_cast<int>(error));
        std::fflush(stdout);
        return 0;
    }
    if (status.dwCurrentState != SERVICE_RUNNING || status.dwProcessId == 0) {
        sayLine("The service %s is not running: no thread dump.\n");
        return 0;
    }
    return status.dwProcessId;
}

} // namespace

int dumpService()
{
    const DWORD processId = runningServiceProcess();
    if (processId == 0) {
        return 1;
    }
    const std::wstring name = controlPipeName(serviceNameW);
    const DWORD start = GetTickCount();
    UniqueFile pipe;
    // The pipe is busy while another request is answered, and made only after the service
    // reported running.
    while (!name.empty()) {
        pipe.reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        const DWORD error = pipe ? ERROR_SUCCESS : GetLastError();
        const DWORD elapsed = GetTickCount() - start;
        if (pipe || error == ERROR_ACCESS_DENIED || elapsed >= kExchangeWaitMs) {
            if (error == ERROR_ACCESS_DENIED) {
                sayLine("Only the Administrators group and the account of service %s may ask it for a thread "
                        "dump.\n");
                return 1;
            }
            break;
        }
        if (error == ERROR_PIPE_BUSY) {
            WaitNamedPipeW(name.c_str(), kExchangeWaitMs + kThreadDumpWaitMs);
        } else {
            Sleep(100);  // not made yet: the service has only just reported running
        }
    }
    if (!pipe) {
        sayLine("The service %s did not answer: it takes no requests.\n");
        return 1;
    }
    ULONG serverProcess = 0;
    if (!GetNamedPipeServerProcessId(pipe.get(), &serverProcess) || serverProcess != processId) {
        sayLine("The pipe of service %s is served by another process: not asked.\n");
        logMessage("control pipe served by process %d, the service's is %d", static_cast<int>(serverProcess),
                   static_cast<int>(processId));
        return 1;
    }
    UniqueHandleNull event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::string answer;
    if (!event || !writeLine(pipe.get(), event.get(), kDumpRequest, kExchangeWaitMs) ||
        !readLine(pipe.get(), event.get(), kThreadDumpWaitMs + kExchangeWaitMs, &answer)) {
        sayLine("The service %s did not answer within %s seconds.\n",
                std::to_string((kThreadDumpWaitMs + kExchangeWaitMs) / 1000).c_str());
        return 1;
    }
    if (answer == kTaken) {
        sayLine("The thread dump of service %s went to its application's error output.\n");
        return 0;
    }
    if (answer == kNotRunning) {
        sayLine("The application of service %s is not running (it is being started again or stopped): no thread "
                "dump.\n");
        return 1;
    }
    sayLine("The application of service %s did not answer within %s seconds: no thread dump.\n",
            std::to_string(kThreadDumpWaitMs / 1000).c_str());
    return 1;
}
