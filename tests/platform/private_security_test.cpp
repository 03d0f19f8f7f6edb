// Private security descriptors and what is created with them: the descriptors' exact
// form, the folders and files made private, and a temporary directory of the launcher
// that is never one made before.
#include "config/included_files.h"
#include "platform/private_security.h"

#include "support/access_list.h"
#include "support/scratch_directory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(PrivateSecurity, DescriptorsAreProtectedAndNameSystemAdministratorsAndTheAccount)
{
    const std::wstring account = processAccountSid();
    ASSERT_EQ(0u, account.rfind(L"S-1-5-", 0)) << "no account SID";
    struct Case {
        PrivateKind kind;
        std::wstring entry;
    };
    for (const Case& c : {Case{PrivateKind::directory, L"(A;OICI;FA;;;"}, Case{PrivateKind::file, L"(A;;FA;;;"},
                          Case{PrivateKind::object, L"(A;;GA;;;"}}) {
        const std::wstring expected =
            L"O:" + account + L"D:P" + c.entry + L"SY)" + c.entry + L"BA)" + c.entry + account + L")";
        EXPECT_EQ(expected, privateSecurityText(c.kind));
        // What the descriptor built from it holds, read back by the system.
        PrivateSecurity security(c.kind);
        ASSERT_NE(nullptr, security.attributes());
        EXPECT_FALSE(security.attributes()->bInheritHandle);
        wchar_t* text = nullptr;
        ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(
            security.attributes()->lpSecurityDescriptor, SDDL_REVISION_1,
            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr));
        EXPECT_EQ(expected, std::wstring(text));
        LocalFree(text);
    }
}

TEST(PrivateSecurity, OnlyTheSystemAdministratorsAndThisAccountAreTrustedOwners)
{
    struct Case {
        std::wstring sid;
        bool trusted;
    };
    // LOCAL SERVICE and NETWORK SERVICE run services of every kind: trusted only by a
    // process of that account (this one is neither).
    for (const Case& c : {Case{L"S-1-5-18", true}, Case{L"S-1-5-19", false}, Case{L"S-1-5-20", false},
                          Case{L"S-1-5-32-544", true}, Case{processAccountSid(), true}, Case{L"S-1-1-0", false},
                          Case{L"S-1-5-32-545", false}, Case{L"S-1-5-11", false},
                          Case{L"S-1-5-21-1-2-3-1001", false}, Case{L"", false}}) {
        EXPECT_EQ(c.trusted, isTrustedOwner(c.sid)) << std::string(c.sid.begin(), c.sid.end());
    }
}

// What the sweep of a shared temporary directory accepts as this account's own.
TEST(PrivateSecurity, OnlyAProtectedListOfSystemAdministratorsAndTheOwnerIsPrivate)
{
    const std::wstring me = L"S-1-5-21-1-2-3-1000";
    struct Case {
        const char* name;
        FileSecurity security;
        bool protectionKept;
        Privacy expected;
    };
    const Case cases[] = {
        {"as the launcher makes it", {me, true, true, {L"S-1-5-18", L"S-1-5-32-544", me}, false}, true,
         Privacy::privateToAccount},
        {"a service of SYSTEM's", {L"S-1-5-18", true, true, {L"S-1-5-18", L"S-1-5-32-544"}, false}, true,
         Privacy::otherOwner},
        {"another user's", {L"S-1-5-21-1-2-3-1001", true, true, {L"S-1-5-18", me}, false}, true, Privacy::otherOwner},
        {"Everyone may read", {me, true, true, {me, L"S-1-1-0"}, false}, true, Privacy::openToOthers},
        {"the Users group", {me, true, true, {me, L"S-1-5-32-545"}, false}, true, Privacy::openToOthers},
        {"creator owner for what comes", {me, true, true, {me, L"S-1-3-0"}, false}, true, Privacy::openToOthers},
        {"a null list", {me, false, true, {}, false}, true, Privacy::openToOthers},
        {"an object entry", {me, true, true, {me}, true}, true, Privacy::openToOthers},
        {"inherited", {me, true, false, {L"S-1-5-18", me}, false}, true, Privacy::notProtected},
        {"inherited where the flag is not kept", {me, true, false, {L"S-1-5-18", me}, false}, false,
         Privacy::privateToAccount},
        {"an empty list", {me, true, true, {}, false}, true, Privacy::privateToAccount},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, judgePrivacy(c.security, me, c.protectionKept)) << c.name;
    }
    EXPECT_EQ(Privacy::otherOwner, judgePrivacy(cases[0].security, L"", true)) << "an unknown account owns nothing";
}

TEST(PrivateSecurity, FoldersAreNewAndPrivateAndSoAreTheFilesInThem)
{
    ScratchDirectory scratch;
    const std::string folder = scratch.fileA("private");
    ASSERT_TRUE(createPrivateDirectory(folder.c_str()));
    UniqueFile file = createPrivateFile((folder + "\\a.jar").c_str(), GENERIC_WRITE, 0, false);
    ASSERT_TRUE(file);
    file.reset();
    for (const std::string& path : {folder, folder + "\\a.jar"}) {
        const std::string list = accessListOf(path);
        EXPECT_NE("<unreadable>", list) << path;
        EXPECT_TRUE(entriesForEverybody(list).empty()) << path << ": " << list;
    }
    // Made once only: neither the folder nor the file is taken a second time.
    EXPECT_FALSE(createPrivateDirectory(folder.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_FALSE(createPrivateFile((folder + "\\a.jar").c_str(), GENERIC_WRITE, 0, false));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());

    // A private temporary file, under a new name in the temporary directory.
    char name[MAX_PATH * 4];
    UniqueFile temp;
    ASSERT_TRUE(makePrivateTempFile(name, sizeof name, GENERIC_READ | GENERIC_WRITE, 0, temp));
    temp.reset();
    const std::string list = accessListOf(name);
    DeleteFileA(name);
    EXPECT_NE(nullptr, std::strstr(name, "qll")) << name;
    EXPECT_TRUE(entriesForEverybody(list).empty()) << name << ": " << list;
}

// The names the launcher's temporary directory is offered, in turn.
std::vector<std::string> offeredNames;
size_t nextOffered = 0;

TempDirName offeredName(char* directory, size_t capacity, char* marker, size_t)
{
    marker[0] = '\0';
    const std::string name = nextOffered < offeredNames.size() ? offeredNames[nextOffered++] : "";
    return name.size() < capacity && std::strcpy(directory, name.c_str()) != nullptr ? TempDirName::formed
                                                                                     : TempDirName::tooLong;
}

TEST(LauncherTempDir, AFolderMadeBeforeUnderItsNameIsNeverUsed)
{
    ScratchDirectory scratch;
    // Somebody else's folder under the name the launcher is offered first, with an archive
    // in its "user" sub-folder for the class path.
    const std::string planted = scratch.fileA("qll1A2B.tmp_dir1800000000");
    ASSERT_TRUE(CreateDirectoryA(planted.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((planted + "\\user").c_str(), nullptr));
    ASSERT_TRUE(scratch.write(L"qll1A2B.tmp_dir1800000000\\user\\planted.jar", "jar", 3));
    const std::string fresh = scratch.fileA("qll1A2C.tmp_dir1800000000");
    offeredNames = {planted, fresh};
    nextOffered = 0;

    createLauncherTempDir(offeredName);
    EXPECT_EQ(fresh, std::string(launcherTempDir));
    EXPECT_EQ(2u, nextOffered);
    EXPECT_TRUE(entriesForEverybody(accessListOf(fresh)).empty()) << accessListOf(fresh);
    // The other folder is left as it was.
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((planted + "\\user\\planted.jar").c_str()));
    launcherTempDir[0] = '\0';
}

} // namespace
