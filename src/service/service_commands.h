// The service control commands: the executable manages its own entry in the Service
// Control Manager, under the name in serviceName. Each command prints its outcome on
// standard output and returns the process exit code.
#pragma once

#include <windows.h>

#include <string>

// How an install command chooses the start type: from the configuration (its start
// mode, else the launcher kind), or as the command says, whatever the configuration says.
enum class StartTypeChoice { configured, automatic, onDemand };

// Replaces any service of the same name (stopping it first) with a new entry that runs
// this executable, under the configured account and with the configured start mode and
// recovery. The account and start mode are checked, and a password read, before the old
// entry is touched. 0 installed, 1 failed; `refused` (optional) tells that the
// configuration was refused and nothing was changed.
// A service that was running is left stopped, and the output says so, unless
// `startFollows` (the caller starts it next).
int installService(StartTypeChoice choice, bool interactive, bool* refused = nullptr, bool startFollows = false);
// Stops and deletes the service; with `verbose` the failures are printed too. 0 or 1.
// `stopped` (optional) tells that a running service was stopped.
int uninstallService(bool verbose, bool* stopped = nullptr);
// Asks the service to start and does not wait for it. 0 started or already running, 1 failed.
int startService();
// Asks the service to stop and waits for it. 0 stop accepted or already stopped, 1 failed.
// `stopped` (optional) tells that the service was running and a stop was accepted.
int stopService(bool verbose, bool* stopped = nullptr);
// After a failure line on standard output, a second one: what the system says `error`
// means, its code, and what to do about the usual causes (not installed, no right).
void explainError(unsigned long error);
// 0 running, 3 not running, 1 the status or configuration could not be read.
int serviceStatus();

// Waits while the service is stop pending and makes progress or is within its wait hint;
// true when it ends up stopped.
bool waitForServiceStop(SC_HANDLE service);

// The system's list of dependency names (each NUL-terminated, one more NUL at the end)
// from a comma-separated text; empty pieces are dropped, blanks stay part of a name.
// An empty result means no dependencies.
std::string dependencyListFrom(const char* commaSeparated);
// The dependency list of the configuration (149).
std::string buildDependencyList();
