// Process entry point of the service launcher.
#include "launcher/startup.h"

int main()
{
    return launcherMain();
}
