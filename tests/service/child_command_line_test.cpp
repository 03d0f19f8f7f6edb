// The pure parts of the service: the child's command line, read back with the launcher's
// own splitter, and the dependency list of the service entry.
#include "format/command_line.h"
#include "service/child_process.h"
#include "service/service_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> splitBack(const wchar_t* line)
{
    ArgumentList arguments;
    splitCommandLine(line, arguments);
    return arguments.items;
}

TEST(ChildCommandLine, EveryArgumentReachesTheChildUnchangedAndInOrder)
{
    struct Case {
        std::wstring program;
        std::wstring name;
        std::vector<std::wstring> own;
        std::vector<std::wstring> parameters;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"C:\\apps\\svc.exe", L"MySvc", {}, {L"-x"}, L"C:\\apps\\svc.exe MySvc -x __dpk_restart"},
        {L"C:\\Program Files\\app\\svc.exe", L"My Service", {L"own arg", L"b"}, {L"p"},
         L"\"C:\\Program Files\\app\\svc.exe\" \"My Service\" \"own arg\" b p __dpk_restart"},
        // Without quotes the splitter would read an apostrophe or a double quote as the
        // start of a quoted argument running to the end, swallowing the marker; an empty
        // argument would vanish.
        {L"svc.exe", L"S", {}, {L"O'Brien", L"say\"hi", L""}, L"svc.exe S \"O'Brien\" 'say\"hi' \"\" __dpk_restart"},
    };
    for (const Case& c : cases) {
        wchar_t line[kChildCommandLineCapacity];
        ASSERT_TRUE(buildChildCommandLine(line, kChildCommandLineCapacity, c.program, c.name, c.own, c.parameters));
        EXPECT_EQ(c.expected, std::wstring(line));
        std::vector<std::wstring> expected = {c.program, c.name};
        expected.insert(expected.end(), c.own.begin(), c.own.end());
        expected.insert(expected.end(), c.parameters.begin(), c.parameters.end());
        expected.push_back(L"__dpk_restart");
        EXPECT_EQ(expected, splitBack(line));
    }
}

TEST(ChildCommandLine, RefusesWhatDoesNotFitOrCannotBePassedOn)
{
    // "p.exe n " and " __dpk_restart" around one parameter of `length` characters.
    const size_t frame = std::wstring(L"p.exe n  __dpk_restart").size();
    for (size_t length : {kChildCommandLineCapacity - 1 - frame, kChildCommandLineCapacity - frame}) {
        std::vector<wchar_t> line(kChildCommandLineCapacity + 8, L'#');
        bool fits = length + frame < kChildCommandLineCapacity;
        EXPECT_EQ(fits, buildChildCommandLine(line.data(), kChildCommandLineCapacity, L"p.exe", L"n", {},
                                              {std::wstring(length, L'x')}))
            << length;
        // Never a character past the capacity, whatever the outcome.
        for (size_t i = kChildCommandLineCapacity; i < line.size(); ++i) EXPECT_EQ(L'#', line[i]) << i;
    }
    wchar_t line[kChildCommandLineCapacity];
    EXPECT_FALSE(buildChildCommandLine(line, kChildCommandLineCapacity, L"p.exe", L"n", {}, {L"both ' and \""}));
}

TEST(DependencyList, EmptyPiecesAreDroppedAndBlanksKept)
{
    using namespace std::string_literals;
    EXPECT_EQ("Tcpip\0Afd\0\0"s, dependencyListFrom(",Tcpip,,Afd,"));
    EXPECT_EQ("a b\0\0"s, dependencyListFrom("a b"));
    EXPECT_EQ(""s, dependencyListFrom(""));
    EXPECT_EQ(""s, dependencyListFrom(",,,"));
    // The longest configuration text: the list is two bytes longer than the text.
    std::string longest(5999, 'd');
    longest[2999] = ',';
    std::string list = dependencyListFrom(longest.c_str());
    EXPECT_EQ(6001u, list.size());
    EXPECT_EQ(std::string(2999, 'd') + '\0' + std::string(2999, 'd') + '\0' + '\0', list);
}

} // namespace
