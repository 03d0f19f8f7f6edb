// The service control commands: the executable manages its own entry in the Service
// Control Manager, under the name in serviceName. Each command prints its outcome on
// standard output and returns the process exit code.
#pragma once

#include <windows.h>

#include <string>

// How an install command chooses the start type: from the configuration (its start
// mode, else the launcher kind), or as the command says, whatever the configuration says.
enum class StartTypeChoice { configured, automatic, onDemand };

// What an install command asks for besides the configuration.
struct InstallRequest {
    StartTypeChoice choice = StartTypeChoice::configured;
    bool interactive = true;
    // "/replace": an existing entry of that name that runs another program may be made to
    // run this one. Without it such an entry is left alone.
    bool replaceOtherProgram = false;
    // The caller starts the service next, so a service stopped for the update is not
    // reported as left stopped.
    bool startFollows = false;
};

// Installs the service under the configured account and with the configured start mode
// and recovery: a new entry, or an existing one of the same name updated in place (stopped
// first), so that an update that fails leaves the old entry as it was. The account and
// start mode are checked, and a password read, before any entry is touched. 0 installed,
// 1 failed. With the grant record, a user or managed account gets the right to log on as
// a service before any entry is touched (not even stopped); a grant that fails refuses the
// install. `unchanged` (optional) tells that no entry was created or changed (a refused
// configuration, a logon right not granted, another program's entry, a service that did
// not stop, an update the service manager refused), so that nothing must be started in
// its place.
int installService(const InstallRequest& request, bool* unchanged = nullptr);
// What /configure asks for besides the configuration.
struct ConfigureRequest {
    bool interactive = true;  // false after "non-interactive", as for /install
    std::string start;        // "/start=": auto, delayed, demand or disabled; empty for none
};

// Applies to the installed entry what /install sets beyond the service manager's tables,
// as the configuration says: delayed start, recovery, the pre-shutdown timeout, the logon
// right and the output folders for the entry's own account (which an installer package
// may have chosen), the event source; the type interactive where /install would make it
// so; with a start, that start type. Changes nothing the configuration does not ask for,
// so that it can run again. 0 configured, 1 failed (no entry, a start not known, a
// logon right not granted, the start or type refused).
int configureService(const ConfigureRequest& request);
// Stops and deletes the service; with `verbose` the failures are printed too. 0 or 1.
// `stopped` (optional) tells that a running service was stopped.
int uninstallService(bool verbose, bool* stopped = nullptr);
// Asks the service to start and does not wait for it. 0 started or already running, 1 failed.
int startService();
// Asks the service to stop and waits for the stopped state; a stop that is already under
// way is waited for too. 0 stopped or already stopped, 1 not stopped when the command ends
// (the request failed, or the service is still stopping or running).
// `stopped` (optional) tells that the service was running and a stop was accepted.
int stopService(bool verbose, bool* stopped = nullptr);
// Stops the service as stopService does, then starts it when it stopped. 0 the start was
// accepted, 1 otherwise (nothing is started after a failed stop).
int restartService();
// After a failure line on standard output, a second one: what the system says `error`
// means, its code, and what to do about the usual causes (not installed, no right, the
// logon of the service's account).
void explainError(unsigned long error);
// That second line, without its line end.
std::string errorExplanation(unsigned long error);
// 0 running, 3 not running, 1 the status or configuration could not be read. A second
// line names a pending state, or how a stopped service ended when it did not end cleanly.
int serviceStatus();

// The line that /status adds to "Not running." for a service in this state: a pending
// state with the service's process, or a stopped service's exit code and what it means;
// "" when there is nothing to add (stopped cleanly). Without its line end.
std::string stateDetail(const SERVICE_STATUS_PROCESS& status);

// Waits while the service is stop pending and makes progress or is within its wait hint;
// true when it ends up stopped.
bool waitForServiceStop(SC_HANDLE service);

// Whether a service entry's image path (its command line, quoted or not, with or without
// arguments) runs the program at `programPath`. Letter case does not count.
bool imagePathRuns(const std::wstring& imagePath, const std::wstring& programPath);

// The system's list of dependency names (each NUL-terminated, one more NUL at the end)
// from a comma-separated text; empty pieces are dropped, blanks stay part of a name.
// An empty result means no dependencies.
std::string dependencyListFrom(const char* commaSeparated);
// The dependency list of the configuration (149).
std::string buildDependencyList();
