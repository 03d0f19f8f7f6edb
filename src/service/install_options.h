// The install options of a packaged service, read from their configuration texts: the
// start mode (30006), the account (30007) and the recovery after failures (30008). Pure
// functions of the texts; the service commands apply the result.
#pragma once

#include <windows.h>

#include <string>

// The environment variable that holds the password of a user account at install time.
constexpr char kServicePasswordVariable[] = "QUILL_SERVICE_PASSWORD";

struct StartMode {
    bool valid = true;
    bool configured = false;  // false: the start type follows the launcher kind
    DWORD startType = SERVICE_DEMAND_START;
    bool delayed = false;     // automatic start, delayed after the boot
};
// "" (absent) leaves the start type to the launcher kind; "delayed" and "disabled" (in
// any case) choose one; anything else is not valid.
StartMode parseStartMode(const std::string& text);

enum class AccountKind {
    localSystem,     // no account name: the service runs as LocalSystem
    builtIn,         // NT AUTHORITY\LocalService or \NetworkService, no password
    virtualAccount,  // NT SERVICE\<service name>, no password
    managed,         // DOMAIN\name$, a group managed service account, no password
    user,            // DOMAIN\user or .\user, with a password
    invalid,
};

struct ServiceAccount {
    AccountKind kind = AccountKind::localSystem;
    std::string name;  // as the service manager takes it; "" for LocalSystem
    bool needsPassword() const { return kind == AccountKind::user; }
};
// "" or "LocalSystem", "LocalService", "NetworkService", "virtual" (keywords in any case),
// or DOMAIN\name with one backslash and no character that account names cannot hold.
// The spelled-out forms NT AUTHORITY\LocalService, NT AUTHORITY\NetworkService and
// NT SERVICE\name are the built-in and virtual accounts: they have no password.
ServiceAccount parseServiceAccount(const std::string& text, const std::string& serviceName);

struct Recovery {
    bool present = false;  // a text was given
    bool valid = false;
    DWORD restartDelayMs = 0;    // 0: the failure actions do nothing
    DWORD resetSeconds = 0;      // the failure count is reset after this
    bool onNonCrashFailures = false;
};
// "restart_after;reset_after;non_crash": decimal seconds, seconds and 0 or 1, digits
// only. The restart delay must fit the service manager's milliseconds (4294967 s at most).
Recovery parseRecovery(const std::string& text);
