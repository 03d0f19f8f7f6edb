// The rules of a service entry, from the texts of their records.
#include "model/service_entry.h"

#include "format/record_text.h"

namespace servicemodel {

namespace {

// Keywords and account names compare without regard to ASCII case, as Windows compares
// account names.
bool sameIgnoringCase(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return i == a.size() && b[i] == '\0';
}

// A blank, also the no-break space of ISO-8859-1 and code page 1252.
bool isBlank(char c)
{
    return c == ' ' || static_cast<unsigned char>(c) == 0xA0;
}

// Characters that no Windows account or domain name holds ('\' and '@' are the separators
// of the two forms and counted apart).
const char kNotInAccountNames[] = "\"/[]:;|=,+*?<>@";

ServiceAccount refused(const char* reason)
{
    ServiceAccount account;
    account.kind = AccountKind::invalid;
    account.reason = reason;
    return account;
}

ServiceAccount named(AccountKind kind, const std::string& name)
{
    ServiceAccount account;
    account.kind = kind;
    account.name = name;
    return account;
}

const char kBadCharacter[] = "holds a character no account name may hold (one of \"/[]:;|=,+*?<>@)";

// "user@domain": a user principal name, which the service manager takes for a user.
ServiceAccount principalName(const std::string& text)
{
    size_t at = text.find('@');
    if (text.find('@', at + 1) != std::string::npos) return refused("has more than one '@'");
    std::string user = text.substr(0, at);
    std::string domain = text.substr(at + 1);
    if (user.empty() || domain.empty()) return refused("has an empty user or domain name");
    if (isBlank(user.back()) || isBlank(domain.front())) return refused("has a blank beside its '@'");
    if (user.find_first_of(kNotInAccountNames) != std::string::npos ||
        domain.find_first_of(kNotInAccountNames) != std::string::npos) {
        return refused(kBadCharacter);
    }
    // A group managed account has no password; only its DOMAIN\name$ form says so.
    if (user.back() == '$') {
        return refused("names a group managed service account by a user principal name (its form is "
                       "\"DOMAIN\\name$\")");
    }
    return named(AccountKind::user, text);
}

// "DOMAIN\name": the domain decides what kind of account it is.
ServiceAccount domainName(const std::string& text)
{
    size_t backslash = text.find('\\');
    if (text.find('\\', backslash + 1) != std::string::npos) return refused("has more than one '\\'");
    std::string domain = text.substr(0, backslash);
    std::string user = text.substr(backslash + 1);
    // A group managed service account is the name with a final '$'.
    bool managed = !user.empty() && user.back() == '$';
    if (domain.empty() || user.size() == (managed ? 1u : 0u)) return refused("has an empty domain or user name");
    if (isBlank(domain.back()) || isBlank(user.front())) return refused("has a blank beside its '\\'");
    if (text.find_first_of(kNotInAccountNames) != std::string::npos) return refused(kBadCharacter);

    if (sameIgnoringCase(domain, "NT AUTHORITY")) {
        // Only the two service accounts of this domain run a service under a name;
        // LocalSystem is an entry without one.
        if (sameIgnoringCase(user, "LocalService") || sameIgnoringCase(user, "NetworkService")) {
            return named(AccountKind::builtIn, text);
        }
        if (sameIgnoringCase(user, "SYSTEM") || sameIgnoringCase(user, "LocalSystem")) {
            return refused("names LocalSystem in a form the service manager does not take (use \"LocalSystem\")");
        }
        return refused("is no account of NT AUTHORITY that a service runs as (LocalService or NetworkService)");
    }
    if (sameIgnoringCase(domain, "NT SERVICE")) return named(AccountKind::virtualAccount, text);
    // The service manager's own spelling of LocalSystem, which has no password.
    if (domain == "." && sameIgnoringCase(user, "LocalSystem")) return named(AccountKind::localSystem, "");
    return named(managed ? AccountKind::managed : AccountKind::user, text);
}

// Digits only, at most 10 of them, into a 64-bit value; false for anything else.
bool parseSeconds(const std::string& text, uint64_t* value)
{
    if (text.empty() || text.size() > 10) return false;
    uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + static_cast<uint64_t>(c - '0');
    }
    *value = result;
    return true;
}

} // namespace

const char kAccountForms[] = "give \"LocalSystem\", \"LocalService\", \"NetworkService\", \"virtual\", a group "
                             "managed service account \"DOMAIN\\name$\" or a user \"DOMAIN\\user\" (\".\\user\" "
                             "for a local one) or \"user@domain\"";
const char kAccountFormsShort[] =
    "LocalSystem, LocalService, NetworkService, virtual, DOMAIN\\name$, DOMAIN\\user or user@domain";

const RecoveryField kRecoveryFields[kRecoveryFieldCount] = {
    {"restart_after", false, 60, 86400},
    {"reset_after", false, 86400, 31536000},
    {"non_crash_failures", true, 0, 1},
};

Start startOf(StartChoice choice, const std::string& launcherKind, const std::string& startMode)
{
    Start start;
    if (choice == StartChoice::automatic) {
        start.type = StartType::automatic;
    } else if (choice == StartChoice::demand) {
        start.type = StartType::demand;
    } else if (startMode.empty()) {
        bool automatic = blockformat::parseRecordInt(launcherKind.c_str()) == kAutomaticLauncherKind;
        start.type = automatic ? StartType::automatic : StartType::demand;
    } else if (sameIgnoringCase(startMode, kStartModeDelayed)) {
        start.type = StartType::automatic;
        start.delayed = true;
    } else if (sameIgnoringCase(startMode, kStartModeDisabled)) {
        start.type = StartType::disabled;
    } else {
        start.valid = false;
        start.reason = std::string("is not known (") + kStartModeDelayed + " or " + kStartModeDisabled + ")";
    }
    return start;
}

ServiceAccount serviceAccountOf(const std::string& text, const std::string& serviceName)
{
    if (text.empty() || sameIgnoringCase(text, "LocalSystem")) return named(AccountKind::localSystem, "");
    if (sameIgnoringCase(text, "LocalService")) return named(AccountKind::builtIn, "NT AUTHORITY\\LocalService");
    if (sameIgnoringCase(text, "NetworkService")) return named(AccountKind::builtIn, "NT AUTHORITY\\NetworkService");
    if (sameIgnoringCase(text, "virtual")) return named(AccountKind::virtualAccount, "NT SERVICE\\" + serviceName);

    if (isBlank(text.front()) || isBlank(text.back())) return refused("begins or ends with a blank");
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return refused("holds a control character");
    }
    if (text.find('\\') != std::string::npos) return domainName(text);
    if (text.find('@') != std::string::npos) return principalName(text);
    return refused("is no built-in account and names no domain");
}

Recovery recoveryOf(const std::string& text)
{
    Recovery recovery;
    if (text.empty()) return recovery;
    recovery.present = true;
    recovery.reason = "is not understood (restart;reset;non-crash, in seconds)";
    size_t first = text.find(kRecoverySeparator);
    size_t second = first == std::string::npos ? std::string::npos : text.find(kRecoverySeparator, first + 1);
    if (second == std::string::npos || text.find(kRecoverySeparator, second + 1) != std::string::npos) {
        return recovery;
    }
    uint64_t restart = 0;
    uint64_t reset = 0;
    uint64_t nonCrash = 0;
    if (!parseSeconds(text.substr(0, first), &restart) ||
        !parseSeconds(text.substr(first + 1, second - first - 1), &reset) ||
        !parseSeconds(text.substr(second + 1), &nonCrash)) {
        return recovery;
    }
    if (restart > 0xFFFFFFFFull / 1000 || reset > 0xFFFFFFFFull || nonCrash > 1) return recovery;
    recovery.valid = true;
    recovery.reason.clear();
    recovery.restartSeconds = static_cast<uint32_t>(restart);
    recovery.resetSeconds = static_cast<uint32_t>(reset);
    recovery.onNonCrashFailures = nonCrash == 1;
    return recovery;
}

std::string recoveryText(uint32_t restartSeconds, uint32_t resetSeconds, bool onNonCrashFailures)
{
    return std::to_string(restartSeconds) + kRecoverySeparator + std::to_string(resetSeconds) + kRecoverySeparator +
           (onNonCrashFailures ? "1" : "0");
}

bool needsLogonRight(const ServiceAccount& account)
{
    return account.kind == AccountKind::user || account.kind == AccountKind::managed;
}

bool grantsLogonRight(const std::string& grantRecord, const ServiceAccount& account)
{
    return blockformat::parseRecordInt(grantRecord.c_str()) != 0 && needsLogonRight(account);
}

Shutdown shutdownOf(const std::string& preshutdownRecord, const std::string& stopTimeoutRecord)
{
    Shutdown shutdown;
    shutdown.preshutdown = blockformat::parseRecordInt(preshutdownRecord.c_str()) != 0;
    const int seconds = blockformat::parseRecordInt(stopTimeoutRecord.c_str());
    if (!shutdown.preshutdown || seconds <= 0) {
        return shutdown;
    }
    const uint32_t deadline = static_cast<uint32_t>(seconds) < kLongestStopSeconds ? static_cast<uint32_t>(seconds)
                                                                                     : kLongestStopSeconds;
    // At most 30 days and 10 seconds: the milliseconds fit 32 bits.
    shutdown.timeoutMs = (deadline + kPreshutdownMarginSeconds) * 1000u;
    return shutdown;
}

std::vector<std::string> dependenciesOf(const std::string& text)
{
    std::vector<std::string> names;
    for (const std::string& piece : blockformat::splitList(text, kDependencySeparator)) {
        if (!piece.empty()) names.push_back(piece);
    }
    return names;
}

} // namespace servicemodel
