// The "{0}" substitution of configured messages, narrow and wide.
#include "config/messages.h"

#include "unit/scratch_directory.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr size_t kComposedLimit = 12000 - 1;

} // namespace

TEST(Messages, OnlyTheFirstPlaceholderTakesTheArgument)
{
    struct Case {
        const char* message;
        const char* argument;
        const char* expected;
    };
    const Case cases[] = {
        {"An internal error occurred (error code: {0})", "16", "An internal error occurred (error code: 16)"},
        {"{0} and {0}", "x", "x and {0}"},
        {"{0}", "", ""},
        {"no placeholder", "x", "no placeholder"},
        {"{0 } {1} {0", "x", "{0 } {1} {0"},
        // Without an argument the placeholder stays visible.
        {"value {0}", nullptr, "value {0}"},
        // An argument that contains the placeholder is inserted once.
        {"<{0}>", "{0}{0}", "<{0}{0}>"},
        {"", "x", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(c.expected, substituteArgument(c.message, c.argument));

        const std::string message = c.message;
        const std::string expected = c.expected;
        std::wstring wideArgument;
        if (c.argument != nullptr) {
            wideArgument.assign(c.argument, c.argument + std::string(c.argument).size());
        }
        EXPECT_EQ(std::wstring(expected.begin(), expected.end()),
                  substituteArgumentW(std::wstring(message.begin(), message.end()),
                                      c.argument != nullptr ? wideArgument.c_str() : nullptr));
    }
}

TEST(Messages, ComposedTextIsCutBelowTwelveThousand)
{
    struct Case {
        size_t argumentLength;
        size_t expectedLength;
    };
    // The message "a{0}b" adds two characters to the argument.
    const Case cases[] = {
        {kComposedLimit - 2, kComposedLimit},
        {kComposedLimit - 1, kComposedLimit},
        {30000, kComposedLimit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argumentLength);
        const std::string argument(c.argumentLength, 'x');
        const std::string narrow = substituteArgument("a{0}b", argument.c_str());
        EXPECT_EQ(c.expectedLength, narrow.size());
        EXPECT_EQ('a', narrow.front());

        const std::wstring wideArgument(c.argumentLength, L'x');
        const std::wstring wide = substituteArgumentW(L"a{0}b", wideArgument.c_str());
        EXPECT_EQ(c.expectedLength, wide.size());
    }
    // Exactly at the limit the closing text is still there.
    EXPECT_EQ('b', substituteArgument("a{0}b", std::string(kComposedLimit - 2, 'x').c_str()).back());
}

namespace {

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void touch(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, "x", 1, &written, nullptr);
    CloseHandle(file);
}

} // namespace

TEST(Messages, EmptyDirectoryGoesOneLevelDown)
{
    ScratchDirectory scratch;
    const std::wstring top = scratch.file(L"run");
    ASSERT_TRUE(CreateDirectoryW(top.c_str(), nullptr));
    touch(top + L"\\a.jar");
    touch(top + L"\\read-only.jar");
    SetFileAttributesW((top + L"\\read-only.jar").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(CreateDirectoryW((top + L"\\lib").c_str(), nullptr));
    touch(top + L"\\lib\\b.jar");
    ASSERT_TRUE(CreateDirectoryW((top + L"\\empty").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((top + L"\\empty\\deeper").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((top + L"\\full").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((top + L"\\full\\deeper").c_str(), nullptr));
    touch(top + L"\\full\\deeper\\c.jar");

    emptyDirectory(scratch.fileA("run").c_str(), true);

    EXPECT_FALSE(exists(top + L"\\a.jar"));
    EXPECT_FALSE(exists(top + L"\\read-only.jar"));
    EXPECT_FALSE(exists(top + L"\\lib"));
    // An empty directory two levels down goes; a non-empty one stays with its parent.
    EXPECT_FALSE(exists(top + L"\\empty"));
    EXPECT_TRUE(exists(top + L"\\full\\deeper\\c.jar"));
    EXPECT_TRUE(exists(top + L"\\full"));
    EXPECT_TRUE(exists(top));
}

TEST(Messages, EmptyDirectoryLeavesRelativeAndEmptyPathsAlone)
{
    ScratchDirectory scratch;
    touch(scratch.file(L"keep.txt"));
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(scratch.path().c_str()));
    emptyDirectory("", true);
    emptyDirectory(".", true);
    emptyDirectory(".\\", true);
    SetCurrentDirectoryW(previous);
    EXPECT_TRUE(exists(scratch.file(L"keep.txt")));
}
