// Which temporary directories a start removes: only the launcher's own naming, only when the
// owner's marker says it has ended, never through a link, and what is still open stays.
#include "config/stale_temp_dirs.h"

#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace {

TEST(StaleTempDirs, OnlyTheLaunchersHeldNamingHasAMarker)
{
    struct Case {
        const char* name;
        const char* marker;  // nullptr: not a name of ours
    };
    const Case cases[] = {
        {"qll1A2B.tmp_dir1800000000_m", "qll1A2B.tmp"},
        {"qll0.tmp_dir1_m", "qll0.tmp"},
        {"QLLff.TMP_DIR42_M", "QLLff.TMP"},
        {"qll1.tmp_dir-2100000000_m", "qll1.tmp"},  // the seconds from 2038 on
        {"qll1.tmp_dir--1_m", nullptr},
        {"qll1A2B.tmp_dir1800000000", nullptr},      // made without a held marker
        {"qll1A2B.tmp_dir1800000000_mx", nullptr},
        {"qll1A2B.tmp_dir_m", nullptr},
        {"qll.tmp_dir1_m", nullptr},
        {"qll12345.tmp_dir1_m", nullptr},            // more hex digits than a temporary name has
        {"qll1G.tmp_dir1_m", nullptr},
        {"xqll1.tmp_dir1_m", nullptr},
        {"qlx1.tmp_dir1_m", nullptr},
        {"qll1.tmp_dir12345678901_m", nullptr},
        {"qll1.tmp_dir1_m\\..", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char marker[64] = "unchanged";
        EXPECT_EQ(c.marker != nullptr, markerNameOf(c.name, marker, sizeof marker));
        if (c.marker != nullptr) {
            EXPECT_STREQ(c.marker, marker);
        }
    }
    char small[8];
    EXPECT_FALSE(markerNameOf("qll1A2B.tmp_dir1_m", small, sizeof small)) << "qll1A2B.tmp needs 12 bytes";
}

bool exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool makeDirectory(const std::string& path)
{
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool makeFile(const std::string& path, const char* text = "")
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(std::strlen(text));
    const bool ok = size == 0 || WriteFile(file, text, size, &written, nullptr);
    CloseHandle(file);
    return ok;
}

// A directory as a run leaves it: a sub-directory, an empty file, an archive.
bool makeRunDirectory(const std::string& path)
{
    return makeDirectory(path) && makeDirectory(path + "\\user") && makeFile(path + "\\user\\extra.zip", "z") &&
           makeFile(path + "\\empty.txt") && makeFile(path + "\\launcher-runtime.jar", "jar");
}

// Links are made and removed the only way Wine can: by the host's ln and rm, which Wine
// starts as host programs. Wine shows such a link as a directory with
// FILE_ATTRIBUTE_REPARSE_POINT. The process handle of a host program ends before the
// program does, so the caller waits for what it does, with a deadline.
// `arguments`: options and Windows paths, separated by '|'.
bool startHostCommand(const char* program, const std::string& arguments)
{
    // Wine's own export, where a Windows path is a host path.
    using UnixName = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr) return false;
    std::string command = std::string("Z:\\bin\\") + program;
    size_t from = 0;
    while (from < arguments.size()) {
        size_t to = arguments.find('|', from);
        if (to == std::string::npos) to = arguments.size();
        const std::string path = arguments.substr(from, to - from);
        from = to + 1;
        if (path[0] == '-') {
            command += " " + path;
            continue;
        }
        char* name = unixName(std::wstring(path.begin(), path.end()).c_str());
        if (name == nullptr) return false;
        command += std::string(" ") + name;
        HeapFree(GetProcessHeap(), 0, name);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Waits until the path exists (or no longer exists); false at the deadline.
bool awaitPath(const std::string& path, bool present)
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 20000; Sleep(20)) {
        if ((GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present) return true;
    }
    return false;
}

bool makeLink(const std::string& link, const std::string& target)
{
    return startHostCommand("ln", "-s|" + target + "|" + link) && awaitPath(link, true) &&
           (GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool removeLink(const std::string& link)
{
    return startHostCommand("rm", link) && awaitPath(link, false);
}

TEST(StaleTempDirs, SweepRemovesEndedRunsOnly)
{
    ScratchDirectory scratch;
    const std::string temp = scratch.pathA();
    // qllA1: ended, its marker gone with its process.
    ASSERT_TRUE(makeRunDirectory(temp + "\\qllA1.tmp_dir1800000000_m"));
    // qllA2: ended without its marker being deleted (a marker nobody holds).
    ASSERT_TRUE(makeRunDirectory(temp + "\\qllA2.tmp_dir1800000000_m"));
    ASSERT_TRUE(makeFile(temp + "\\qllA2.tmp"));
    // qllA3: running; its owner holds the marker.
    ASSERT_TRUE(makeRunDirectory(temp + "\\qllA3.tmp_dir1800000000_m"));
    ASSERT_TRUE(makeFile(temp + "\\qllA3.tmp"));
    HANDLE held = holdTempDirMarker((temp + "\\qllA3.tmp").c_str());
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    // Not ours or not certainly ended.
    ASSERT_TRUE(makeRunDirectory(temp + "\\qllA4.tmp_dir1800000000"));
    ASSERT_TRUE(makeRunDirectory(temp + "\\qllA5.tmp_dir1800000000_m_other"));
    ASSERT_TRUE(makeRunDirectory(temp + "\\qlxA6.tmp_dir1800000000_m"));
    ASSERT_TRUE(makeFile(temp + "\\qllA7.tmp_dir1800000000_m", "a file"));
    // qllA8: ended, but holds a link to a directory outside it.
    ASSERT_TRUE(makeDirectory(temp + "\\precious"));
    ASSERT_TRUE(makeFile(temp + "\\precious\\keep.txt", "keep"));
    ASSERT_TRUE(makeRunDirectory(temp + "\\qllA8.tmp_dir1800000000_m"));
    ASSERT_TRUE(makeLink(temp + "\\qllA8.tmp_dir1800000000_m\\user\\link", temp + "\\precious"));
    // qllA9: ended, but another process still has one of its files open.
    ASSERT_TRUE(makeRunDirectory(temp + "\\qllA9.tmp_dir1800000000_m"));
    HANDLE open = CreateFileA((temp + "\\qllA9.tmp_dir1800000000_m\\launcher-runtime.jar").c_str(), GENERIC_READ,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(2, removeStaleTempDirs(temp.c_str()));

    struct Expectation {
        const char* name;
        bool stays;
    };
    const Expectation expectations[] = {
        {"qllA1.tmp_dir1800000000_m", false},
        {"qllA2.tmp_dir1800000000_m", false},
        {"qllA2.tmp", false},
        {"qllA3.tmp_dir1800000000_m\\user\\extra.zip", true},
        {"qllA3.tmp", true},
        {"qllA4.tmp_dir1800000000\\empty.txt", true},
        {"qllA5.tmp_dir1800000000_m_other\\empty.txt", true},
        {"qlxA6.tmp_dir1800000000_m\\empty.txt", true},
        {"qllA7.tmp_dir1800000000_m", true},
        {"qllA8.tmp_dir1800000000_m\\empty.txt", true},
        {"precious\\keep.txt", true},
        {"qllA9.tmp_dir1800000000_m\\launcher-runtime.jar", true},
    };
    for (const Expectation& e : expectations) {
        EXPECT_EQ(e.stays, exists(temp + "\\" + e.name)) << e.name;
    }

    // Once the owner has ended and the file is closed, the next start removes both.
    CloseHandle(held);
    CloseHandle(open);
    EXPECT_FALSE(exists(temp + "\\qllA3.tmp")) << "the marker goes with its holder";
    EXPECT_EQ(2, removeStaleTempDirs(temp.c_str()));
    EXPECT_FALSE(exists(temp + "\\qllA3.tmp_dir1800000000_m"));
    EXPECT_FALSE(exists(temp + "\\qllA9.tmp_dir1800000000_m"));
    EXPECT_TRUE(exists(temp + "\\qllA8.tmp_dir1800000000_m\\empty.txt"));
    EXPECT_TRUE(exists(temp + "\\precious\\keep.txt"));
    // The link goes before the scratch directory is removed, which then never meets it.
    EXPECT_TRUE(removeLink(temp + "\\qllA8.tmp_dir1800000000_m\\user\\link"));
}

TEST(StaleTempDirs, OwnerStateFollowsTheMarkersHolder)
{
    ScratchDirectory scratch;
    const std::string marker = scratch.fileA("qllB1.tmp");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(TempDirOwner::gone, tempDirOwner(marker.c_str())) << "no marker";
    ASSERT_TRUE(makeFile(marker));
    HANDLE held = holdTempDirMarker(marker.c_str());
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(INVALID_HANDLE_VALUE, holdTempDirMarker(marker.c_str())) << "held twice";
    EXPECT_EQ(TempDirOwner::running, tempDirOwner(marker.c_str()));
    EXPECT_TRUE(exists(marker)) << "a probe of a held marker leaves it";
    CloseHandle(held);
    EXPECT_FALSE(exists(marker));
    ASSERT_TRUE(makeDirectory(marker));
    EXPECT_EQ(TempDirOwner::unknown, tempDirOwner(marker.c_str())) << "a directory is no marker";
}

} // namespace
