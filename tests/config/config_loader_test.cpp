// The configuration block reader on files written by the block writer: complete
// read-back, duplicates, locale groups, the end position, damaged blocks cut at every
// byte or carrying impossible lengths, and the lookup of the block in a real image.
#include "config/config_loader.h"

#include "support/block_bytes.h"
#include "packaging/example/example_config.h"
#include "packaging/launcher/writer.h"
#include "support/scratch_directory.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

// GCC pairs the replaced operators below with the built-in ones where it inlines them and
// warns about a mismatch that does not exist: both sides use malloc and free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

// The largest single allocation while tracking is on: proves that a length read from a
// damaged block is never used to size a buffer. Replaces the global allocator of the
// whole test program, which otherwise behaves as the default one.
namespace {
std::atomic<bool> trackAllocations{false};
std::atomic<size_t> largestAllocation{0};
} // namespace

void* operator new(size_t size)
{
    if (trackAllocations.load(std::memory_order_relaxed)) {
        size_t seen = largestAllocation.load(std::memory_order_relaxed);
        while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
        }
    }
    void* p = std::malloc(size != 0 ? size : 1);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

using blockformat::ConfigBlock;
using blockformat::LocaleGroup;
using blockformat::WideRecord;
using Bytes = std::vector<uint8_t>;

// An open handle on a file, closed at the end of the scope.
struct ReadHandle {
    HANDLE handle;
    explicit ReadHandle(const std::wstring& path, bool writable = false)
        : handle(CreateFileW(path.c_str(), GENERIC_READ | (writable ? GENERIC_WRITE : 0),
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr))
    {
        EXPECT_NE(INVALID_HANDLE_VALUE, handle);
    }
    ~ReadHandle()
    {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    ReadHandle(const ReadHandle&) = delete;
    ReadHandle& operator=(const ReadHandle&) = delete;

    void seek(int64_t offset) const
    {
        LARGE_INTEGER target{};
        target.QuadPart = offset;
        SetFilePointerEx(handle, target, nullptr, FILE_BEGIN);
    }
    int64_t position() const
    {
        LARGE_INTEGER zero{};
        LARGE_INTEGER current{};
        SetFilePointerEx(handle, zero, &current, FILE_CURRENT);
        return current.QuadPart;
    }
};

using ByteWriter = BlockBytes;

// Reads a whole block from the start of a file: records, then the locale groups.
struct ReadResult {
    BlockError error = BlockError::none;
    ConfigStore store;
    uint32_t endPosition = 0;
};

ReadResult readBlock(HANDLE file, const char* localeCode)
{
    ReadResult result;
    LARGE_INTEGER zero{};
    LARGE_INTEGER start{};
    SetFilePointerEx(file, zero, &start, FILE_CURRENT);
    result.error = readConfigBlock(file, start.QuadPart, localeCode, result.store, &result.endPosition);
    return result;
}

ReadResult readBlockBytes(const ScratchDirectory& dir, const Bytes& bytes, const char* localeCode)
{
    EXPECT_TRUE(dir.write(L"block.bin", bytes.data(), bytes.size()));
    ReadHandle file(dir.file(L"block.bin"));
    return readBlock(file.handle, localeCode);
}

// The field of a serialized block that a cut at each byte lands in, and the read that
// then runs short.
struct Field {
    size_t offset;
    size_t size;
    BlockError error;
};

std::vector<Field> fieldsOf(const ConfigBlock& block)
{
    std::vector<Field> fields;
    size_t at = 0;
    auto add = [&](size_t size, BlockError error) {
        if (size > 0) fields.push_back({at, size, error});
        at += size;
    };
    add(4, BlockError::readInt);  // magic
    add(4, BlockError::readInt);
    add(4, BlockError::readInt);
    add(8, BlockError::readLong);
    add(4, BlockError::readInt);
    for (const auto& record : block.narrow) {
        add(4, BlockError::readInt);
        add(4, BlockError::readInt);
        add(record.value.size(), BlockError::readString);
    }
    auto addWide = [&](const std::vector<WideRecord>& records) {
        add(4, BlockError::readInt);
        for (const auto& record : records) {
            add(4, BlockError::readInt);
            add(4, BlockError::readInt);
            add(2 * record.value.size(), BlockError::readWString);
        }
    };
    addWide(block.wide);
    add(4, BlockError::readInt);
    for (const auto& group : block.localeGroups) {
        add(4, BlockError::readInt);
        add(group.prefix.size(), BlockError::readString);
        addWide(group.records);
    }
    return fields;
}

std::string errorName(BlockError error) { return error == BlockError::none ? "none" : blockErrorText(error); }

} // namespace

TEST(ConfigLoader, ExampleBlockReadsBackCompletely)
{
    ScratchDirectory dir;
    const ConfigBlock block = packager::exampleServiceBlock();
    const Bytes bytes = blockformat::serializeBlock(block);

    ReadResult result = readBlockBytes(dir, bytes, "en_US");
    ASSERT_EQ("none", errorName(result.error));
    EXPECT_EQ(83u, result.store.narrow.size());
    for (const auto& record : block.narrow) {
        EXPECT_EQ(record.value, result.store.narrow[record.id]) << "identifier " << record.id;
    }
    ASSERT_EQ(1u, result.store.wide.size());
    EXPECT_EQ(1u, result.store.wide.count(20017));
    EXPECT_EQ(L"", result.store.wide[20017]);
    // No locale groups: the end is right behind the group count, the last field.
    EXPECT_EQ(bytes.size(), result.endPosition);
}

TEST(ConfigLoader, LaterRecordsReplaceEarlierOnes)
{
    ScratchDirectory dir;
    ConfigBlock block;
    block.narrow = {{101, "first"}, {107, "4"}, {101, "second"}};
    block.wide = {{20017, u"one"}, {20017, u"two"}};
    ReadResult result = readBlockBytes(dir, blockformat::serializeBlock(block), "en");
    ASSERT_EQ("none", errorName(result.error));
    EXPECT_EQ(2u, result.store.narrow.size());
    EXPECT_EQ("second", result.store.narrow[101]);
    EXPECT_EQ(L"two", result.store.wide[20017]);
}

TEST(ConfigLoader, LocaleGroupsApplyWhenTheirPrefixStartsTheLocaleCode)
{
    ScratchDirectory dir;
    ConfigBlock block;
    block.narrow = {{101, "Demo service"}};
    block.wide = {{20017, u"base"}};
    block.localeGroups = {
        LocaleGroup{"de", {{20017, u"Dienst"}, {30001, u"nur de"}}},
        LocaleGroup{"de_CH", {{20017, u"Dienst CH"}}},
        LocaleGroup{"en_US", {{30002, u"en_US only"}}},
        LocaleGroup{"", {{30003, u"every locale"}}},
    };
    const Bytes bytes = blockformat::serializeBlock(block);

    struct Case {
        const char* localeCode;
        const wchar_t* description;
        const wchar_t* deOnly;   // 30001, absent when null
        const wchar_t* enUsOnly; // 30002
    };
    const Case cases[] = {
        {"de_CH", L"Dienst CH", L"nur de", nullptr},
        {"de_DE", L"Dienst", L"nur de", nullptr},
        {"de", L"Dienst", L"nur de", nullptr},
        {"fr_FR", L"base", nullptr, nullptr},
        {"en_US", L"base", nullptr, L"en_US only"},
        // A prefix longer than the code does not match it.
        {"en", L"base", nullptr, nullptr},
        {"no_NO_NY", L"base", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.localeCode);
        ReadResult result = readBlockBytes(dir, bytes, c.localeCode);
        ASSERT_EQ("none", errorName(result.error));
        EXPECT_EQ(c.description, result.store.wide[20017]);
        EXPECT_EQ(c.deOnly != nullptr, result.store.wide.count(30001) == 1);
        if (c.deOnly != nullptr) {
            EXPECT_EQ(c.deOnly, result.store.wide[30001]);
        }
        EXPECT_EQ(c.enUsOnly != nullptr, result.store.wide.count(30002) == 1);
        // The group with the empty prefix applies everywhere.
        EXPECT_EQ(L"every locale", result.store.wide[30003]);
        EXPECT_EQ(bytes.size(), result.endPosition);
        EXPECT_EQ("Demo service", result.store.narrow[101]);
    }
}

TEST(ConfigLoader, EndPositionIsBehindTheLastGroupWhereverTheBlockStarts)
{
    ScratchDirectory dir;
    ConfigBlock block = packager::exampleServiceBlock();
    block.localeGroups = {LocaleGroup{"de", {{20017, u"Dienst"}}}};
    block.addIncludedFiles({{"lib\\a.jar", Bytes(100, 0x41)}});
    const Bytes records = blockformat::serializeBlock(block);
    const Bytes included = blockformat::serializeIncludedFiles(block);

    struct Case {
        size_t leading;  // bytes in front of the block
        bool withIncludedFiles;
    };
    const Case cases[] = {{0, false}, {0, true}, {1234, true}, {7, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "leading " << c.leading << " included " << c.withIncludedFiles);
        Bytes file(c.leading, 0x5A);
        file.insert(file.end(), records.begin(), records.end());
        if (c.withIncludedFiles) file.insert(file.end(), included.begin(), included.end());
        ASSERT_TRUE(dir.write(L"launcher.bin", file.data(), file.size()));

        ReadHandle opened(dir.file(L"launcher.bin"));
        opened.seek(static_cast<int64_t>(c.leading));
        ReadResult result = readBlock(opened.handle, "de_AT");
        ASSERT_EQ("none", errorName(result.error));
        EXPECT_EQ(c.leading + records.size(), result.endPosition);
        EXPECT_EQ(L"Dienst", result.store.wide[20017]);
        EXPECT_EQ("1", result.store.narrow[2002]);
    }
}

TEST(ConfigLoader, BlockCutAtEveryByteFailsWithTheReadThatRanShort)
{
    ScratchDirectory dir;
    ConfigBlock block = packager::exampleServiceBlock();
    block.wide.push_back({30001, u"wide text"});
    block.localeGroups = {LocaleGroup{"de", {{20017, u"Dienst"}}}, LocaleGroup{"", {{30002, u"x"}}}};
    const Bytes bytes = blockformat::serializeBlock(block);
    const std::vector<Field> fields = fieldsOf(block);
    ASSERT_EQ(bytes.size(), fields.back().offset + fields.back().size) << "field map out of step with the writer";

    ASSERT_TRUE(dir.write(L"cut.bin", bytes.data(), bytes.size()));
    ReadHandle file(dir.file(L"cut.bin"), true);
    ASSERT_EQ("none", errorName(readBlock(file.handle, "de_DE").error));

    // Cut from the back, so that one file serves every length.
    size_t field = fields.size();
    int failures = 0;
    for (size_t cut = bytes.size(); cut-- > 0;) {
        while (fields[field - 1].offset > cut) --field;
        const Field& inside = fields[field - 1];
        file.seek(static_cast<int64_t>(cut));
        ASSERT_TRUE(SetEndOfFile(file.handle));
        file.seek(0);
        BlockError error = readBlock(file.handle, "de_DE").error;
        if (error != inside.error && ++failures <= 10) {
            ADD_FAILURE() << "cut at " << cut << " (field at " << inside.offset << ", " << inside.size
                          << " bytes): expected " << errorName(inside.error) << ", got " << errorName(error);
        }
    }
    EXPECT_EQ(0, failures) << "cuts with a wrong result";
}

TEST(ConfigLoader, ImpossibleLengthsAndCountsFailWithoutAllocating)
{
    ScratchDirectory dir;
    const int64_t huge = 0x7FFFFFFF;
    const int64_t negative = -1;
    const int64_t lowest = -0x7FFFFFFF - 1;
    struct Case {
        const char* what;
        Bytes bytes;
        BlockError error;
    };
    auto narrowWithLength = [](int64_t length) {
        return ByteWriter().header().int32(1).int32(101).int32(length).text("abcdefgh").bytes;
    };
    auto wideWithLength = [](int64_t length) {
        return ByteWriter().header().int32(0).int32(1).int32(20017).int32(length).text("abcdefgh").bytes;
    };
    auto groupWith = [](int64_t prefixLength, int64_t recordCount, int64_t wideLength) {
        return ByteWriter()
            .header()
            .int32(0)
            .int32(0)
            .int32(1)
            .int32(prefixLength)
            .text("de")
            .int32(recordCount)
            .int32(20017)
            .int32(wideLength)
            .text("abcd")
            .bytes;
    };
    const Case cases[] = {
        {"narrow length huge", narrowWithLength(huge), BlockError::readString},
        {"narrow length -1", narrowWithLength(negative), BlockError::readString},
        {"narrow length lowest", narrowWithLength(lowest), BlockError::readString},
        {"wide length huge", wideWithLength(huge), BlockError::readWString},
        {"wide length -1", wideWithLength(negative), BlockError::readWString},
        {"narrow count -1", ByteWriter().header().int32(negative).int32(0).int32(0).bytes, BlockError::readInt},
        // A huge count runs into the end of the file after the records that are there.
        {"narrow count huge", ByteWriter().header().int32(huge).int32(101).int32(1).text("x").bytes,
         BlockError::readInt},
        {"wide count -1", ByteWriter().header().int32(0).int32(negative).int32(0).bytes, BlockError::readInt},
        {"wide count huge", ByteWriter().header().int32(0).int32(huge).int32(1).int32(2).text("xy").bytes,
         BlockError::readInt},
        {"group count -1", ByteWriter().header().int32(0).int32(0).int32(negative).bytes, BlockError::readInt},
        {"group count huge", ByteWriter().header().int32(0).int32(0).int32(huge).bytes, BlockError::readInt},
        {"prefix length huge", groupWith(huge, 1, 4), BlockError::readString},
        {"prefix length -1", groupWith(negative, 1, 4), BlockError::readString},
        {"group record count -1", groupWith(2, negative, 4), BlockError::readInt},
        {"group record count huge", groupWith(2, huge, 4), BlockError::readInt},
        {"group wide length huge", groupWith(2, 1, huge), BlockError::readWString},
        {"group wide length -1", groupWith(2, 1, negative), BlockError::readWString},
        {"wrong magic", ByteWriter().int32(0x12345678).int32(0).int32(0).int64(0).int32(0).int32(0).int32(0).bytes,
         BlockError::magic},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(dir.write(L"damaged.bin", c.bytes.data(), c.bytes.size()));
        ReadHandle file(dir.file(L"damaged.bin"));
        largestAllocation = 0;
        trackAllocations = true;
        BlockError error = readBlock(file.handle, "de_DE").error;
        trackAllocations = false;
        EXPECT_EQ(errorName(c.error), errorName(error));
        EXPECT_LT(largestAllocation.load(), 64u * 1024u) << "a length from the file sized an allocation";
    }
}

TEST(ConfigLoader, OddWideLengthKeepsTheWholeCharactersAndTheReadPosition)
{
    ScratchDirectory dir;
    // 3 bytes: one character and a stray byte; the next record starts right behind them.
    Bytes bytes = ByteWriter().header().int32(0).int32(2).int32(1).int32(3).text(std::string("A\0B", 3))
                      .int32(2).int32(2).text(std::string("C\0", 2)).int32(0).bytes;
    ReadResult result = readBlockBytes(dir, bytes, "en");
    ASSERT_EQ("none", errorName(result.error));
    EXPECT_EQ(L"A", result.store.wide[1]);
    EXPECT_EQ(L"C", result.store.wide[2]);
    EXPECT_EQ(bytes.size(), result.endPosition);
}

TEST(ConfigLoader, FindsTheBlockBehindTheLastSectionOfTheLauncherImage)
{
    const char* imagePath = std::getenv("LAUNCHER_IMAGE");
    ASSERT_NE(nullptr, imagePath) << "LAUNCHER_IMAGE names the launcher image";
    std::string winePath = std::string("Z:") + imagePath;
    for (char& c : winePath) {
        if (c == '/') c = '\\';
    }
    std::ifstream in(winePath, std::ios::binary);
    ASSERT_TRUE(in) << winePath;
    const Bytes image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    uint64_t imageEnd = 0;
    std::string why;
    ASSERT_TRUE(blockformat::findImageEnd(image, &imageEnd, &why)) << why;

    ScratchDirectory dir;
    const ConfigBlock block = packager::exampleServiceBlock();
    const Bytes records = blockformat::serializeBlock(block);
    Bytes packaged;
    ASSERT_TRUE(blockformat::packageImage(image, block, &packaged, &why)) << why;
    // What a signing tool leaves behind the block: the magic in big-endian order, zeros up
    // to a multiple of 512, and the certificate table.
    Bytes signedImage = packaged;
    for (uint8_t b : {0xE8, 0xE4, 0x13, 0xD5}) signedImage.push_back(b);
    signedImage.resize((signedImage.size() + 511) / 512 * 512, 0);
    for (int i = 0; i < 1000; ++i) signedImage.push_back(static_cast<uint8_t>(i * 7));

    struct Case {
        const wchar_t* name;
        const Bytes* bytes;
        BlockError readError;  // of the records behind the image
    };
    const Case cases[] = {
        {L"image.exe", &image, BlockError::readInt},
        {L"packaged.exe", &packaged, BlockError::none},
        {L"signed.exe", &signedImage, BlockError::none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        ASSERT_TRUE(dir.write(c.name, c.bytes->data(), c.bytes->size()));
        ReadHandle file(dir.file(c.name));
        file.seek(1234);
        int64_t blockStart = -1;
        ASSERT_EQ("none", errorName(findAppendedData(file.handle, &blockStart)));
        EXPECT_EQ(static_cast<int64_t>(imageEnd), blockStart);
        EXPECT_EQ(blockStart, file.position()) << "the file is left at the block";

        ReadResult result = readBlock(file.handle, "en_US");
        EXPECT_EQ(errorName(c.readError), errorName(result.error));
        if (c.readError == BlockError::none) {
            EXPECT_EQ(83u, result.store.narrow.size());
            EXPECT_EQ("Demo service", result.store.narrow[101]);
            EXPECT_EQ(imageEnd + records.size(), result.endPosition);
        }
    }
    // The build strips the image, so nothing follows its last section.
    EXPECT_EQ(image.size(), imageEnd);
}

TEST(ConfigLoader, DamagedImageHeadersFailWithTheirRead)
{
    ScratchDirectory dir;
    auto headerAt = [](int64_t peOffset, int16_t sections, size_t fileSize) {
        Bytes bytes(fileSize, 0);
        bytes[0] = 'M';
        bytes[1] = 'Z';
        for (int i = 0; i < 4; ++i) bytes[60 + i] = static_cast<uint8_t>(static_cast<uint64_t>(peOffset) >> (8 * i));
        if (peOffset >= 0 && static_cast<uint64_t>(peOffset) + 8 <= fileSize) {
            bytes[peOffset + 6] = static_cast<uint8_t>(sections);
            bytes[peOffset + 7] = static_cast<uint8_t>(static_cast<uint16_t>(sections) >> 8);
        }
        return bytes;
    };
    struct Case {
        const char* what;
        Bytes bytes;
        BlockError error;
    };
    const Case cases[] = {
        {"shorter than the DOS header", Bytes(10, 'M'), BlockError::readInt},
        {"empty file", Bytes(), BlockError::readInt},
        {"PE header behind the end", headerAt(1000, 1, 128), BlockError::readShort},
        {"negative PE header offset", headerAt(-0x7FFFFFF0, 1, 128), BlockError::readShort},
        {"section table behind the end", headerAt(64, 100, 128), BlockError::readInt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(dir.write(L"damaged.exe", c.bytes.data(), c.bytes.size()));
        ReadHandle file(dir.file(L"damaged.exe"));
        int64_t blockStart = 0;
        EXPECT_EQ(errorName(c.error), errorName(findAppendedData(file.handle, &blockStart)));
    }
}
