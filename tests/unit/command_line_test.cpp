// The command line: the one splitter, the tail behind the program name, and the reading
// of a service command with its options from that tail.
#include "launcher/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> split(const wchar_t* text)
{
    ArgumentList list;
    splitCommandLine(text, list);
    return list.items;
}

} // namespace

TEST(CommandLine, SplitsOnBlanksAndGroupsWithEitherQuote)
{
    using Args = std::vector<std::wstring>;
    struct Case {
        const wchar_t* text;
        Args expected;
    };
    const Case cases[] = {
        {L"a \"b c\" d", {L"a", L"b c", L"d"}},
        {L"-Dx=\"a b\"", {L"-Dx=a b"}},
        {L"\"a b\"c", {L"a b", L"c"}},
        {L"''", {L""}},
        {L"\"\"", {L""}},
        {L"a  b", {L"a", L"b"}},
        {L"  a   b  ", {L"a", L"b"}},
        // No escape character: the backslash stays, the unclosed quote runs to the end.
        {L"a\\\"b", {L"a\\b"}},
        {L"\"a b", {L"a b"}},
        {L"a\"", {L"a"}},
        {L"C:\\dir\\ x", {L"C:\\dir\\", L"x"}},
        // The other kind of quote is an ordinary character inside a quoted argument.
        {L"\"it's\" 'say \"hi\"'", {L"it's", L"say \"hi\""}},
        // Whichever quote comes first decides.
        {L"a'b c'd e", {L"ab c", L"d", L"e"}},
        {L"x\"y 'z\" w", {L"xy 'z", L"w"}},
        // One blank after a closing quote is skipped, further ones separate nothing.
        {L"\"a\"  b", {L"a", L"b"}},
        // Only U+0020 separates; tabs are ordinary characters.
        {L"a\tb c", {L"a\tb", L"c"}},
        {L"", {}},
        {L"   ", {}},
        {L"\"C:\\Program Files\\app.exe\" /run -Dx=1 __dpk_restart",
         {L"C:\\Program Files\\app.exe", L"/run", L"-Dx=1", L"__dpk_restart"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, split(c.text)) << "text: " << testing::PrintToString(std::wstring(c.text));
    }
    EXPECT_TRUE(split(nullptr).empty());
}

TEST(CommandLine, SplitAppendsBehindExistingArgumentsAndLeavesTheTextAlone)
{
    wchar_t text[] = L"b \"c d\"";
    const std::wstring before = text;
    ArgumentList list;
    list.append(L"a");
    splitCommandLine(text, list);
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b", L"c d"}), list.items);
    EXPECT_EQ(before, text);

    list.removeFirst();
    list.removeLast();
    EXPECT_EQ((std::vector<std::wstring>{L"b"}), list.items);
}

TEST(CommandLine, TailStartsBehindTheProgramNameAndItsBlanks)
{
    struct Case {
        const char* commandLine;
        const char* tail;
    };
    const Case cases[] = {
        {"launcher.exe /install My Service", "/install My Service"},
        {"\"C:\\Program Files\\launcher.exe\" /run", "/run"},
        {"\"C:\\Program Files\\launcher.exe\"", ""},
        {"launcher.exe", ""},
        {"launcher.exe \t  -status", "-status"},
        {"launcher.exe  a  b ", "a  b "},
        // A quote in the middle of the name still protects its blanks.
        {"C:\\my\" dir\"\\launcher.exe start", "start"},
        // Bytes above 127 are no separators (they are no negative chars either).
        {"C:\\caf\xe9\\launcher.exe\xa0 stop", "stop"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.tail, commandLineTail(c.commandLine)) << c.commandLine;
    }
    EXPECT_STREQ("", commandLineTail(nullptr));
}

TEST(CommandLine, ServiceCommandPrefixesWordsAndOptions)
{
    struct Case {
        const char* tail;
        bool hasPrefix;
        const char* word;
        bool interactive;
        bool nameGiven;
        const char* name;
    };
    const Case cases[] = {
        // No '/' or '-': no command, whatever follows.
        {"install", false, "", true, false, ""},
        {"", false, "", true, false, ""},
        // The four prefixes name the same command; a second '/' is part of the word.
        {"/install", true, "install", true, false, ""},
        {"-install", true, "install", true, false, ""},
        {"--install", true, "install", true, false, ""},
        {"/-install", true, "install", true, false, ""},
        {"//install", true, "/install", true, false, ""},
        {"---install", true, "-install", true, false, ""},
        {"-/install", true, "/install", true, false, ""},
        {"/", true, "", true, false, ""},
        // The name is everything behind the first blank, blanks included.
        {"/install My Service", true, "install", true, true, "My Service"},
        {"/install x", true, "install", true, true, "x"},
        {"/install  x ", true, "install", true, true, " x "},
        {"/install ", true, "install", true, false, ""},
        // "non-interactive" counts only before the name.
        {"/install non-interactive MyService", true, "install", false, true, "MyService"},
        {"/install MyService non-interactive", true, "install", true, true, "MyService non-interactive"},
        {"/install non-interactive", true, "install", false, false, ""},
        {"/install non-interactive ", true, "install", false, false, ""},
        {"/install non-interactive non-interactive S v c", true, "install", false, true, "S v c"},
        {"/install non-interactiveX", true, "install", false, false, ""},
        {"/install non-interactiveX Svc", true, "install", false, true, "Svc"},
        {"/install non-interactive  Svc", true, "install", false, true, " Svc"},
        {"/install non-interactiv Svc", true, "install", true, true, "non-interactiv Svc"},
        {"--uninstall Other", true, "uninstall", true, true, "Other"},
        // Case is kept; matching the word is the caller's business.
        {"/STATUS", true, "STATUS", true, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        ServiceCommandLine parsed = parseServiceCommandLine(c.tail);
        EXPECT_EQ(c.hasPrefix, parsed.hasCommandPrefix);
        EXPECT_EQ(c.word, parsed.word);
        EXPECT_EQ(c.interactive, parsed.interactive);
        EXPECT_EQ(c.nameGiven, parsed.nameGiven);
        EXPECT_EQ(c.name, parsed.name);
    }
    EXPECT_FALSE(parseServiceCommandLine(nullptr).hasCommandPrefix);
}
