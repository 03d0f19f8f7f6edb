// Tests of the configuration block writer on the build machine: the bytes it writes must
// be exactly the ones the launcher reads, so most checks compare bytes, not structures.
#include "format/record_ids.h"
#include "packaging/descriptor/text.h"
#include "packaging/example/example_config.h"
#include "packaging/launcher/writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

using namespace blockformat;
using namespace packager;

namespace {

using Bytes = std::vector<uint8_t>;

void appendInt32(Bytes& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void appendInt64(Bytes& out, uint64_t value)
{
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void appendText(Bytes& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

void putInt32At(Bytes& out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void putInt16At(Bytes& out, size_t at, uint16_t value)
{
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

uint64_t readInt64At(const Bytes& data, size_t at)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | data[at + i];
    return value;
}

// The part of a serialized block after the 20-byte header.
Bytes recordsOf(const Bytes& block)
{
    return Bytes(block.begin() + 20, block.end());
}

struct Section {
    uint32_t rawOffset;
    uint32_t rawSize;
};

constexpr uint32_t kPeHeaderOffset = 0x80;
constexpr uint16_t kOptionalHeaderSize = 240;

// A minimal PE32+ image: DOS header with e_lfanew, PE signature, file header, an empty
// optional header and the section table. The file is as long as the farthest section
// ends, filled with a recognisable byte.
Bytes syntheticImage(const std::vector<Section>& sections)
{
    size_t tableEnd = kPeHeaderOffset + 24 + kOptionalHeaderSize + 40 * sections.size();
    size_t size = tableEnd;
    for (const Section& section : sections) {
        size = std::max<size_t>(size, static_cast<size_t>(section.rawOffset) + section.rawSize);
    }
    Bytes image(size, 0xCC);
    std::fill(image.begin(), image.begin() + static_cast<long>(tableEnd), 0);
    image[0] = 'M';
    image[1] = 'Z';
    putInt32At(image, 60, kPeHeaderOffset);
    putInt32At(image, kPeHeaderOffset, 0x00004550u);  // "PE\0\0"
    putInt16At(image, kPeHeaderOffset + 4, 0x8664);   // x86-64
    putInt16At(image, kPeHeaderOffset + 6, static_cast<uint16_t>(sections.size()));
    putInt16At(image, kPeHeaderOffset + 20, kOptionalHeaderSize);
    putInt16At(image, kPeHeaderOffset + 24, 0x20B);   // PE32+ magic
    for (size_t i = 0; i < sections.size(); ++i) {
        size_t entry = kPeHeaderOffset + 24 + kOptionalHeaderSize + 40 * i;
        std::string name = ".s" + std::to_string(i);
        std::copy(name.begin(), name.end(), image.begin() + static_cast<long>(entry));
        putInt32At(image, entry + 16, sections[i].rawSize);
        putInt32At(image, entry + 20, sections[i].rawOffset);
    }
    return image;
}

Bytes typicalImage()
{
    return syntheticImage({{0x400, 0x200}, {0x600, 0x400}, {0xA00, 0x200}});
}

ConfigBlock smallBlock()
{
    ConfigBlock block;
    block.set(101, "Svc");
    block.set(107, "4");
    block.setWide(20017, u"d");
    return block;
}

// A directory of its own for each test that touches files, removed afterwards.
class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/block_writer_test.XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made != nullptr ? made : "";
    }
    ~TempDir()
    {
        if (!path_.empty()) {
            std::string command = "rm -rf '" + path_ + "'";
            if (std::system(command.c_str()) != 0) {
                std::fprintf(stderr, "could not remove %s\n", path_.c_str());
            }
        }
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const Bytes& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
}

bool fileExists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

// ---------------------------------------------------------------------------------------
// The block: header and records.

TEST(BlockLayout, HeaderHasMagicTwoZeroWordsAndTheSizeFromOffsetTwelve)
{
    ConfigBlock block = smallBlock();
    block.localeGroups.push_back({"de", {{20017, u"x"}}});
    Bytes bytes = serializeBlock(block);

    ASSERT_GE(bytes.size(), 24u);
    EXPECT_EQ(Bytes({0xD5, 0x13, 0xE4, 0xE8}), Bytes(bytes.begin(), bytes.begin() + 4));
    EXPECT_EQ(Bytes(8, 0), Bytes(bytes.begin() + 4, bytes.begin() + 12));
    // The block ends with the last locale group, so the size reaches its end.
    EXPECT_EQ(bytes.size() - 12, readInt64At(bytes, 12));
}

TEST(BlockLayout, EmptyBlockHasThreeZeroCounts)
{
    Bytes bytes = serializeBlock(ConfigBlock());
    Bytes expected = {0xD5, 0x13, 0xE4, 0xE8, 0, 0, 0, 0, 0, 0, 0, 0};
    appendInt64(expected, 20);
    appendInt32(expected, 0);
    appendInt32(expected, 0);
    appendInt32(expected, 0);
    EXPECT_EQ(expected, bytes);
}

TEST(BlockLayout, RecordsAreWrittenByteForByte)
{
    ConfigBlock block;
    block.set(101, "Svc");
    block.set(146, "");                  // an empty value still has its record
    block.set(-7, "\xE4\xF6");           // system code page bytes pass unchanged
    block.setWide(20017, u"A\u00E9");
    block.setWide(20018, utf8ToUtf16("\xF0\x9F\x98\x80"));  // U+1F600, outside the BMP
    block.localeGroups.push_back({"de", {{20017, u"D"}}});
    block.localeGroups.push_back({"", {}});
    block.localeGroups.push_back({"pt_BR", {{20017, u"P"}, {20018, u""}}});

    Bytes expected;
    appendInt32(expected, 3);
    appendInt32(expected, 101);
    appendInt32(expected, 3);
    appendText(expected, "Svc");
    appendInt32(expected, 146);
    appendInt32(expected, 0);
    appendInt32(expected, 0xFFFFFFF9u);
    appendInt32(expected, 2);
    expected.insert(expected.end(), {0xE4, 0xF6});
    appendInt32(expected, 2);
    appendInt32(expected, 20017);
    appendInt32(expected, 4);
    expected.insert(expected.end(), {'A', 0, 0xE9, 0});
    appendInt32(expected, 20018);
    appendInt32(expected, 4);
    expected.insert(expected.end(), {0x3D, 0xD8, 0x00, 0xDE});
    appendInt32(expected, 3);
    appendInt32(expected, 2);
    appendText(expected, "de");
    appendInt32(expected, 1);
    appendInt32(expected, 20017);
    appendInt32(expected, 2);
    expected.insert(expected.end(), {'D', 0});
    appendInt32(expected, 0);
    appendInt32(expected, 0);
    appendInt32(expected, 5);
    appendText(expected, "pt_BR");
    appendInt32(expected, 2);
    appendInt32(expected, 20017);
    appendInt32(expected, 2);
    expected.insert(expected.end(), {'P', 0});
    appendInt32(expected, 20018);
    appendInt32(expected, 0);

    Bytes bytes = serializeBlock(block);
    EXPECT_EQ(expected, recordsOf(bytes));
    EXPECT_EQ(8 + expected.size(), readInt64At(bytes, 12));
}

TEST(BlockLayout, ExampleServiceBlockHasTheShapeOfATypicalServiceBlock)
{
    ConfigBlock block = exampleServiceBlock();
    EXPECT_EQ(83u, block.narrow.size());
    ASSERT_EQ(1u, block.wide.size());
    EXPECT_EQ(20017, block.wide[0].id);
    EXPECT_TRUE(block.wide[0].value.empty());
    EXPECT_TRUE(block.localeGroups.empty());
    EXPECT_TRUE(block.includedContents.empty());

    // Each identifier once: the launcher keeps the last of duplicates, a reader of the
    // example would expect the first.
    std::vector<int32_t> ids;
    for (const NarrowRecord& record : block.narrow) ids.push_back(record.id);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids.end(), std::adjacent_find(ids.begin(), ids.end()));

    Bytes bytes = serializeBlock(block);
    EXPECT_EQ(bytes.size() - 12, readInt64At(bytes, 12));
    // The block ends with the wide count, the one wide record (identifier and zero
    // length) and the zero group count.
    Bytes tail(bytes.end() - 16, bytes.end());
    Bytes expectedTail;
    appendInt32(expectedTail, 1);
    appendInt32(expectedTail, 20017);
    appendInt32(expectedTail, 0);
    appendInt32(expectedTail, 0);
    EXPECT_EQ(expectedTail, tail);
}

// ---------------------------------------------------------------------------------------
// Editing the block.

TEST(BlockEditing, SetReplacesTheExistingRecordInPlace)
{
    ConfigBlock block;
    block.set(1, "a");
    block.set(2, "b");
    block.set(1, "c");
    block.setWide(5, u"x");
    block.setWide(5, u"y");

    ASSERT_EQ(2u, block.narrow.size());
    EXPECT_EQ(1, block.narrow[0].id);
    EXPECT_EQ("c", block.narrow[0].value);
    EXPECT_EQ(2, block.narrow[1].id);
    ASSERT_EQ(1u, block.wide.size());
    EXPECT_EQ(u"y", block.wide[0].value);
}

TEST(BlockEditing, AddIncludedFilesSetsCountAndNamesOnce)
{
    ConfigBlock block = exampleServiceBlock();  // already holds 2002 = "0" and 2003 = ""
    size_t records = block.narrow.size();
    block.addIncludedFiles({{"a.txt", {1, 2}}, {"lib\\b.dll", {}}});

    EXPECT_EQ(records, block.narrow.size());
    int count = 0;
    for (const NarrowRecord& record : block.narrow) {
        if (record.id == cfg::includedFileCount) {
            ++count;
            EXPECT_EQ("2", record.value);
        }
        if (record.id == cfg::includedFileNames) {
            ++count;
            EXPECT_EQ("a.txt;lib\\b.dll", record.value);
        }
    }
    EXPECT_EQ(2, count);

    ConfigBlock fresh;
    fresh.addIncludedFiles({{"only.bin", {7}}});
    ASSERT_EQ(2u, fresh.narrow.size());
    EXPECT_EQ(cfg::includedFileCount, fresh.narrow[0].id);
    EXPECT_EQ("1", fresh.narrow[0].value);
    EXPECT_EQ(cfg::includedFileNames, fresh.narrow[1].id);
    EXPECT_EQ("only.bin", fresh.narrow[1].value);
}

TEST(IncludedFiles, EachFileIsAnEightByteLengthAndItsContentMasked)
{
    ConfigBlock block;
    block.addIncludedFiles({{"a", {0x00, 0xA7, 0xFF}}, {"empty", {}}, {"b", {0x41}}});

    Bytes expected;
    appendInt64(expected, 3);
    expected.insert(expected.end(), {0xA7, 0x00, 0x58});
    appendInt64(expected, 0);
    appendInt64(expected, 1);
    expected.push_back(0xE6);
    EXPECT_EQ(expected, serializeIncludedFiles(block));
    EXPECT_TRUE(serializeIncludedFiles(ConfigBlock()).empty());
}

// ---------------------------------------------------------------------------------------
// Text conversion for wide records.

TEST(Utf8ToUtf16, ConvertsValidTextAndReplacesInvalidSequences)
{
    struct Case {
        const char* name;
        std::string input;
        std::u16string expected;
    };
    const Case cases[] = {
        {"empty", "", u""},
        {"ascii", "Demo service", u"Demo service"},
        {"two bytes", "\xC3\xBC", u"\u00FC"},
        {"three bytes", "\xE2\x82\xAC", u"\u20AC"},
        {"four bytes become a surrogate pair", "\xF0\x9F\x98\x80", std::u16string{0xD83D, 0xDE00}},
        {"highest code point", "\xF4\x8F\xBF\xBF", std::u16string{0xDBFF, 0xDFFF}},
        {"lone continuation byte", "a\x80" "b", u"a\uFFFDb"},
        {"cut sequence at the end", "a\xE2\x82", u"a\uFFFD"},
        {"cut sequence before ascii", "\xE2\x82" "b", u"\uFFFDb"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD"},
        {"invalid lead byte", "\xFF" "a", u"\uFFFDa"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, utf8ToUtf16(c.input)) << c.name;
    }
}

// ---------------------------------------------------------------------------------------
// Finding the end of the image.

TEST(ImageEnd, IsTheEndOfTheLastSectionTableEntry)
{
    uint64_t end = 0;
    std::string error;
    ASSERT_TRUE(findImageEnd(typicalImage(), &end, &error)) << error;
    EXPECT_EQ(0xC00u, end);

    // The last entry of the table decides, even when an earlier section lies farther
    // in the file: that is where the launcher looks.
    Bytes image = syntheticImage({{0x400, 0x200}, {0x800, 0x200}, {0x600, 0x200}});
    ASSERT_TRUE(findImageEnd(image, &end, &error)) << error;
    EXPECT_EQ(0x800u, end);

    Bytes single = syntheticImage({{0x200, 0x100}});
    ASSERT_TRUE(findImageEnd(single, &end, &error)) << error;
    EXPECT_EQ(0x300u, end);
}

TEST(ImageEnd, RefusesWhatIsNoSoundImage)
{
    struct Case {
        const char* name;
        Bytes image;
    };
    Bytes notMz = typicalImage();
    notMz[0] = 'Z';
    Bytes noSignature = typicalImage();
    noSignature[kPeHeaderOffset + 1] = 'X';
    Bytes headerPastEnd = typicalImage();
    putInt32At(headerPastEnd, 60, static_cast<uint32_t>(headerPastEnd.size()));
    Bytes headerFarPastEnd = typicalImage();
    putInt32At(headerFarPastEnd, 60, 0xFFFFFFF0u);
    Bytes sectionPastEnd = typicalImage();
    sectionPastEnd.resize(sectionPastEnd.size() - 1);
    Bytes offsetPastEnd = typicalImage();
    putInt32At(offsetPastEnd, kPeHeaderOffset + 24 + kOptionalHeaderSize + 80 + 20, 0xFFFFFF00u);
    Bytes tableCut = typicalImage();
    tableCut.resize(kPeHeaderOffset + 24 + kOptionalHeaderSize + 100);
    Bytes noSections = syntheticImage({});
    Bytes tiny = {'M', 'Z'};

    const Case cases[] = {
        {"empty file", {}},
        {"two bytes", tiny},
        {"not MZ", notMz},
        {"no PE signature", noSignature},
        {"PE header offset at the end", headerPastEnd},
        {"PE header offset far past the end", headerFarPastEnd},
        {"last section one byte past the end", sectionPastEnd},
        {"last section offset past the end", offsetPastEnd},
        {"section table cut", tableCut},
        {"no sections", noSections},
    };
    for (const Case& c : cases) {
        uint64_t end = 12345;
        std::string error;
        EXPECT_FALSE(findImageEnd(c.image, &end, &error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
}

// ---------------------------------------------------------------------------------------
// Packaging an image.

TEST(Packaging, AppendsTheBlockAndTheIncludedFilesBehindTheImage)
{
    Bytes image = typicalImage();
    ConfigBlock block = smallBlock();
    block.addIncludedFiles({{"f", {1, 2, 3}}});

    Bytes launcher;
    std::string error;
    ASSERT_TRUE(packageImage(image, block, &launcher, &error)) << error;

    Bytes expected = image;
    Bytes records = serializeBlock(block);
    Bytes included = serializeIncludedFiles(block);
    expected.insert(expected.end(), records.begin(), records.end());
    expected.insert(expected.end(), included.begin(), included.end());
    EXPECT_EQ(expected, launcher);
    // The block starts where the launcher will look for it.
    EXPECT_EQ(Bytes({0xD5, 0x13, 0xE4, 0xE8}), Bytes(launcher.begin() + 0xC00, launcher.begin() + 0xC04));
}

TEST(Packaging, RefusesAnImageWithDataBehindItsLastSection)
{
    Bytes image = typicalImage();
    Bytes packaged;
    std::string error;
    ASSERT_TRUE(packageImage(image, smallBlock(), &packaged, &error)) << error;

    // Packaging twice would put the second block where the launcher never looks.
    Bytes again;
    EXPECT_FALSE(packageImage(packaged, smallBlock(), &again, &error));
    EXPECT_NE(std::string::npos, error.find("behind")) << error;
    EXPECT_TRUE(again.empty());

    Bytes padded = image;
    padded.push_back(0);
    EXPECT_FALSE(packageImage(padded, smallBlock(), &again, &error));

    Bytes notAnImage(100, 0);
    EXPECT_FALSE(packageImage(notAnImage, smallBlock(), &again, &error));
}

// ---------------------------------------------------------------------------------------
// Writing the launcher file.

TEST(WriteLauncher, WritesThePackagedImageAndNoTemporaryFile)
{
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    std::string imagePath = dir.file("launcher.exe");
    std::string outputPath = dir.file("demo.exe");
    writeFile(imagePath, typicalImage());
    writeFile(outputPath, Bytes(5000, 0x11));  // an earlier output is replaced

    std::string error;
    ASSERT_TRUE(writeLauncher(imagePath, smallBlock(), outputPath, &error)) << error;

    Bytes expected;
    ASSERT_TRUE(packageImage(typicalImage(), smallBlock(), &expected, &error)) << error;
    EXPECT_EQ(expected, readFile(outputPath));
    EXPECT_FALSE(fileExists(outputPath + ".partial"));
    EXPECT_EQ(typicalImage(), readFile(imagePath));  // the image itself is untouched
}

TEST(WriteLauncher, LeavesNoOutputAndNoTemporaryFileOnFailure)
{
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    Bytes packaged;
    std::string error;
    ASSERT_TRUE(packageImage(typicalImage(), smallBlock(), &packaged, &error)) << error;
    writeFile(dir.file("packaged.exe"), packaged);
    writeFile(dir.file("text.txt"), Bytes(200, 'x'));
    writeFile(dir.file("good.exe"), typicalImage());

    struct Case {
        const char* name;
        std::string image;
        std::string output;
    };
    const Case cases[] = {
        {"image missing", dir.file("missing.exe"), dir.file("out1.exe")},
        {"already packaged", dir.file("packaged.exe"), dir.file("out2.exe")},
        {"not an image", dir.file("text.txt"), dir.file("out3.exe")},
        {"output directory missing", dir.file("good.exe"), dir.file("no-such-dir/out4.exe")},
    };
    for (const Case& c : cases) {
        error.clear();
        EXPECT_FALSE(writeLauncher(c.image, smallBlock(), c.output, &error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
        EXPECT_FALSE(fileExists(c.output)) << c.name;
        EXPECT_FALSE(fileExists(c.output + ".partial")) << c.name;
    }
}
