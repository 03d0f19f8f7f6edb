// Service control commands are not part of this build yet: each says so and fails.
#include "service/service_commands.h"

#include "launcher/diagnostic_log.h"

#include <cstdio>

namespace {

int notAvailable(const char* command)
{
    logError("service command %s: not available", command);
    fprintf(stderr, "The service command \"%s\" is not available in this build of the launcher yet.\n", command);
    fflush(stderr);
    return 1;
}

} // namespace

int installService(DWORD, bool) { return notAvailable("install"); }
int uninstallService(bool) { return notAvailable("uninstall"); }
int startService() { return notAvailable("start"); }
int stopService(bool) { return notAvailable("stop"); }
int serviceStatus() { return notAvailable("status"); }
