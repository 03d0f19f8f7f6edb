// The run's settings, empty or false until start-up sets them.
#include "config/run_settings.h"

char serviceName[kServiceNameCapacity] = "";
bool serviceMode = true;
bool noRedirect = false;
char flavour = '\0';
bool interactive = true;
