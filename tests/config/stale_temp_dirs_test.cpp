// Which temporary directories a start removes: only the launcher's own naming, only when the
// owner's marker says it has ended, only this account's private folders, never through a
// link or a name that leads elsewhere, and what is still open stays.
#include "config/stale_temp_dirs.h"
#include "platform/private_security.h"

#include "support/host_links.h"
#include "support/scratch_directory.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(StaleTempDirs, OnlyTheLaunchersHeldNamingHasAMarker)
{
    struct Case {
        const wchar_t* name;
        const wchar_t* marker;  // nullptr: not a name of ours
    };
    const Case cases[] = {
        {L"qll1A2B.tmp_dir1800000000_m", L"qll1A2B.tmp"},
        {L"qll0.tmp_dir1_m", L"qll0.tmp"},
        {L"QLLff.TMP_DIR42_M", L"QLLff.TMP"},
        {L"qll1.tmp_dir-2100000000_m", L"qll1.tmp"},  // the seconds from 2038 on
        {L"qll1.tmp_dir--1_m", nullptr},
        {L"qll1A2B.tmp_dir1800000000", nullptr},      // made without a held marker
        {L"qll1A2B.tmp_dir1800000000_mx", nullptr},
        {L"qll1A2B.tmp_dir_m", nullptr},
        {L"qll.tmp_dir1_m", nullptr},
        {L"qll12345.tmp_dir1_m", nullptr},            // more hex digits than a temporary name has
        {L"qll1G.tmp_dir1_m", nullptr},
        {L"xqll1.tmp_dir1_m", nullptr},
        {L"qlx1.tmp_dir1_m", nullptr},
        {L"qll1.tmp_dir12345678901_m", nullptr},
        {L"qll1.tmp_dir1_m\\..", nullptr},
        {L"qll\uFF11.tmp_dir1_m", nullptr},           // digits of other scripts are no digits here
        {L"qll1.tmp_dir\u0661_m", nullptr},
        {L"qll\uFF41.tmp_dir1_m", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        wchar_t marker[64] = L"unchanged";
        EXPECT_EQ(c.marker != nullptr, markerNameOf(c.name, marker, 64));
        if (c.marker != nullptr) {
            EXPECT_EQ(std::wstring(c.marker), std::wstring(marker));
        }
    }
    wchar_t small[8];
    EXPECT_FALSE(markerNameOf(L"qll1A2B.tmp_dir1_m", small, 8)) << "qll1A2B.tmp needs 12 characters";
}

std::string narrowPath(const std::wstring& path)
{
    return std::string(path.begin(), path.end());  // the scratch paths are ASCII
}

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isReadOnly(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// Folders as somebody else would make them: the temporary directory's entries.
bool makeDirectory(const std::wstring& path)
{
    return CreateDirectoryW(path.c_str(), nullptr) != 0;
}

bool makeFile(const std::wstring& path, const char* text = "", DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(std::strlen(text));
    const bool ok = size == 0 || WriteFile(file, text, size, &written, nullptr);
    CloseHandle(file);
    return ok;
}

// A marker as a run leaves it when it ended without the system deleting it: private,
// nobody holding it.
bool makeOwnMarker(const std::wstring& path)
{
    return static_cast<bool>(createPrivateFile(narrowPath(path).c_str(), GENERIC_WRITE, 0, false));
}

// A directory as a run leaves it: private, with a sub-directory, an empty file, archives.
bool makeRunDirectory(const std::wstring& path)
{
    return createPrivateDirectory(narrowPath(path).c_str()) && makeDirectory(path + L"\\user") &&
           makeFile(path + L"\\user\\extra.zip", "z") && makeFile(path + L"\\empty.txt") &&
           makeFile(path + L"\\launcher-runtime.jar", "jar");
}

// Ended runs go; what is not certainly ended, not named as the launcher names, not this
// account's private folder, or still open, stays; nothing outside the folder is reached by
// a name in it (a link, a name with a character that narrow text turns into a backslash,
// a second name of a read-only file).
TEST(StaleTempDirs, SweepRemovesOnlyThisAccountsEndedRuns)
{
    ScratchDirectory scratch;
    const std::wstring temp = scratch.path();
    auto at = [&temp](const std::wstring& name) { return temp + L"\\" + name; };
    // qllA1: ended, its marker gone with its process.
    ASSERT_TRUE(makeRunDirectory(at(L"qllA1.tmp_dir1800000000_m")));
    // qllA2: ended without its marker being deleted (a marker nobody holds).
    ASSERT_TRUE(makeRunDirectory(at(L"qllA2.tmp_dir1800000000_m")));
    ASSERT_TRUE(makeOwnMarker(at(L"qllA2.tmp")));
    // qllA3: running; its owner holds the marker.
    ASSERT_TRUE(makeRunDirectory(at(L"qllA3.tmp_dir1800000000_m")));
    ASSERT_TRUE(makeFile(at(L"qllA3.tmp")));
    HANDLE held = holdTempDirMarker(narrowPath(at(L"qllA3.tmp")).c_str());
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    // Not ours or not certainly ended.
    ASSERT_TRUE(makeRunDirectory(at(L"qllA4.tmp_dir1800000000")));
    ASSERT_TRUE(makeRunDirectory(at(L"qllA5.tmp_dir1800000000_m_other")));
    ASSERT_TRUE(makeRunDirectory(at(L"qlxA6.tmp_dir1800000000_m")));
    ASSERT_TRUE(makeFile(at(L"qllA7.tmp_dir1800000000_m"), "a file"));
    // qllA8: ended, but holds a link to a directory outside it.
    ASSERT_TRUE(makeDirectory(at(L"precious")));
    ASSERT_TRUE(makeFile(at(L"precious\\keep.txt"), "keep"));
    ASSERT_TRUE(makeRunDirectory(at(L"qllA8.tmp_dir1800000000_m")));
    ASSERT_TRUE(makeHostLink(at(L"qllA8.tmp_dir1800000000_m\\user\\link"), at(L"precious")));
    // qllA9: ended, but another process still has one of its files open.
    ASSERT_TRUE(makeRunDirectory(at(L"qllA9.tmp_dir1800000000_m")));
    HANDLE open = CreateFileW(at(L"qllA9.tmp_dir1800000000_m\\launcher-runtime.jar").c_str(), GENERIC_READ,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);
    // qllB1: a folder of the launcher's naming that somebody else made, open to everybody,
    // with an ended run's marker beside it.
    ASSERT_TRUE(makeDirectory(at(L"qllB1.tmp_dir1800000000_m")));
    ASSERT_TRUE(makeFile(at(L"qllB1.tmp_dir1800000000_m\\planted.txt"), "planted"));
    // qllB2: a marker name that somebody else took after the run ended.
    ASSERT_TRUE(makeRunDirectory(at(L"qllB2.tmp_dir1800000000_m")));
    ASSERT_TRUE(makeFile(at(L"qllB2.tmp"), "theirs"));
    // qllB3: ended, holding names with U+FF3C, which narrow text turns into a backslash:
    // "..\victim.txt" (read-only) and "..\victims\keep.txt" lead outside as narrow names.
    ASSERT_TRUE(makeFile(at(L"victim.txt"), "victim", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(makeDirectory(at(L"victims")));
    ASSERT_TRUE(makeFile(at(L"victims\\keep.txt"), "keep"));
    ASSERT_TRUE(makeRunDirectory(at(L"qllB3.tmp_dir1800000000_m")));
    ASSERT_TRUE(makeFile(at(L"qllB3.tmp_dir1800000000_m\\..\uFF3Cvictim.txt"), "", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(makeDirectory(at(L"qllB3.tmp_dir1800000000_m\\..\uFF3Cvictims")));
    ASSERT_TRUE(makeFile(at(L"qllB3.tmp_dir1800000000_m\\..\uFF3Cvictims\\keep.txt")));
    // qllB4: ended, holding a second name of a read-only file outside it.
    ASSERT_TRUE(makeFile(at(L"linked.txt"), "linked", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(makeRunDirectory(at(L"qllB4.tmp_dir1800000000_m")));
    ASSERT_TRUE(CreateHardLinkW(at(L"qllB4.tmp_dir1800000000_m\\second.txt").c_str(), at(L"linked.txt").c_str(),
                                nullptr));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(4, removeStaleTempDirs(temp.c_str(), thisProcessOwnership()));

    struct Expectation {
        const wchar_t* name;
        bool stays;
    };
    const Expectation expectations[] = {
        {L"qllA1.tmp_dir1800000000_m", false},
        {L"qllA2.tmp_dir1800000000_m", false},
        {L"qllA2.tmp", false},
        {L"qllA3.tmp_dir1800000000_m\\user\\extra.zip", true},
        {L"qllA3.tmp", true},
        {L"qllA4.tmp_dir1800000000\\empty.txt", true},
        {L"qllA5.tmp_dir1800000000_m_other\\empty.txt", true},
        {L"qlxA6.tmp_dir1800000000_m\\empty.txt", true},
        {L"qllA7.tmp_dir1800000000_m", true},
        {L"qllA8.tmp_dir1800000000_m\\user", true},
        {L"qllA8.tmp_dir1800000000_m\\empty.txt", false},
        {L"precious\\keep.txt", true},
        {L"qllA9.tmp_dir1800000000_m\\launcher-runtime.jar", true},
        {L"qllB1.tmp_dir1800000000_m\\planted.txt", true},
        {L"qllB2.tmp_dir1800000000_m", false},
        {L"qllB2.tmp", true},
        {L"qllB3.tmp_dir1800000000_m", false},
        {L"victim.txt", true},
        {L"victims\\keep.txt", true},
        {L"qllB4.tmp_dir1800000000_m\\second.txt", true},
        {L"linked.txt", true},
    };
    for (const Expectation& e : expectations) {
        EXPECT_EQ(e.stays, exists(at(e.name))) << testing::PrintToString(std::wstring(e.name));
    }
    EXPECT_TRUE(isReadOnly(at(L"victim.txt")));
    EXPECT_TRUE(isReadOnly(at(L"linked.txt"))) << "the flag of a file with another name was cleared";

    // Once the owner has ended and the file is closed, the next start removes both.
    CloseHandle(held);
    CloseHandle(open);
    EXPECT_FALSE(exists(at(L"qllA3.tmp"))) << "the marker goes with its holder";
    EXPECT_EQ(2, removeStaleTempDirs(temp.c_str(), thisProcessOwnership()));
    EXPECT_FALSE(exists(at(L"qllA3.tmp_dir1800000000_m")));
    EXPECT_FALSE(exists(at(L"qllA9.tmp_dir1800000000_m")));
    EXPECT_TRUE(exists(at(L"qllA8.tmp_dir1800000000_m\\user")));
    EXPECT_TRUE(exists(at(L"precious\\keep.txt")));
    EXPECT_TRUE(exists(at(L"qllB1.tmp_dir1800000000_m\\planted.txt")));
}

// Owner of the folder and of the marker is somebody else (Wine gives every object the
// process's account, so the other account comes in through the rule): nothing is touched.
TEST(StaleTempDirs, AnotherAccountsRunsAreLeftWhole)
{
    ScratchDirectory scratch;
    const std::wstring run = scratch.file(L"qllC1.tmp_dir1800000000_m");
    ASSERT_TRUE(makeRunDirectory(run));
    ASSERT_TRUE(makeOwnMarker(scratch.file(L"qllC1.tmp")));
    const OwnershipRule other{L"S-1-5-21-1-2-3-1001", false};
    EXPECT_EQ(0, removeStaleTempDirs(scratch.path().c_str(), other));
    EXPECT_TRUE(exists(run + L"\\user\\extra.zip"));
    EXPECT_TRUE(exists(scratch.file(L"qllC1.tmp"))) << "another account's marker is not deleted";
    EXPECT_EQ(1, removeStaleTempDirs(scratch.path().c_str(), thisProcessOwnership()));
}

// A folder swapped for a link between the listing of its parent and its opening is not
// entered: the walk opens by the listed name relative to its parent and finds another
// object there.
std::wstring swapRun;
std::wstring swapDirectory;
std::wstring swapTarget;
bool swapped = false;

void swapForLink(const std::wstring& listed)
{
    if (swapped || listed != swapRun) return;
    swapped = DeleteFileW((swapDirectory + L"\\inner.txt").c_str()) && RemoveDirectoryW(swapDirectory.c_str()) &&
              makeHostLink(swapDirectory, swapTarget);
}

TEST(StaleTempDirs, AFolderSwappedForALinkAfterTheListingIsNotEntered)
{
    ScratchDirectory scratch;
    const std::wstring run = scratch.file(L"qllD1.tmp_dir1800000000_m");
    ASSERT_TRUE(makeRunDirectory(run));
    ASSERT_TRUE(makeFile(run + L"\\user\\inner.txt"));
    ASSERT_TRUE(DeleteFileW((run + L"\\user\\extra.zip").c_str()));
    ASSERT_TRUE(makeDirectory(scratch.file(L"precious")));
    ASSERT_TRUE(makeFile(scratch.file(L"precious\\keep.txt"), "keep"));
    swapRun = run;
    swapDirectory = run + L"\\user";
    swapTarget = scratch.file(L"precious");
    swapped = false;
    setTreeListedHookForTesting(swapForLink);
    const int removed = removeStaleTempDirs(scratch.path().c_str(), thisProcessOwnership());
    setTreeListedHookForTesting(nullptr);
    ASSERT_TRUE(swapped) << "the folder was not swapped for a link";
    EXPECT_EQ(0, removed);
    EXPECT_TRUE(exists(scratch.file(L"precious\\keep.txt")));
    EXPECT_TRUE(exists(run + L"\\user"));
    EXPECT_FALSE(exists(run + L"\\empty.txt")) << "the rest of the run goes";
}

TEST(StaleTempDirs, OwnerStateFollowsTheMarkersHolder)
{
    ScratchDirectory scratch;
    const std::wstring marker = scratch.file(L"qllE1.tmp");
    const OwnershipRule own = thisProcessOwnership();
    SetLastError(0xdeadbeef);
    EXPECT_EQ(TempDirOwner::gone, tempDirOwner(marker.c_str(), own)) << "no marker";
    ASSERT_TRUE(makeFile(marker));
    HANDLE held = holdTempDirMarker(narrowPath(marker).c_str());
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(INVALID_HANDLE_VALUE, holdTempDirMarker(narrowPath(marker).c_str())) << "held twice";
    EXPECT_EQ(TempDirOwner::running, tempDirOwner(marker.c_str(), own));
    EXPECT_TRUE(exists(marker)) << "a probe of a held marker leaves it";
    CloseHandle(held);
    EXPECT_FALSE(exists(marker));
    ASSERT_TRUE(makeDirectory(marker));
    EXPECT_EQ(TempDirOwner::gone, tempDirOwner(marker.c_str(), own)) << "a directory is no marker of this account";
    EXPECT_TRUE(exists(marker));
}

} // namespace
