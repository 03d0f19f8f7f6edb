// The launcher's entry: start-up (configuration, flavour, working directory, service
// name) and the choice of role from the command line.
#pragma once

// Runs the process: start-up, then the role; returns the process exit code.
int launcherMain();
