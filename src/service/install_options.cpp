// Reading the install options from their configuration texts.
#include "service/install_options.h"

#include <cstdint>

namespace {

// Account names and keywords compare without regard to ASCII case, as Windows compares
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

// A domain or user part: not empty, no blank at either end, no control character and
// none of the characters that Windows refuses in account names.
bool isAccountPart(const std::string& part)
{
    if (part.empty() || part.front() == ' ' || part.back() == ' ') return false;
    for (char c : part) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
        for (const char* bad = "\"/\\[]:;|=,+*?<>@"; *bad != '\0'; ++bad) {
            if (c == *bad) return false;
        }
    }
    return true;
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

StartMode parseStartMode(const std::string& text)
{
    StartMode mode;
    if (text.empty()) return mode;
    mode.configured = true;
    if (sameIgnoringCase(text, "delayed")) {
        mode.startType = SERVICE_AUTO_START;
        mode.delayed = true;
    } else if (sameIgnoringCase(text, "disabled")) {
        mode.startType = SERVICE_DISABLED;
    } else {
        mode.valid = false;
    }
    return mode;
}

ServiceAccount parseServiceAccount(const std::string& text, const std::string& serviceName)
{
    ServiceAccount account;
    if (text.empty() || sameIgnoringCase(text, "LocalSystem")) return account;
    if (sameIgnoringCase(text, "LocalService")) return {AccountKind::builtIn, "NT AUTHORITY\\LocalService"};
    if (sameIgnoringCase(text, "NetworkService")) return {AccountKind::builtIn, "NT AUTHORITY\\NetworkService"};
    if (sameIgnoringCase(text, "virtual")) return {AccountKind::virtualAccount, "NT SERVICE\\" + serviceName};

    account.kind = AccountKind::invalid;
    size_t separator = text.find('\\');
    if (separator == std::string::npos) return account;
    std::string domain = text.substr(0, separator);
    std::string user = text.substr(separator + 1);
    if (!isAccountPart(domain) || !isAccountPart(user)) return account;  // also a second backslash
    account.name = text;
    if (sameIgnoringCase(domain, "NT AUTHORITY")) {
        // Only the two service accounts of this domain can run a service under a name.
        if (sameIgnoringCase(user, "LocalService") || sameIgnoringCase(user, "NetworkService")) {
            account.kind = AccountKind::builtIn;
        }
    } else if (sameIgnoringCase(domain, "NT SERVICE")) {
        account.kind = AccountKind::virtualAccount;
    } else if (user.back() == '$') {
        account.kind = user.size() > 1 ? AccountKind::managed : AccountKind::invalid;
    } else {
        account.kind = AccountKind::user;
    }
    if (account.kind == AccountKind::invalid) account.name.clear();
    return account;
}

Recovery parseRecovery(const std::string& text)
{
    Recovery recovery;
    if (text.empty()) return recovery;
    recovery.present = true;
    size_t first = text.find(';');
    size_t second = first == std::string::npos ? std::string::npos : text.find(';', first + 1);
    if (second == std::string::npos || text.find(';', second + 1) != std::string::npos) return recovery;
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
    recovery.restartDelayMs = static_cast<DWORD>(restart * 1000);
    recovery.resetSeconds = static_cast<DWORD>(reset);
    recovery.onNonCrashFailures = nonCrash == 1;
    return recovery;
}
