// The grant of the right to log on as a service: the security policy's calls it makes for
// each kind of account, what it makes of their failures, and the console line. Through a
// table of recording stand-ins for the LSA functions, as no test may change a machine's
// policy; once through the system's functions, which Wine answers (version 8: the lookup
// knows the prefix's own user, the policy has no rights to read and takes a grant
// without keeping it).
#include "service/logon_right.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr NTSTATUS kSuccess = 0;
constexpr NTSTATUS kAccessDenied = static_cast<NTSTATUS>(0xC0000022L);
constexpr NTSTATUS kNoRights = static_cast<NTSTATUS>(0xC0000034L);
constexpr NTSTATUS kNoMemory = static_cast<NTSTATUS>(0xC0000017L);

// What the stand-ins answer, and what they were asked.
struct Policy {
    DWORD lookupError = 0;  // 0: the name is found
    NTSTATUS openStatus = kSuccess;
    NTSTATUS enumerateStatus = kSuccess;
    std::vector<std::wstring> rights;  // the account's rights
    NTSTATUS addStatus = kSuccess;

    std::vector<std::string> calls;
    std::wstring lookedUp;
    std::wstring added;
    int open = 0;  // policy handles open
    int buffers = 0;  // rights buffers not freed
};
Policy policy;
const LSA_HANDLE kPolicyHandle = reinterpret_cast<LSA_HANDLE>(0x1234);
BYTE kSid[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};  // S-1-5-18, any SID will do

BOOL WINAPI lookUp(LPCWSTR, LPCWSTR name, PSID sid, LPDWORD sidSize, LPWSTR, LPDWORD, PSID_NAME_USE)
{
    policy.calls.push_back("lookup");
    policy.lookedUp = name;
    if (policy.lookupError != 0) {
        SetLastError(policy.lookupError);
        return FALSE;
    }
    EXPECT_GE(*sidSize, sizeof kSid);
    memcpy(sid, kSid, sizeof kSid);
    *sidSize = sizeof kSid;
    return TRUE;
}

NTSTATUS NTAPI openPolicy(PLSA_UNICODE_STRING system, PLSA_OBJECT_ATTRIBUTES, ACCESS_MASK access, PLSA_HANDLE handle)
{
    policy.calls.push_back("open");
    EXPECT_EQ(nullptr, system);  // this machine's policy
    EXPECT_EQ(static_cast<ACCESS_MASK>(POLICY_LOOKUP_NAMES | POLICY_CREATE_ACCOUNT), access);
    if (policy.openStatus != kSuccess) return policy.openStatus;
    ++policy.open;
    *handle = kPolicyHandle;
    return kSuccess;
}

NTSTATUS NTAPI enumerate(LSA_HANDLE handle, PSID sid, PLSA_UNICODE_STRING* rights, PULONG count)
{
    policy.calls.push_back("enumerate");
    EXPECT_EQ(kPolicyHandle, handle);
    EXPECT_EQ(0, memcmp(sid, kSid, sizeof kSid));
    *rights = nullptr;
    *count = 0;
    if (policy.enumerateStatus != kSuccess) return policy.enumerateStatus;
    auto* list = new LSA_UNICODE_STRING[policy.rights.size() + 1];
    for (size_t i = 0; i < policy.rights.size(); ++i) {
        USHORT bytes = static_cast<USHORT>(policy.rights[i].size() * sizeof(wchar_t));
        list[i] = {bytes, bytes, &policy.rights[i][0]};  // not terminated where the length ends
    }
    ++policy.buffers;
    *rights = list;
    *count = static_cast<ULONG>(policy.rights.size());
    return kSuccess;
}

NTSTATUS NTAPI add(LSA_HANDLE handle, PSID sid, PLSA_UNICODE_STRING rights, ULONG count)
{
    policy.calls.push_back("add");
    EXPECT_EQ(kPolicyHandle, handle);
    EXPECT_EQ(0, memcmp(sid, kSid, sizeof kSid));
    EXPECT_EQ(1u, count);
    policy.added.assign(rights[0].Buffer, rights[0].Length / sizeof(wchar_t));
    return policy.addStatus;
}

NTSTATUS NTAPI freeMemory(PVOID buffer)
{
    --policy.buffers;
    delete[] static_cast<LSA_UNICODE_STRING*>(buffer);
    return kSuccess;
}

NTSTATUS NTAPI closePolicy(LSA_HANDLE handle)
{
    EXPECT_EQ(kPolicyHandle, handle);
    --policy.open;
    return kSuccess;
}

const LogonRightCalls kStandIns = {lookUp, openPolicy, enumerate, add, freeMemory, closePolicy};

Policy answers(DWORD lookupError, NTSTATUS open = kSuccess, NTSTATUS enumerate = kSuccess,
               std::vector<std::wstring> rights = {}, NTSTATUS add = kSuccess)
{
    Policy answers;
    answers.lookupError = lookupError;
    answers.openStatus = open;
    answers.enumerateStatus = enumerate;
    answers.rights = std::move(rights);
    answers.addStatus = add;
    return answers;
}

std::wstring computerName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    EXPECT_TRUE(GetComputerNameW(name, &length));
    return std::wstring(name, length);
}

TEST(LogonRight, TheGrantFollowsTheAccountAndWhatThePolicyAnswers)
{
    using O = LogonRightOutcome;
    const std::vector<std::string> all = {"lookup", "open", "enumerate", "add"};
    const std::vector<std::string> read = {"lookup", "open", "enumerate"};
    struct Case {
        const char* what;
        const char* account;
        Policy answers;
        O outcome;
        std::vector<std::string> calls;
        std::string line;  // "" when nothing is said
    };
    const std::string granted = " was granted the right to log on as a service.\n";
    const Case cases[] = {
        {"a user without rights", "CORP\\alice", answers(0, kSuccess, kNoRights), O::granted, all,
         "The account CORP\\alice" + granted},
        {"a user with other rights", "alice@corp.example", answers(0, kSuccess, kSuccess, {L"SeBatchLogonRight"}),
         O::granted, all, "The account alice@corp.example" + granted},
        {"a group managed account", "CORP\\web01$", answers(0, kSuccess, kNoRights), O::granted, all,
         "The account CORP\\web01$" + granted},
        {"a local user", ".\\svcuser", answers(0, kSuccess, kNoRights), O::granted, all,
         "The account .\\svcuser" + granted},
        {"already held, in any case", "CORP\\alice",
         answers(0, kSuccess, kSuccess, {L"SeBatchLogonRight", L"seservicelogonright"}), O::alreadyHeld, read, ""},
        {"a longer right is not it", "CORP\\alice", answers(0, kSuccess, kSuccess, {L"SeServiceLogonRightX"}),
         O::granted, all, "The account CORP\\alice" + granted},
        {"LocalSystem", "LocalSystem", answers(0), O::notNeeded, {}, ""},
        {"a built-in account", "NetworkService", answers(0), O::notNeeded, {}, ""},
        {"a virtual account", "virtual", answers(0), O::notNeeded, {}, ""},
        {"an unknown account", "CORP\\nobody", answers(ERROR_NONE_MAPPED), O::failed, {"lookup"},
         "Could not grant the account CORP\\nobody the right to log on as a service (looking up the account, error "
         "1332); nothing was installed.\n"},
        {"no right to open the policy", "CORP\\alice", answers(0, kAccessDenied), O::failed, {"lookup", "open"},
         "Could not grant the account CORP\\alice the right to log on as a service (opening the security policy, "
         "error 5); nothing was installed.\n"},
        {"the rights cannot be read", "CORP\\alice", answers(0, kSuccess, kNoMemory), O::failed, read,
         "Could not grant the account CORP\\alice the right to log on as a service (reading the account's rights, "
         "error 8); nothing was installed.\n"},
        {"the grant is refused", "CORP\\alice", answers(0, kSuccess, kNoRights, {}, kAccessDenied), O::failed, all,
         "Could not grant the account CORP\\alice the right to log on as a service (granting the right, error 5); "
         "nothing was installed.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        policy = c.answers;
        servicemodel::ServiceAccount account = servicemodel::serviceAccountOf(c.account, "Demo");
        LogonRightResult result = ensureLogonRight(account, kStandIns);
        EXPECT_EQ(static_cast<int>(c.outcome), static_cast<int>(result.outcome));
        EXPECT_EQ(c.calls, policy.calls);
        EXPECT_EQ(c.line, logonRightLine(result));
        EXPECT_EQ(0, policy.open) << "the policy stays open";
        EXPECT_EQ(0, policy.buffers) << "the rights were not freed";
        if (c.outcome == O::granted) {
            EXPECT_EQ(L"SeServiceLogonRight", policy.added);
        }
        if (!policy.calls.empty()) {
            // A local account goes by this computer's name, which the policy knows it by.
            const std::wstring name = account.name[0] == '.' ? computerName() + L"\\svcuser"
                                                             : std::wstring(account.name.begin(), account.name.end());
            EXPECT_EQ(name, policy.lookedUp);
        }
    }
}

TEST(LogonRight, ThePrefixUserThroughTheSystemsFunctions)
{
    wchar_t user[256];
    DWORD length = 256;
    ASSERT_TRUE(GetUserNameW(user, &length));
    std::string name = ".\\";
    for (const wchar_t* c = user; *c != L'\0'; ++c) name += static_cast<char>(*c);  // an ASCII user name
    servicemodel::ServiceAccount account = servicemodel::serviceAccountOf(name, "Demo");
    ASSERT_EQ(servicemodel::AccountKind::user, account.kind) << account.reason;

    LogonRightResult result = ensureLogonRight(account);
    EXPECT_TRUE(result.outcome == LogonRightOutcome::granted || result.outcome == LogonRightOutcome::alreadyHeld)
        << logonRightLine(result);

    // An account the system does not know is refused at its lookup, before the policy.
    LogonRightResult unknown = ensureLogonRight(servicemodel::serviceAccountOf("QLTEST\\nobody", "Demo"));
    EXPECT_EQ(LogonRightOutcome::failed, unknown.outcome);
    EXPECT_EQ(std::string("looking up the account"), unknown.step);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NONE_MAPPED), unknown.error);
}

} // namespace
