// The service control commands: the executable manages its own entry in the Service
// Control Manager. Each returns the process exit code.
#pragma once

#include <windows.h>

int installService(DWORD startType, bool interactive);
int uninstallService(bool verbose);
int startService();
int stopService(bool verbose);
int serviceStatus();
