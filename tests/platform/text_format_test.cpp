// Bounded formatting with the Windows C library's printf conventions, and the bounded
// copy, append and clear helpers: the conversions the log lines rely on, and the exact-fit
// and one-over cases of every buffer-filling function.
#include "platform/text_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

std::string formatted(const char* format, ...) LAUNCHER_PRINTF(1, 2);
std::string formatted(const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    bool fit = formatTextV(buffer, sizeof buffer, format, args);
    va_end(args);
    EXPECT_TRUE(fit) << format;
    return buffer;
}

// The same without the compiler's format check, for cases it does not accept: the
// Windows "%hs" and "%ws" sizes, and null string arguments.
std::string formattedUnchecked(const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    bool fit = formatTextV(buffer, sizeof buffer, format, args);
    va_end(args);
    EXPECT_TRUE(fit) << format;
    return buffer;
}

std::wstring formattedW(const wchar_t* format, ...)
{
    wchar_t buffer[512];
    va_list args;
    va_start(args, format);
    bool fit = formatTextVW(buffer, 512, format, args);
    va_end(args);
    EXPECT_TRUE(fit);
    return buffer;
}

constexpr char kCanary = '#';
constexpr wchar_t kCanaryW = L'#';

} // namespace

TEST(TextFormat, NarrowFormatsFollowTheWindowsConventions)
{
    void* pointer = reinterpret_cast<void*>(static_cast<uintptr_t>(0xABCD12));
    const char unterminated[3] = {'x', 'y', 'z'};
    struct Case {
        std::string actual;
        const char* expected;
    };
    const Case cases[] = {
        // "%s" is narrow and "%S" wide in a narrow format.
        {formatted("%s|%S", "narrow", L"wide"), "narrow|wide"},
        {formattedUnchecked("%hs|%ls|%ws", "h", L"l", L"w"), "h|l|w"},
        {formatted("%S", L"caf\u00e9"), "caf\xe9"},
        {formattedUnchecked("%s", static_cast<const char*>(nullptr)), "(null)"},
        {formattedUnchecked("%S", static_cast<const wchar_t*>(nullptr)), "(null)"},
        {formatted("%c%C", 'n', L'w'), "nw"},
        // Integers, negative ones included; "l" is 32 bits, "I64" 64 bits.
        {formatted("%d %i", -42, 42), "-42 42"},
        {formatted("%d", INT_MIN), "-2147483648"},
        {formatted("%ld", -1L), "-1"},
        {formatted("%I64d", 12345678901234LL), "12345678901234"},
        {formatted("%I64d", static_cast<long long>(INT64_MIN)), "-9223372036854775808"},
        {formatted("%I64u", static_cast<unsigned long long>(UINT64_MAX)), "18446744073709551615"},
        {formatted("%u %x %X %o", -1, 255, 255, 8), "4294967295 ff FF 10"},
        {formatted("%#x %#o", 255, 8), "0xff 010"},
        {formatted("%+d % d", 5, 5), "+5  5"},
        // Widths, flags and precision, also through "*".
        {formatted("[%5d][%-5d][%05d][%05d]", 42, 42, 42, -42), "[   42][42   ][00042][-0042]"},
        {formatted("[%*d][%*d]", 4, 7, -4, 7), "[   7][7   ]"},
        {formatted("[%.3d]", 7), "[007]"},
        {formatted("[%6s][%-6s]", "ab", "ab"), "[    ab][ab    ]"},
        {formatted("[%.*s][%.*s][%.*s]", 3, "abcdef", 10, "ab", 0, "ab"), "[abc][ab][]"},
        {formatted("[%.3s]", unterminated), "[xyz]"},
        {formatted("[%5.2s]", "abcdef"), "[   ab]"},
        // The Windows C library prints a pointer as all its hex digits, upper case.
        {formatted("%p", pointer), "0000000000ABCD12"},
        {formatted("%%|100%%|%d%%", 5), "%|100%|5%"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, c.actual);
    }
}

TEST(TextFormat, WideFormatsSwapTheStringConversions)
{
    struct Case {
        std::wstring actual;
        const wchar_t* expected;
    };
    const Case cases[] = {
        // "%s" is wide and "%S" narrow in a wide format.
        {formattedW(L"%s|%S", L"wide", "narrow"), L"wide|narrow"},
        {formattedW(L"%hs|%ls", "h", L"l"), L"h|l"},
        // A narrow string is widened byte by byte.
        {formattedW(L"%S", "caf\xe9\x80\xff"), L"caf\u00e9\u0080\u00ff"},
        {formattedW(L"%c%C", L'w', 'n'), L"wn"},
        {formattedW(L"%d %I64d %u", -7, -12345678901234LL, 3u), L"-7 -12345678901234 3"},
        {formattedW(L"[%-4s][%.*s]", L"a", 2, L"wxyz"), L"[a   ][wx]"},
        {formattedW(L"%p", reinterpret_cast<void*>(static_cast<uintptr_t>(0x1F))), L"000000000000001F"},
        {formattedW(L"%%"), L"%"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, c.actual);
    }
}

TEST(TextFormat, ExactFitAndOneOverTheCapacity)
{
    // "abc" needs 4 characters with its terminator.
    struct Case {
        size_t capacity;
        bool fits;
        const char* expected;
    };
    const Case cases[] = {
        {5, true, "abc"},
        {4, true, "abc"},
        {3, false, "ab"},
        {2, false, "a"},
        {1, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        char buffer[8];
        std::memset(buffer, kCanary, sizeof buffer);
        EXPECT_EQ(c.fits, formatText(buffer, c.capacity, "%s%c", "ab", 'c'));
        EXPECT_STREQ(c.expected, buffer);
        for (size_t i = c.capacity; i < sizeof buffer; ++i) {
            EXPECT_EQ(kCanary, buffer[i]) << "written past the capacity at " << i;
        }

        wchar_t wide[8];
        for (wchar_t& w : wide) w = kCanaryW;
        EXPECT_EQ(c.fits, formatTextW(wide, c.capacity, L"%s%S", L"ab", "c"));
        EXPECT_EQ(std::wstring(c.expected, c.expected + std::strlen(c.expected)), std::wstring(wide));
        for (size_t i = c.capacity; i < 8; ++i) {
            EXPECT_EQ(kCanaryW, wide[i]) << "written past the capacity at " << i;
        }
    }

    // Capacity 0: nothing may be written, not even a terminator.
    char untouched[2] = {kCanary, kCanary};
    EXPECT_FALSE(formatText(untouched, 0, "%s", "x"));
    EXPECT_EQ(kCanary, untouched[0]);

    // A text far longer than a usual buffer is cut at the last character.
    static char big[kTextCapacity + 1];
    big[kTextCapacity] = kCanary;
    std::string longText(3 * kTextCapacity, 'x');
    EXPECT_FALSE(formatText(big, kTextCapacity, "%s", longText.c_str()));
    EXPECT_EQ(static_cast<size_t>(kTextCapacity - 1), std::strlen(big));
    EXPECT_EQ(kCanary, big[kTextCapacity]);
}

TEST(TextFormat, CopyAndAppendStayInsideTheBuffer)
{
    char buffer[8];

    std::memset(buffer, kCanary, sizeof buffer);
    EXPECT_TRUE(copyText(buffer, 4, "abc"));
    EXPECT_STREQ("abc", buffer);
    EXPECT_FALSE(copyText(buffer, 4, "abcd"));
    EXPECT_STREQ("abc", buffer);
    EXPECT_EQ(kCanary, buffer[4]);
    EXPECT_TRUE(copyText(buffer, 4, nullptr));
    EXPECT_STREQ("", buffer);

    struct Case {
        const char* start;
        const char* appended;
        size_t capacity;
        bool fits;
        const char* expected;
    };
    const Case cases[] = {
        {"ab", "cd", 5, true, "abcd"},   // exact fit
        {"ab", "cde", 5, false, "abcd"}, // one over
        {"abcd", "", 5, true, "abcd"},   // full, nothing to add
        {"abcd", "e", 5, false, "abcd"}, // full, one more
        {"", "abcdef", 3, false, "ab"},
        {"", "", 1, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.start) + "+" + c.appended);
        std::memset(buffer, kCanary, sizeof buffer);
        std::memcpy(buffer, c.start, std::strlen(c.start) + 1);
        EXPECT_EQ(c.fits, appendText(buffer, c.capacity, c.appended));
        EXPECT_STREQ(c.expected, buffer);
        for (size_t i = c.capacity; i < sizeof buffer; ++i) {
            EXPECT_EQ(kCanary, buffer[i]) << "written past the capacity at " << i;
        }
    }

    // A buffer with no terminator inside its capacity is terminated, never read past.
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_FALSE(appendText(buffer, 4, "x"));
    EXPECT_STREQ("zzz", buffer);
    EXPECT_EQ('z', buffer[4]);

    wchar_t wide[8];
    for (wchar_t& w : wide) w = kCanaryW;
    EXPECT_TRUE(copyTextW(wide, 3, L"ab"));
    EXPECT_TRUE(appendTextW(wide, 5, L"cd"));
    EXPECT_EQ(std::wstring(L"abcd"), wide);
    EXPECT_FALSE(appendTextW(wide, 6, L"ef"));
    EXPECT_EQ(std::wstring(L"abcde"), wide);
    EXPECT_EQ(kCanaryW, wide[6]);
    EXPECT_FALSE(copyTextW(wide, 2, L"xyz"));
    EXPECT_EQ(std::wstring(L"x"), wide);
}

TEST(TextFormat, ClearEmptiesWithinTheCapacityOnly)
{
    struct Case {
        size_t capacity;
        const char* expected;  // what the buffer then starts with
    };
    const Case cases[] = {
        {8, ""},
        {1, ""},
        {0, "abc"},  // nothing may be written
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        char buffer[8] = "abc";
        clearText(buffer, c.capacity);
        EXPECT_STREQ(c.expected, buffer);

        wchar_t wide[8] = L"abc";
        clearText(wide, c.capacity);
        EXPECT_EQ(std::wstring(c.expected, c.expected + std::strlen(c.expected)), std::wstring(wide));
    }
    clearText(static_cast<char*>(nullptr), 4);
}
