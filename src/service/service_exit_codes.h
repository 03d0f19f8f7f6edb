// The service-specific exit codes that the service process reports with its stopped
// state (as ERROR_SERVICE_SPECIFIC_ERROR), which /status explains to the operator.
#pragma once

#include <windows.h>

// The application could not be started.
constexpr DWORD kServiceCodeNotStarted = 5000;
// The application did not end within the stop deadline and was ended.
constexpr DWORD kServiceCodeEndedAtDeadline = 5001;
