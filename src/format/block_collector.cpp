// A packaged launcher's block and included files in memory, collected for the packager.
#include "format/block_parser.h"
#include "format/included_files.h"

#include <cstring>

namespace blockformat {

namespace {

std::u16string unitsToText(const uint8_t* units, size_t length)
{
    std::u16string text;
    text.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        text.push_back(static_cast<char16_t>(units[2 * i] | units[2 * i + 1] << 8));
    }
    return text;
}

} // namespace

void BlockCollector::narrowRecord(int32_t id, std::string&& value, bool cutAtNul)
{
    block_->narrow.push_back({id, std::move(value)});
    if (cutAtNul) {
        cut.push_back(id);
    }
}

void BlockCollector::wideRecord(int32_t id, const uint8_t* units, size_t length, bool cutAtNul)
{
    block_->wide.push_back({id, unitsToText(units, length)});
    if (cutAtNul) {
        cut.push_back(id);
    }
}

void BlockCollector::localeGroup(std::string&& prefix)
{
    block_->localeGroups.push_back({std::move(prefix), {}});
}

void BlockCollector::localeRecord(int32_t id, const uint8_t* units, size_t length, bool cutAtNul)
{
    block_->localeGroups.back().records.push_back({id, unitsToText(units, length)});
    if (cutAtNul) {
        cut.push_back(id);
    }
}

ParseResult parseBlock(const uint8_t* data, size_t size, ConfigBlock* block, std::vector<int32_t>* cutAtNul)
{
    ConfigBlock parsed;
    BlockCollector collector(&parsed);
    ParseResult result = parseBlock(data, size, collector);
    if (result.error == BlockError::none) {
        *block = std::move(parsed);
        if (cutAtNul != nullptr) {
            *cutAtNul = collector.cut;
        }
    }
    return result;
}

bool MemorySource::readAt(int64_t offset, void* buffer, uint32_t count, uint32_t* delivered) const
{
    *delivered = 0;
    if (offset < 0 || static_cast<uint64_t>(offset) >= size_) {
        return count == 0 && offset >= 0;
    }
    uint64_t available = size_ - static_cast<uint64_t>(offset);
    uint32_t n = available < count ? static_cast<uint32_t>(available) : count;
    std::memcpy(buffer, data_ + offset, n);
    *delivered = n;
    return n == count;
}

bool readIncludedFiles(const uint8_t* data, size_t size, uint64_t offset, size_t fileCount,
                       std::vector<std::vector<uint8_t>>* contents, uint64_t* end, size_t* failed)
{
    contents->clear();
    uint64_t at = offset;
    for (size_t i = 0; i < fileCount; ++i) {
        if (at > size || size - at < 8) {
            *failed = i;
            return false;
        }
        uint64_t raw = 0;
        for (int k = 0; k < 8; ++k) {
            raw |= static_cast<uint64_t>(data[at + static_cast<uint64_t>(k)]) << (8 * k);
        }
        at += 8;
        int64_t length = static_cast<int64_t>(raw);
        std::vector<uint8_t> content;
        if (length > 0) {
            if (static_cast<uint64_t>(length) > size - at) {
                *failed = i;
                return false;
            }
            content.assign(data + at, data + at + length);
            unscramble(content.data(), content.size());
            at += static_cast<uint64_t>(length);
        }
        contents->push_back(std::move(content));
    }
    *end = at;
    return true;
}

} // namespace blockformat
