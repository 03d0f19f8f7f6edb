// Test support: how a test tells the stand-in jvm.dll (tests/standins/jvm) which part of
// the Java side to play, and how it reads back what the stand-in was given.
//
// Control: a text file of "key=value" lines. The stand-in reads the file named by the
// environment variable STANDIN_JVM_CONTROL, else the file "<dll path>.control" beside the
// library (jvm.dll.control), which also reaches a launcher started by the service manager.
// Without either, JNI_CreateJavaVM records its call and fails with JNI_ERR (-1), as the
// runtime-search tests expect. Keys (each optional; repeatable ones marked *):
//   record=<path>              record file; else the environment variable STANDIN_JVM_RECORD
//   timing=<path>              timing file (below); none without this key
//   create=<code>              result of JNI_CreateJavaVM; 0 (default) creates the VM
//   missingClass=<name>*       FindClass of this JNI class name returns null
//   missingMethod=<name>*      GetStaticMethodID of this method name returns null
//   firstRun=true|false|throw  what FirstRun.firstRun does (default true)
//   main=return|throw|exit <code>|stdin
//                              what the launcher runtime class's main does; "stdin" reads
//                              standard input up to a line "0" or its end, then returns
//   mainEntered=<name>         main releases this named semaphore once, right after its
//                              "main" line, so that a test can count the runs in main
//   mainWaitsFor=<name>        main then waits until this named event is set, after
//                              reading standard input and before it returns, throws or
//                              exits, so that a test can hold runs inside main (and so
//                              holding their instance semaphores) until all have come.
//                              A semaphore or event that does not exist, or an event not
//                              set within kMainWaitLimitMs, ends the run as "gate" (below)
//   mainReadsFile=<name>*      main records the size and content of quill.tempDir\<name>
//   mainRecordsSecurity=<name>*
//                              main records the access list (SDDL) of quill.tempDir\<name>,
//                              "." for the directory itself
//   mainRunsMs=<n>             main runs this long (after the gate) before its action
//   mainRecordsClock=1         main records "clock <ms>", the wall clock in milliseconds
//   mainRecordsVariable=<name>*
//                              main records the environment variable <name> as the system
//                              and as the C runtime (getenv) have it
//   mainStartsProcess=<cmd>    main starts this command line, recording "process <id>"
//                              (or "process failed <error>")
//   destroyWaitMs=<n>          DestroyJavaVM waits this long, as for non-daemon threads
//   exitRefused=1              System.exit throws a SecurityException and returns, as
//                              under a security manager that forbids it
//   failNewObjectArray=1       NewObjectArray returns null
//   failNewString=<n>          the n-th NewString call (from 0) returns null
//   signals=alive|alive <ms>|alive <ms> <pause ms>
//                              as the runtime library does in a service's child: main
//                              asks the natives the launcher registered which signals
//                              the service process takes, then a thread signals alive
//                              every second (only for <ms> with a number; with a pause,
//                              again after it for good) and another answers each dump
//                              request with the line kThreadDumpLine on standard error
//
// Record: one line per event, "<key> <text>" (the text may be empty), appended by a single
// write each, so that several processes can share one record. Texts are exact: narrow
// texts as their bytes, UTF-16 texts as UTF-8; the bytes '%', CR, LF and the other
// control characters are written as %XX, which readRecord undoes. Keys:
//   JNI_CreateJavaVM           (no text) every call; then, when it had arguments:
//   version <hex>, ignoreUnrecognized <0|1>, option <text> per VM option in order,
//   extraInfo <index> for an option whose extraInfo is not null
//   FindClass <name>, GetStaticMethodID <class>.<name><signature>
//   call <class>.<name> for a static call, followed by one line per argument:
//     arg Z <0|1>, arg I <n>, arg J <n>, arg String <text>, arg null, arg String[] <count>
//     and element <text> per element of a string array
//   firstRun <true|false|throw>, clock <ms> and process <id> when asked for, and per
//   variable asked for "variable <name>=<value>" (the system's environment) and
//   "crtVariable <name>=<value>" (the C runtime's copy), each "<name>" alone when it is
//   not set; then main <return|throw|exit <code>|stdin>
//   stdin.line <text> per line read (without its LF), then stdin.stop or stdin.eof
//   tempFile <name> <size>|missing and tempFileContent <content>
//   tempFileSecurity <name> <SDDL of its access list>|unreadable
//   RegisterNatives <class>.<name><signature> per native registered; with signals=,
//   "signals channels <n>" (what the launcher offers), "signals alive stopped" when the
//   alive signal stops, "signals alive again" after a pause, and "threadDump" per dump
//   request answered
//   GetMethodID <class>.<name><signature> (only toString, called on an exception, which
//     gives its description), Throw <exception>
//   ExceptionDescribe <exception>, ExceptionClear, DeleteLocalRef <what>
//   pendingException <function>: a JNI function other than the exception functions and
//     DeleteLocalRef was called while an exception was pending (a launcher fault)
//   DestroyJavaVM
//   exit <code>: the VM was asked to end (System.exit, from the launcher or from main
//     "exit <code>"); then exitHook <code> when the launcher gave an exit hook (the option
//     "exit" with extraInfo), which is called, and the process ends with <code>;
//     or exitRefused <code> with exitRefused=1
//   unexpected JNI call <index> / unexpected JavaVM call <index> / bad call <what>:
//     the launcher used the stand-in in a way it does not support; the process then
//     ends with kAbortExitCode
//   gate <what>: the semaphore or event of mainEntered or mainWaitsFor failed the run;
//     the process then ends with kAbortExitCode
//
// Timing: lines in the record's form, appended to the file of the control key "timing" and
// nowhere else, so that records stay as they are. Keys:
//   JNI_CreateJavaVM.sinceProcessStartUs <n>  every call: microseconds from the creation of
//     the calling process (GetProcessTimes) to the call (GetSystemTimePreciseAsFileTime),
//     taken before the control file is read; -1 when the process times are unavailable
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace jnistandin {

constexpr char kControlVariable[] = "STANDIN_JVM_CONTROL";
constexpr char kRecordVariable[] = "STANDIN_JVM_RECORD";
constexpr char kControlSuffix[] = ".control";
// Exit code of a process that the stand-in ended because of an unexpected call.
constexpr int kAbortExitCode = 134;
// The exception that a refused System.exit makes pending.
constexpr char kExitRefusedException[] = "java.lang.SecurityException: exit refused by the stand-in";
// The exception that "throw" makes pending, as ExceptionDescribe names it.
constexpr char kThrownException[] = "java.lang.IllegalStateException: thrown by the stand-in";
// The line a thread dump of the stand-in writes on standard error.
constexpr char kThreadDumpLine[] = "stand-in thread dump: every thread of the stand-in VM";
// The timing file's line of each JNI_CreateJavaVM call.
constexpr char kTimingKey[] = "JNI_CreateJavaVM.sinceProcessStartUs";
// How long main waits at most for the event of mainWaitsFor: longer than any test holds
// its runs, so that only a run whose test has gone meets it.
constexpr unsigned long kMainWaitLimitMs = 90000;

struct Behaviour {
    std::string record;
    int create = 0;
    std::vector<std::string> missingClasses;
    std::vector<std::string> missingMethods;
    std::string firstRun;             // "" (true), "true", "false", "throw"
    std::string main = "return";      // "return", "throw", "exit <code>", "stdin"
    std::string mainEntered;          // semaphore name, "" for none
    std::string mainWaitsFor;         // event name, "" for none
    std::vector<std::string> mainReadsFiles;
    std::vector<std::string> mainRecordsSecurity;
    int destroyWaitMs = 0;
    int mainRunsMs = 0;
    bool mainRecordsClock = false;
    std::vector<std::string> mainRecordsVariables;
    std::string mainStartsProcess;
    std::vector<std::string> mainPrints;  // "out:<text>" or "err:<text>": a line main prints
    bool failNewObjectArray = false;
    int failNewString = -1;
    bool exitRefused = false;
    std::string timing;               // timing file, "" for none
    std::string signals;              // "", "alive", "alive <ms>" or "alive <ms> <pause ms>"

    std::string text() const;          // the control file's content
};

// A test's hold on the stand-in's main, for runs that must be inside main at the same
// time: hold() names its semaphore and event in a behaviour; each run of that control
// releases entries() once on entering main and waits there until release(). The gate's
// end releases them too, so that a test that fails leaves no run waiting.
class MainGate {
public:
    MainGate();
    ~MainGate();
    MainGate(const MainGate&) = delete;
    MainGate& operator=(const MainGate&) = delete;

    // False when the semaphore or the event could not be made.
    bool ready() const { return entries_ != nullptr && release_ != nullptr; }
    void hold(Behaviour& behaviour) const;
    // Waits until `count` runs in all have entered main (those counted here); false when
    // they have not within `timeoutMs`, with entered() telling how many had.
    bool waitForEntries(int count, unsigned long timeoutMs);
    int entered() const { return entered_; }
    // The semaphore (a HANDLE), for a test that waits on it beside other objects and
    // counts the entries itself.
    void* entries() const { return entries_; }
    void release();

private:
    std::string entriesName_;
    std::string releaseName_;
    void* entries_ = nullptr;
    void* release_ = nullptr;
    int entered_ = 0;
};

// Writes the control file (wide path of the test's own).
bool writeControl(const std::wstring& path, const Behaviour& behaviour);
// The control file beside a runtime's jvm.dll: "<dll>.control".
std::wstring controlBeside(const std::wstring& jvmDll);

struct RecordLine {
    std::string key;
    std::string text;
};

class Record {
public:
    Record() = default;
    explicit Record(std::vector<RecordLine> lines) : lines_(std::move(lines)) {}

    const std::vector<RecordLine>& lines() const { return lines_; }
    // The texts of every line with this key, in order.
    std::vector<std::string> all(const std::string& key) const;
    size_t count(const std::string& key) const { return all(key).size(); }
    bool has(const std::string& key, const std::string& text) const;
    // Index of the first line with this key and text, or lines().size().
    size_t position(const std::string& key, const std::string& text) const;
    // VM options of the first JNI_CreateJavaVM call, in order, without the launcher's
    // exit hook (the last option, "exit" with extraInfo), which exitHookGiven() checks.
    std::vector<std::string> options() const;
    bool exitHookGiven() const;
    // Argument lines ("Z 1", "String ...", ...) of the first call of `method`
    // ("<class>.<name>"), and the elements of its string-array argument.
    std::vector<std::string> callArguments(const std::string& method) const;
    std::vector<std::string> arrayElements(const std::string& method) const;
    // The lines with their keys, for failure messages.
    std::string dump() const;

private:
    std::vector<RecordLine> lines_;
};

// Reads and decodes a record file; empty when there is none.
Record readRecord(const std::wstring& path);

// Undoes the %XX escapes of a record text.
std::string unescape(const std::string& text);

} // namespace jnistandin
