// The user's locale: the table from Windows language identifiers to locale codes, the
// fall-back to the primary language, and the split into language and country.
#include "config/user_locale.h"

#include <gtest/gtest.h>

#include <string>

TEST(UserLocale, TableHasAllRowsInAscendingOrderOfUniqueIdentifiers)
{
    ASSERT_EQ(215u, localeTableSize());
    for (size_t i = 1; i < localeTableSize(); ++i) {
        EXPECT_LT(localeTableId(i - 1), localeTableId(i)) << "row " << i;
    }
    // Every row is found by its own identifier.
    for (size_t i = 0; i < localeTableSize(); ++i) {
        const std::string code = localeCodeFor(localeTableId(i));
        EXPECT_TRUE(code.size() == 2 || code.size() == 5 || code.size() == 8)
            << "identifier 0x" << std::hex << localeTableId(i) << " gives " << code;
    }
}

TEST(UserLocale, CodeOfALanguageIdentifier)
{
    struct Case {
        uint16_t id;
        const char* code;
    };
    const Case cases[] = {
        {0x0407, "de_DE"},
        {0x0807, "de_CH"},
        {0x0C0A, "es_ES"},
        {0x0409, "en_US"},
        {0x0009, "en"},
        // Codes that are not language plus country.
        {0x0814, "no_NO_NY"},
        {0x2409, "en"},
        {0x0431, "ts"},
        {0x043D, "yi"},
        {0x0812, "ko_KR"},
        {0x041A, "hr_HR"},
        {0x0C1A, "sr_CS"},
        {0x000D, "iw"},
        {0x0021, "in"},
        {0x500A, "es_PR"},
        // Not in the table: the primary language decides.
        {0x4009, "en"},
        {0x540A, "es"},
        {0x101A, "sr"},
        {0x0828, "en"},
        // Neither the identifier nor its primary language is known.
        {0x0028, "en"},
        {0x0000, "en"},
        {0xFFFF, "en"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.code, localeCodeFor(c.id)) << "identifier 0x" << std::hex << c.id;
    }
}

TEST(UserLocale, SplitKeepsTheCountryOnlyOfAFiveCharacterCode)
{
    struct Case {
        const char* code;
        const char* language;
        bool hasCountry;
        const char* country;
    };
    const Case cases[] = {
        {"de_DE", "de", true, "DE"},
        {"en", "en", false, ""},
        {"no_NO_NY", "no", false, ""},
        {"pt_BR", "pt", true, "BR"},
        {"es", "es", false, ""},
    };
    // In this order, so that a code without country follows one with a country.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        splitLocale(c.code);
        EXPECT_STREQ(c.language, localeLanguage);
        EXPECT_EQ(c.hasCountry, hasLocaleCountry);
        EXPECT_STREQ(c.country, localeCountry);
    }
}
