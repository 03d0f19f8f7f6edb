// The message texts: the built-in languages, each text replaced by its key, the version
// range in the no-runtime texts, and the description's translations as locale groups.
#include "packager_test_support.h"

#include "format/record_ids.h"
#include "packaging/descriptor/build.h"
#include "packaging/descriptor/text.h"
#include "packaging/descriptor/writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace packagertest;

TEST(Messages, LanguagesAreBuiltInAndEachTextCanBeOverridden)
{
    Built english = build(kMinimal);
    Built german = build(std::string(kMinimal) + "[messages]\nlanguage = \"de\"\n");
    Built french = build(std::string(kMinimal) + "[messages]\nlanguage = \"fr\"\ncaption = \"Attention\"\n");
    ASSERT_TRUE(english.ok && german.ok && french.ok);
    for (int32_t id = 1000; id <= 1020; ++id) {
        std::string en = value(english.result.block, id);
        std::string de = value(german.result.block, id);
        std::string fr = value(french.result.block, id);
        EXPECT_NE(en, de) << id;
        EXPECT_NE(en, fr) << id;
        // The argument goes where the English text has it, in every language.
        EXPECT_EQ(en.find("{0}") != std::string::npos, de.find("{0}") != std::string::npos) << id;
        EXPECT_EQ(en.find("{0}") != std::string::npos, fr.find("{0}") != std::string::npos) << id;
    }
    EXPECT_EQ(value(german.result.block, 1000), "Fehler");
    EXPECT_EQ(value(french.result.block, 1000), "Attention");
    // Narrow texts are ISO-8859-1 bytes, which the launcher widens one to one.
    EXPECT_NE(value(german.result.block, 1007).find("l\xE4uft"), std::string::npos);
    EXPECT_NE(value(french.result.block, 1011).find("M\xE9thode"), std::string::npos);
}

// The no-runtime texts (1001, 1016) end with the version range, in the language of the
// other texts; the default range, or a text of the descriptor's own, leaves them as they
// were. `inspect` gives back a descriptor without message keys for them.
TEST(Messages, NoRuntimeTextsNameTheVersionRange)
{
    const struct {
        std::string lines;  // after kMinimal
        std::string language;
        std::string sentence;  // ISO-8859-1; empty: the built-in texts unchanged
    } cases[] = {
        {"[java]\nmin_version = \"11\"\n", "en", "The application needs Java 11 or later."},
        {"[java]\nmin_version = \"11\"\nmax_version = \"17\"\n[messages]\nlanguage = \"de\"\n", "de",
         "Die Anwendung ben\xF6tigt Java 11 bis 17."},
        {"[java]\nmin_version = \"\"\nmax_version = \"17\"\n[messages]\nlanguage = \"fr\"\n", "fr",
         "L'application n\xE9" "cessite Java 17 ou plus ancien."},
        {"", "en", ""},
        {"[java]\nmin_version = \"1.8\"\n", "en", ""},
    };
    for (const auto& c : cases) {
        Built plain = build(std::string(kMinimal) + (c.language == "en" ? "" : "[messages]\nlanguage = \"" + c.language + "\"\n"));
        Built ranged = build(std::string(kMinimal) + c.lines);
        ASSERT_TRUE(plain.ok && ranged.ok) << c.lines;
        for (int32_t id : {1001, 1016}) {
            std::string expected = value(plain.result.block, id) + (c.sentence.empty() ? "" : "\n" + c.sentence);
            EXPECT_EQ(value(ranged.result.block, id), expected) << c.lines << id;
        }
        packager::Description description;
        std::pair<Bytes, Bytes> both = roundTrip(ranged.result.block, &description);
        EXPECT_EQ(both.first, both.second) << c.lines;
        EXPECT_EQ(description.descriptor.find("no_jvm"), std::string::npos) << description.descriptor;
        EXPECT_EQ(description.descriptor.find("[records]"), std::string::npos) << description.descriptor;
    }
    // A text of the descriptor's own stays as it is given.
    Built own = build(std::string(kMinimal) + "[java]\nmin_version = \"11\"\n[messages]\nno_jvm_found = \"Install Java.\"\n");
    ASSERT_TRUE(own.ok);
    EXPECT_EQ(value(own.result.block, 1016), "Install Java.");
}


TEST(LocaleGroups, TranslationsOfTheDescriptionComeInPrefixOrder)
{
    Built built = build(std::string(kMinimal) + R"toml([service.description_translations]
de_CH = "Schweiz"
"" = "any"
de = "Deutsch"
fr = "Fran\u00e7ais"
)toml" + "[service]\n");
    // [service] twice is a TOML error; the translations table must follow [service] itself.
    ASSERT_FALSE(built.ok);
    EXPECT_NE(built.errors.front().message.find("cannot redefine existing table 'service'"), std::string::npos)
        << built.errors.front().message;
    built = build(R"toml([service]
name = "Demo"
description = "Writes a line"
[service.description_translations]
de_CH = "Schweiz"
"" = "any"
de = "Deutsch"
fr = "Fran\u00e7ais"
[application]
main_class = "a.B"
class_path = [ { archive = "a.jar" } ]
)toml");
    ASSERT_TRUE(built.ok) << packager::formatDiagnostic(built.errors.front());
    const ConfigBlock& block = built.result.block;
    ASSERT_EQ(block.wide.size(), 1u);
    EXPECT_EQ(block.wide[0].value, u"Writes a line");
    std::vector<std::string> prefixes;
    for (const blockformat::LocaleGroup& group : block.localeGroups) {
        prefixes.push_back(group.prefix);
        ASSERT_EQ(group.records.size(), 1u);
        EXPECT_EQ(group.records[0].id, 20017);
    }
    // The empty prefix first, a language before its countries: the later match wins.
    EXPECT_EQ(prefixes, (std::vector<std::string>{"", "de", "de_CH", "fr"}));
    EXPECT_EQ(block.localeGroups[3].records[0].value, u"Fran\u00e7ais");
}

} // namespace
