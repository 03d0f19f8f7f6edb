// The configuration store's accessors: what each returns for present, absent and
// too-long values, and the integer conversion of configuration values.
#include "config/config_store.h"

#include "support/empty_config_store.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

constexpr int32_t kName = 101;
constexpr int32_t kAbsent = 424242;

class ConfigStoreTest : public EmptyConfigStoreTest {};

} // namespace

TEST_F(ConfigStoreTest, GetConfigStringCutsAtTheCapacityAndSaysSo)
{
    setConfigString(kName, "Demo service");
    struct Case {
        int capacity;
        bool fits;
        const char* expected;
    };
    const Case cases[] = {
        {6000, true, "Demo service"},
        {13, true, "Demo service"}, // exact fit
        {12, false, "Demo servic"}, // one over
        {6, false, "Demo "},
        {2, false, "D"},
        {1, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        char buffer[6000];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(c.fits, getConfigString(kName, buffer, c.capacity));
        EXPECT_STREQ(c.expected, buffer);
        if (c.capacity < 6000) {
            EXPECT_EQ('#', buffer[c.capacity]) << "written past the capacity";
        }
    }

    char untouched[2] = {'#', '#'};
    EXPECT_FALSE(getConfigString(kName, untouched, 0));
    EXPECT_EQ('#', untouched[0]);

    // An absent value is the empty text, which fits.
    char absent[8] = "xxxxxxx";
    EXPECT_TRUE(getConfigString(kAbsent, absent, sizeof absent));
    EXPECT_STREQ("", absent);
}

TEST_F(ConfigStoreTest, LookupsNeverAddEntries)
{
    setConfigString(kName, "x");
    char narrow[8];
    wchar_t wide[8];
    EXPECT_TRUE(getConfigString(kAbsent, narrow, sizeof narrow));
    getConfigInt(kAbsent);
    dupConfigString(kAbsent);
    EXPECT_TRUE(getConfigWString(kAbsent, wide, 8));
    EXPECT_TRUE(getLocalizedText(kAbsent, wide, 8));
    EXPECT_EQ(1u, configStore().narrow.size());
    EXPECT_TRUE(configStore().wide.empty());
}

TEST_F(ConfigStoreTest, LaterValueReplacesEarlierOneAndTextEndsAtNul)
{
    setConfigString(kName, "first");
    setConfigString(kName, "second");
    EXPECT_EQ("second", dupConfigString(kName));
    setConfigString(kName, std::string("cut\0here", 8));
    EXPECT_EQ("cut", dupConfigString(kName));
    EXPECT_EQ("", dupConfigString(kAbsent));

    setConfigWideString(20017, L"one");
    setConfigWideString(20017, L"two");
    wchar_t wide[16];
    EXPECT_TRUE(getLocalizedText(20017, wide, 16));
    EXPECT_EQ(std::wstring(L"two"), wide);
}

TEST_F(ConfigStoreTest, ParseConfigIntFollowsTheStrtolRules)
{
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        {"", 0},
        {"abc", 0},
        {" 12a", 12},
        {"\t\n 7", 7},
        {"500", 500},
        {"007", 7},
        {"+5", 5},
        {"-7", -7},
        {"- 5", 0},
        {"--5", 0},
        {"0x10", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"99999999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"-99999999999999999999999", INT_MIN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value, parseConfigInt(c.text)) << '"' << c.text << '"';
    }
}

TEST_F(ConfigStoreTest, GetConfigIntReadsTheStoredText)
{
    setConfigString(107, "4");
    setConfigString(10109, " 12a");
    setConfigString(10110, "");
    setConfigString(10111, "x1");
    setConfigString(10113, "-2147483649");
    // The whole text counts, however long: not the first 5999 of its 7000 digits.
    setConfigString(10114, std::string(6999, '0') + "7");
    EXPECT_EQ(4, getConfigInt(107));
    EXPECT_EQ(12, getConfigInt(10109));
    EXPECT_EQ(0, getConfigInt(10110));
    EXPECT_EQ(0, getConfigInt(10111));
    EXPECT_EQ(INT_MIN, getConfigInt(10113));
    EXPECT_EQ(7, getConfigInt(10114));
    EXPECT_EQ(0, getConfigInt(kAbsent));
}

TEST_F(ConfigStoreTest, WideAccessorsWidenByteByByteAndCutAndAnswerLikeTheNarrowOne)
{
    setConfigString(1000, "Error");
    setConfigString(1001, "caf\xe9\x80\xff");
    setConfigWideString(20017, L"Dienst \u00fcber \u4e2d");

    struct Case {
        bool (*accessor)(int32_t, wchar_t*, int);
        int32_t id;
        int capacity;
        bool fits;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {getConfigWString, 1000, 6000, true, L"Error"},
        {getConfigWString, 1000, 6, true, L"Error"}, // exact fit
        {getConfigWString, 1000, 5, false, L"Erro"}, // one over
        {getConfigWString, 1000, 1, false, L""},
        {getConfigWString, 1001, 16, true, L"caf\u00e9\u0080\u00ff"},
        {getConfigWString, kAbsent, 16, true, L""},
        {getLocalizedText, 20017, 6000, true, L"Dienst \u00fcber \u4e2d"},
        {getLocalizedText, 20017, 14, true, L"Dienst \u00fcber \u4e2d"}, // exact fit
        {getLocalizedText, 20017, 13, false, L"Dienst \u00fcber "},      // one over
        {getLocalizedText, 20017, 10, false, L"Dienst \u00fcb"},
        {getLocalizedText, 20017, 1, false, L""},
        {getLocalizedText, kAbsent, 16, true, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " capacity " << c.capacity);
        wchar_t buffer[6000];
        for (wchar_t& w : buffer) w = L'#';
        EXPECT_EQ(c.fits, c.accessor(c.id, buffer, c.capacity));
        EXPECT_EQ(std::wstring(c.expected), buffer);
        if (c.capacity < 6000) {
            EXPECT_EQ(L'#', buffer[c.capacity]) << "written past the capacity";
        }
    }
}
