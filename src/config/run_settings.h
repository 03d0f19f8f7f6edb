// What this run of the launcher is: the service it acts for and the role the command line
// chose. Written on the main thread during start-up (the service name also by the service
// main, before its child starts), read everywhere afterwards.
#pragma once

#include <string>

constexpr int kServiceNameCapacity = 6000;
// The service's name: configured, or given on the command line. serviceNameW is the name
// as the system knows it and the only one that reaches the system (the service manager,
// the event log, the registry, the child's command line); serviceName is its narrow form
// for messages and log lines, each character up to U+00FF as the byte of the same value.
extern wchar_t serviceNameW[kServiceNameCapacity];
extern char serviceName[kServiceNameCapacity];
// Sets both forms; false, changing neither, when the name does not fit.
bool setServiceName(const std::wstring& name);
// A name as the configuration stores it: ISO-8859-1, each byte the character of the same
// value, whatever the system's code page.
bool setConfiguredServiceName(const std::string& latin1);
extern bool serviceMode;                         // true unless a /run mode runs
extern bool noRedirect;                          // true only for /run
extern char flavour;                             // 'q' or 'd' (configuration 2001)
extern bool interactive;                         // false after "non-interactive"
