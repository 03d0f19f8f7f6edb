// Configuration block loader. The block's bytes are read from the file and handed to the
// parser shared with the packager; lengths in the block are checked against the bytes
// there are before anything is allocated, so a damaged block ends with the message of the
// read that ran short, never with a huge allocation or a crash.
#include "config/config_loader.h"

#include "config/messages.h"
#include "config/user_locale.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/paths.h"

#include <cstring>
#include <string>
#include <vector>

bool useMessageBoxes = true;
uint32_t configEndPosition = 0;

namespace {

// A block is read in one piece when its header's size field is plausible; otherwise, or
// when the field is wrong, in pieces that grow from this size up to the end of the file.
constexpr uint64_t kFirstReadSize = 64 * 1024;
constexpr uint64_t kLargestSizeHint = 16 * 1024 * 1024;

// Reads of the executable at absolute offsets. A short read logs the system's error and
// how many bytes came, as every failed read of the block does.
class FileSource final : public blockformat::ByteSource {
public:
    explicit FileSource(HANDLE file) : file_(file) {}

    bool readAt(int64_t offset, void* buffer, uint32_t count, uint32_t* delivered) const override
    {
        *delivered = 0;
        LARGE_INTEGER target{};
        target.QuadPart = offset;
        DWORD got = 0;
        bool ok = offset >= 0 && SetFilePointerEx(file_, target, nullptr, FILE_BEGIN) &&
                  ReadFile(file_, buffer, count, &got, nullptr) && got == count;
        if (offset < 0) {
            SetLastError(ERROR_NEGATIVE_SEEK);
        }
        *delivered = got;
        return ok;
    }

    int64_t size() const
    {
        LARGE_INTEGER fileSize{};
        return GetFileSizeEx(file_, &fileSize) ? fileSize.QuadPart : 0;
    }

private:
    HANDLE file_;
};

void logWalk(const blockformat::SectionWalk& walk)
{
    using Step = blockformat::SectionWalk;
    if (walk.reached > Step::readingSectionCount) {
        logMessage("number of sections: %d", walk.sections);
    }
    if (walk.reached > Step::readingOptionalHeaderSize) {
        logMessage("size of optional headers: %d", walk.optionalHeaderSize);
        logMessage("resSectionTableStart: %d", static_cast<int>(walk.sectionTableEnd - 16));
    }
    if (walk.reached == Step::done) {
        logMessage("rawDataSize: %d, rawDataOffset: %d", walk.rawDataSize, walk.rawDataOffset);
    }
}

// The failed read's log line: the system's error code, and for a 32-bit read also the
// bytes it delivered.
void logFailedRead(BlockError error, uint32_t delivered)
{
    if (error == BlockError::readInt) {
        logMessage("error %d %d\n", static_cast<int>(GetLastError()), static_cast<int>(delivered));
    } else if (error == BlockError::readLong || error == BlockError::readShort) {
        logMessage("error %d\n", static_cast<int>(GetLastError()));
    }
}

bool prefixMatches(const std::string& prefix, const char* localeCode)
{
    return std::strncmp(localeCode, prefix.c_str(), prefix.size()) == 0 && std::strlen(localeCode) >= prefix.size();
}

// The records straight into the store. A later record of the same identifier replaces the
// earlier one, and the locale groups apply in file order, those whose prefix matches the
// user's locale code only: for an identifier set by several matching groups the last wins.
class StoreSink final : public blockformat::RecordSink {
public:
    StoreSink(ConfigStore& store, const char* localeCode) : store_(store), localeCode_(localeCode) {}

    void narrowRecord(int32_t id, std::string&& value, bool) override { store_.narrow[id] = value; }
    void wideRecord(int32_t id, const uint8_t* units, size_t length, bool) override
    {
        store_.wide[id] = wideText(units, length);
    }
    void localeGroup(std::string&& prefix) override { groupMatches_ = prefixMatches(prefix, localeCode_); }
    void localeRecord(int32_t id, const uint8_t* units, size_t length, bool) override
    {
        if (groupMatches_) {
            store_.wide[id] = wideText(units, length);
        }
    }

private:
    static std::wstring wideText(const uint8_t* units, size_t length)
    {
        static_assert(sizeof(wchar_t) == 2, "UTF-16 code units");
        std::wstring text(length, L'\0');
        std::memcpy(&text[0], units, 2 * length);
        return text;
    }

    ConfigStore& store_;
    const char* localeCode_;
    bool groupMatches_ = false;
};

} // namespace

BlockError findAppendedData(HANDLE file, int64_t* blockStart)
{
    FileSource source(file);
    blockformat::SectionWalk walk;
    BlockError error = blockformat::walkSectionTable(source, &walk);
    logWalk(walk);
    if (error != BlockError::none) {
        logFailedRead(error, walk.delivered);
        return error;
    }
    *blockStart = walk.blockStart;
    LARGE_INTEGER target{};
    target.QuadPart = walk.blockStart;
    SetFilePointerEx(file, target, nullptr, FILE_BEGIN);
    return BlockError::none;
}

BlockError readConfigBlock(HANDLE file, int64_t blockStart, const char* localeCode, ConfigStore& store,
                           uint32_t* endPosition)
{
    FileSource source(file);
    const int64_t fileSize = source.size();
    const uint64_t available = blockStart >= 0 && blockStart < fileSize ? static_cast<uint64_t>(fileSize - blockStart) : 0;

    uint8_t header[blockformat::kHeaderSize];
    uint32_t delivered = 0;
    source.readAt(blockStart, header, sizeof header, &delivered);
    int64_t hint = blockformat::blockSizeHint(header, delivered);
    uint64_t wanted = hint >= 0 && static_cast<uint64_t>(hint) <= kLargestSizeHint
                          ? blockformat::kSizeFieldOffset + static_cast<uint64_t>(hint)
                          : kFirstReadSize;

    // A parse that ran short fills the store partly; the next one, on more bytes, goes
    // over the same records in the same order again.
    StoreSink sink(store, localeCode);
    std::string bytes;
    blockformat::ParseResult parsed;
    for (;;) {
        uint64_t size = wanted < available ? wanted : available;
        bytes.resize(static_cast<size_t>(size));
        if (size > 0) {
            source.readAt(blockStart, &bytes[0], static_cast<uint32_t>(size), &delivered);
            bytes.resize(delivered);
        }
        parsed = blockformat::parseBlock(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), sink);
        // A size field that says too little: read on, as far as the file goes.
        if (parsed.error == BlockError::none || !parsed.ranShort || bytes.size() >= available) {
            break;
        }
        wanted = 2 * (wanted > kFirstReadSize ? wanted : kFirstReadSize);
    }
    if (parsed.error != BlockError::none) {
        if (parsed.ranShort) {
            SetLastError(ERROR_SUCCESS);  // the end of the file, as ReadFile reports it
        }
        logFailedRead(parsed.error, parsed.delivered);
        return parsed.error;
    }
    *endPosition = static_cast<uint32_t>(static_cast<uint64_t>(blockStart) + parsed.end);
    return BlockError::none;
}

bool readLongFrom(HANDLE file, int64_t* value)
{
    DWORD delivered = 0;
    if (!ReadFile(file, value, sizeof *value, &delivered, nullptr) || delivered != sizeof *value) {
        logMessage("error %d\n", static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

UniqueFile openOwnExecutable()
{
    return UniqueFile(CreateFileW(getModulePathW(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void loadConfiguration()
{
    UniqueFile file = openOwnExecutable();
    if (!file) {
        logError("Could not open %S", getModulePathW());
        fatalError("Error opening media file. Please move this file to an ascii-only path like c:\\");
    }
    int64_t blockStart = 0;
    BlockError error = findAppendedData(file.get(), &blockStart);
    if (error == BlockError::none) {
        // The locale decides which of the localised texts of the block apply.
        const char* localeCode = detectLocale();
        splitLocale(localeCode);
        error = readConfigBlock(file.get(), blockStart, localeCode, configStore(), &configEndPosition);
    }
    if (error != BlockError::none) {
        fatalError(blockErrorText(error));
    }
    file.reset();

    int kind = getConfigInt(cfg::launcherKind);
    if (kind != 1 && kind != 5) {
        useMessageBoxes = false;
    }
}
