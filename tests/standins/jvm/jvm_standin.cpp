// Test double of a Java runtime's jvm.dll: no Java runtime for Windows exists on the build
// machine. It exports JNI_CreateJavaVM under its plain name, as a real runtime does, and
// plays no more of a VM than the launcher's tests need: a JavaVM and a JNIEnv whose
// tables hold the handful of functions the launcher calls (class and static method
// lookup, strings, string arrays, static void and boolean calls, the exception functions,
// DestroyJavaVM). Classes, methods and strings are plain records; nothing is interpreted.
// Every other table entry records "unexpected JNI call <index>" and ends the process, so
// that a launcher calling more than this double offers fails loudly instead of jumping
// through a null pointer.
//
// What it is given (VM options, lookups, the arguments of every static call) goes to a
// record file, and what the Java side does (main returns, throws, exits, reads standard
// input; a class or method is missing; firstRun says no) comes from a control file, and
// so do the names of a semaphore and an event through which a test sees each run arrive
// in main and holds it there until the test lets it go on.
// Both formats are described, and read and written for the tests, in
// tests/support/jni_standin.h. For the start-up bench it can also note, in a file of its
// own, how long after its process was created JNI_CreateJavaVM was called. Without a
// control file JNI_CreateJavaVM only records its call and fails, as the tests of finding a
// runtime expect.
//
// Built 64-bit (jvm.dll) and 32-bit (jvm32.dll), so a test can show that the launcher
// loads only a runtime of its own width.
#include <windows.h>

#define _JNI_IMPLEMENTATION_
#include <jni.h>

#include <aclapi.h>
#include <sddl.h>

#include "support/jni_standin.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using jnistandin::kAbortExitCode;

struct Object {
    enum Kind { Class, String, Array, Throwable } kind;
    std::string text;               // class name, string as UTF-8, exception description
    std::vector<Object*> elements;  // array elements
};

struct Method {
    Object* owner;
    std::string name;
    std::string signature;
};

// The test's choices, read once per process from the control file.
struct Control {
    bool present = false;
    std::wstring record;
    std::wstring timing;
    int create = 0;
    std::vector<std::string> missingClasses;
    std::vector<std::string> missingMethods;
    std::string firstRun = "true";
    std::string main = "return";
    std::string mainEntered;   // semaphore released on entering main
    std::string mainWaitsFor;  // event waited for before main ends
    std::vector<std::string> mainReadsFiles;
    std::vector<std::string> mainRecordsSecurity;
    int destroyWaitMs = 0;
    int mainRunsMs = 0;
    bool mainRecordsClock = false;
    std::vector<std::string> mainRecordsVariables;
    std::string mainStartsProcess;
    std::vector<std::string> mainPrints;  // "out:<text>" or "err:<text>", a line each
    bool failNewObjectArray = false;
    int failNewString = -1;
    bool exitRefused = false;
    std::string signals;  // "", "alive", "alive <ms>" or "alive <ms> <pause ms>"
};

Control control;
bool controlLoaded = false;
// The "exit" option's hook, which a VM calls when it ends through System.exit.
using ExitHook = void(JNICALL*)(jint);
ExitHook exitHook = nullptr;
std::string tempDir;           // the value of -Dquill.tempDir=
Object* pending = nullptr;     // the pending exception
int newStringCalls = 0;

std::wstring widen(const std::string& utf8)
{
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

std::string utf8Of(const jchar* text, jsize length)
{
    if (length <= 0) return std::string();
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text);
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring environmentValue(const wchar_t* name)
{
    wchar_t value[4096];
    DWORD n = GetEnvironmentVariableW(name, value, 4096);
    return n > 0 && n < 4096 ? std::wstring(value, n) : std::wstring();
}

std::wstring ownPath()
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&widen), &self);
    wchar_t path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(self, path, MAX_PATH * 4);
    return std::wstring(path, n);
}

std::string readFile(const std::wstring& path, bool* found)
{
    std::string content;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    *found = file != INVALID_HANDLE_VALUE;
    if (!*found) return content;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) content.append(buffer, n);
    CloseHandle(file);
    return content;
}

void loadControl()
{
    if (controlLoaded) return;
    controlLoaded = true;
    control.record = environmentValue(L"STANDIN_JVM_RECORD");
    std::wstring path = environmentValue(L"STANDIN_JVM_CONTROL");
    if (path.empty()) path = ownPath() + widen(jnistandin::kControlSuffix);
    bool found = false;
    std::string text = readFile(path, &found);
    if (!found) return;
    control.present = true;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        if (key == "record") control.record = widen(value);
        else if (key == "timing") control.timing = widen(value);
        else if (key == "create") control.create = std::atoi(value.c_str());
        else if (key == "missingClass") control.missingClasses.push_back(value);
        else if (key == "missingMethod") control.missingMethods.push_back(value);
        else if (key == "firstRun") control.firstRun = value;
        else if (key == "main") control.main = value;
        else if (key == "mainEntered") control.mainEntered = value;
        else if (key == "mainWaitsFor") control.mainWaitsFor = value;
        else if (key == "mainReadsFile") control.mainReadsFiles.push_back(value);
        else if (key == "mainRecordsSecurity") control.mainRecordsSecurity.push_back(value);
        else if (key == "destroyWaitMs") control.destroyWaitMs = std::atoi(value.c_str());
        else if (key == "mainRunsMs") control.mainRunsMs = std::atoi(value.c_str());
        else if (key == "mainRecordsClock") control.mainRecordsClock = value == "1";
        else if (key == "mainRecordsVariable") control.mainRecordsVariables.push_back(value);
        else if (key == "mainStartsProcess") control.mainStartsProcess = value;
        else if (key == "mainPrints") control.mainPrints.push_back(value);
        else if (key == "failNewObjectArray") control.failNewObjectArray = value == "1";
        else if (key == "failNewString") control.failNewString = std::atoi(value.c_str());
        else if (key == "exitRefused") control.exitRefused = value == "1";
        else if (key == "signals") control.signals = value;
    }
}

std::string escape(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '%' || c < 0x20 || c == 0x7f) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// One write per line, appended, so that processes sharing a file do not tear lines.
void appendLine(const std::wstring& path, const std::string& key, const std::string& text)
{
    if (path.empty()) return;
    std::string line = key;
    if (!text.empty()) line += " " + escape(text);
    line += "\n";
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

void record(const std::string& key, const std::string& text = std::string())
{
    appendLine(control.record, key, text);
}

// Microseconds from the creation of this process to now: what a launcher costs before
// the VM is asked for, Wine's or Windows' own start of the process included.
long long microsecondsSinceProcessStart()
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    auto ticks = [](const FILETIME& time) {
        return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    return (ticks(now) - ticks(created)) / 10;  // FILETIME counts 100 ns
}

[[noreturn]] void abortStandin(const std::string& key, const std::string& text)
{
    record(key, text);
    std::fprintf(stderr, "stand-in jvm.dll: %s %s\n", key.c_str(), text.c_str());
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), kAbortExitCode);
    ExitProcess(kAbortExitCode);
}

// JNI allows only the exception functions and reference deletion while an exception is
// pending; anything else is the caller's fault, which the tests want to see.
void checkNoPendingException(const char* function)
{
    if (pending != nullptr) record("pendingException", function);
}

Object* objectOf(jobject handle, Object::Kind kind, const char* function)
{
    Object* object = reinterpret_cast<Object*>(handle);
    if (object == nullptr || object->kind != kind) {
        abortStandin("bad call", std::string(function) + " with a wrong or null object");
    }
    return object;
}

bool listed(const std::vector<std::string>& list, const std::string& text)
{
    for (const std::string& entry : list) {
        if (entry == text) return true;
    }
    return false;
}

Object* newObject(Object::Kind kind, std::string text)
{
    // Never freed: the process ends soon after, as the launcher's does.
    return new Object{kind, std::move(text), {}};
}

void throwPending(const std::string& description)
{
    pending = newObject(Object::Throwable, description);
}

// ---- The Java side the tests choose. ----

void readStandardInput()
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string line;
    for (;;) {
        char c = 0;
        DWORD n = 0;
        // Byte by byte, so that nothing after the stop line is taken from the pipe.
        if (!ReadFile(input, &c, 1, &n, nullptr) || n == 0) {
            if (!line.empty()) record("stdin.line", line);
            record("stdin.eof");
            return;
        }
        if (c != '\n') {
            line += c;
            continue;
        }
        record("stdin.line", line);
        std::string text = line;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        line.clear();
        if (text == "0") {
            record("stdin.stop");
            return;
        }
    }
}

void recordTempFiles()
{
    for (const std::string& name : control.mainReadsFiles) {
        bool found = false;
        std::string content = readFile(widen(tempDir + "\\" + name), &found);
        if (!found) {
            record("tempFile", name + " missing");
            continue;
        }
        record("tempFile", name + " " + std::to_string(content.size()));
        record("tempFileContent", content);
    }
    if (control.mainRecordsSecurity.empty()) return;
    // ADVAPI32 is loaded here, when asked, and not imported: a stand-in that imported it
    // would load it into every launch it serves, which the start-up figures would count.
    HMODULE advapi32 = LoadLibraryW(L"advapi32.dll");
    auto getSecurity = reinterpret_cast<decltype(&GetNamedSecurityInfoA)>(
        reinterpret_cast<void*>(GetProcAddress(advapi32, "GetNamedSecurityInfoA")));
    auto toText = reinterpret_cast<decltype(&ConvertSecurityDescriptorToStringSecurityDescriptorA)>(
        reinterpret_cast<void*>(GetProcAddress(advapi32, "ConvertSecurityDescriptorToStringSecurityDescriptorA")));
    for (const std::string& name : control.mainRecordsSecurity) {
        const std::string path = name == "." ? tempDir : tempDir + "\\" + name;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        char* text = nullptr;
        if (getSecurity == nullptr || toText == nullptr ||
            getSecurity(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS ||
            !toText(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
            record("tempFileSecurity", name + " unreadable");
        } else {
            record("tempFileSecurity", name + " " + text);
        }
        LocalFree(text);
        LocalFree(descriptor);
    }
}

// Tells the test that this run is inside main: one release of its semaphore per run.
void signalEntry()
{
    if (control.mainEntered.empty()) return;
    HANDLE entries = OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, widen(control.mainEntered).c_str());
    bool released = entries != nullptr && ReleaseSemaphore(entries, 1, nullptr);
    if (entries != nullptr) CloseHandle(entries);
    if (!released) abortStandin("gate", "cannot release the semaphore " + control.mainEntered);
}

// Holds main until the test sets its event. The limit only keeps a run whose test has
// gone from waiting for ever; a test lets its runs go long before it.
void waitForRelease()
{
    if (control.mainWaitsFor.empty()) return;
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, widen(control.mainWaitsFor).c_str());
    if (release == nullptr) abortStandin("gate", "no event " + control.mainWaitsFor);
    DWORD waited = WaitForSingleObject(release, jnistandin::kMainWaitLimitMs);
    CloseHandle(release);
    if (waited != WAIT_OBJECT_0) {
        abortStandin("gate", "event " + control.mainWaitsFor + " not set within " +
                                 std::to_string(jnistandin::kMainWaitLimitMs) + " ms");
    }
}

// The wall clock in milliseconds since 1601, for tests that measure between runs.
void recordClock()
{
    if (!control.mainRecordsClock) return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    record("clock", std::to_string(ticks / 10000));
}

// The application's environment as it sees it: through the system, as System.getenv
// does, and through the C runtime, as a native library's getenv does.
void recordVariables()
{
    for (const std::string& name : control.mainRecordsVariables) {
        const std::wstring wideName = widen(name);
        DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
        std::wstring value(size, L'\0');
        DWORD length = size == 0 ? 0 : GetEnvironmentVariableW(wideName.c_str(), &value[0], size);
        bool set = size != 0 && length < size;
        record("variable", set ? name + "=" + utf8Of(reinterpret_cast<const jchar*>(value.c_str()),
                                                     static_cast<jsize>(length))
                               : name);
        const wchar_t* crt = _wgetenv(wideName.c_str());
        record("crtVariable", crt != nullptr ? name + "=" + utf8Of(reinterpret_cast<const jchar*>(crt),
                                                                   static_cast<jsize>(wcslen(crt)))
                                             : name);
    }
}

// A process of the application's own, which must go when the application is ended.
void startOwnProcess()
{
    if (control.mainStartsProcess.empty()) return;
    std::wstring commandLine = widen(control.mainStartsProcess);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        record("process", "failed " + std::to_string(GetLastError()));
        return;
    }
    record("process", std::to_string(process.dwProcessId));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// System.exit as a VM plays it: (the shutdown hooks,) the launcher's exit hook, the end.
void playExit(int code)
{
    record("exit", std::to_string(code));
    if (control.exitRefused) {
        record("exitRefused", std::to_string(code));
        throwPending(jnistandin::kExitRefusedException);
        return;
    }
    if (exitHook != nullptr) {
        record("exitHook", std::to_string(code));
        exitHook(code);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    ExitProcess(static_cast<UINT>(code));
}

// Each line on standard output or error, one write each, as an application prints
// before anything redirects it.
void printLines()
{
    for (const std::string& print : control.mainPrints) {
        const bool error = print.compare(0, 4, "err:") == 0;
        const std::string line = print.substr(print.find(':') + 1) + "\r\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE), line.data(),
                  static_cast<DWORD>(line.size()), &written, nullptr);
    }
}

// The natives the launcher registered for the runtime library's service signals.
struct SignalNatives {
    jclass owner = nullptr;
    jint(JNICALL* channels)(JNIEnv*, jclass) = nullptr;
    void(JNICALL* alive)(JNIEnv*, jclass) = nullptr;
    jboolean(JNICALL* awaitDumpRequest)(JNIEnv*, jclass) = nullptr;
    void(JNICALL* dumpTaken)(JNIEnv*, jclass) = nullptr;
} signalNatives;

JNIEnv* signalEnv();

DWORD WINAPI signalAlive(LPVOID)
{
    // "alive", "alive <ms>" or "alive <ms> <pause ms>".
    const std::string& signals = control.signals;
    char* rest = nullptr;
    const long limitMs = signals.size() > 6 ? std::strtol(signals.c_str() + 6, &rest, 10) : -1;
    const long pauseMs = rest != nullptr && *rest == ' ' ? std::atol(rest + 1) : -1;
    const DWORD start = GetTickCount();
    for (;;) {
        if (limitMs >= 0 && GetTickCount() - start >= static_cast<DWORD>(limitMs)) {
            record("signals", "alive stopped");
            if (pauseMs < 0) return 0;
            Sleep(static_cast<DWORD>(pauseMs));
            record("signals", "alive again");
            while (true) {
                signalNatives.alive(signalEnv(), signalNatives.owner);
                Sleep(1000);
            }
        }
        signalNatives.alive(signalEnv(), signalNatives.owner);
        Sleep(1000);
    }
}

DWORD WINAPI answerDumps(LPVOID)
{
    while (signalNatives.awaitDumpRequest(signalEnv(), signalNatives.owner) != JNI_FALSE) {
        const std::string line = std::string(jnistandin::kThreadDumpLine) + "\r\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        record("threadDump");
        signalNatives.dumpTaken(signalEnv(), signalNatives.owner);
    }
    return 0;
}

// What the runtime library starts in a service's child, when the control asks for it.
void startSignals()
{
    if (control.signals.empty() || signalNatives.channels == nullptr || signalNatives.alive == nullptr ||
        signalNatives.awaitDumpRequest == nullptr || signalNatives.dumpTaken == nullptr) {
        return;
    }
    const jint offered = signalNatives.channels(signalEnv(), signalNatives.owner);
    record("signals", "channels " + std::to_string(offered));
    if ((offered & 1) != 0) CloseHandle(CreateThread(nullptr, 0, signalAlive, nullptr, 0, nullptr));
    if ((offered & 2) != 0) CloseHandle(CreateThread(nullptr, 0, answerDumps, nullptr, 0, nullptr));
}

void playMain()
{
    // Before the "main" line, so that a test that sees it finds these too.
    recordClock();
    startOwnProcess();
    recordVariables();
    record("main", control.main);
    startSignals();
    printLines();
    signalEntry();
    recordTempFiles();
    if (control.main == "stdin") readStandardInput();
    waitForRelease();
    // The application's own run time, not a wait for the test: it decides how long this
    // run counts as having run.
    if (control.mainRunsMs > 0) Sleep(static_cast<DWORD>(control.mainRunsMs));
    if (control.main == "throw") {
        throwPending(jnistandin::kThrownException);
    } else if (control.main.compare(0, 5, "exit ") == 0) {
        playExit(std::atoi(control.main.c_str() + 5));
    }
}

jboolean playFirstRun()
{
    record("firstRun", control.firstRun);
    if (control.firstRun == "throw") {
        throwPending(jnistandin::kThrownException);
        return JNI_FALSE;
    }
    return control.firstRun == "false" ? JNI_FALSE : JNI_TRUE;
}

void recordArgument(const char*& signature, va_list& arguments)
{
    char type = *signature;
    if (type == 'Z' || type == 'B' || type == 'C' || type == 'S' || type == 'I') {
        ++signature;
        int value = va_arg(arguments, int);
        record("arg", std::string(1, type) + " " + std::to_string(value));
        return;
    }
    if (type == 'J') {
        ++signature;
        long long value = va_arg(arguments, jlong);
        record("arg", "J " + std::to_string(value));
        return;
    }
    if (type == 'F' || type == 'D') {
        ++signature;
        double value = va_arg(arguments, double);
        record("arg", std::string(1, type) + " " + std::to_string(value));
        return;
    }
    // An object: "L...;" or an array "[...".
    while (*signature == '[') ++signature;
    if (*signature == 'L') {
        while (*signature != ';' && *signature != '\0') ++signature;
    }
    if (*signature != '\0') ++signature;
    Object* object = reinterpret_cast<Object*>(va_arg(arguments, jobject));
    if (object == nullptr) {
        record("arg", "null");
    } else if (object->kind == Object::String) {
        record("arg", "String " + object->text);
    } else if (object->kind == Object::Array) {
        record("arg", "String[] " + std::to_string(object->elements.size()));
        for (Object* element : object->elements) {
            if (element == nullptr) record("element.null");
            else record("element", element->text);
        }
    } else {
        record("arg", "object " + object->text);
    }
}

// Records the call and its arguments, then plays the method.
jboolean callStatic(jclass owner, jmethodID id, va_list arguments, const char* function)
{
    checkNoPendingException(function);
    objectOf(owner, Object::Class, function);
    Method* method = reinterpret_cast<Method*>(id);
    if (method == nullptr) abortStandin("bad call", std::string(function) + " with a null method");
    record("call", method->owner->text + "." + method->name);
    const char* signature = method->signature.c_str();
    if (*signature == '(') ++signature;
    va_list copy;
    va_copy(copy, arguments);
    while (*signature != ')' && *signature != '\0') recordArgument(signature, copy);
    va_end(copy);
    if (method->owner->text == "java/lang/System" && method->name == "exit") {
        va_list exitArguments;
        va_copy(exitArguments, arguments);
        const int code = va_arg(exitArguments, int);
        va_end(exitArguments);
        playExit(code);
    } else if (method->name == "main") {
        playMain();
    } else if (method->name == "firstRun") {
        return playFirstRun();
    }
    return JNI_FALSE;
}

// ---- The JNIEnv functions. ----

jclass JNICALL findClass(JNIEnv*, const char* name)
{
    checkNoPendingException("FindClass");
    std::string text = name != nullptr ? name : "";
    record("FindClass", text);
    if (listed(control.missingClasses, text)) {
        throwPending("java.lang.NoClassDefFoundError: " + text);
        return nullptr;
    }
    return reinterpret_cast<jclass>(newObject(Object::Class, text));
}

jint JNICALL registerNatives(JNIEnv*, jclass owner, const JNINativeMethod* methods, jint count)
{
    checkNoPendingException("RegisterNatives");
    Object* ownerObject = objectOf(owner, Object::Class, "RegisterNatives");
    if (count < 0 || (count > 0 && methods == nullptr)) abortStandin("bad call", "RegisterNatives without methods");
    signalNatives.owner = owner;
    for (jint i = 0; i < count; ++i) {
        const std::string name = methods[i].name != nullptr ? methods[i].name : "";
        const std::string signature = methods[i].signature != nullptr ? methods[i].signature : "";
        record("RegisterNatives", ownerObject->text + "." + name + signature);
        void* function = methods[i].fnPtr;
        if (name == "channels" && signature == "()I") {
            signalNatives.channels = reinterpret_cast<jint(JNICALL*)(JNIEnv*, jclass)>(function);
        } else if (name == "signalAlive" && signature == "()V") {
            signalNatives.alive = reinterpret_cast<void(JNICALL*)(JNIEnv*, jclass)>(function);
        } else if (name == "awaitDumpRequestNative" && signature == "()Z") {
            signalNatives.awaitDumpRequest = reinterpret_cast<jboolean(JNICALL*)(JNIEnv*, jclass)>(function);
        } else if (name == "dumpTakenNative" && signature == "()V") {
            signalNatives.dumpTaken = reinterpret_cast<void(JNICALL*)(JNIEnv*, jclass)>(function);
        }
    }
    return JNI_OK;
}

jmethodID JNICALL getStaticMethodId(JNIEnv*, jclass owner, const char* name, const char* signature)
{
    checkNoPendingException("GetStaticMethodID");
    Object* ownerObject = objectOf(owner, Object::Class, "GetStaticMethodID");
    std::string methodName = name != nullptr ? name : "";
    record("GetStaticMethodID", ownerObject->text + "." + methodName + (signature != nullptr ? signature : ""));
    if (listed(control.missingMethods, methodName)) {
        throwPending("java.lang.NoSuchMethodError: " + methodName);
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(new Method{ownerObject, methodName, signature != nullptr ? signature : ""});
}

jstring JNICALL newStringUtf(JNIEnv*, const char* bytes)
{
    checkNoPendingException("NewStringUTF");
    if (bytes == nullptr) abortStandin("bad call", "NewStringUTF with null");
    return reinterpret_cast<jstring>(newObject(Object::String, bytes));
}

jstring JNICALL newString(JNIEnv*, const jchar* text, jsize length)
{
    checkNoPendingException("NewString");
    if (length < 0 || (length > 0 && text == nullptr)) abortStandin("bad call", "NewString with a bad text");
    if (newStringCalls++ == control.failNewString) {
        throwPending("java.lang.OutOfMemoryError: NewString");
        return nullptr;
    }
    return reinterpret_cast<jstring>(newObject(Object::String, utf8Of(text, length)));
}

jobjectArray JNICALL newObjectArray(JNIEnv*, jsize length, jclass elementClass, jobject initial)
{
    checkNoPendingException("NewObjectArray");
    Object* classObject = objectOf(elementClass, Object::Class, "NewObjectArray");
    if (classObject->text != "java/lang/String") abortStandin("bad call", "NewObjectArray of " + classObject->text);
    if (length < 0) abortStandin("bad call", "NewObjectArray with a negative length");
    if (control.failNewObjectArray) {
        throwPending("java.lang.OutOfMemoryError: NewObjectArray");
        return nullptr;
    }
    Object* array = newObject(Object::Array, classObject->text);
    array->elements.assign(static_cast<size_t>(length), reinterpret_cast<Object*>(initial));
    return reinterpret_cast<jobjectArray>(array);
}

void JNICALL setObjectArrayElement(JNIEnv*, jobjectArray handle, jsize index, jobject value)
{
    checkNoPendingException("SetObjectArrayElement");
    Object* array = objectOf(handle, Object::Array, "SetObjectArrayElement");
    if (index < 0 || static_cast<size_t>(index) >= array->elements.size()) {
        abortStandin("bad call", "SetObjectArrayElement index " + std::to_string(index) + " out of bounds");
    }
    Object* element = reinterpret_cast<Object*>(value);
    if (element != nullptr && element->kind != Object::String) abortStandin("bad call", "SetObjectArrayElement of a non-string");
    array->elements[static_cast<size_t>(index)] = element;
}

void JNICALL deleteLocalRef(JNIEnv*, jobject handle)
{
    Object* object = reinterpret_cast<Object*>(handle);
    record("DeleteLocalRef", object == nullptr ? "null" : object->text);
}

void JNICALL callStaticVoidMethodV(JNIEnv*, jclass owner, jmethodID method, va_list arguments)
{
    callStatic(owner, method, arguments, "CallStaticVoidMethod");
}

void JNICALL callStaticVoidMethod(JNIEnv*, jclass owner, jmethodID method, ...)
{
    va_list arguments;
    va_start(arguments, method);
    callStatic(owner, method, arguments, "CallStaticVoidMethod");
    va_end(arguments);
}

jboolean JNICALL callStaticBooleanMethodV(JNIEnv*, jclass owner, jmethodID method, va_list arguments)
{
    return callStatic(owner, method, arguments, "CallStaticBooleanMethod");
}

jboolean JNICALL callStaticBooleanMethod(JNIEnv*, jclass owner, jmethodID method, ...)
{
    va_list arguments;
    va_start(arguments, method);
    jboolean result = callStatic(owner, method, arguments, "CallStaticBooleanMethod");
    va_end(arguments);
    return result;
}

// Only Throwable.toString, which gives the exception's description.
jmethodID JNICALL getMethodId(JNIEnv*, jclass owner, const char* name, const char* signature)
{
    checkNoPendingException("GetMethodID");
    Object* ownerObject = objectOf(owner, Object::Class, "GetMethodID");
    std::string methodName = name != nullptr ? name : "";
    record("GetMethodID", ownerObject->text + "." + methodName + (signature != nullptr ? signature : ""));
    if (listed(control.missingMethods, methodName)) {
        throwPending("java.lang.NoSuchMethodError: " + methodName);
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(new Method{ownerObject, methodName, signature != nullptr ? signature : ""});
}

jobject JNICALL callObjectMethodV(JNIEnv*, jobject target, jmethodID id, va_list)
{
    checkNoPendingException("CallObjectMethod");
    Method* method = reinterpret_cast<Method*>(id);
    if (method == nullptr || method->name != "toString") abortStandin("bad call", "CallObjectMethod of no toString");
    Object* object = objectOf(target, Object::Throwable, "CallObjectMethod");
    record("call", method->owner->text + "." + method->name);
    return reinterpret_cast<jobject>(newObject(Object::String, object->text));
}

jobject JNICALL callObjectMethod(JNIEnv* env, jobject target, jmethodID id, ...)
{
    va_list arguments;
    va_start(arguments, id);
    jobject result = callObjectMethodV(env, target, id, arguments);
    va_end(arguments);
    return result;
}

// A string's UTF-16 form lives as long as its object: the launcher releases it, and the
// stand-in keeps everything until the process ends.
jsize JNICALL getStringLength(JNIEnv*, jstring handle)
{
    checkNoPendingException("GetStringLength");
    return static_cast<jsize>(widen(objectOf(handle, Object::String, "GetStringLength")->text).size());
}

const jchar* JNICALL getStringChars(JNIEnv*, jstring handle, jboolean* isCopy)
{
    checkNoPendingException("GetStringChars");
    Object* object = objectOf(handle, Object::String, "GetStringChars");
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    auto* chars = new std::wstring(widen(object->text));
    return reinterpret_cast<const jchar*>(chars->c_str());
}

void JNICALL releaseStringChars(JNIEnv*, jstring handle, const jchar*)
{
    objectOf(handle, Object::String, "ReleaseStringChars");
}

jint JNICALL throwObject(JNIEnv*, jthrowable thrown)
{
    Object* object = objectOf(thrown, Object::Throwable, "Throw");
    record("Throw", object->text);
    pending = object;
    return JNI_OK;
}

jthrowable JNICALL exceptionOccurred(JNIEnv*)
{
    return reinterpret_cast<jthrowable>(pending);
}

void JNICALL exceptionDescribe(JNIEnv*)
{
    if (pending == nullptr) {
        record("ExceptionDescribe");
        return;
    }
    record("ExceptionDescribe", pending->text);
    std::fprintf(stderr, "Exception in thread \"main\" %s\n\tat StandIn.main(StandIn.java)\n", pending->text.c_str());
    std::fflush(stderr);
    pending = nullptr;
}

void JNICALL exceptionClear(JNIEnv*)
{
    record("ExceptionClear");
    pending = nullptr;
}

jint JNICALL destroyJavaVm(JavaVM*)
{
    // As a VM waits for the application's non-daemon threads.
    if (control.destroyWaitMs > 0) Sleep(static_cast<DWORD>(control.destroyWaitMs));
    record("DestroyJavaVM");
    return JNI_OK;
}

// ---- Every other entry: a loud stop. ----

template <size_t Index>
void JNICALL unexpectedJniCall()
{
    abortStandin("unexpected", "JNI call " + std::to_string(Index));
}

template <size_t Index>
void JNICALL unexpectedVmCall()
{
    abortStandin("unexpected", "JavaVM call " + std::to_string(Index));
}

template <size_t... Index>
void fillJniTraps(void** slots, std::index_sequence<Index...>)
{
    ((slots[Index] = reinterpret_cast<void*>(&unexpectedJniCall<Index>)), ...);
}

template <size_t... Index>
void fillVmTraps(void** slots, std::index_sequence<Index...>)
{
    ((slots[Index] = reinterpret_cast<void*>(&unexpectedVmCall<Index>)), ...);
}

JNINativeInterface_ envTable;
JNIInvokeInterface_ vmTable;
JNIEnv_ env;
JavaVM_ vm;

void buildTables()
{
    fillJniTraps(reinterpret_cast<void**>(&envTable),
                 std::make_index_sequence<sizeof(JNINativeInterface_) / sizeof(void*)>());
    envTable.FindClass = findClass;
    envTable.GetStaticMethodID = getStaticMethodId;
    envTable.RegisterNatives = registerNatives;
    envTable.NewStringUTF = newStringUtf;
    envTable.NewString = newString;
    envTable.NewObjectArray = newObjectArray;
    envTable.SetObjectArrayElement = setObjectArrayElement;
    envTable.DeleteLocalRef = deleteLocalRef;
    envTable.CallStaticVoidMethod = callStaticVoidMethod;
    envTable.CallStaticVoidMethodV = callStaticVoidMethodV;
    envTable.CallStaticBooleanMethod = callStaticBooleanMethod;
    envTable.CallStaticBooleanMethodV = callStaticBooleanMethodV;
    envTable.GetMethodID = getMethodId;
    envTable.CallObjectMethod = callObjectMethod;
    envTable.CallObjectMethodV = callObjectMethodV;
    envTable.GetStringLength = getStringLength;
    envTable.GetStringChars = getStringChars;
    envTable.ReleaseStringChars = releaseStringChars;
    envTable.Throw = throwObject;
    envTable.ExceptionOccurred = exceptionOccurred;
    envTable.ExceptionDescribe = exceptionDescribe;
    envTable.ExceptionClear = exceptionClear;
    env.functions = &envTable;

    fillVmTraps(reinterpret_cast<void**>(&vmTable),
                std::make_index_sequence<sizeof(JNIInvokeInterface_) / sizeof(void*)>());
    vmTable.DestroyJavaVM = destroyJavaVm;
    vm.functions = &vmTable;
}

JNIEnv* signalEnv()
{
    return &env;
}

void recordInitArgs(const JavaVMInitArgs* initArgs)
{
    char version[16];
    std::snprintf(version, sizeof version, "0x%08lX", static_cast<unsigned long>(initArgs->version));
    record("version", version);
    record("ignoreUnrecognized", std::to_string(static_cast<int>(initArgs->ignoreUnrecognized)));
    static const std::string kTempDir = "-Dquill.tempDir=";
    for (jint i = 0; i < initArgs->nOptions; ++i) {
        const JavaVMOption& option = initArgs->options[i];
        std::string text = option.optionString != nullptr ? option.optionString : "";
        record("option", text);
        if (option.extraInfo != nullptr) record("extraInfo", std::to_string(static_cast<long>(i)));
        if (text == "exit") exitHook = reinterpret_cast<ExitHook>(option.extraInfo);
        if (text.compare(0, kTempDir.size(), kTempDir) == 0) tempDir = text.substr(kTempDir.size());
    }
}

} // namespace

extern "C" JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** pvm, void** penv, void* args)
{
    if (pvm != nullptr) *pvm = nullptr;
    if (penv != nullptr) *penv = nullptr;
    // Taken before the control file is read, so that none of the stand-in's own work is in it.
    long long sinceStart = microsecondsSinceProcessStart();
    loadControl();
    appendLine(control.timing, jnistandin::kTimingKey, std::to_string(sinceStart));
    record("JNI_CreateJavaVM");
    if (args != nullptr) recordInitArgs(static_cast<const JavaVMInitArgs*>(args));
    if (!control.present) return JNI_ERR;
    if (control.create != JNI_OK) return control.create;
    if (pvm == nullptr || penv == nullptr) abortStandin("bad call", "JNI_CreateJavaVM without result pointers");
    buildTables();
    *pvm = &vm;
    *penv = &env;
    return JNI_OK;
}
