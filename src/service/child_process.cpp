// The service process's child: command line, pipes, job, draining, waiting and ending.
#include "service/child_process.h"

#include "config/run_settings.h"
#include "config/service_signals.h"
#include "config/start_failure_report.h"
#include "format/command_line.h"
#include "platform/diagnostic_log.h"
#include "platform/registry.h"
#include "platform/registry_keys.h"
#include "platform/text_conversion.h"
#include "platform/text_format.h"
#include "service/output_capture.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kDrainBlockSize = 6000;
// How long an ended child's processes may take to go.
constexpr DWORD kTerminationWaitMs = 5000;
// The exit code of a child whose own cannot be read.
constexpr DWORD kUnknownExitCode = 1;

// A narrow text of the service start (system code page) as a wide argument of the child,
// refused when it does not fit the conversion buffer.
bool fitsArgument(const std::wstring& text)
{
    return text.size() < kChildArgumentCapacity;
}

// The priority class of the child: the value named after the service, if the machine's
// administrator set one, else normal.
DWORD childPriorityClass()
{
    DWORD priority = NORMAL_PRIORITY_CLASS;
    UniqueKey key = openRegistryKey(HKEY_LOCAL_MACHINE, kChildPriorityKey);
    if (!key) {
        return priority;
    }
    // A number, or four bytes as older set-ups wrote it; anything else would leave part
    // of the number undefined.
    DWORD value = 0;
    if (readRegistryNumber(key.get(), serviceNameW, &value).ok() ||
        readRegistryBytes(key.get(), serviceNameW, &value, sizeof value).ok()) {
        logMessage("using priority %d", static_cast<int>(value));
        priority = value;
    }
    return priority;
}

// How long the output may take to end once the child has ended: longer only when a
// process the child started still holds the pipe.
constexpr DWORD kOutputEndWaitMs = 5000;
// How long the report may take to end once the child has ended: only the child held its
// write end, so its end ends the report at once.
constexpr DWORD kReportEndWaitMs = 5000;
// Room for the report's whole capacity and its line ends, so that the child's writes
// never wait for the reader.
constexpr DWORD kReportPipeSize = 2 * kStartFailureReportCapacity;

struct ChildPipes {
    UniqueHandleNull outputRead;   // ours: drained
    UniqueHandleNull outputWrite;  // the child's standard output and error
    UniqueHandleNull inputRead;    // the child's standard input
    UniqueHandleNull inputWrite;   // ours: the stop line goes here
    UniqueHandleNull reportRead;   // ours: the child's start failure report
    UniqueHandleNull reportWrite;  // the child's end of it, named on its command line
    // The events of the child's signals, inheritable: the child sets alive and done.
    UniqueHandleNull alive;        // null when not watched
    UniqueHandleNull dumpRequest;
    UniqueHandleNull dumpDone;
};

// Unnamed automatic events, which only this process and its child hold.
bool makeSignalEvents(ChildPipes& pipes, bool watchAlive)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    if (watchAlive) {
        pipes.alive.reset(CreateEventW(&inheritable, FALSE, FALSE, nullptr));
    }
    pipes.dumpRequest.reset(CreateEventW(&inheritable, FALSE, FALSE, nullptr));
    pipes.dumpDone.reset(CreateEventW(&inheritable, FALSE, FALSE, nullptr));
    if ((watchAlive && !pipes.alive) || !pipes.dumpRequest || !pipes.dumpDone) {
        logMessage("CreateEvent error, signals (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

// New handles inheritable, then our own ends not, so that the child cannot hold them
// open: the drain must see the end of data when the child ends.
bool makeChildPipes(ChildPipes& pipes)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    if (!CreatePipe(pipes.outputRead.put(), pipes.outputWrite.put(), &inheritable, 0)) {
        logMessage("CreatePipe error (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    if (!SetHandleInformation(pipes.outputRead.get(), HANDLE_FLAG_INHERIT, 0)) {
        logMessage("SetHandleInformation error (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    if (!CreatePipe(pipes.inputRead.put(), pipes.inputWrite.put(), &inheritable, 0)) {
        logMessage("CreatePipe error 2 (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    if (!SetHandleInformation(pipes.inputWrite.get(), HANDLE_FLAG_INHERIT, 0)) {
        logMessage("SetHandleInformation error 2 (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    if (!CreatePipe(pipes.reportRead.put(), pipes.reportWrite.put(), &inheritable, kReportPipeSize)) {
        logMessage("CreatePipe error 3 (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    if (!SetHandleInformation(pipes.reportRead.get(), HANDLE_FLAG_INHERIT, 0)) {
        logMessage("SetHandleInformation error 3 (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

// The one list of handles the child inherits: its standard handles and its report. Other
// inheritable handles of this process (none are made on purpose) stay here.
class InheritedHandles {
public:
    explicit InheritedHandles(const ChildPipes& pipes)
        : handles_{pipes.inputRead.get(), pipes.outputWrite.get(), pipes.reportWrite.get(), pipes.dumpRequest.get(),
                   pipes.dumpDone.get(), pipes.alive.get()}
    {
        // Without the alive signal's event, the list ends before its place.
        const size_t count = pipes.alive ? 6 : 5;
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            logMessage("InitializeProcThreadAttributeList error (%d)", static_cast<int>(GetLastError()));
            return;
        }
        list_ = list;
        if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_, count * sizeof(HANDLE),
                                       nullptr, nullptr)) {
            logMessage("UpdateProcThreadAttribute error (%d)", static_cast<int>(GetLastError()));
            DeleteProcThreadAttributeList(list_);
            list_ = nullptr;
        }
    }
    ~InheritedHandles()
    {
        if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;
    // Null when the list could not be made: no child is started then.
    LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

private:
    HANDLE handles_[6];
    std::vector<unsigned char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// The child's job. Processes that the application leaves behind when it ends by itself
// are not ended: it may have started them to outlive it. Without a job only the child's
// own process can be ended.
UniqueHandleNull makeChildJob()
{
    UniqueHandleNull job(CreateJobObjectW(nullptr, nullptr));
    if (!job) {
        logMessage("could not create a job for the child (%d)", static_cast<int>(GetLastError()));
    }
    return job;
}

// Reads the child's output until the pipe ends, each block into the capture file (or
// nowhere, without one); owns the read end.
DWORD WINAPI drainChildOutput(LPVOID outputRead)
{
    UniqueHandleNull pipe(static_cast<HANDLE>(outputRead));
    logMessage("consuming output");
    char block[kDrainBlockSize];
    DWORD read = 0;
    while (ReadFile(pipe.get(), block, sizeof block, &read, nullptr) && read > 0) {
        captureChildOutput(block, read);
    }
    logMessage("consuming output done");
    return 0;
}

// A thread that reads the child's output. Without it, closing the read end makes the
// child's writes fail rather than block. Null, logged, when it cannot run.
UniqueHandleNull startDraining(UniqueHandleNull outputRead)
{
    HANDLE pipe = outputRead.release();
    UniqueHandleNull drainThread(CreateThread(nullptr, 0, drainChildOutput, pipe, 0, nullptr));
    if (!drainThread) {
        logMessage("CreateThread error (%d)", static_cast<int>(GetLastError()));
        CloseHandle(pipe);
    }
    return drainThread;
}

struct ReportReading {
    UniqueHandleNull pipe;
    std::shared_ptr<std::string> text;
};

// Reads the child's report until it ends, keeping up to the report's capacity; owns the
// read end. What comes beyond is read and dropped, so that the child never waits.
DWORD WINAPI readStartFailureReport(LPVOID parameter)
{
    std::unique_ptr<ReportReading> reading(static_cast<ReportReading*>(parameter));
    char block[1024];
    DWORD read = 0;
    while (ReadFile(reading->pipe.get(), block, sizeof block, &read, nullptr) && read > 0) {
        std::string& text = *reading->text;
        const size_t room = kStartFailureReportCapacity - std::min(text.size(), kStartFailureReportCapacity);
        text.append(block, std::min(static_cast<size_t>(read), room));
    }
    return 0;
}

// The thread that reads the report into `text`; null, logged, when it cannot run (the
// report is then lost, the child runs all the same).
UniqueHandleNull startReadingReport(UniqueHandleNull reportRead, const std::shared_ptr<std::string>& text)
{
    auto* reading = new ReportReading{std::move(reportRead), text};
    UniqueHandleNull thread(CreateThread(nullptr, 0, readStartFailureReport, reading, 0, nullptr));
    if (!thread) {
        logMessage("CreateThread error, report (%d)", static_cast<int>(GetLastError()));
        delete reading;
    }
    return thread;
}

} // namespace

bool buildChildCommandLine(wchar_t* line, size_t capacity, const std::wstring& programPath,
                           const std::wstring& serviceNameW, const std::vector<std::wstring>& ownArguments,
                           const std::vector<std::wstring>& startParameters)
{
    if (capacity == 0) {
        return false;
    }
    line[0] = L'\0';
    // The child reads its command line with the same splitter, which knows no escape
    // character: an argument holding both kinds of quote cannot be passed on unchanged.
    auto append = [&](const std::wstring& argument) {
        const wchar_t* quote = commandLineQuote(argument);
        return quote != nullptr && (line[0] == L'\0' || appendTextW(line, capacity, L" ")) &&
               appendTextW(line, capacity, quote) && appendTextW(line, capacity, argument.c_str()) &&
               appendTextW(line, capacity, quote);
    };
    if (!append(programPath) || !append(serviceNameW)) {
        return false;
    }
    for (const std::wstring& argument : ownArguments) {
        if (!append(argument)) return false;
    }
    for (const std::wstring& parameter : startParameters) {
        if (!append(parameter)) return false;
    }
    return append(kChildMarker);
}

bool makeChildCommandLine(const std::wstring& programPath, const std::wstring& name, const wchar_t* ownArguments,
                          DWORD argc, LPWSTR* argv, std::wstring* line)
{
    ArgumentList own;
    splitCommandLine(ownArguments, own);
    std::vector<std::wstring> startParameters;
    for (DWORD i = 1; i < argc; ++i) {
        const std::wstring parameter = argv[i] != nullptr ? argv[i] : L"";
        if (!fitsArgument(parameter)) {
            logMessage("start parameter %d too long (%d characters; at most %d)", static_cast<int>(i),
                       static_cast<int>(parameter.size()), static_cast<int>(kChildArgumentCapacity - 1));
            return false;
        }
        startParameters.push_back(parameter);
    }
    line->assign(kChildCommandLineCapacity, L'\0');
    if (!buildChildCommandLine(&(*line)[0], line->size(), programPath, name, own.items, startParameters)) {
        logMessage("child command line cannot be built: too long for %d characters, or an argument holds both "
                   "kinds of quote",
                   static_cast<int>(kChildCommandLineCapacity - 1));
        return false;
    }
    line->resize(line->find(L'\0'));
    return true;
}

// Once the child runs only the child holds its ends of the pipes: the drain sees the end
// of data when the child ends, and a stop line written after the child has gone fails
// instead of filling a pipe that nobody reads.
bool startChild(const std::wstring& commandLine, bool inJob, Child* child, bool watchAlive)
{
    openOutputCapture();
    ChildPipes pipes;
    if (!makeChildPipes(pipes) || !makeSignalEvents(pipes, watchAlive)) {
        return false;
    }
    InheritedHandles inherited(pipes);
    if (inherited.list() == nullptr) {
        return false;
    }
    UniqueHandleNull job = inJob ? makeChildJob() : UniqueHandleNull();
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = pipes.inputRead.get();
    startup.StartupInfo.hStdOutput = pipes.outputWrite.get();
    startup.StartupInfo.hStdError = pipes.outputWrite.get();
    startup.lpAttributeList = inherited.list();
    DWORD priority = childPriorityClass();
    // In a job, the child starts suspended so that everything it starts is in the job too.
    const DWORD suspended = job ? CREATE_SUSPENDED : 0;
    // CreateProcessW may write into the command line it is given. The report's argument
    // comes last, after the marker, where the child looks for it.
    ServiceSignalHandles signals;
    signals.alive = pipes.alive.get();
    signals.dumpRequest = pipes.dumpRequest.get();
    signals.dumpDone = pipes.dumpDone.get();
    std::wstring line = commandLine + L" " + startFailureReportArgument(pipes.reportWrite.get()) + L" " +
                        serviceSignalsArgument(signals);
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE,
                        priority | DETACHED_PROCESS | suspended | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                        &startup.StartupInfo, &created)) {
        logMessage("could not start process %S (%d)", line.c_str(), static_cast<int>(GetLastError()));
        return false;
    }
    UniqueHandleNull process(created.hProcess);
    UniqueHandleNull thread(created.hThread);
    if (job) {
        if (!AssignProcessToJobObject(job.get(), process.get())) {
            logMessage("could not put the child into its job (%d); only its own process can be ended",
                       static_cast<int>(GetLastError()));
        }
        // A child left suspended would be reported running while nothing runs.
        if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
            logMessage("could not resume the child (%d); ending it", static_cast<int>(GetLastError()));
            TerminateProcess(process.get(), 1);
            return false;
        }
    }
    pipes.outputWrite.reset();
    pipes.inputRead.reset();
    pipes.reportWrite.reset();
    // Marked before the drain begins, so that the mark comes before anything the child wrote.
    markChildStarted(created.dwProcessId);
    child->processId = created.dwProcessId;
    child->drainer = startDraining(std::move(pipes.outputRead));
    child->startFailure = std::make_shared<std::string>();
    child->reportReader = startReadingReport(std::move(pipes.reportRead), child->startFailure);
    child->process = std::move(process);
    child->job = std::move(job);
    child->input = std::move(pipes.inputWrite);
    child->aliveSignal = std::move(pipes.alive);
    child->dumpRequest = std::move(pipes.dumpRequest);
    child->dumpDone = std::move(pipes.dumpDone);
    return true;
}

void childOutputEnded(const Child& child, DWORD exitCode)
{
    if (child.drainer) {
        const DWORD waited = WaitForSingleObject(child.drainer.get(), kOutputEndWaitMs);
        if (waited != WAIT_OBJECT_0) {
            logMessage("the child's output did not end within %d ms of its end (a process it started holds it); "
                       "its end is marked now",
                       static_cast<int>(kOutputEndWaitMs));
        }
    }
    markChildEnded(child.processId, exitCode);
}

std::string childStartFailure(const Child& child)
{
    if (!child.reportReader) {
        return std::string();
    }
    const DWORD waited = WaitForSingleObject(child.reportReader.get(), kReportEndWaitMs);
    if (waited != WAIT_OBJECT_0) {
        logMessage("the child's start failure report did not end within %d ms (%d); taken for none",
                   static_cast<int>(kReportEndWaitMs), static_cast<int>(waited == WAIT_FAILED ? GetLastError() : 0));
        return std::string();
    }
    return *child.startFailure;
}

bool waitForChildEnd(HANDLE process, DWORD timeoutMs, DWORD* exitCode)
{
    const DWORD waited = WaitForSingleObject(process, timeoutMs);
    if (waited != WAIT_OBJECT_0) {
        if (waited == WAIT_FAILED) {
            logMessage("waiting for the child failed (%d)", static_cast<int>(GetLastError()));
        }
        return false;
    }
    if (!GetExitCodeProcess(process, exitCode)) {
        logMessage("could not read the child's exit code (%d); taken for a failure", static_cast<int>(GetLastError()));
        *exitCode = kUnknownExitCode;
    }
    logMessage("process terminated with exit code %d", static_cast<int>(*exitCode));
    return true;
}

bool endChild(const Child& child, DWORD* exitCode)
{
    if (!child.job || !TerminateJobObject(child.job.get(), 1)) {
        if (!TerminateProcess(child.process.get(), 1)) {
            logMessage("could not end the child (%d)", static_cast<int>(GetLastError()));
        }
    }
    if (!waitForChildEnd(child.process.get(), kTerminationWaitMs, exitCode)) {
        logMessage("the child did not end within %d ms of being ended", static_cast<int>(kTerminationWaitMs));
        *exitCode = kUnknownExitCode;
        return false;
    }
    return true;
}
