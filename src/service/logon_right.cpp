// The right to log on as a service, granted through the local security policy.
#include "service/logon_right.h"

#include "platform/diagnostic_log.h"
#include "platform/text_conversion.h"

#include <vector>

namespace {

// LsaEnumerateAccountRights says so for an account that holds no right at all.
constexpr NTSTATUS kNoRights = static_cast<NTSTATUS>(0xC0000034L);  // STATUS_OBJECT_NAME_NOT_FOUND

const LogonRightCalls kSystemCalls = {LookupAccountNameW,        LsaOpenPolicy,  LsaEnumerateAccountRights,
                                      LsaAddAccountRights,       LsaFreeMemory,  LsaClose};

LogonRightResult failedAt(LogonRightResult result, const char* step, DWORD error)
{
    result.outcome = LogonRightOutcome::failed;
    result.step = step;
    result.error = error;
    logMessage("could not grant %s the right to log on as a service: %s failed with error %lu",
               result.account.c_str(), step, error);
    return result;
}

// The name LookupAccountNameW takes: a local account's "." is this computer's name, which
// the service manager reads into it and the security policy does not.
std::wstring lookupName(const std::string& account)
{
    // As configured: ISO-8859-1, whatever the system's code page.
    std::wstring name = widenBytes(account);
    if (name.size() > 2 && name[0] == L'.' && name[1] == L'\\') {
        wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
        DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
        if (GetComputerNameW(computer, &length)) {
            name = std::wstring(computer, length) + name.substr(1);
        }
    }
    return name;
}

// The account's security identifier; false with the error.
bool lookUpSid(const LogonRightCalls& calls, const std::wstring& name, std::vector<BYTE>* sid, DWORD* error)
{
    DWORD sidSize = SECURITY_MAX_SID_SIZE;
    std::vector<wchar_t> domain(256);
    for (int attempt = 0; attempt < 2; ++attempt) {
        sid->assign(sidSize, 0);
        DWORD domainSize = static_cast<DWORD>(domain.size());
        SID_NAME_USE use = SidTypeUnknown;
        if (calls.lookupAccountName(nullptr, name.c_str(), sid->data(), &sidSize, domain.data(), &domainSize, &use)) {
            return true;
        }
        *error = GetLastError();
        if (*error != ERROR_INSUFFICIENT_BUFFER) {
            return false;
        }
        // The sizes it asked for, once; a second shortfall is an error like any other.
        domain.assign(domainSize > domain.size() ? domainSize : domain.size(), L'\0');
        sidSize = sidSize > SECURITY_MAX_SID_SIZE ? sidSize : SECURITY_MAX_SID_SIZE;
    }
    return false;
}

bool isLogonRight(const LSA_UNICODE_STRING& right)
{
    const std::wstring wanted = toWide(servicemodel::kServiceLogonRight, CP_ACP);
    const int length = right.Length / static_cast<int>(sizeof(wchar_t));
    return right.Buffer != nullptr &&
           CompareStringOrdinal(right.Buffer, length, wanted.c_str(), static_cast<int>(wanted.size()), TRUE) ==
               CSTR_EQUAL;
}

// The policy handle, closed on every way out.
class Policy {
public:
    explicit Policy(const LogonRightCalls& calls) : calls_(calls) {}
    ~Policy()
    {
        if (handle_ != nullptr) calls_.close(handle_);
    }
    Policy(const Policy&) = delete;
    Policy& operator=(const Policy&) = delete;
    NTSTATUS open()
    {
        LSA_OBJECT_ATTRIBUTES attributes{};
        // Reading an account's rights needs the lookup of names; adding one may create the
        // account's entry in the policy.
        return calls_.openPolicy(nullptr, &attributes, POLICY_LOOKUP_NAMES | POLICY_CREATE_ACCOUNT, &handle_);
    }
    LSA_HANDLE get() const { return handle_; }

private:
    const LogonRightCalls& calls_;
    LSA_HANDLE handle_ = nullptr;
};

} // namespace

const LogonRightCalls& systemLogonRightCalls()
{
    return kSystemCalls;
}

LogonRightResult ensureLogonRight(const servicemodel::ServiceAccount& account, const LogonRightCalls& calls)
{
    LogonRightResult result;
    result.account = account.name;
    if (!servicemodel::needsLogonRight(account)) {
        return result;
    }

    std::vector<BYTE> sid;
    DWORD error = ERROR_SUCCESS;
    if (!lookUpSid(calls, lookupName(account.name), &sid, &error)) {
        return failedAt(result, "looking up the account", error);
    }
    Policy policy(calls);
    NTSTATUS status = policy.open();
    if (status != 0) {
        return failedAt(result, "opening the security policy", LsaNtStatusToWinError(status));
    }

    PLSA_UNICODE_STRING rights = nullptr;
    ULONG count = 0;
    status = calls.enumerateAccountRights(policy.get(), sid.data(), &rights, &count);
    if (status != 0 && status != kNoRights) {
        return failedAt(result, "reading the account's rights", LsaNtStatusToWinError(status));
    }
    bool held = false;
    for (ULONG i = 0; status == 0 && rights != nullptr && i < count && !held; ++i) {
        held = isLogonRight(rights[i]);
    }
    if (rights != nullptr) {
        calls.freeMemory(rights);
    }
    if (held) {
        logMessage("the account %s holds the right to log on as a service", account.name.c_str());
        result.outcome = LogonRightOutcome::alreadyHeld;
        return result;
    }

    std::wstring right = toWide(servicemodel::kServiceLogonRight, CP_ACP);
    LSA_UNICODE_STRING rightText{static_cast<USHORT>(right.size() * sizeof(wchar_t)),
                                 static_cast<USHORT>(right.size() * sizeof(wchar_t)), &right[0]};
    status = calls.addAccountRights(policy.get(), sid.data(), &rightText, 1);
    if (status != 0) {
        return failedAt(result, "granting the right", LsaNtStatusToWinError(status));
    }
    logMessage("granted %s the right to log on as a service", account.name.c_str());
    result.outcome = LogonRightOutcome::granted;
    return result;
}

std::string logonRightLine(const LogonRightResult& result)
{
    switch (result.outcome) {
    case LogonRightOutcome::granted:
        return "The account " + result.account + " was granted the right to log on as a service.\n";
    case LogonRightOutcome::failed:
        return "Could not grant the account " + result.account + " the right to log on as a service (" +
               result.step + ", error " + std::to_string(result.error) + "); nothing was installed.\n";
    case LogonRightOutcome::notNeeded:
    case LogonRightOutcome::alreadyHeld: break;
    }
    return std::string();
}
