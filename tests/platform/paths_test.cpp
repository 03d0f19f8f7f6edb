// Path primitives: classification, normalisation, resolution against the executable's
// directory (here the test program's own), existence tests, the writable-directory
// probe and unique temporary file names.
#include "platform/paths.h"

#include "platform/text_format.h"
#include "support/scratch_directory.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }
// Test paths are plain ASCII.
std::string narrowAscii(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string lowerAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// An environment variable set for one scope; the earlier value comes back at its end.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name)
    {
        wchar_t old[kTextCapacity];
        DWORD n = GetEnvironmentVariableW(name, old, kTextCapacity);
        had_ = n > 0 && n < static_cast<DWORD>(kTextCapacity);
        old_ = had_ ? old : L"";
        EXPECT_TRUE(SetEnvironmentVariableW(name, value.c_str()));
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;
    ~ScopedVariable() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

private:
    const wchar_t* name_;
    std::wstring old_;
    bool had_ = false;
};

// The directory of the running program as the system names it, with its backslash.
std::string programDirectory()
{
    char path[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH + 1);
    std::string text(path, n);
    return text.substr(0, text.find_last_of('\\') + 1);
}

// "C:\a\b\" -> "C:\a\"
std::string parentOf(const std::string& directory)
{
    std::string trimmed = directory.substr(0, directory.size() - 1);
    return trimmed.substr(0, trimmed.find_last_of('\\') + 1);
}

} // namespace

TEST(Paths, RelativeUnlessDriveAndBackslashOrTwoBackslashes)
{
    struct Case {
        const char* path;
        bool relative;
    };
    const Case cases[] = {
        {"", true},
        {"a", true},
        {"C:", true},
        {"C:\\", false},
        {"c:\\dir\\file", false},
        {"C:dir", true},
        {"C:/dir", true},
        {"\\dir", true},
        {"\\\\", true},
        {"\\\\server\\share", false},
        {"..\\lib", true},
        {"lib\\a.jar", true},
        // A leading double quote is skipped.
        {"\"C:\\dir\"", false},
        {"\"C:\\", false},
        {"\"C:", true},
        {"\"\\\\srv\"", false},
        {"\"lib\"", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.relative, isRelativePath(c.path)) << c.path;
        EXPECT_EQ(c.relative, isRelativePathW(widen(c.path).c_str())) << c.path;
    }
    EXPECT_TRUE(isRelativePath(nullptr));
}

TEST(Paths, DriveRoots)
{
    struct Case {
        const char* path;
        bool root;
    };
    const Case cases[] = {
        {"C:\\", true}, {"q:\\.", true}, {"Z:\\.\\.", true}, {"C:", false},   {"C:\\.\\", false},
        {"C:\\..", false}, {"C:\\x", false}, {"C", false},     {"", false},      {"\\\\", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.root, isDriveRootW(widen(c.path).c_str())) << c.path;
    }
}

// Absolute paths are taken as they are, with repeated backslashes collapsed.
TEST(Paths, RepeatedBackslashesCollapseButTheNetworkPairSurvives)
{
    struct Case {
        const char* path;
        const char* collapsed;
    };
    const Case cases[] = {
        {"C:\\\\a\\\\\\b\\", "C:\\a\\b\\"},
        {"\\\\server\\\\share\\x", "\\\\server\\share\\x"},
        {"\\\\\\server", "\\\\server"},
        {"C:\\x\\\\\\\\y", "C:\\x\\y"},
        {"C:\\a\\\\", "C:\\a\\"},
        {"C:\\caf\xe9\\\\x", "C:\\caf\xe9\\x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        char narrow[64];
        EXPECT_TRUE(resolvePath(narrow, sizeof narrow, c.path));
        EXPECT_STREQ(c.collapsed, narrow);

        wchar_t wide[64];
        EXPECT_TRUE(resolvePathW(wide, 64, widen(c.path).c_str(), false));
        EXPECT_EQ(widen(c.collapsed), wide);
    }
}

TEST(Paths, ModuleDirectoryIsTheProgramsOwn)
{
    const std::string dir = getModuleDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ('\\', dir.back());
    EXPECT_EQ(lowerAscii(programDirectory()), lowerAscii(dir));
    EXPECT_EQ(widen(dir), getModuleDirWidened());
    EXPECT_EQ(lowerAscii(dir), lowerAscii(narrowAscii(getModuleDirW())));
    EXPECT_EQ(0, lstrcmpiA(getModulePath(), (dir + "platform_tests.exe").c_str())) << getModulePath();
}

TEST(Paths, ResolveAgainstTheExecutableOrAReferenceFile)
{
    const std::string dir = getModuleDir();
    const std::string parent = parentOf(dir);
    ASSERT_FALSE(parent.empty());

    struct Case {
        const char* path;
        const char* referenceFile;
        std::string resolved;
    };
    const Case cases[] = {
        {"..\\lib", nullptr, dir + "..\\lib"},
        // One leading backslash is relative; the doubled backslash collapses.
        {"\\x", nullptr, dir + "x"},
        {"", nullptr, dir},
        {"C:dir", nullptr, dir + "C:dir"},
        {"C:\\abs\\\\p", nullptr, "C:\\abs\\p"},
        {"\\\\server\\\\share", nullptr, "\\\\server\\share"},
        {"a.txt", "C:\\ref\\dir\\file.txt", "C:\\ref\\dir\\a.txt"},
        {"C:\\abs", "C:\\ref\\dir\\file.txt", "C:\\abs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        char narrow[kTextCapacity];
        EXPECT_TRUE(resolvePath(narrow, sizeof narrow, c.path, c.referenceFile));
        EXPECT_EQ(c.resolved, narrow);

        wchar_t wide[kTextCapacity];
        const std::wstring reference = c.referenceFile ? widen(c.referenceFile) : std::wstring();
        for (bool useNarrowDir : {true, false}) {
            EXPECT_TRUE(resolvePathW(wide, kTextCapacity, widen(c.path).c_str(), useNarrowDir,
                                     c.referenceFile ? reference.c_str() : nullptr));
            EXPECT_EQ(lowerAscii(c.resolved), lowerAscii(narrowAscii(wide)));
        }
    }
}

// A path is never handed out cut, which would name another file: the path with its
// terminator fits exactly, one character less is refused; nothing is written past the
// capacity either way.
TEST(Paths, ResultThatDoesNotFitIsRefused)
{
    const char* const given = "C:\\abs\\\\dir\\file.txt";
    const std::string expected = "C:\\abs\\dir\\file.txt";
    const size_t length = expected.size();
    struct Case {
        size_t capacity;
        bool fits;
    };
    const Case cases[] = {
        {length + 2, true},
        {length + 1, true}, // exact fit
        {length, false},    // one over
        {1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        for (bool full : {false, true}) {
            SCOPED_TRACE(full ? "getFullPath" : "resolvePath");
            std::string narrow(length + 8, '#');
            const bool narrowFits = full ? getFullPath(&narrow[0], c.capacity, given, true)
                                         : resolvePath(&narrow[0], c.capacity, given);
            EXPECT_EQ(c.fits, narrowFits);
            EXPECT_EQ('#', narrow[c.capacity]) << "written past the capacity";
            EXPECT_LT(std::strlen(narrow.c_str()), c.capacity);
            if (c.fits) {
                EXPECT_EQ(expected, narrow.c_str());
            }

            std::wstring wide(length + 8, L'#');
            const bool wideFits = full ? getFullPathW(&wide[0], c.capacity, widen(given).c_str(), false, true)
                                       : resolvePathW(&wide[0], c.capacity, widen(given).c_str(), false);
            EXPECT_EQ(c.fits, wideFits);
            EXPECT_EQ(L'#', wide[c.capacity]) << "written past the capacity";
            EXPECT_LT(std::wcslen(wide.c_str()), c.capacity);
            if (c.fits) {
                EXPECT_EQ(widen(expected), wide.c_str());
            }
        }
    }
}

TEST(Paths, FullPathDropsDotStepsAndFoldsCaseUnlessKept)
{
    const std::string dir = getModuleDir();
    const std::string parent = parentOf(dir);
    struct Case {
        const char* path;
        bool keepCase;
        std::string full;
    };
    const Case cases[] = {
        {"..\\lib", false, lowerAscii(parent) + "lib"},
        {"..\\Lib", true, parent + "Lib"},
        {"\\x", false, lowerAscii(dir) + "x"},
        {"Sub\\.\\File.TXT", false, lowerAscii(dir) + "sub\\file.txt"},
        {"C:\\A\\\\B\\..\\C", false, "c:\\a\\c"},
        {"C:\\A\\\\B\\..\\C", true, "C:\\A\\C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        char narrow[kTextCapacity];
        EXPECT_TRUE(getFullPath(narrow, sizeof narrow, c.path, c.keepCase));
        EXPECT_EQ(c.full, narrow);

        wchar_t wide[kTextCapacity];
        EXPECT_TRUE(getFullPathW(wide, kTextCapacity, widen(c.path).c_str(), false, c.keepCase));
        EXPECT_EQ(widen(c.full), wide);
    }
}

TEST(Paths, FileExistsForDriveRootsFilesAndDirectories)
{
    ScratchDirectory dir;
    const std::string directory = dir.pathA();
    const std::string file = dir.fileA("data.bin");
    ASSERT_TRUE(dir.write(L"data.bin", "x", 1));

    // A known last-write time: 2020-01-01 00:00 UTC.
    const uint64_t knownTime = 132223104000000000ull;
    {
        HANDLE h = CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        FILETIME time{static_cast<DWORD>(knownTime), static_cast<DWORD>(knownTime >> 32)};
        EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &time));
        CloseHandle(h);
    }

    struct Case {
        std::string path;
        bool exists;
    };
    const Case cases[] = {
        {directory, true},
        {directory + "\\", false},
        {file, true},
        {file + "\\", false},
        {dir.fileA("missing.bin"), false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.exists, fileExists(c.path.c_str()));
        EXPECT_EQ(c.exists, fileExistsW(widen(c.path).c_str()));
    }

    uint64_t time = 1;
    EXPECT_TRUE(fileExists(file.c_str(), &time));
    EXPECT_EQ(knownTime, time);
    time = 1;
    EXPECT_TRUE(fileExistsW(widen(file).c_str(), &time));
    EXPECT_EQ(knownTime, time);
    time = 1;
    EXPECT_FALSE(fileExists(dir.fileA("missing.bin").c_str(), &time));
    EXPECT_EQ(1u, time);

    // A drive root exists without asking the system: even a drive that is not there.
    ASSERT_FALSE(fileExists("Q:\\nothing-here"));
    for (const char* root : {"Q:\\", "Q:\\.", "Q:\\.\\."}) {
        SetLastError(0xdeadbeef);
        EXPECT_TRUE(fileExists(root)) << root;
        EXPECT_EQ(0xdeadbeefu, GetLastError()) << root;
        SetLastError(0xdeadbeef);
        EXPECT_TRUE(fileExistsW(widen(root).c_str())) << root;
        EXPECT_EQ(0xdeadbeefu, GetLastError()) << root;
    }
}

TEST(Paths, DirectoryIsWritableWhenASubdirectoryCanBeMade)
{
    ScratchDirectory dir;
    ASSERT_TRUE(dir.write(L"plain.txt", "x", 1));
    // A probe left behind by an earlier run does not get in the way.
    ASSERT_TRUE(CreateDirectoryW(dir.file(L"qll_w_testdir").c_str(), nullptr));

    EXPECT_TRUE(isDirWritableW(dir.path().c_str()));
    EXPECT_FALSE(fileExists(dir.fileA("qll_w_testdir").c_str())) << "the probe stays behind";

    EXPECT_FALSE(isDirWritableW(dir.file(L"missing").c_str()));
    EXPECT_FALSE(isDirWritableW(dir.file(L"plain.txt").c_str()));
}

TEST(Paths, TempFileNameLeavesAnEmptyFileInTheTemporaryDirectory)
{
    char tempDir[kTextCapacity];
    ASSERT_TRUE(getTempPath(tempDir, sizeof tempDir));
    ASSERT_NE('\0', tempDir[0]);

    char first[kTextCapacity] = "";
    char second[kTextCapacity] = "";
    EXPECT_TRUE(makeTempFileName(first, sizeof first));
    EXPECT_TRUE(makeTempFileName(second, sizeof second));
    struct Cleanup {
        const char* a;
        const char* b;
        ~Cleanup()
        {
            DeleteFileA(a);
            DeleteFileA(b);
        }
    } cleanup{first, second};

    EXPECT_STRNE(first, second);
    for (const char* name : {first, second}) {
        SCOPED_TRACE(name);
        const std::string path = name;
        std::string expectedStart = tempDir;
        if (expectedStart.back() != '\\') expectedStart += '\\';
        EXPECT_EQ(0, lstrcmpiA((expectedStart + "qll").c_str(), path.substr(0, expectedStart.size() + 3).c_str()));
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExA(name, GetFileExInfoStandard, &data));
        EXPECT_EQ(0u, data.nFileSizeLow);
        EXPECT_EQ(0u, data.nFileSizeHigh);
        EXPECT_EQ(0u, data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    }
}

// Where the system cannot reserve a name, the name is one nobody can guess, and a name
// that does not fit is refused rather than cut.
TEST(Paths, TempNameWithoutTheSystemsReservationIsRandom)
{
    char first[64] = "";
    char second[64] = "";
    ASSERT_TRUE(makeRandomTempName("C:\\temp", first, sizeof first));
    ASSERT_TRUE(makeRandomTempName("C:\\temp\\", second, sizeof second));
    for (const std::string name : {first, second}) {
        SCOPED_TRACE(name);
        const std::string start = "C:\\temp\\qll";
        ASSERT_EQ(start, name.substr(0, start.size()));
        const std::string digits = name.substr(start.size());
        EXPECT_EQ(16u, digits.size());
        EXPECT_EQ(std::string::npos, digits.find_first_not_of("0123456789abcdef"));
    }
    EXPECT_STRNE(first, second);
    char small[sizeof "C:\\temp\\qll0123456789abcdef"];
    EXPECT_TRUE(makeRandomTempName("C:\\temp", small, sizeof small));
    EXPECT_FALSE(makeRandomTempName("C:\\temp", small, sizeof small - 1));
}

// A name that does not fit the caller's buffer is refused, and the empty file the system
// made for it goes again: nothing is left behind for a name nobody holds.
TEST(Paths, TempFileNameThatDoesNotFitLeavesNoFile)
{
    ScratchDirectory dir;
    ScopedVariable tmp(L"TMP", dir.path());
    ScopedVariable temp(L"TEMP", dir.path());
    auto filesInDirectory = [&dir] {
        size_t count = 0;
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW(dir.file(L"qll*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            do ++count;
            while (FindNextFileW(find, &entry));
            FindClose(find);
        }
        return count;
    };

    struct Case {
        size_t capacity;
        bool fits;
    };
    const Case cases[] = {
        {kTextCapacity, true},
        {dir.pathA().size() + 5, false}, // room for the directory and "\qll" only
        {1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        char name[kTextCapacity];
        std::memset(name, '#', sizeof name);
        EXPECT_EQ(c.fits, makeTempFileName(name, c.capacity));
        EXPECT_EQ(c.fits ? 1u : 0u, filesInDirectory());
        if (c.fits) {
            EXPECT_EQ(0u, lowerAscii(name).find(lowerAscii(dir.pathA() + "\\qll"))) << name;
            EXPECT_TRUE(DeleteFileA(name));
        } else {
            EXPECT_STREQ("", name);
        }
    }
}
