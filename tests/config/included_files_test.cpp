// Copying the content of included files: chunks, partial reads, unscrambling, failures.
#include "config/included_files.h"

#include "support/scratch_directory.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

HANDLE openFile(const std::wstring& path, DWORD access, DWORD disposition)
{
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::vector<uint8_t> contentOf(const std::wstring& path)
{
    std::vector<uint8_t> bytes(70000);
    HANDLE file = openFile(path, GENERIC_READ, OPEN_EXISTING);
    DWORD n = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(file);
    bytes.resize(n);
    return bytes;
}

TEST(IncludedFiles, CopyUnscramblesInChunksAndStopsAtTheCount)
{
    ScratchDirectory scratch;
    // More than two chunks of 6000 bytes and a remainder, with every byte value.
    std::vector<uint8_t> plain(15001);
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7 + 3);
    std::vector<uint8_t> stored = plain;
    for (uint8_t& b : stored) b ^= 0xA7;
    stored.push_back(0x55);  // the next record's first byte must stay unread
    ASSERT_TRUE(scratch.write(L"stored", stored.data(), stored.size()));

    HANDLE in = openFile(scratch.file(L"stored"), GENERIC_READ, OPEN_EXISTING);
    HANDLE out = openFile(scratch.file(L"plain"), GENERIC_WRITE, CREATE_ALWAYS);
    EXPECT_EQ(0, copyFileRange(in, out, static_cast<int64_t>(plain.size()), true));
    LARGE_INTEGER zero{}, position{};
    SetFilePointerEx(in, zero, &position, FILE_CURRENT);
    EXPECT_EQ(static_cast<LONGLONG>(plain.size()), position.QuadPart);
    CloseHandle(in);
    CloseHandle(out);
    EXPECT_EQ(plain, contentOf(scratch.file(L"plain")));

    // Without unscrambling the bytes are copied as stored; twice the mask restores them.
    in = openFile(scratch.file(L"stored"), GENERIC_READ, OPEN_EXISTING);
    out = openFile(scratch.file(L"raw"), GENERIC_WRITE, CREATE_ALWAYS);
    EXPECT_EQ(0, copyFileRange(in, out, static_cast<int64_t>(plain.size()), false));
    CloseHandle(in);
    CloseHandle(out);
    std::vector<uint8_t> raw = contentOf(scratch.file(L"raw"));
    stored.pop_back();
    EXPECT_EQ(stored, raw);
}

TEST(IncludedFiles, CopyReportsReadAndWriteFailures)
{
    ScratchDirectory scratch;
    std::vector<uint8_t> bytes(100, 1);
    ASSERT_TRUE(scratch.write(L"short", bytes.data(), bytes.size()));

    // Cut-off data: the count promises more than the file holds.
    HANDLE in = openFile(scratch.file(L"short"), GENERIC_READ, OPEN_EXISTING);
    HANDLE out = openFile(scratch.file(L"out"), GENERIC_WRITE, CREATE_ALWAYS);
    EXPECT_EQ(1, copyFileRange(in, out, 1000000, true));
    CloseHandle(in);
    CloseHandle(out);
    EXPECT_EQ(100u, contentOf(scratch.file(L"out")).size());

    // An output that cannot be written (opened for reading only).
    in = openFile(scratch.file(L"short"), GENERIC_READ, OPEN_EXISTING);
    out = openFile(scratch.file(L"out"), GENERIC_READ, OPEN_EXISTING);
    EXPECT_EQ(2, copyFileRange(in, out, 100, true));
    CloseHandle(in);
    CloseHandle(out);
}

} // namespace
