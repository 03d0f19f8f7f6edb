// The rules of a service entry: the start type, the account and the name the service
// manager takes for it, the recovery after failures and the dependencies, read from the
// texts of their configuration records. The launcher's /install, `packager build` (and
// `inspect`) and `packager msi` all read the records through these functions, so the
// three can never disagree about what a record means. Portable C++ without any system
// header; the results are plain values (the launcher maps them to the service manager's
// constants in service/install_options.h), and a refusal carries its reason as a phrase
// about the value ("has more than one '\'"), for the launcher's message and the
// packager's error line alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace servicemodel {

// --- the start type ------------------------------------------------------------------------

enum class StartType { automatic, demand, disabled };

// How an install chooses the start type: from the configuration (its start mode, else the
// launcher kind), or as the install command says, whatever the configuration says.
enum class StartChoice { configured, automatic, demand };

// The start mode record's texts (compared without regard to ASCII case).
constexpr char kStartModeDelayed[] = "delayed";
constexpr char kStartModeDisabled[] = "disabled";
// The launcher kind whose service starts automatically; the other kinds start on demand.
constexpr int kAutomaticLauncherKind = 4;

struct Start {
    bool valid = true;
    StartType type = StartType::demand;
    bool delayed = false;  // automatic start, delayed after the boot
    std::string reason;    // not valid: about the start mode, "is not known (...)"
};
// The start of an install: `launcherKind` and `startMode` are the texts of the launcher
// kind record (an integer record) and of the start mode record ("" when absent). An
// absent start mode leaves the type to the launcher kind; "delayed" and "disabled" choose
// one; any other start mode is refused, unless the install command chooses the type.
Start startOf(StartChoice choice, const std::string& launcherKind, const std::string& startMode);

// --- the account ------------------------------------------------------------------------

enum class AccountKind {
    localSystem,     // no account name: the service runs as LocalSystem
    builtIn,         // NT AUTHORITY\LocalService or \NetworkService, no password
    virtualAccount,  // NT SERVICE\<service name>, no password
    managed,         // DOMAIN\name$, a group managed service account, no password
    user,            // DOMAIN\user, .\user or user@domain, with a password
    invalid,
};

// The name the service manager shows for an entry without an account name.
constexpr char kLocalSystemName[] = "LocalSystem";

struct ServiceAccount {
    AccountKind kind = AccountKind::localSystem;
    std::string name;    // as the service manager takes it; "" for LocalSystem (no name)
    std::string reason;  // invalid: what is wrong, such as "has more than one '\'"
    bool needsPassword() const { return kind == AccountKind::user; }
    // Only LocalSystem may interact with the desktop.
    bool mayInteract() const { return kind == AccountKind::localSystem; }
    // The name the service manager shows: "LocalSystem" for LocalSystem, else `name`.
    std::string shownName() const { return kind == AccountKind::localSystem ? kLocalSystemName : name; }
};
// The account of the account record's text. "" (no record) and "LocalSystem",
// "LocalService", "NetworkService" and "virtual" are keywords, compared without regard to
// ASCII case as Windows compares account names; otherwise "DOMAIN\name" with one
// backslash, or a user principal name "user@domain", and no character that account names
// cannot hold. NT AUTHORITY\LocalService and \NetworkService are the built-in accounts,
// NT SERVICE\x a virtual one, .\LocalSystem is LocalSystem; any other name of
// NT AUTHORITY (NT AUTHORITY\SYSTEM among them) is no name the service manager takes.
ServiceAccount serviceAccountOf(const std::string& text, const std::string& serviceName);

// The accepted forms, after a refusal: in a packager error line, and in the launcher's
// shorter message.
extern const char kAccountForms[];
extern const char kAccountFormsShort[];

// --- the recovery after failures ------------------------------------------------------------

// The record's fields, "restart_after;reset_after;non_crash", each with the default and
// the largest value a descriptor gives it. A record from elsewhere may hold more, up to
// what the service manager takes (a restart delay that fits 32-bit milliseconds).
struct RecoveryField {
    const char* name;
    bool flag;  // 0 or 1
    uint32_t defaultValue;
    uint32_t maximum;
};
constexpr size_t kRecoveryFieldCount = 3;
extern const RecoveryField kRecoveryFields[kRecoveryFieldCount];
constexpr char kRecoverySeparator = ';';

struct Recovery {
    bool present = false;  // a text was given
    bool valid = false;
    uint32_t restartSeconds = 0;  // 0: the failure actions do nothing
    uint32_t resetSeconds = 0;    // the failure count is reset after this
    bool onNonCrashFailures = false;
    std::string reason;  // present and not valid: "is not understood (...)"
    uint32_t restartDelayMs() const { return restartSeconds * 1000u; }
};
// "restart_after;reset_after;non_crash": decimal seconds, seconds and 0 or 1, digits only
// (at most 10 each). The restart delay must fit the service manager's milliseconds
// (4294967 s at most), the reset its 32-bit seconds.
Recovery recoveryOf(const std::string& text);
// The record's text of the three values, as a build writes it.
std::string recoveryText(uint32_t restartSeconds, uint32_t resetSeconds, bool onNonCrashFailures);

// --- the logon right ----------------------------------------------------------------------

// The right that an account needs to run a service, which the service manager does not
// grant by itself: a service under an account without it fails to start with error 1069.
constexpr char kServiceLogonRight[] = "SeServiceLogonRight";

// A user or a group managed service account logs on as itself and needs the right; the
// built-in and virtual accounts and LocalSystem hold what they need.
bool needsLogonRight(const ServiceAccount& account);
// Whether /install grants the account the right: the grant record (a flag; absent is off,
// so a launcher built before it leaves the policy alone) and an account that needs it.
bool grantsLogonRight(const std::string& grantRecord, const ServiceAccount& account);

// --- the system's shutdown ------------------------------------------------------------------

// What the service asks of the service manager beyond the stop deadline, so that the
// deadline and the ending of the child hold at a system shutdown too. Margin: after the
// deadline the service ends the child's job and reports stopped.
constexpr uint32_t kPreshutdownMarginSeconds = 10;
// The longest stop deadline the service process keeps (longer records are cut to it), and
// the longest of its other waits (restart delays, the reset time, the hang timeout).
constexpr uint32_t kLongestStopSeconds = 30u * 24u * 3600u;

struct Shutdown {
    // Accept the pre-shutdown notification rather than the plain shutdown notification.
    bool preshutdown = false;
    // The pre-shutdown timeout /install sets: the stop deadline plus the margin, in
    // milliseconds; 0 leaves the system's default (no pre-shutdown, or no deadline).
    uint32_t timeoutMs = 0;
};
// The shutdown of the pre-shutdown record's text (a flag; absent is off, the plain
// notification as before it) and of the stop timeout record's text (an integer of seconds,
// read as the service process reads it: absent or 0 is no deadline, a negative one 0,
// above kLongestStopSeconds that bound).
Shutdown shutdownOf(const std::string& preshutdownRecord, const std::string& stopTimeoutRecord);

// --- the watch of a frozen VM -------------------------------------------------------------

// The shortest hang timeout: the runtime library signals every second, and a busy VM's
// collector may hold every thread for seconds; the packager refuses less, and the service
// process takes a record below it (but not 0, which is off) for this.
constexpr uint32_t kShortestHangSeconds = 10;

// --- the dependencies -------------------------------------------------------------------

constexpr char kDependencySeparator = ',';
// The names of the dependencies record's text: split at the separator, empty pieces
// dropped, blanks kept as part of a name.
std::vector<std::string> dependenciesOf(const std::string& text);

} // namespace servicemodel
