// The block format shared by the launcher and the packager, on the build machine: the
// command-line form, the parser (every cut, impossible lengths, the NUL rule), the record
// table, the section walk, the included files' names and the size of a launcher.
#include "format/block_parser.h"
#include "format/block_writer.h"
#include "format/command_line.h"
#include "format/included_files.h"
#include "format/record_ids.h"
#include "format/record_text.h"
#include "support/block_bytes.h"
#include "packaging/example/example_config.h"

#include <gtest/gtest.h>

#include <cstring>

#include <set>
#include <string>
#include <vector>

using namespace blockformat;

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<std::wstring> split(const wchar_t* text)
{
    ArgumentList list;
    splitCommandLine(text, list);
    return list.items;
}

using ByteWriter = BlockBytes;

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
        // The narrow form is the same splitter.
        std::string narrow;
        for (const wchar_t* p = c.text; *p != L'\0'; ++p) narrow += static_cast<char>(*p);
        std::vector<std::string> narrowExpected;
        for (const std::wstring& argument : c.expected) narrowExpected.emplace_back(argument.begin(), argument.end());
        EXPECT_EQ(narrowExpected, splitCommandLine(narrow)) << narrow;
    }
    EXPECT_TRUE(split(nullptr).empty());

    // The split appends behind what the list holds.
    ArgumentList list;
    list.append(L"a");
    splitCommandLine(L"b \"c d\"", list);
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b", L"c d"}), list.items);
    list.removeFirst();
    list.removeLast();
    EXPECT_EQ((std::vector<std::wstring>{L"b"}), list.items);
}

TEST(CommandLine, ArgumentsStartBehindTheProgramAlsoWhenItsPathIsUnquoted)
{
    struct Case {
        const char* commandLine;
        const char* modulePath;
        const char* arguments;
    };
    const char* module = "C:\\Program Files\\Example Ltd\\Heartbeat\\Heartbeat.exe";
    const Case cases[] = {
        // A service entry written without quotes: the whole path is the program.
        {"C:\\Program Files\\Example Ltd\\Heartbeat\\Heartbeat.exe", module, ""},
        {"C:\\Program Files\\Example Ltd\\Heartbeat\\Heartbeat.exe /status", module, "/status"},
        {"c:\\program files\\example ltd\\heartbeat\\HEARTBEAT.EXE  -run a", module, "-run a"},
        // Quoted, or another program name: the first word, as Windows reads it.
        {"\"C:\\Program Files\\Example Ltd\\Heartbeat\\Heartbeat.exe\" /stop", module, "/stop"},
        {"Heartbeat.exe /stop", module, "/stop"},
        {"C:\\Program Files\\Other\\x.exe /stop", module, "Files\\Other\\x.exe /stop"},
        // The module path only as the start of a longer word is no match.
        {"C:\\Program Files\\Example Ltd\\Heartbeat\\Heartbeat.exe.bak /x", module, "Files\\Example Ltd\\Heartbeat\\Heartbeat.exe.bak /x"},
        {"launcher.exe /install", nullptr, "/install"},
        {"launcher.exe /install", "", "/install"},
        {"", module, ""},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.arguments, commandLineArguments(c.commandLine, c.modulePath)) << c.commandLine;
        std::wstring wideLine(c.commandLine, c.commandLine + strlen(c.commandLine));
        std::wstring wideModule = c.modulePath != nullptr ? std::wstring(c.modulePath, c.modulePath + strlen(c.modulePath)) : L"";
        std::wstring wideArguments(c.arguments, c.arguments + strlen(c.arguments));
        EXPECT_EQ(wideArguments, commandLineArguments(wideLine.c_str(), c.modulePath != nullptr ? wideModule.c_str() : nullptr))
            << c.commandLine;
    }
    EXPECT_STREQ("", commandLineArguments(static_cast<const char*>(nullptr), module));
}

TEST(CommandLine, JoinedArgumentsSplitBackUnchangedOrAreRefused)
{
    const std::vector<std::vector<std::string>> lists = {
        {}, {"a"}, {"a", "b"}, {"a b"}, {""}, {"", "x"}, {"-Dq=\"x\""}, {"it's"}, {"a'b", "c\"d"},
        {"\xE9t\xE9 \xE0 Gen\xE8ve"}, {"x", "it's a \"test", "y"},
    };
    for (const std::vector<std::string>& list : lists) {
        std::string text;
        size_t bad = 99;
        if (!joinCommandLine(list, &text, &bad)) {
            EXPECT_EQ("it's a \"test", list.at(bad));
            continue;
        }
        EXPECT_EQ(list, splitCommandLine(text)) << text;
    }
    std::wstring text;
    ASSERT_TRUE(joinCommandLine({L"C:\\Program Files\\a.exe", L"say \"hi\"", L""}, &text, nullptr));
    EXPECT_EQ(L"\"C:\\Program Files\\a.exe\" 'say \"hi\"' \"\"", text);
}

TEST(BlockParser, ReadsBackWhatTheWriterWroteRecordForRecord)
{
    ConfigBlock block = packager::exampleServiceBlock();
    block.localeGroups.push_back({"de", {{cfg::serviceDescription, u"Dienst \u00FC"}}});
    block.localeGroups.push_back({"", {}});
    const Bytes bytes = serializeBlock(block);
    Bytes withTrailer = bytes;
    withTrailer.insert(withTrailer.end(), {1, 2, 3});

    ConfigBlock parsed;
    ParseResult result = parseBlock(withTrailer.data(), withTrailer.size(), &parsed);
    ASSERT_EQ(BlockError::none, result.error);
    EXPECT_EQ(bytes.size(), result.end) << "bytes behind the block are not the block's";
    EXPECT_EQ(bytes, serializeBlock(parsed));
    // The size field is the hint the launcher reads by.
    EXPECT_EQ(static_cast<int64_t>(bytes.size() - kSizeFieldOffset), blockSizeHint(bytes.data(), bytes.size()));
    EXPECT_EQ(-1, blockSizeHint(bytes.data(), kHeaderSize - 1));
}

// Every cut of a realistic block fails with the error of the read that runs short, and
// nothing is handed back for it.
TEST(BlockParser, EveryCutFailsWithTheReadThatRanShort)
{
    ConfigBlock block = packager::exampleServiceBlock();
    block.localeGroups.push_back({"de_CH", {{cfg::serviceDescription, u"Dienst"}}});
    const Bytes bytes = serializeBlock(block);

    // The field each byte belongs to, and the error a cut inside it gives.
    std::vector<BlockError> errorAt;
    auto field = [&](size_t size, BlockError error) { errorAt.insert(errorAt.end(), size, error); };
    field(12, BlockError::readInt);
    field(8, BlockError::readLong);
    field(4, BlockError::readInt);
    for (const NarrowRecord& record : block.narrow) {
        field(8, BlockError::readInt);
        field(record.value.size(), BlockError::readString);
    }
    auto wide = [&](const std::vector<WideRecord>& records) {
        field(4, BlockError::readInt);
        for (const WideRecord& record : records) {
            field(8, BlockError::readInt);
            field(2 * record.value.size(), BlockError::readWString);
        }
    };
    wide(block.wide);
    field(4, BlockError::readInt);
    for (const LocaleGroup& group : block.localeGroups) {
        field(4, BlockError::readInt);
        field(group.prefix.size(), BlockError::readString);
        wide(group.records);
    }
    ASSERT_EQ(bytes.size(), errorAt.size()) << "field map out of step with the writer";

    int failures = 0;
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        ConfigBlock parsed;
        parsed.narrow.push_back({1, "kept"});
        ParseResult result = parseBlock(bytes.data(), cut, &parsed);
        bool right = result.error == errorAt[cut] && result.ranShort && parsed.narrow.size() == 1;
        if (!right && ++failures <= 10) {
            ADD_FAILURE() << "cut at " << cut << ": expected " << blockErrorText(errorAt[cut]) << ", got "
                          << blockErrorText(result.error);
        }
    }
    EXPECT_EQ(0, failures);
}

TEST(BlockParser, ImpossibleLengthsAndCountsFailLikeShortReads)
{
    const int64_t huge = 0x7FFFFFFF;
    auto narrowWithLength = [](int64_t length) {
        return ByteWriter().header().int32(1).int32(101).int32(length).text("abcdefgh").bytes;
    };
    auto groupWith = [](int64_t prefixLength, int64_t recordCount, int64_t wideLength) {
        return ByteWriter().header().int32(0).int32(0).int32(1).int32(prefixLength).text("de").int32(recordCount)
            .int32(20017).int32(wideLength).text("abcd").bytes;
    };
    struct Case {
        const char* what;
        Bytes bytes;
        BlockError error;
        ParseResult::Section section;
        int32_t index;
    };
    const Case cases[] = {
        {"narrow length huge", narrowWithLength(huge), BlockError::readString, ParseResult::narrowRecords, 0},
        {"narrow length -1", narrowWithLength(-1), BlockError::readString, ParseResult::narrowRecords, 0},
        {"narrow count -1", ByteWriter().header().int32(-1).bytes, BlockError::readInt, ParseResult::narrowRecords,
         -1},
        {"narrow count huge", ByteWriter().header().int32(huge).int32(101).int32(1).text("x").bytes,
         BlockError::readInt, ParseResult::narrowRecords, 1},
        {"wide length -1", ByteWriter().header().int32(0).int32(1).int32(20017).int32(-1).bytes,
         BlockError::readWString, ParseResult::wideRecords, 0},
        {"group count -1", ByteWriter().header().int32(0).int32(0).int32(-1).bytes, BlockError::readInt,
         ParseResult::localeGroups, -1},
        {"prefix length huge", groupWith(huge, 1, 4), BlockError::readString, ParseResult::localeGroups, 0},
        {"group record count -1", groupWith(2, -1, 4), BlockError::readInt, ParseResult::localeGroups, 0},
        {"group wide length huge", groupWith(2, 1, huge), BlockError::readWString, ParseResult::localeGroups, 0},
        {"wrong magic", ByteWriter().int32(0x12345678).int32(0).int32(0).int64(0).bytes, BlockError::magic,
         ParseResult::header, -1},
    };
    for (const Case& c : cases) {
        ConfigBlock parsed;
        ParseResult result = parseBlock(c.bytes.data(), c.bytes.size(), &parsed);
        EXPECT_EQ(blockErrorText(c.error), std::string(blockErrorText(result.error))) << c.what;
        EXPECT_EQ(c.section, result.section) << c.what;
        EXPECT_EQ(c.index, result.index) << c.what;
    }
}

// The launcher reads every text as a C string; the parser hands over exactly that, and says
// which records were cut, so that no reader can show more than the launcher uses.
TEST(BlockParser, TextsEndAtTheirFirstNulAndOddWideLengthsLoseTheStrayByte)
{
    const Bytes bytes = ByteWriter()
                            .header()
                            .int32(2)
                            .int32(101).int32(7).text(std::string("Svc\0bad", 7))
                            .int32(122).int32(3).text("a.B")
                            .int32(2)
                            .int32(20017).int32(6).text(std::string("A\0\0\0B\0", 6))
                            .int32(1).int32(3).text(std::string("C\0D", 3))
                            .int32(1)
                            .int32(2).text("de").int32(1)
                            .int32(20017).int32(4).text(std::string("E\0\0\0", 4))
                            .bytes;
    ConfigBlock parsed;
    std::vector<int32_t> cut;
    ParseResult result = parseBlock(bytes.data(), bytes.size(), &parsed, &cut);
    ASSERT_EQ(BlockError::none, result.error);
    EXPECT_EQ(bytes.size(), result.end);
    EXPECT_EQ("Svc", *parsed.findNarrow(101));
    EXPECT_EQ("a.B", *parsed.findNarrow(122));
    ASSERT_EQ(2u, parsed.wide.size());
    EXPECT_EQ(u"A", parsed.wide[0].value);
    EXPECT_EQ(u"C", parsed.wide[1].value);
    EXPECT_EQ(u"E", parsed.localeGroups.at(0).records.at(0).value);
    EXPECT_EQ((std::vector<int32_t>{101, 20017, 20017}), cut);
}

TEST(SectionWalk, FindsTheEndOfTheLastSectionOrFailsWithItsRead)
{
    // A minimal image: PE header at 64, two sections, no optional header.
    auto image = [](int16_t sections, uint32_t rawSize, uint32_t rawOffset, size_t fileSize) {
        Bytes bytes(fileSize, 0);
        bytes[0] = 'M';
        bytes[1] = 'Z';
        bytes[60] = 64;
        bytes[64] = 'P';
        bytes[65] = 'E';
        bytes[64 + 6] = static_cast<uint8_t>(sections);
        size_t last = 64 + 24 + 40 * static_cast<size_t>(sections - 1);
        for (int i = 0; i < 4 && last + 24 <= fileSize; ++i) {
            bytes[last + 16 + static_cast<size_t>(i)] = static_cast<uint8_t>(rawSize >> (8 * i));
            bytes[last + 20 + static_cast<size_t>(i)] = static_cast<uint8_t>(rawOffset >> (8 * i));
        }
        return bytes;
    };
    Bytes sound = image(2, 0x40, 0x200, 0x240);
    MemorySource source(sound.data(), sound.size());
    SectionWalk walk;
    ASSERT_EQ(BlockError::none, walkSectionTable(source, &walk));
    EXPECT_EQ(0x240, walk.blockStart);
    uint64_t end = 0;
    std::string why;
    EXPECT_TRUE(findImageEnd(sound, &end, &why)) << why;
    EXPECT_EQ(0x240u, end);

    Bytes cut(sound.begin(), sound.begin() + 140);
    MemorySource cutSource(cut.data(), cut.size());
    EXPECT_EQ(BlockError::readInt, walkSectionTable(cutSource, &walk));
    EXPECT_EQ(SectionWalk::readingRawDataSize, walk.reached);
    EXPECT_FALSE(findImageEnd(cut, &end, &why));
    EXPECT_EQ("the section table runs past the end of the image", why);
    EXPECT_FALSE(findImageEnd(image(2, 0x400, 0x200, 0x240), &end, &why));
    EXPECT_EQ("the last section runs past the end of the image", why);
    EXPECT_FALSE(findImageEnd(Bytes(100, 'x'), &end, &why));
    EXPECT_EQ("not an executable image (no MZ header)", why);
}

TEST(RecordTable, IdentifiersAndNamesAreUniqueAndExtensionsComeLastInTheirRange)
{
    std::set<int32_t> ids;
    std::set<std::string> names;
    bool extensions = false;
    for (size_t i = 0; i < cfg::recordCount(); ++i) {
        const cfg::RecordInfo& record = cfg::recordTable()[i];
        EXPECT_TRUE(ids.insert(record.id).second) << record.id;
        EXPECT_TRUE(names.insert(record.name).second) << record.name;
        // Once the extensions begin, every later record is one of them.
        const bool extension = record.id >= cfg::kFirstExtensionId && record.id <= cfg::kLastExtensionId;
        EXPECT_TRUE(extension || !extensions) << record.name << " follows the extensions";
        extensions = extensions || extension;
        EXPECT_EQ(&record, cfg::findRecord(record.id));
    }
    EXPECT_EQ(std::string("serviceStopTimeout"), cfg::findRecord(cfg::kFirstExtensionId)->name);
    EXPECT_EQ(nullptr, cfg::findRecord(cfg::kLastExtensionId));
    EXPECT_EQ(std::string("serviceName"), cfg::findRecord(101)->name);
    EXPECT_EQ(cfg::RecordKind::wideText, cfg::findRecord(cfg::serviceDescription)->kind);
    for (int32_t id = cfg::kFirstMessageId; id <= cfg::kLastMessageId; ++id) {
        EXPECT_NE(nullptr, cfg::findRecord(id)) << "message " << id;
    }
}

TEST(RecordText, IntegersFollowTheCLibraryAndListsKeepEmptyPieces)
{
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {{"", 0}, {"abc", 0}, {" 12x", 12}, {"-7", -7}, {"+3", 3},
                          {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1}, {"\t\n 5", 5}};
    for (const Case& c : cases) {
        EXPECT_EQ(c.value, parseRecordInt(c.text)) << '"' << c.text << '"';
    }
    EXPECT_EQ((std::vector<std::string>{"a", "", "b", ""}), splitList("a;;b;", ';'));
    EXPECT_EQ((std::vector<std::string>{""}), splitList("", ';'));
}

TEST(IncludedFiles, NamesAreTheNonEmptyPiecesUpToTheCountAndMustStayInside)
{
    EXPECT_EQ((std::vector<std::string>{"a.jar", "lib\\b.jar"}), includedFileNames(";a.jar;;lib\\b.jar;c.jar", 2));
    EXPECT_EQ((std::vector<std::string>{"a.jar"}), includedFileNames("a.jar", 5));
    EXPECT_TRUE(includedFileNames("a.jar", 0).empty());
    EXPECT_TRUE(includedFileNames("a.jar", -1).empty());

    for (const char* name : {"a.jar", "user\\b.jar", "x\\y\\z.txt"}) {
        EXPECT_TRUE(isSafeIncludedFileName(name)) << name;
    }
    for (const char* name : {"", "..\\x", "a\\..\\..\\x", "C:\\x", "c:x", "\\x", "a\\\\b", ".\\a", "a/b", "a\\"}) {
        EXPECT_FALSE(isSafeIncludedFileName(name)) << name;
    }

    ConfigBlock block;
    block.includedContents = {{1, 2, 3}, {}, {0xA7}};
    Bytes bytes = serializeIncludedFiles(block);
    std::vector<std::vector<uint8_t>> contents;
    uint64_t end = 0;
    size_t failed = 99;
    ASSERT_TRUE(readIncludedFiles(bytes.data(), bytes.size(), 0, 3, &contents, &end, &failed));
    EXPECT_EQ(block.includedContents, contents);
    EXPECT_EQ(bytes.size(), end);
    EXPECT_FALSE(readIncludedFiles(bytes.data(), bytes.size() - 1, 0, 3, &contents, &end, &failed));
    EXPECT_EQ(2u, failed);
}

TEST(LauncherSize, CountsWhatTheWriterWritesAndNeverWraps)
{
    // What a launcher of these files takes is what packageImage makes of them: the image,
    // the block, and per file its 64-bit length and content.
    Bytes image = [] {
        Bytes bytes(0x240, 0);
        bytes[0] = 'M';
        bytes[1] = 'Z';
        bytes[60] = 64;
        bytes[64] = 'P';
        bytes[65] = 'E';
        bytes[64 + 6] = 1;
        bytes[64 + 24 + 16] = 0x40;
        bytes[64 + 24 + 20 + 1] = 0x02;  // raw data at 0x200
        return bytes;
    }();
    const std::vector<std::vector<uint8_t>> fileSets[] = {{}, {{}}, {{1, 2, 3}, Bytes(5000, 7), {}}};
    for (const auto& contents : fileSets) {
        std::vector<IncludedFile> files;
        for (const Bytes& content : contents) {
            files.push_back({"f" + std::to_string(files.size()), content});
        }
        ConfigBlock block;
        block.narrow.push_back({1, "x"});
        block.addIncludedFiles(files);
        Bytes launcher;
        std::string why;
        ASSERT_TRUE(packageImage(image, block, &launcher, &why)) << why;
        uint64_t size = image.size() + serializeBlock(block).size();
        for (const Bytes& content : contents) {
            size = withIncludedFile(size, content.size());
        }
        EXPECT_EQ(launcher.size(), size) << contents.size() << " files";
    }

    const uint64_t most = ~uint64_t{0};
    struct Case {
        uint64_t size;
        uint64_t fileSize;
        uint64_t expected;
    };
    const Case cases[] = {
        {0, 0, 8},
        {kLargestLauncherSize - 8, 0, kLargestLauncherSize},      // fits exactly
        {kLargestLauncherSize - 8, 1, kLargestLauncherSize + 1},  // one over
        {most - 8, 0, most},                                     // the last exact sum
        {most - 8, 1, most},                                     // saturated, not 0
        {1, most - 7, most},
        {most, most, most},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, withIncludedFile(c.size, c.fileSize)) << c.size << " + " << c.fileSize;
    }
}
