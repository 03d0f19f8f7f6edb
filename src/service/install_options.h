// The install options of a packaged service as the service manager takes them: the start
// type, the account name and the failure actions of what the service model
// (model/service_entry.h) reads from the configuration's texts. Pure functions; the
// service commands apply the result.
#pragma once

#include "model/service_entry.h"

#include <windows.h>

// The environment variable that holds the password of a user account at install time.
constexpr char kServicePasswordVariable[] = "QUILL_SERVICE_PASSWORD";

// SERVICE_AUTO_START, SERVICE_DEMAND_START or SERVICE_DISABLED.
DWORD serviceStartType(servicemodel::StartType type);

// The account name for CreateService: null for LocalSystem, which has none.
const char* serviceStartName(const servicemodel::ServiceAccount& account);

// The service type: its own process, interactive only when asked for and the account
// may interact (the service manager refuses an interactive service under any other).
DWORD serviceTypeOf(const servicemodel::ServiceAccount& account, bool interactive);

// The action the service manager takes after each of the first three failures: a
// restart after the recovery's delay, or none when the delay is 0.
SC_ACTION failureAction(const servicemodel::Recovery& recovery);
