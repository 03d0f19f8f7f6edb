// The in-process launch is not part of this build yet: the role says so and fails.
#include "launcher/launch_sequence.h"

#include "config/messages.h"
#include "launcher/diagnostic_log.h"

#include <cstdio>

void launchApplication(ArgumentList& arguments, bool serviceChild)
{
    logError("launchApplication: not available (%d arguments, service child %d)", static_cast<int>(arguments.size()),
             serviceChild ? 1 : 0);
    fprintf(stderr, "Running the Java application is not available in this build of the launcher yet.\n");
    exitLauncher(1);
}
