// The service process: its main routine, called by the service dispatcher, which starts
// and supervises the child copy of this executable that runs the Java application, and
// the control handler that turns a stop or shutdown request into a line on the child's
// standard input.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The last argument of the child's command line: it makes the child run the application.
constexpr wchar_t kChildMarker[] = L"__dpk_restart";

void WINAPI serviceMain(DWORD argc, LPSTR* argv);
void WINAPI serviceControlHandler(DWORD control);

// Writes `code` and a line end to the child's standard input and closes it. Once the
// input is closed, further calls do nothing.
void sendShutdown(int code);

// Thread routine: reads and discards the child's output until the pipe ends; owns the
// read end passed as its parameter.
DWORD WINAPI drainChildOutput(LPVOID outputRead);

// Keeps the process alive through console events (Ctrl+C, Ctrl+Break, close, logoff,
// shutdown): the service decides when its child ends, not the console.
BOOL WINAPI consoleCtrlHandler(DWORD event);

// Capacities of the child command line and of each converted argument, terminator included.
constexpr size_t kChildCommandLineCapacity = 12000;
constexpr size_t kChildArgumentCapacity = 6000;

// The child's command line into `line`: the program path, the service name, the service
// process's own arguments, the start parameters and the marker that makes the child run
// the application, separated by blanks. An argument that the child's splitter would read
// differently as it stands (a blank or a quote in it, or nothing at all) is put in quotes.
// False, with `line` not to be used, when the whole does not fit or an argument holds
// both kinds of quote and so cannot be passed on unchanged.
bool buildChildCommandLine(wchar_t* line, size_t capacity, const std::wstring& programPath,
                           const std::wstring& serviceNameW, const std::vector<std::wstring>& ownArguments,
                           const std::vector<std::wstring>& startParameters);
