// Errors the user must see, and the one way out of the process on a fatal error: the
// text goes to a message box or to standard error, with the log path when a log is
// written, and the launcher's temporary directory is removed before the process ends.
#pragma once

#include <string>

void showError(const char* text);
void showErrorW(const wchar_t* text);
// Shows configuration message `id`, its first "{0}" replaced by `argument` when given.
void showConfigMessage(int id, const char* argument);
void showConfigMessageW(int id, const wchar_t* argument);

// Removes what it can of the launcher's temporary directory (what is still open stays for
// a later start to remove).
void removeLauncherTempDir();
// Removes the launcher's temporary directory and ends the process with `exitCode` at once.
[[noreturn]] void exitLauncher(int exitCode);
[[noreturn]] void fatalError(const char* text);
[[noreturn]] void fatalConfigError(int id, const char* argument);
[[noreturn]] void fatalConfigErrorW(int id, const wchar_t* argument);

// The message with the first "{0}" replaced by the argument (none: unchanged).
std::string substituteArgument(const std::string& message, const char* argument);
std::wstring substituteArgumentW(const std::wstring& message, const wchar_t* argument);
