// Reading a packaged launcher: the walk through the image's section table that finds the
// configuration block, the one parser from the block's bytes to its records, and the
// included files behind it. The launcher and the packager both read through these, so
// they can never disagree about what a block says. Portable C++.
#pragma once

#include "format/block.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace blockformat {

// Which read failed; each has its fixed message ("Internal Error: readInt", ...).
enum class BlockError { none, magic, readLong, readInt, readShort, readString, readWString };
const char* blockErrorText(BlockError error);

// Random access to the bytes of a launcher file.
class ByteSource {
public:
    // Reads up to `count` bytes at `offset` into `buffer`; `delivered` gets how many were
    // read. True only when all `count` bytes were. A negative offset reads nothing.
    virtual bool readAt(int64_t offset, void* buffer, uint32_t count, uint32_t* delivered) const = 0;

protected:
    ~ByteSource() = default;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool readAt(int64_t offset, void* buffer, uint32_t count, uint32_t* delivered) const override;

private:
    const uint8_t* data_;
    size_t size_;
};

// The steps of the section-table walk, as far as they got.
struct SectionWalk {
    enum Step { readingHeader, readingSectionCount, readingOptionalHeaderSize, readingRawDataSize, readingRawDataOffset, done };
    Step reached = readingHeader;      // the step that failed, or done
    uint32_t delivered = 0;       // bytes the failed read delivered
    int32_t header = 0;           // offset of the PE header (e_lfanew)
    int16_t sections = 0;
    int16_t optionalHeaderSize = 0;
    int64_t sectionTableEnd = 0;  // the last section header's SizeOfRawData field
    int32_t rawDataSize = 0;
    int32_t rawDataOffset = 0;
    int64_t blockStart = 0;       // where the block starts (rawDataSize + rawDataOffset)
};

// Reads offset 60 (the PE header), the section count and the optional header size, and
// the last section header's SizeOfRawData and PointerToRawData; the block starts where
// that section's raw data ends. Fails with readInt or readShort on a short read.
BlockError walkSectionTable(const ByteSource& source, SectionWalk* walk);

// What the parser hands over, record by record, in file order. The launcher puts the
// records straight into its store; the packager collects them (BlockCollector).
// `cut` says that the stored text goes on behind a NUL character: the launcher reads a
// text only up to its first NUL, and so the value handed over ends there.
class RecordSink {
public:
    virtual void narrowRecord(int32_t id, std::string&& value, bool cut) = 0;
    // A wide text as `length` UTF-16LE code units at `units` (not aligned).
    virtual void wideRecord(int32_t id, const uint8_t* units, size_t length, bool cut) = 0;
    // The records after a locale group's start belong to that group, up to the next one.
    virtual void localeGroup(std::string&& prefix) = 0;
    virtual void localeRecord(int32_t id, const uint8_t* units, size_t length, bool cut) = 0;

protected:
    ~RecordSink() = default;
};

// How the parse ended.
struct ParseResult {
    BlockError error = BlockError::none;
    // On success: the offset (from the block's start) behind the last locale group.
    uint64_t end = 0;
    // On failure: where, for a message ("narrow record 3"), and how.
    enum Section { header, narrowRecords, wideRecords, localeGroups } section = header;
    // The record or group that failed, counted from 0; -1 for the count of the section
    // (for the header: the magic).
    int32_t index = 0;
    uint32_t delivered = 0;       // bytes the failed read delivered
    bool ranShort = false;        // the failed read wanted more bytes than were given
};

// Parses a block from its first byte into the sink. The records come out as the launcher
// reads them: every text ends at its first NUL, a wide text of an odd byte length loses
// its last byte. Bytes behind the block are ignored. Lengths and counts are checked
// against the bytes given before anything is allocated: a negative or too large one
// fails like a short read. On failure the sink has had the records before the damage.
ParseResult parseBlock(const uint8_t* data, size_t size, RecordSink& sink);

// The sink of a ConfigBlock, and the parse into one: nothing is kept when the parse fails.
class BlockCollector final : public RecordSink {
public:
    explicit BlockCollector(ConfigBlock* block) : block_(block) {}
    void narrowRecord(int32_t id, std::string&& value, bool cut) override;
    void wideRecord(int32_t id, const uint8_t* units, size_t length, bool cut) override;
    void localeGroup(std::string&& prefix) override;
    void localeRecord(int32_t id, const uint8_t* units, size_t length, bool cut) override;

    std::vector<int32_t> cut;  // the records cut at a NUL

private:
    ConfigBlock* block_;
};
ParseResult parseBlock(const uint8_t* data, size_t size, ConfigBlock* block, std::vector<int32_t>* cutAtNul = nullptr);

// The 64-bit size field of a block's header: how many bytes a sound block takes from
// offset 12 on. Only a hint for how much to read; -1 when fewer than 20 bytes are given.
inline int64_t blockSizeHint(const uint8_t* header, size_t size)
{
    uint64_t value = 0;
    for (size_t i = 0; i < 8 && size >= kHeaderSize; ++i) {
        value |= static_cast<uint64_t>(header[kSizeFieldOffset + i]) << (8 * i);
    }
    return size >= kHeaderSize ? static_cast<int64_t>(value) : -1;
}

} // namespace blockformat
