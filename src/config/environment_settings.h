// The application's environment variables (configuration 30012, `[environment]`): set in
// this process, in the order configured, before anything of the application's start reads
// the environment, so that the runtime search, the VM and the libraries it loads all see
// them. Only the process that runs the VM sets them; the service process keeps its own
// environment, and each child it starts begins from that.
#pragma once

// Sets every variable of the environment record in order, its value expanded as configured
// texts are (each setting sees those before it), in the system's environment and in the C
// runtime's copy. Without the record nothing changes. A record the launcher cannot read,
// or a variable it cannot set (a value longer than a variable holds), ends the process
// through the fatal exit: the application never runs with another environment than the
// one configured.
void applyEnvironmentSettings();
