// The captured output's file through the table of rotation cases (tests/model/
// rotation_cases.txt) on a real folder, with a clock the test sets and compressions done at
// once: the Windows side of the rules the runtime library follows too. A compression that
// fails, which leaves the plain file; a directory at the file's name, never written
// through.
#include "platform/rotating_file.h"
#include "model/gzip_stream.h"
#include "model/rotation_cases.h"
#include "platform/file_compression.h"
#include "support/scratch_directory.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

using outputrotation::LocalTime;
using rotationcases::Action;
using rotationcases::FileEntry;

LocalTime testNow;
LocalTime testClock()
{
    return testNow;
}

// Gives a file the last write at a wall-clock time, as the system would at a write then.
void setWritten(const std::wstring& path, const LocalTime& time)
{
    SYSTEMTIME local{static_cast<WORD>(time.year), static_cast<WORD>(time.month), 0, static_cast<WORD>(time.day),
                     static_cast<WORD>(time.hour), static_cast<WORD>(time.minute), static_cast<WORD>(time.second), 0};
    SYSTEMTIME universal{};
    FILETIME written{};
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal));
    ASSERT_TRUE(SystemTimeToFileTime(&universal, &written));
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
    CloseHandle(file);
}

void compressNow(const std::wstring& plain)
{
    compressRolledFile(plain);
}

std::vector<uint8_t> gzipOf(const std::string& text)
{
    gzipstream::GzipWriter writer;
    std::vector<uint8_t> out;
    writer.write(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &out);
    writer.finish(&out);
    return out;
}

// The length a gzip file's trailer gives (the native tests decompress it with gzip); -1
// for a file that is no gzip file.
long long gzipLength(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    std::vector<uint8_t> bytes(GetFileSize(file, nullptr));
    DWORD read = 0;
    const bool ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size();
    CloseHandle(file);
    if (!ok || bytes.size() < 18 || bytes[0] != 0x1F || bytes[1] != 0x8B) return -1;
    const size_t at = bytes.size() - 4;
    return static_cast<long long>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24);
}

// Every file of the folder, a .gz by the length of its content; a directory as "<name>/".
std::vector<FileEntry> listing(const ScratchDirectory& folder)
{
    std::vector<FileEntry> entries;
    WIN32_FIND_DATAA found{};
    HANDLE find = FindFirstFileA((folder.pathA() + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const uint64_t size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            entries.push_back({name + "/", 0, false});
            continue;
        }
        const bool gzip = name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0;
        const std::wstring wide(name.begin(), name.end());
        entries.push_back({name, gzip ? static_cast<uint64_t>(gzipLength(folder.file(wide))) : size, gzip});
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return entries;
}

TEST(RotatingFile, TableOfCases)
{
    std::vector<rotationcases::Case> cases;
    std::string error;
    ASSERT_TRUE(rotationcases::readCases(ROTATION_CASES_FILE, &cases, &error)) << error;
    int run = 0;
    for (const rotationcases::Case& c : cases) {
        ++run;
        SCOPED_TRACE(c.title);
        ScratchDirectory folder;
        const std::wstring output = folder.file(L"app.log");
        RotatingFile file;
        for (const Action& action : c.actions) {
            SCOPED_TRACE("line " + std::to_string(action.line));
            switch (action.kind) {
            case Action::file: {
                const std::string bytes(action.entry.size, 'x');
                const std::wstring name(action.entry.name.begin(), action.entry.name.end());
                if (action.entry.gzip) {
                    const std::vector<uint8_t> packed = gzipOf(bytes);
                    ASSERT_TRUE(folder.write(name, packed.data(), packed.size()));
                } else {
                    ASSERT_TRUE(folder.write(name, bytes.data(), bytes.size()));
                }
                if (action.hasTime) setWritten(folder.file(name), action.time);
                break;
            }
            case Action::open: {
                testNow = action.time;
                DWORD openError = 0;
                ASSERT_TRUE(file.open(output, c.settings, testClock, &openError, compressNow)) << openError;
                break;
            }
            case Action::write: {
                testNow = action.time;
                const std::string bytes(action.length, 'x');
                ASSERT_TRUE(file.write(bytes.data(), bytes.size()));
                setWritten(output, action.time);
                break;
            }
            case Action::close: file.close(); break;
            case Action::expect:
                EXPECT_EQ(rotationcases::describe(listing(folder)), rotationcases::describe(action.expected));
                break;
            }
        }
        file.close();
    }
    EXPECT_GT(run, 10);
}

// A compression that cannot complete (a directory where its .gz goes) leaves the plain
// file as it was and no partial file; once the way is free, it completes.
TEST(RotatingFile, ACompressionThatFailsLeavesThePlainFile)
{
    ScratchDirectory folder;
    const std::string text(70000, 'q');
    ASSERT_TRUE(folder.write(L"app.log.2026-03-01.1", text.data(), text.size()));
    ASSERT_TRUE(CreateDirectoryW(folder.file(L"app.log.2026-03-01.1.gz").c_str(), nullptr));
    EXPECT_FALSE(compressRolledFile(folder.file(L"app.log.2026-03-01.1")));
    EXPECT_EQ(rotationcases::describe(listing(folder)), "app.log.2026-03-01.1=70000 app.log.2026-03-01.1.gz/=0");
    ASSERT_TRUE(RemoveDirectoryW(folder.file(L"app.log.2026-03-01.1.gz").c_str()));
    EXPECT_TRUE(compressRolledFile(folder.file(L"app.log.2026-03-01.1")));
    EXPECT_EQ(rotationcases::describe(listing(folder)), "app.log.2026-03-01.1.gz=gz:70000");
}

// The process's compression thread: a file handed over twice is compressed once, and the
// plain file goes once its .gz is complete.
TEST(RotatingFile, TheBackgroundCompressionCompletes)
{
    ScratchDirectory folder;
    const std::string text(300000, 'r');
    ASSERT_TRUE(folder.write(L"app.log.2026-03-01.1", text.data(), text.size()));
    compressInBackground(folder.file(L"app.log.2026-03-01.1"));
    compressInBackground(folder.file(L"app.log.2026-03-01.1"));
    const DWORD start = GetTickCount();
    while (GetFileAttributesW(folder.file(L"app.log.2026-03-01.1").c_str()) != INVALID_FILE_ATTRIBUTES) {
        ASSERT_LT(GetTickCount() - start, 10000u) << "not compressed within 10 s";
        Sleep(20);
    }
    EXPECT_EQ(rotationcases::describe(listing(folder)), "app.log.2026-03-01.1.gz=gz:300000");
}

// A directory (as a link to one would be) at the file's name, or a hard link to another
// file, is not opened, and nothing else is made in its place; the error says why, and the
// other file keeps its content.
TEST(RotatingFile, NoFileIsOpenedThroughADirectoryOrAHardLinkAtItsName)
{
    ScratchDirectory folder;
    ASSERT_TRUE(CreateDirectoryW(folder.file(L"dir").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(folder.file(L"dir\\app.log").c_str(), nullptr));
    {
        HANDLE other = CreateFileW(folder.file(L"other.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, other);
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(other, "keep", 4, &written, nullptr));
        CloseHandle(other);
    }
    ASSERT_TRUE(CreateDirectoryW(folder.file(L"linked").c_str(), nullptr));
    ASSERT_TRUE(CreateHardLinkW(folder.file(L"linked\\app.log").c_str(), folder.file(L"other.txt").c_str(), nullptr));
    for (const wchar_t* name : {L"dir\\app.log", L"linked\\app.log"}) {
        SCOPED_TRACE(name[0] == L'd' ? "a directory" : "a hard link");
        RotatingFile file;
        DWORD error = 0;
        outputrotation::Settings settings;
        EXPECT_FALSE(file.open(folder.file(name), settings, testClock, &error));
        EXPECT_NE(error, 0u);
        EXPECT_FALSE(file.isOpen());
        EXPECT_FALSE(file.write("x", 1));
    }
    HANDLE other = CreateFileW(folder.file(L"other.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    char content[16] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(other, content, sizeof content - 1, &read, nullptr));
    CloseHandle(other);
    EXPECT_EQ(std::string("keep"), std::string(content, read));
}

} // namespace
