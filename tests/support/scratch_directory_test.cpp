// The tests' own scratch directories: removed whole when they go, read-only files and
// files given by name too, and never through a link, whose target stays as it was.
#include "support/scratch_directory.h"

#include "support/host_links.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool makeDirectory(const std::wstring& path)
{
    return CreateDirectoryW(path.c_str(), nullptr) != 0;
}

bool makeFile(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, "keep", 4, &written, nullptr) && written == 4;
    CloseHandle(file);
    return ok;
}

TEST(ScratchDirectory, GoesWithEverythingInIt)
{
    std::wstring path;
    {
        ScratchDirectory scratch;
        path = scratch.path();
        ASSERT_TRUE(exists(path));
        ASSERT_TRUE(makeDirectory(scratch.file(L"a")));
        ASSERT_TRUE(makeDirectory(scratch.file(L"a\\b")));
        ASSERT_TRUE(makeFile(scratch.file(L"a\\b\\read-only.txt"), FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(scratch.write(L"a\\plain.bin", "x", 1));
        ScratchDirectory second;
        EXPECT_NE(path, second.path()) << "two scratch directories share a path";
    }
    EXPECT_FALSE(exists(path));
}

TEST(ScratchDirectory, RemoveTreeTakesAFileAndWhatIsAlreadyGone)
{
    ScratchDirectory scratch;
    ASSERT_TRUE(makeFile(scratch.file(L"file.txt"), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(removeTree(scratch.file(L"file.txt")));
    EXPECT_FALSE(exists(scratch.file(L"file.txt")));
    EXPECT_TRUE(removeTree(scratch.file(L"never-there")));
}

TEST(ScratchDirectory, AFileStillOpenStaysUntilItIsClosed)
{
    ScratchDirectory scratch;
    ASSERT_TRUE(makeDirectory(scratch.file(L"tree")));
    ASSERT_TRUE(makeFile(scratch.file(L"tree\\open.txt")));
    HANDLE open = CreateFileW(scratch.file(L"tree\\open.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);
    EXPECT_FALSE(removeTree(scratch.file(L"tree")));
    EXPECT_TRUE(exists(scratch.file(L"tree\\open.txt")));
    CloseHandle(open);
    EXPECT_TRUE(removeTree(scratch.file(L"tree")));
    EXPECT_FALSE(exists(scratch.file(L"tree")));
}

// A link to a folder elsewhere, and one whose target has gone: each link goes, and the
// target keeps every file.
TEST(ScratchDirectory, ALinkGoesAndItsTargetStays)
{
    ScratchDirectory elsewhere;
    ASSERT_TRUE(makeDirectory(elsewhere.file(L"target")));
    ASSERT_TRUE(makeFile(elsewhere.file(L"target\\keep.txt")));
    ASSERT_TRUE(makeFile(elsewhere.file(L"target\\read-only.txt"), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(makeDirectory(elsewhere.file(L"gone")));
    std::wstring path;
    {
        ScratchDirectory scratch;
        path = scratch.path();
        ASSERT_TRUE(makeDirectory(scratch.file(L"inner")));
        ASSERT_TRUE(makeHostLink(scratch.file(L"inner\\link"), elsewhere.file(L"target")));
        ASSERT_TRUE(makeHostLink(scratch.file(L"dangling"), elsewhere.file(L"gone")));
        ASSERT_TRUE(RemoveDirectoryW(elsewhere.file(L"gone").c_str()));
        ASSERT_TRUE(exists(scratch.file(L"inner\\link\\keep.txt"))) << "the link does not lead to its target";
    }
    EXPECT_FALSE(exists(path));
    EXPECT_TRUE(exists(elsewhere.file(L"target\\keep.txt")));
    EXPECT_TRUE(exists(elsewhere.file(L"target\\read-only.txt")));
    EXPECT_NE(0u, GetFileAttributesW(elsewhere.file(L"target\\read-only.txt").c_str()) & FILE_ATTRIBUTE_READONLY)
        << "the target's file was changed";
}

} // namespace
