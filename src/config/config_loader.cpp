// Configuration block loader. Lengths in the block are checked against the bytes that
// are left in the file before anything is allocated: a damaged block ends with the same
// message as a short read, never with a huge allocation or a crash.
#include "config/config_loader.h"

#include "config/config_ids.h"
#include "config/messages.h"
#include "config/user_locale.h"
#include "launcher/diagnostic_log.h"
#include "platform/paths.h"

#include <cstring>
#include <string>
#include <vector>

bool useMessageBoxes = true;
uint32_t configEndPosition = 0;

namespace {

// Reads from a file at a position it tracks itself, so that a seek to an impossible
// offset turns into a short read instead of reading from wherever the file pointer was.
struct BlockReader {
    HANDLE file;
    int64_t size = 0;
    int64_t position = 0;

    explicit BlockReader(HANDLE f) : file(f)
    {
        LARGE_INTEGER fileSize{};
        if (GetFileSizeEx(file, &fileSize)) {
            size = fileSize.QuadPart;
        }
        LARGE_INTEGER zero{};
        LARGE_INTEGER current{};
        if (SetFilePointerEx(file, zero, &current, FILE_CURRENT)) {
            position = current.QuadPart;
        }
    }

    int64_t remaining() const { return position >= 0 && position < size ? size - position : 0; }

    void seek(int64_t offset)
    {
        position = offset;
        if (offset >= 0) {
            LARGE_INTEGER target{};
            target.QuadPart = offset;
            SetFilePointerEx(file, target, nullptr, FILE_BEGIN);
        }
    }

    // True when all `count` bytes were delivered.
    bool read(void* buffer, DWORD count, DWORD* delivered)
    {
        *delivered = 0;
        if (position < 0 || position > size) {
            SetLastError(ERROR_NEGATIVE_SEEK);
            return false;
        }
        BOOL ok = ReadFile(file, buffer, count, delivered, nullptr);
        position += *delivered;
        return ok && *delivered == count;
    }
};

bool readInt(BlockReader& reader, int32_t* value)
{
    DWORD delivered = 0;
    if (!reader.read(value, 4, &delivered)) {
        logMessage("error %d %d\n", static_cast<int>(GetLastError()), static_cast<int>(delivered));
        return false;
    }
    return true;
}

bool readShort(BlockReader& reader, int16_t* value)
{
    DWORD delivered = 0;
    if (!reader.read(value, 2, &delivered)) {
        logMessage("error %d\n", static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

bool readLong(BlockReader& reader, int64_t* value)
{
    DWORD delivered = 0;
    if (!reader.read(value, 8, &delivered)) {
        logMessage("error %d\n", static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

// readString and readWString: the length, then that many bytes. A length the file
// cannot hold fails like the short read it would become.
BlockError readString(BlockReader& reader, std::string* value)
{
    int32_t length = 0;
    if (!readInt(reader, &length)) {
        return BlockError::readInt;
    }
    if (length < 0 || length > reader.remaining()) {
        return BlockError::readString;
    }
    std::string text(static_cast<size_t>(length), '\0');
    DWORD delivered = 0;
    if (length > 0 && !reader.read(&text[0], static_cast<DWORD>(length), &delivered)) {
        return BlockError::readString;
    }
    *value = std::string(text.c_str());
    return BlockError::none;
}

BlockError readWString(BlockReader& reader, std::wstring* value)
{
    int32_t length = 0;
    if (!readInt(reader, &length)) {
        return BlockError::readInt;
    }
    if (length < 0 || length > reader.remaining()) {
        return BlockError::readWString;
    }
    std::vector<wchar_t> text(static_cast<size_t>(length) / 2 + 1, L'\0');
    DWORD delivered = 0;
    if (length > 0 && !reader.read(text.data(), static_cast<DWORD>(length), &delivered)) {
        return BlockError::readWString;
    }
    text[static_cast<size_t>(length) / 2] = L'\0';
    *value = std::wstring(text.data());
    return BlockError::none;
}

// A count of records. A negative one fails like a short read. A count larger than the
// rest of the file can hold needs no check here: the records are read one at a time and
// nothing is sized by the count, so the first record that runs past the end fails with
// the error of the read that ran short ("readString" for a cut inside a text).
BlockError readCount(BlockReader& reader, int32_t* count)
{
    if (!readInt(reader, count) || *count < 0) {
        return BlockError::readInt;
    }
    return BlockError::none;
}

bool prefixMatches(const std::string& prefix, const char* localeCode)
{
    return std::strncmp(localeCode, prefix.c_str(), prefix.size()) == 0 && std::strlen(localeCode) >= prefix.size();
}

} // namespace

const char* blockErrorText(BlockError error)
{
    switch (error) {
    case BlockError::none: return "";
    case BlockError::magic: return "Internal Error: magic";
    case BlockError::readLong: return "Internal Error: readLong";
    case BlockError::readInt: return "Internal Error: readInt";
    case BlockError::readShort: return "Internal Error: readShort";
    case BlockError::readString: return "Internal Error: readString";
    case BlockError::readWString: return "Internal Error: readWString";
    }
    return "";
}

BlockError findAppendedData(HANDLE file, int64_t* blockStart)
{
    BlockReader reader(file);
    int32_t header = 0;
    reader.seek(60);
    if (!readInt(reader, &header)) return BlockError::readInt;

    int16_t sections = 0;
    reader.seek(static_cast<int64_t>(header) + 6);
    if (!readShort(reader, &sections)) return BlockError::readShort;
    logMessage("number of sections: %d", sections);

    int16_t optionalHeaderSize = 0;
    reader.seek(static_cast<int64_t>(header) + 20);
    if (!readShort(reader, &optionalHeaderSize)) return BlockError::readShort;
    logMessage("size of optional headers: %d", optionalHeaderSize);

    // The section table starts at header + 24 + optional header size, 40 bytes per entry;
    // D points at the SizeOfRawData field of the last entry.
    int64_t d = static_cast<int64_t>(header) + optionalHeaderSize + 40 * static_cast<int64_t>(sections);
    logMessage("resSectionTableStart: %d", static_cast<int>(d - 16));

    int32_t rawDataSize = 0;
    int32_t rawDataOffset = 0;
    reader.seek(d);
    if (!readInt(reader, &rawDataSize)) return BlockError::readInt;
    reader.seek(d + 4);
    if (!readInt(reader, &rawDataOffset)) return BlockError::readInt;
    logMessage("rawDataSize: %d, rawDataOffset: %d", rawDataSize, rawDataOffset);

    *blockStart = static_cast<int64_t>(rawDataSize) + rawDataOffset;
    reader.seek(*blockStart);
    return BlockError::none;
}

BlockError readConfigRecords(HANDLE file, ConfigStore& store)
{
    BlockReader reader(file);
    int32_t magic = 0;
    if (!readInt(reader, &magic)) return BlockError::readInt;
    if (static_cast<uint32_t>(magic) != kConfigMagic) return BlockError::magic;

    int32_t ignored32 = 0;
    int64_t ignored64 = 0;
    if (!readInt(reader, &ignored32) || !readInt(reader, &ignored32)) return BlockError::readInt;
    if (!readLong(reader, &ignored64)) return BlockError::readLong;

    int32_t narrowCount = 0;
    if (BlockError e = readCount(reader, &narrowCount); e != BlockError::none) return e;
    for (int32_t i = 0; i < narrowCount; ++i) {
        int32_t id = 0;
        std::string value;
        if (!readInt(reader, &id)) return BlockError::readInt;
        if (BlockError e = readString(reader, &value); e != BlockError::none) return e;
        store.narrow[id] = value;
    }

    int32_t wideCount = 0;
    if (BlockError e = readCount(reader, &wideCount); e != BlockError::none) return e;
    for (int32_t i = 0; i < wideCount; ++i) {
        int32_t id = 0;
        std::wstring value;
        if (!readInt(reader, &id)) return BlockError::readInt;
        if (BlockError e = readWString(reader, &value); e != BlockError::none) return e;
        store.wide[id] = value;
    }
    return BlockError::none;
}

BlockError readLocaleGroups(HANDLE file, const char* localeCode, ConfigStore& store, uint32_t* endPosition)
{
    BlockReader reader(file);
    int32_t groupCount = 0;
    if (BlockError e = readCount(reader, &groupCount); e != BlockError::none) return e;
    for (int32_t g = 0; g < groupCount; ++g) {
        std::string prefix;
        if (BlockError e = readString(reader, &prefix); e != BlockError::none) return e;
        bool matches = prefixMatches(prefix, localeCode);
        int32_t recordCount = 0;
        if (BlockError e = readCount(reader, &recordCount); e != BlockError::none) return e;
        for (int32_t i = 0; i < recordCount; ++i) {
            int32_t id = 0;
            std::wstring value;
            if (!readInt(reader, &id)) return BlockError::readInt;
            if (BlockError e = readWString(reader, &value); e != BlockError::none) return e;
            if (matches) {
                store.wide[id] = value;
            }
        }
    }
    *endPosition = static_cast<uint32_t>(reader.position);
    return BlockError::none;
}

bool readLongFrom(HANDLE file, int64_t* value)
{
    BlockReader reader(file);
    return readLong(reader, value);
}

UniqueFile openOwnExecutable()
{
    return UniqueFile(CreateFileW(getModulePathW(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void seekToAppendedData(HANDLE file)
{
    int64_t blockStart = 0;
    BlockError error = findAppendedData(file, &blockStart);
    if (error != BlockError::none) {
        fatalError(blockErrorText(error));
    }
}

void loadConfiguration()
{
    UniqueFile file = openOwnExecutable();
    if (!file) {
        logError("Could not open %S", getModulePathW());
        fatalError("Error opening media file. Please move this file to an ascii-only path like c:\\");
    }
    seekToAppendedData(file.get());

    BlockError error = readConfigRecords(file.get(), configStore());
    if (error == BlockError::none) {
        // The locale decides which of the localised texts that follow apply.
        char localeCode[16];
        detectLocale(localeCode, sizeof localeCode);
        splitLocale(localeCode);
        error = readLocaleGroups(file.get(), localeCode, configStore(), &configEndPosition);
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
