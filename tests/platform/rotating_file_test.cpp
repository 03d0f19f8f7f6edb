// The captured output's file through the table of rotation cases (tests/model/
// rotation_cases.txt) on a real folder, with a clock the test sets: the Windows side of the
// rules the runtime library follows too. And a link at the file's name, which is never
// written through.
#include "platform/rotating_file.h"
#include "model/rotation_cases.h"
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

// Every file of the folder; the test's .gz files hold their bytes as they are.
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
        entries.push_back({name, size, name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0});
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
        if (c.settings.compress) continue;  // the service process keeps its rolled files plain
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
                ASSERT_TRUE(folder.write(name, bytes.data(), bytes.size()));
                if (action.hasTime) setWritten(folder.file(name), action.time);
                break;
            }
            case Action::open: {
                testNow = action.time;
                DWORD openError = 0;
                ASSERT_TRUE(file.open(output, c.settings, testClock, &openError)) << openError;
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
    EXPECT_GT(run, 9);
}

// A directory (as a link to one would be) at the file's name is not opened, and nothing
// else is made in its place; the error says why.
TEST(RotatingFile, NoFileIsOpenedThroughADirectoryAtItsName)
{
    ScratchDirectory folder;
    ASSERT_TRUE(CreateDirectoryW(folder.file(L"app.log").c_str(), nullptr));
    RotatingFile file;
    DWORD error = 0;
    outputrotation::Settings settings;
    EXPECT_FALSE(file.open(folder.file(L"app.log"), settings, testClock, &error));
    EXPECT_NE(error, 0u);
    EXPECT_FALSE(file.isOpen());
    EXPECT_FALSE(file.write("x", 1));
}

} // namespace
