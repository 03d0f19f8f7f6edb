// Runs a program the way a user's console would, and collects what it shows: its exit
// code, standard output and standard error. Test support only.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct ProcessOptions {
    std::wstring workingDirectory;                 // empty: the test's own
    std::map<std::wstring, std::wstring> setEnv;   // added to or replacing the test's environment
    std::vector<std::wstring> unsetEnv;            // removed from it
    std::string input;                             // written to standard input, which is then closed
    DWORD timeoutMs = 30000;                       // the process is killed after this
    // By default the process runs on a window station that no one can see, as a service
    // does; with this set it shares the test's own desktop.
    bool visibleDesktop = false;
};

struct ProcessResult {
    bool started = false;
    DWORD startError = 0;  // CreateProcessW's error when the process was not started
    bool timedOut = false;
    DWORD exitCode = 0;
    std::string out;
    std::string err;
};

// `commandLine` is passed to CreateProcessW as it is (quote the program path yourself).
// Under load Wine now and then fails to create a process that exists (about once in a
// few thousand starts); such a start is tried twice more, with a note on the test's
// standard error, before it counts as not started.
ProcessResult runProcess(const std::wstring& commandLine, const ProcessOptions& options = {});

// The program path in double quotes, then the arguments separated by blanks.
std::wstring commandLineOf(const std::wstring& program, const std::vector<std::wstring>& arguments);
