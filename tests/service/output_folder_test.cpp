// The output folders under the launcher's folder opened to the service's account: the
// folder made with those above it, the account looked up by the name the service manager
// takes, and the access granted to it, inherited by what the service makes there later.
// Through a table of recording stand-ins for the security functions, as Wine neither
// resolves "NT SERVICE\x" nor keeps a folder's access list.
#include "service/output_folder.h"

#include "support/scratch_directory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// What the stand-ins answer, and what they were asked.
struct Security {
    DWORD lookupError = 0;
    DWORD setError = 0;
    std::vector<std::string> calls;
    std::wstring lookedUp;
    EXPLICIT_ACCESS_W access{};
    std::vector<BYTE> trustee;
    std::wstring setOn;
};
Security security;
BYTE kSid[] = {1, 1, 0, 0, 0, 0, 0, 5, 19, 0, 0, 0};  // S-1-5-19, any SID will do

BOOL WINAPI lookUp(LPCWSTR, LPCWSTR name, PSID sid, LPDWORD sidSize, LPWSTR, LPDWORD domainSize, PSID_NAME_USE)
{
    security.calls.push_back("lookup");
    security.lookedUp = name;
    if (security.lookupError != 0) {
        SetLastError(security.lookupError);
        return FALSE;
    }
    if (sid == nullptr || *sidSize < sizeof kSid) {
        *sidSize = sizeof kSid;
        *domainSize = 8;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(sid, kSid, sizeof kSid);
    return TRUE;
}

DWORD WINAPI getInfo(LPCWSTR, SE_OBJECT_TYPE type, SECURITY_INFORMATION what, PSID*, PSID*, PACL* dacl, PACL*,
                     PSECURITY_DESCRIPTOR* descriptor)
{
    security.calls.push_back("get");
    EXPECT_EQ(SE_FILE_OBJECT, type);
    EXPECT_EQ(static_cast<SECURITY_INFORMATION>(DACL_SECURITY_INFORMATION), what);
    *dacl = nullptr;
    *descriptor = LocalAlloc(LPTR, 16);
    return NO_ERROR;
}

DWORD WINAPI setEntries(ULONG count, PEXPLICIT_ACCESS_W entries, PACL, PACL* changed)
{
    security.calls.push_back("entries");
    EXPECT_EQ(1u, count);
    security.access = entries[0];
    const BYTE* sid = reinterpret_cast<const BYTE*>(entries[0].Trustee.ptstrName);
    security.trustee.assign(sid, sid + sizeof kSid);
    *changed = static_cast<PACL>(LocalAlloc(LPTR, 16));
    return NO_ERROR;
}

DWORD WINAPI setInfo(LPWSTR name, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID, PACL dacl, PACL)
{
    security.calls.push_back("set");
    security.setOn = name;
    EXPECT_NE(nullptr, dacl);
    return security.setError;
}

const OutputFolderCalls kStandIns = {lookUp, getInfo, setEntries, setInfo};

TEST(OutputFolder, TheFolderIsMadeAndOpenedToTheAccount)
{
    struct Case {
        const char* account;  // the configured or entry's text
        const wchar_t* lookedUp;
        DWORD lookupError;
        DWORD setError;
        DWORD result;
        const char* step;
        std::vector<std::string> calls;
    };
    const std::vector<std::string> all = {"lookup", "lookup", "get", "entries", "set"};
    const Case cases[] = {
        // LocalSystem writes anywhere: the folder is made, nothing granted.
        {"", L"", 0, 0, NO_ERROR, "creating the folder", {}},
        {"virtual", L"NT SERVICE\\Demo", 0, 0, NO_ERROR, "granting the access", all},
        {"LocalService", L"NT AUTHORITY\\LocalService", 0, 0, NO_ERROR, "granting the access", all},
        {"EXAMPLE\\svc$", L"EXAMPLE\\svc$", 0, 0, NO_ERROR, "granting the access", all},
        // A local account by its name alone, which the lookup finds on this machine.
        {".\\alice", L"alice", 0, 0, NO_ERROR, "granting the access", all},
        {"virtual", L"NT SERVICE\\Demo", ERROR_NONE_MAPPED, 0, ERROR_NONE_MAPPED, "looking up the account",
         {"lookup"}},
        {"virtual", L"NT SERVICE\\Demo", 0, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, "granting the access", all},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.account) + " " + std::to_string(c.lookupError) + " " + std::to_string(c.setError));
        ScratchDirectory dir;
        const std::wstring folder = dir.file(L"app\\logs\\daily");
        security = Security{};
        security.lookupError = c.lookupError;
        security.setError = c.setError;
        const char* step = nullptr;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(c.result, grantOutputFolderAccess(folder, servicemodel::serviceAccountOf(c.account, "Demo"), &step,
                                                    kStandIns));
        EXPECT_STREQ(c.step, step);
        EXPECT_EQ(c.calls, security.calls);
        EXPECT_EQ(c.lookedUp, security.lookedUp);
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        if (c.calls == all) {
            // Read, write and delete, for the folder and everything made below it.
            EXPECT_EQ(static_cast<DWORD>(FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE),
                      security.access.grfAccessPermissions);
            EXPECT_EQ(GRANT_ACCESS, security.access.grfAccessMode);
            EXPECT_EQ(static_cast<DWORD>(SUB_CONTAINERS_AND_OBJECTS_INHERIT), security.access.grfInheritance);
            EXPECT_EQ(TRUSTEE_IS_SID, security.access.Trustee.TrusteeForm);
            EXPECT_EQ(std::vector<BYTE>(kSid, kSid + sizeof kSid), security.trustee);
            EXPECT_EQ(folder, security.setOn);
        }
    }

    // A file where the folder should be is no folder to open.
    ScratchDirectory dir;
    const std::wstring file = dir.file(L"logs");
    HANDLE made = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, made);
    CloseHandle(made);
    security = Security{};
    const char* step = nullptr;
    EXPECT_NE(static_cast<DWORD>(NO_ERROR),
              grantOutputFolderAccess(file, servicemodel::serviceAccountOf("virtual", "Demo"), &step, kStandIns));
    EXPECT_STREQ("creating the folder", step);
    EXPECT_TRUE(security.calls.empty());
}

} // namespace
