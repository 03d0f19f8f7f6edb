// The single-instance guard: a semaphore named after the executable's path marks a
// running instance. In single-instance mode a second start activates the first one's
// windows and ends; otherwise every start takes the first free numbered name.
#pragma once

#include "platform/registry_keys.h"

#include <windows.h>

#include <string>

// The name of the semaphore this process holds (empty before enforceSingleInstance).
extern std::string instanceSemaphoreName;

// Returns normally, or ends the process with exit code 0 when another instance runs in
// single-instance mode.
void enforceSingleInstance();

// The canonical path with every backslash and blank replaced by '_'.
std::string mangleSemaphorePath(const std::string& canonicalPath);

void recordProcessId();
DWORD readRecordedProcessId();
void activateInstanceWindows(DWORD processId, bool restore);
