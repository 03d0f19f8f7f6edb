// The "{0}" substitution of configured messages, narrow and wide.
#include "config/messages.h"

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
