// The launcher's entry: start-up (configuration, flavour, working directory, service
// name) and the choice of role from the command line.
#pragma once

#include "platform/text_format.h"

// Launcher-wide state, written on the main thread during start-up.
constexpr int kServiceNameCapacity = 6000;
extern char serviceName[kServiceNameCapacity];  // changed later only by the service main
extern bool serviceMode;                         // true unless a /run mode runs
extern bool noRedirect;                          // true only for /run
extern char flavour;                             // 'q' or 'd' (configuration 2001)
extern bool interactive;                         // false after "non-interactive"

// Runs the process: start-up, then the role; returns the process exit code.
int launcherMain();
