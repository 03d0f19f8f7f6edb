// The environment record: its exact text for settings (launchers keep it for years, so the
// form may not drift), the round trip of hostile names and values, the refusal of every
// text that is not a whole record, and what each setting makes of a variable.
#include "model/environment.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using environmentmodel::Operation;
using environmentmodel::Setting;
using environmentmodel::Variable;

std::string shown(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[12];
            std::snprintf(hex, sizeof hex, "<%04X>", static_cast<unsigned>(c));
            out += hex;
        }
    }
    return out;
}

bool same(const std::vector<Setting>& a, const std::vector<Setting>& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].operation != b[i].operation || a[i].name != b[i].name || a[i].value != b[i].value) {
            return false;
        }
    }
    return true;
}

TEST(EnvironmentRecord, SettingsGiveTheirTextAndComeBack)
{
    const std::u16string longest(environmentmodel::kLongestValue, u'x');
    const struct {
        const char* label;
        std::vector<Setting> settings;
        std::u16string record;  // empty: not compared (too long to write out)
    } cases[] = {
        {"none", {}, u""},
        {"the four operations in order",
         {{Operation::set, u"APP_MODE", u"production"},
          {Operation::prepend, u"PATH", u"C:\\app\\native"},
          {Operation::append, u"APP_PLUGINS", u"${launcher:sys.launcherDirectory}\\plugins"},
          {Operation::remove, u"JAVA_TOOL_OPTIONS", u""}},
         u"sAPP_MODE=production\npPATH=C:\\\\app\\\\native\n"
         u"aAPP_PLUGINS=${launcher:sys.launcherDirectory}\\\\plugins\nrJAVA_TOOL_OPTIONS=\n"},
        {"an empty value", {{Operation::set, u"EMPTY", u""}}, u"sEMPTY=\n"},
        {"'=' in a value", {{Operation::set, u"OPTS", u"-Da=b==c="}}, u"sOPTS=-Da=b==c=\n"},
        {"line feeds and a backslash before n",
         {{Operation::set, u"TEXT", u"one\ntwo\\n\n"}},
         u"sTEXT=one\\ntwo\\\\n\\n\n"},
        {"a trailing backslash", {{Operation::append, u"DIR", u"C:\\"}}, u"aDIR=C:\\\\\n"},
        {"a name with a backslash and a line feed",
         {{Operation::set, u"a\\b\nc", u"v"}},
         u"sa\\\\b\\nc=v\n"},
        {"carriage returns, tabs and controls stay", {{Operation::set, u"C", u"\r\t\x01\x7F"}}, u"sC=\r\t\x01\x7F\n"},
        {"letters of other scripts and a surrogate pair",
         {{Operation::set, u"\u00C9T\u00C9", u"\u65E5\u672C \U0001F600 \u00E9"}},
         u"s\u00C9T\u00C9=\u65E5\u672C \U0001F600 \u00E9\n"},
        {"a lone surrogate", {{Operation::set, u"S", std::u16string(1, char16_t(0xD800))}},
         u"sS=" + std::u16string(1, char16_t(0xD800)) + u"\n"},
        {"the same name twice", {{Operation::set, u"Path", u"a"}, {Operation::append, u"PATH", u"b"}},
         u"sPath=a\naPATH=b\n"},
        {"the longest value", {{Operation::set, u"LONG", longest}}, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::u16string record = environmentmodel::encodeSettings(c.settings);
        if (!c.record.empty() || c.settings.empty()) {
            EXPECT_EQ(shown(c.record), shown(record));
        }
        std::vector<Setting> decoded = {{Operation::set, u"left over", u""}};
        std::string reason;
        ASSERT_TRUE(environmentmodel::decodeSettings(record, &decoded, &reason)) << reason;
        EXPECT_TRUE(same(decoded, c.settings));
    }
}

TEST(EnvironmentRecord, AnythingButAWholeRecordIsRefused)
{
    const std::u16string tooLong = u"sX=" + std::u16string(environmentmodel::kLongestValue + 1, u'x') + u"\n";
    const struct {
        std::u16string record;
        std::string reason;
    } cases[] = {
        {u"sA=b", "entry 1 ends inside an entry"},
        {u"sA=b\nsC", "entry 2 ends inside an entry"},
        {u"sA", "entry 1 ends inside an entry"},
        {u"sA\n", "entry 1 has no '=' after its name"},
        {u"xA=b\n", "entry 1 has no operation the launcher knows"},
        {u"SA=b\n", "entry 1 has no operation the launcher knows"},
        {u"\n", "entry 1 has no operation the launcher knows"},
        {u"sA=b\n\n", "entry 2 has no operation the launcher knows"},
        {u"s=b\n", "entry 1 name is empty"},
        {u"sA=b\\t\n", "entry 1 has an unknown escape at character 4"},
        {u"sA=b\\", "entry 1 has an unknown escape at character 4"},
        {u"sA\\=b\n", "entry 1 has an unknown escape at character 2"},
        {u"rA=b\n", "entry 1 removes a variable but has a value"},
        {std::u16string(u"sA=b\0c\n", 7), "entry 1 value holds a NUL character"},
        {std::u16string(u"sA\0=b\n", 6), "entry 1 name holds a NUL character"},
        {tooLong, "entry 1 value has 32768 characters; a variable holds at most 32767"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(shown(c.record).substr(0, 40));
        std::vector<Setting> settings = {{Operation::set, u"kept", u"as it was"}};
        std::string reason;
        EXPECT_FALSE(environmentmodel::decodeSettings(c.record, &settings, &reason));
        EXPECT_EQ(c.reason, reason);
        // Nothing of a refused record is handed out.
        ASSERT_EQ(1u, settings.size());
        EXPECT_EQ(u"kept", settings[0].name);
    }
}

TEST(EnvironmentRecord, NamesAndValuesTheSystemRefuses)
{
    const struct {
        std::u16string name;
        std::string problem;
    } names[] = {
        {u"PATH", ""},
        {u"=C:", "holds '='"},
        {u"A=B", "holds '='"},
        {u"", "is empty"},
        {std::u16string(u"A\0B", 3), "holds a NUL character"},
        {u"\u00C9t\u00E9 \\n", ""},
    };
    for (const auto& c : names) {
        EXPECT_EQ(c.problem, environmentmodel::nameProblem(c.name)) << shown(c.name);
    }
    EXPECT_EQ("", environmentmodel::valueProblem(std::u16string(environmentmodel::kLongestValue, u'v')));
    EXPECT_EQ("has 32768 characters; a variable holds at most 32767",
              environmentmodel::valueProblem(std::u16string(environmentmodel::kLongestValue + 1, u'v')));
    EXPECT_EQ("holds a NUL character", environmentmodel::valueProblem(std::u16string(u"a\0", 2)));
}

TEST(EnvironmentRecord, WhatEachSettingMakesOfAVariable)
{
    const Variable missing;
    const Variable empty{true, u""};
    const Variable path{true, u"C:\\Windows;C:\\bin"};
    const Variable list{true, u"a;b;"};
    const Variable listAfterSeparator{true, u";a"};
    const Variable one{true, u"a"};
    const Variable oneAndSeparator{true, u"a;"};
    const struct {
        const char* label;
        Operation operation;
        const Variable* current;
        std::u16string value;
        bool present;  // after the setting
        std::u16string result;
    } cases[] = {
        {"set over a value", Operation::set, &path, u"x", true, u"x"},
        {"set a missing one", Operation::set, &missing, u"x", true, u"x"},
        {"set empty removes", Operation::set, &path, u"", false, u""},
        {"prepend", Operation::prepend, &path, u"C:\\app", true, u"C:\\app;C:\\Windows;C:\\bin"},
        {"append", Operation::append, &path, u"C:\\app", true, u"C:\\Windows;C:\\bin;C:\\app"},
        {"prepend to a missing one", Operation::prepend, &missing, u"C:\\app", true, u"C:\\app"},
        {"append to a missing one", Operation::append, &missing, u"C:\\app", true, u"C:\\app"},
        {"prepend to an empty one", Operation::prepend, &empty, u"C:\\app", true, u"C:\\app"},
        {"append to an empty one", Operation::append, &empty, u"C:\\app", true, u"C:\\app"},
        {"append to a list that ends in a separator", Operation::append, &list, u"c", true, u"a;b;c"},
        {"prepend a value that ends in one", Operation::prepend, &one, u"x;", true, u"x;a"},
        {"prepend to a list that begins with one", Operation::prepend, &listAfterSeparator, u"x", true, u"x;a"},
        {"separators on both sides of the joint", Operation::append, &oneAndSeparator, u";b", true, u"a;b"},
        {"append nothing", Operation::append, &path, u"", true, path.value},
        {"prepend nothing to a missing one", Operation::prepend, &missing, u"", false, u""},
        {"remove", Operation::remove, &path, u"", false, u""},
        {"remove a missing one", Operation::remove, &missing, u"", false, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Variable result = environmentmodel::applySetting(c.operation, *c.current, c.value);
        EXPECT_EQ(c.present, result.present);
        EXPECT_EQ(shown(c.result), shown(result.value));
    }
}

} // namespace
