// The service command line: the tail behind the program name, and the reading of a
// service command with its options from that tail.
#include "launcher/service_command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
        bool replace = false;
        const char* start = nullptr;  // "/start=": the value, null when not given
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
        // "/replace" too, in any order with "non-interactive"; after the name it is part of it.
        {"/install /replace Svc", true, "install", true, true, "Svc", true},
        {"-install-auto non-interactive /replace S v", true, "install-auto", false, true, "S v", true},
        {"/install /replace non-interactive", true, "install", false, false, "", true},
        {"/install Svc /replace", true, "install", true, true, "Svc /replace", false},
        {"/install replace Svc", true, "install", true, true, "replace Svc", false},
        // "/start=" takes the text up to the next blank, before the name, with the others.
        {"/configure /start=delayed", true, "configure", true, false, "", false, "delayed"},
        {"/configure non-interactive /start=demand Svc", true, "configure", false, true, "Svc", false, "demand"},
        {"/configure /start= Svc", true, "configure", true, true, "Svc", false, ""},
        {"/configure Svc /start=auto", true, "configure", true, true, "Svc /start=auto", false, nullptr},
        {"/configure /start=auto /start=disabled", true, "configure", true, false, "", false, "disabled"},
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
        EXPECT_EQ(c.replace, parsed.replace);
        EXPECT_EQ(c.start != nullptr, parsed.startGiven);
        EXPECT_EQ(c.start != nullptr ? c.start : "", parsed.start);
    }
    EXPECT_FALSE(parseServiceCommandLine(nullptr).hasCommandPrefix);
    for (const char* word : {"install", "install-and-start", "install-auto", "install-demand"}) {
        EXPECT_TRUE(isInstallCommand(word)) << word;
    }
    for (const char* word : {"uninstall", "start", "stop", "restart", "status", "INSTALL", ""}) {
        EXPECT_FALSE(isInstallCommand(word)) << word;
    }
}
