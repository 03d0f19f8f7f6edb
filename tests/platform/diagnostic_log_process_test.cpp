// The diagnostic log as a user finds it after a run: where it is, its header, its lines.
#include "support/access_list.h"
#include "support/test_launcher.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

// "/run" ends at once in this build; the service dispatcher of a process that the service
// manager did not start takes seconds to give up under Wine.
const std::vector<std::wstring> kQuickRun = {L"/run"};

TEST(DiagnosticLog, HeaderEmptySecondLineAndCrLfLines)
{
    ScratchDirectory dir;
    std::wstring exe = packageLauncher(dir, serviceBlock());
    ASSERT_FALSE(exe.empty());
    LauncherRun run = runLauncher(exe, kQuickRun, dir);
    EXPECT_EQ(dir.file(L"dpk_nlog_2"), run.logPath);
    std::vector<std::string> lines = linesOf(run.log);
    ASSERT_GE(lines.size(), 3u);
    std::regex header("Started executable (.*) at [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] "
                      "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, header)) << lines[0];
    EXPECT_EQ(toUtf8(exe), match[1].str());
    EXPECT_EQ("", lines[1]);
    // Text mode: every line ends with CR LF, and nothing else does.
    for (size_t i = 0; i < run.log.size(); ++i) {
        if (run.log[i] == '\n') {
            ASSERT_GT(i, 0u);
            EXPECT_EQ('\r', run.log[i - 1]) << "at " << i;
        }
    }
    EXPECT_EQ("\r\n", run.log.substr(run.log.size() - 2));
}

TEST(DiagnosticLog, LinesOfStartUp)
{
    ScratchDirectory dir;
    std::wstring exe = packageLauncher(dir, serviceBlock());
    LauncherRun run = runLauncher(exe, kQuickRun, dir);
    for (const char* line : {"language/country is en_US", "working directory unchanged", "running service"}) {
        EXPECT_TRUE(containsLine(run.log, line)) << line << "\n" << run.log;
    }
    EXPECT_TRUE(std::regex_search(run.log, std::regex("\r\nnumber of sections: [0-9]+\r\n"
                                                      "size of optional headers: 240\r\n"
                                                      "resSectionTableStart: [0-9]+\r\n"
                                                      "rawDataSize: [0-9]+, rawDataOffset: [0-9]+\r\n")))
        << run.log;
    EXPECT_TRUE(containsLine(run.log, "command line2 \"" + toUtf8(exe) + "\" /run")) << run.log;
}

TEST(DiagnosticLog, OnlyTheExactWordYesTurnsItOn)
{
    struct Case {
        const wchar_t* name;
        const wchar_t* value;
        bool logs;
    };
    const Case cases[] = {
        {L"QUILL_LOG", L"yes", true},      {L"DEPLOYKIT_LOG", L"yes", true}, {L"QUILL_LOG", L"YES", false},
        {L"QUILL_LOG", L"yes ", false},    {L"QUILL_LOG", L"Yes", false},    {L"DEPLOYKIT_LOG", L"1", false},
        {L"QUILL_LOG", L"", false},
    };
    for (const Case& c : cases) {
        ScratchDirectory dir;
        std::wstring exe = packageLauncher(dir, serviceBlock());
        ProcessOptions options;
        options.setEnv[c.name] = c.value;
        LauncherRun run = runLauncher(exe, kQuickRun, dir, false, options);
        EXPECT_EQ(c.logs, !run.log.empty()) << toUtf8(c.name) << "=" << toUtf8(c.value);
        EXPECT_EQ(c.logs ? 1u : 0u, listNames(dir.path(), L"dpk_nlog*").size());
    }
}

TEST(DiagnosticLog, EachProcessWritesTheNextFreeNumber)
{
    ScratchDirectory dir;
    std::wstring exe = packageLauncher(dir, serviceBlock());
    runLauncher(exe, kQuickRun, dir);
    runLauncher(exe, kQuickRun, dir);
    writeBytes(dir.file(L"dpk_nlog_4"), {});
    LauncherRun third = runLauncher(exe, kQuickRun, dir);
    EXPECT_EQ(dir.file(L"dpk_nlog_5"), third.logPath);
    std::vector<std::wstring> expected = {L"dpk_nlog_2", L"dpk_nlog_3", L"dpk_nlog_4", L"dpk_nlog_5"};
    EXPECT_EQ(expected, listNames(dir.path(), L"dpk_nlog_*"));
}

// The log goes to TMP, else TEMP, private to the launcher's account; with neither there is
// none, never one in the drive root, and the run goes on as without a log.
TEST(DiagnosticLog, OnlyInTmpOrTempAndPrivate)
{
    struct Case {
        const char* name;
        bool tmpExists;
        bool tempExists;
        const wchar_t* expected;  // the log's directory, nullptr: no log
    };
    const Case cases[] = {
        {"TMP", true, true, L"tmp"},
        {"TEMP when TMP is missing", false, true, L"temp"},
        {"neither", false, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDirectory dir;
        std::wstring exe = packageLauncher(dir, serviceBlock());
        ASSERT_TRUE(!c.tmpExists || CreateDirectoryW(dir.file(L"tmp").c_str(), nullptr));
        ASSERT_TRUE(!c.tempExists || CreateDirectoryW(dir.file(L"temp").c_str(), nullptr));
        const std::vector<std::wstring> rootBefore = listNames(L"C:", L"dpk_nlog*");
        ProcessOptions options;
        options.setEnv[L"TMP"] = dir.file(L"tmp");
        options.setEnv[L"TEMP"] = dir.file(L"temp");
        options.setEnv[L"QUILL_LOG"] = L"yes";
        // A launcher without a class path: the message of its error names the log, if any.
        ProcessResult result = runProcess(commandLineOf(exe, kQuickRun), options);
        EXPECT_EQ(rootBefore, listNames(L"C:", L"dpk_nlog*")) << "a log in the drive root";
        if (c.expected == nullptr) {
            EXPECT_TRUE(listNames(dir.path(), L"dpk_nlog*").empty());
            EXPECT_EQ(std::string::npos, result.err.find("Log:")) << result.err;
            continue;
        }
        const std::wstring log = dir.file(std::wstring(c.expected) + L"\\dpk_nlog_2");
        EXPECT_EQ(0u, readText(log).find("Started executable ")) << toUtf8(log);
        EXPECT_NE(std::string::npos, result.err.find("Log: " + toUtf8(log))) << result.err;
        EXPECT_TRUE(entriesForEverybody(accessListOf(log)).empty()) << accessListOf(log);
    }
}

TEST(DiagnosticLog, WideArgumentsAndErrorLines)
{
    ScratchDirectory dir;
    blockformat::ConfigBlock block = serviceBlock();
    block.set(2001, "dq");  // the flavour letter is read into two bytes: one letter
    std::wstring exe = packageLauncher(dir, block);
    // U+00E9 is printed as its Latin-1 byte; a character the code page lacks becomes "?".
    LauncherRun run = runLauncher(exe, {L"/run", L"caf\u00e9", L"\u0416"}, dir);
    EXPECT_TRUE(containsLine(run.log, "ERROR: config string 2001 truncated (2 2)")) << run.log;
    EXPECT_TRUE(containsLine(run.log, "command line2 \"" + toUtf8(exe) + "\" /run caf\xe9 ?")) << run.log;
}

} // namespace
