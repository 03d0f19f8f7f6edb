// The service process's control pipe, through which /dump asks for a thread dump of the
// running application: "\\.\pipe\quill-service-<name>", private to the account the
// service runs as, SYSTEM and the Administrators group (platform/private_security.h), so
// that no other local user can ask. (A control code through the service manager would
// reach the service too, but the default access list of a service lets every
// authenticated user send one.) The command checks that the pipe is served by the
// service's own process before it asks, so that no program that took the name first is
// taken for the service. One request at a time: a line "dump", answered by a line
// "taken", "not running" or "no answer".
#pragma once

#include <windows.h>

#include <string>

// The pipe's name for the service named `name`; empty when it would be longer than a
// pipe's name may be.
std::wstring controlPipeName(const std::wstring& name);

// Starts the thread that serves the pipe for the service named serviceNameW, for as long
// as the process runs. False, logged, when it cannot: the service runs on, without
// /dump.
bool startControlPipe();

// /dump: asks the running service for a thread dump of its application, which goes to
// the application's error output. 0 once the dump was taken; 1 when the service is not
// running, does not answer in time or cannot be asked, each said on standard output.
int dumpService();
