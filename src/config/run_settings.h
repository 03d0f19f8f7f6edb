// What this run of the launcher is: the service it acts for and the role the command line
// chose. Written on the main thread during start-up (the service name also by the service
// main, before its child starts), read everywhere afterwards.
#pragma once

constexpr int kServiceNameCapacity = 6000;
extern char serviceName[kServiceNameCapacity];  // configured, or given on the command line
extern bool serviceMode;                         // true unless a /run mode runs
extern bool noRedirect;                          // true only for /run
extern char flavour;                             // 'q' or 'd' (configuration 2001)
extern bool interactive;                         // false after "non-interactive"
