// Section-table walk, block parser and included files.
#include "format/block_parser.h"

#include <cstring>

namespace blockformat {

namespace {

// A cursor over the given bytes that refuses to read past their end.
class Cursor {
public:
    Cursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint64_t position() const { return at_; }
    uint64_t remaining() const { return size_ - at_; }
    uint32_t lastDelivered() const { return delivered_; }

    // Little-endian integer of `bytes` bytes; false (with the bytes there were counted)
    // when fewer are left.
    bool integer(int bytes, uint64_t* value)
    {
        *value = 0;
        if (remaining() < static_cast<uint64_t>(bytes)) {
            delivered_ = static_cast<uint32_t>(remaining());
            at_ = size_;
            return false;
        }
        for (int i = 0; i < bytes; ++i) {
            *value |= static_cast<uint64_t>(data_[at_ + static_cast<uint64_t>(i)]) << (8 * i);
        }
        at_ += static_cast<uint64_t>(bytes);
        return true;
    }
    bool int32(int32_t* value)
    {
        uint64_t raw = 0;
        bool ok = integer(4, &raw);
        *value = static_cast<int32_t>(static_cast<uint32_t>(raw));
        return ok;
    }
    bool int64(int64_t* value)
    {
        uint64_t raw = 0;
        bool ok = integer(8, &raw);
        *value = static_cast<int64_t>(raw);
        return ok;
    }
    const uint8_t* take(uint64_t count)
    {
        const uint8_t* start = data_ + at_;
        at_ += count;
        return start;
    }

private:
    const uint8_t* data_;
    size_t size_;
    uint64_t at_ = 0;
    uint32_t delivered_ = 0;
};

// The parse of one block, failing at the first read that does not work out.
struct Parser {
    Cursor cursor;
    RecordSink& sink;
    ParseResult result;

    bool fail(BlockError error, bool ranShort)
    {
        result.error = error;
        result.ranShort = ranShort;
        result.delivered = ranShort ? cursor.lastDelivered() : 0;
        return false;
    }

    bool readInt(int32_t* value) { return cursor.int32(value) || fail(BlockError::readInt, true); }

    // A count of records; a negative one fails like a short read. A count larger than the
    // rest can hold needs no check: nothing is sized by it, and the first record that runs
    // past the end fails with the error of the read that ran short.
    bool readCount(int32_t* count) { return readInt(count) && (*count >= 0 || fail(BlockError::readInt, false)); }

    // The length, then that many bytes, cut at the first NUL as the launcher reads it.
    bool readText(BlockError error, std::string* value, bool* cut)
    {
        int32_t length = 0;
        if (!readInt(&length)) {
            return false;
        }
        if (length < 0) {
            return fail(error, false);
        }
        if (static_cast<uint64_t>(length) > cursor.remaining()) {
            result.delivered = static_cast<uint32_t>(cursor.remaining());
            result.error = error;
            result.ranShort = true;
            return false;
        }
        const char* bytes = reinterpret_cast<const char*>(cursor.take(static_cast<uint64_t>(length)));
        size_t kept = strnlen(bytes, static_cast<size_t>(length));
        *cut = kept != static_cast<size_t>(length);
        value->assign(bytes, kept);
        return true;
    }

    // The code units up to the first NUL.
    bool readWideText(const uint8_t** units, size_t* count, bool* cut)
    {
        int32_t length = 0;
        if (!readInt(&length)) {
            return false;
        }
        if (length < 0) {
            return fail(BlockError::readWString, false);
        }
        if (static_cast<uint64_t>(length) > cursor.remaining()) {
            result.delivered = static_cast<uint32_t>(cursor.remaining());
            result.error = BlockError::readWString;
            result.ranShort = true;
            return false;
        }
        *units = cursor.take(static_cast<uint64_t>(length));
        *count = 0;
        *cut = false;
        for (int32_t i = 0; i + 1 < length; i += 2) {
            if ((*units)[i] == 0 && (*units)[i + 1] == 0) {
                *cut = true;
                break;
            }
            ++*count;
        }
        return true;
    }

    bool readWideRecord(bool inGroup)
    {
        int32_t id = 0;
        const uint8_t* units = nullptr;
        size_t count = 0;
        bool cut = false;
        if (!readInt(&id) || !readWideText(&units, &count, &cut)) {
            return false;
        }
        if (inGroup) {
            sink.localeRecord(id, units, count, cut);
        } else {
            sink.wideRecord(id, units, count, cut);
        }
        return true;
    }

    bool parse()
    {
        int32_t magic = 0;
        result.index = -1;
        if (!readInt(&magic)) {
            return false;
        }
        if (static_cast<uint32_t>(magic) != kMagic) {
            return fail(BlockError::magic, false);
        }
        result.index = 0;
        int32_t ignored32 = 0;
        int64_t ignored64 = 0;
        if (!readInt(&ignored32) || !readInt(&ignored32)) {
            return false;
        }
        if (!cursor.int64(&ignored64)) {
            return fail(BlockError::readLong, true);
        }

        result.section = ParseResult::narrowRecords;
        result.index = -1;
        int32_t narrowCount = 0;
        if (!readCount(&narrowCount)) {
            return false;
        }
        for (result.index = 0; result.index < narrowCount; ++result.index) {
            int32_t id = 0;
            std::string value;
            bool cut = false;
            if (!readInt(&id) || !readText(BlockError::readString, &value, &cut)) {
                return false;
            }
            sink.narrowRecord(id, std::move(value), cut);
        }

        result.section = ParseResult::wideRecords;
        result.index = -1;
        int32_t wideCount = 0;
        if (!readCount(&wideCount)) {
            return false;
        }
        for (result.index = 0; result.index < wideCount; ++result.index) {
            if (!readWideRecord(false)) {
                return false;
            }
        }

        result.section = ParseResult::localeGroups;
        result.index = -1;
        int32_t groupCount = 0;
        if (!readCount(&groupCount)) {
            return false;
        }
        for (result.index = 0; result.index < groupCount; ++result.index) {
            std::string prefix;
            int32_t recordCount = 0;
            bool cut = false;
            if (!readText(BlockError::readString, &prefix, &cut)) {
                return false;
            }
            sink.localeGroup(std::move(prefix));
            if (!readCount(&recordCount)) {
                return false;
            }
            for (int32_t i = 0; i < recordCount; ++i) {
                if (!readWideRecord(true)) {
                    return false;
                }
            }
        }
        result.end = cursor.position();
        return true;
    }
};

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

BlockError walkSectionTable(const ByteSource& source, SectionWalk* walk)
{
    uint32_t* delivered = &walk->delivered;
    // The fields are little-endian like the host of every build of this code.
    walk->reached = SectionWalk::readingHeader;
    if (!source.readAt(60, &walk->header, 4, delivered)) return BlockError::readInt;
    walk->reached = SectionWalk::readingSectionCount;
    if (!source.readAt(static_cast<int64_t>(walk->header) + 6, &walk->sections, 2, delivered)) {
        return BlockError::readShort;
    }
    walk->reached = SectionWalk::readingOptionalHeaderSize;
    if (!source.readAt(static_cast<int64_t>(walk->header) + 20, &walk->optionalHeaderSize, 2, delivered)) {
        return BlockError::readShort;
    }

    // The section table starts at header + 24 + optional header size, 40 bytes per entry;
    // this points at the SizeOfRawData field of the last entry.
    walk->sectionTableEnd = static_cast<int64_t>(walk->header) + walk->optionalHeaderSize +
                            40 * static_cast<int64_t>(walk->sections);
    walk->reached = SectionWalk::readingRawDataSize;
    if (!source.readAt(walk->sectionTableEnd, &walk->rawDataSize, 4, delivered)) return BlockError::readInt;
    walk->reached = SectionWalk::readingRawDataOffset;
    if (!source.readAt(walk->sectionTableEnd + 4, &walk->rawDataOffset, 4, delivered)) return BlockError::readInt;
    walk->reached = SectionWalk::done;
    walk->delivered = 0;
    walk->blockStart = static_cast<int64_t>(walk->rawDataSize) + walk->rawDataOffset;
    return BlockError::none;
}

ParseResult parseBlock(const uint8_t* data, size_t size, RecordSink& sink)
{
    Parser parser{Cursor(data, size), sink, {}};
    parser.parse();
    return parser.result;
}

} // namespace blockformat
