// Configuration block writer.
#include "format/block_writer.h"

#include "format/block_parser.h"
#include "format/record_ids.h"

namespace blockformat {

namespace {

void putInt32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void putInt64(std::vector<uint8_t>& out, uint64_t value)
{
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void putNarrow(std::vector<uint8_t>& out, const std::string& text)
{
    putInt32(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

void putWideRecord(std::vector<uint8_t>& out, const WideRecord& record)
{
    putInt32(out, static_cast<uint32_t>(record.id));
    putInt32(out, static_cast<uint32_t>(record.value.size() * 2));
    for (char16_t c : record.value) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
}

uint32_t getInt32(const std::vector<uint8_t>& data, uint64_t at)
{
    return static_cast<uint32_t>(data[at]) | static_cast<uint32_t>(data[at + 1]) << 8 |
           static_cast<uint32_t>(data[at + 2]) << 16 | static_cast<uint32_t>(data[at + 3]) << 24;
}

bool fail(std::string* error, const std::string& reason)
{
    if (error != nullptr) {
        *error = reason;
    }
    return false;
}

} // namespace

void ConfigBlock::set(int32_t id, const std::string& value)
{
    for (NarrowRecord& record : narrow) {
        if (record.id == id) {
            record.value = value;
            return;
        }
    }
    narrow.push_back({id, value});
}

void ConfigBlock::setWide(int32_t id, const std::u16string& value)
{
    for (WideRecord& record : wide) {
        if (record.id == id) {
            record.value = value;
            return;
        }
    }
    wide.push_back({id, value});
}

void ConfigBlock::addIncludedFiles(const std::vector<IncludedFile>& files)
{
    std::string names;
    for (const IncludedFile& file : files) {
        if (!names.empty()) {
            names += ';';
        }
        names += file.name;
        includedContents.push_back(file.content);
    }
    set(cfg::includedFileCount, std::to_string(includedContents.size()));
    set(cfg::includedFileNames, names);
}

const std::string* ConfigBlock::findNarrow(int32_t id) const
{
    const std::string* found = nullptr;
    for (const NarrowRecord& record : narrow) {
        if (record.id == id) {
            found = &record.value;
        }
    }
    return found;
}

std::vector<uint8_t> serializeBlock(const ConfigBlock& block)
{
    std::vector<uint8_t> body;
    putInt32(body, static_cast<uint32_t>(block.narrow.size()));
    for (const NarrowRecord& record : block.narrow) {
        putInt32(body, static_cast<uint32_t>(record.id));
        putNarrow(body, record.value);
    }
    putInt32(body, static_cast<uint32_t>(block.wide.size()));
    for (const WideRecord& record : block.wide) {
        putWideRecord(body, record);
    }
    putInt32(body, static_cast<uint32_t>(block.localeGroups.size()));
    for (const LocaleGroup& group : block.localeGroups) {
        putNarrow(body, group.prefix);
        putInt32(body, static_cast<uint32_t>(group.records.size()));
        for (const WideRecord& record : group.records) {
            putWideRecord(body, record);
        }
    }

    std::vector<uint8_t> out;
    putInt32(out, kMagic);
    putInt32(out, 0);
    putInt32(out, 0);
    putInt64(out, 8 + body.size());  // from offset 12: this field itself and the records
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<uint8_t> serializeIncludedFiles(const ConfigBlock& block)
{
    std::vector<uint8_t> out;
    for (const std::vector<uint8_t>& content : block.includedContents) {
        putInt64(out, content.size());
        for (uint8_t byte : content) {
            out.push_back(static_cast<uint8_t>(byte ^ kIncludedFileMask));
        }
    }
    return out;
}

bool findImageEnd(const std::vector<uint8_t>& image, uint64_t* end, std::string* error)
{
    if (image.size() < 64 || image[0] != 'M' || image[1] != 'Z') {
        return fail(error, "not an executable image (no MZ header)");
    }
    uint64_t header = getInt32(image, 60);
    if (header + 24 > image.size() || getInt32(image, header) != 0x00004550u) {
        return fail(error, "not a PE image (no PE signature)");
    }
    // From here on the launcher's own walk, so that both find the same place.
    MemorySource source(image.data(), image.size());
    SectionWalk walk;
    if (walkSectionTable(source, &walk) != BlockError::none || walk.sections <= 0 || walk.optionalHeaderSize < 0) {
        return fail(error, walk.sections == 0 ? "the image has no sections"
                                              : "the section table runs past the end of the image");
    }
    if (static_cast<uint64_t>(walk.sectionTableEnd) + 24 > image.size()) {
        return fail(error, "the section table runs past the end of the image");
    }
    uint64_t rawSize = static_cast<uint32_t>(walk.rawDataSize);
    uint64_t rawOffset = static_cast<uint32_t>(walk.rawDataOffset);
    if (walk.rawDataSize < 0 || walk.rawDataOffset < 0 || rawOffset + rawSize > image.size()) {
        return fail(error, "the last section runs past the end of the image");
    }
    *end = rawOffset + rawSize;
    return true;
}

bool packageImage(const std::vector<uint8_t>& image, const ConfigBlock& block, std::vector<uint8_t>* launcher,
                  std::string* error)
{
    uint64_t end = 0;
    if (!findImageEnd(image, &end, error)) {
        return false;
    }
    if (end != image.size()) {
        return fail(error, "the image has " + std::to_string(image.size() - end) +
                               " bytes behind its last section (already packaged, signed or not stripped)");
    }
    *launcher = image;
    std::vector<uint8_t> records = serializeBlock(block);
    std::vector<uint8_t> included = serializeIncludedFiles(block);
    launcher->insert(launcher->end(), records.begin(), records.end());
    launcher->insert(launcher->end(), included.begin(), included.end());
    return true;
}

} // namespace blockformat
