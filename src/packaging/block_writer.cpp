// Configuration block writer.
#include "packaging/block_writer.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <fstream>
#include <iterator>

namespace blockwriter {

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

uint16_t getInt16(const std::vector<uint8_t>& data, uint64_t at)
{
    return static_cast<uint16_t>(data[at] | data[at + 1] << 8);
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
    set(kIncludedFileCountId, std::to_string(includedContents.size()));
    set(kIncludedFileNamesId, names);
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

std::u16string utf8ToUtf16(const std::string& text)
{
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t code = 0xFFFD;
        size_t extra = 0;
        if (c < 0x80) {
            code = c;
        } else if ((c & 0xE0) == 0xC0) {
            code = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            code = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            code = c & 0x07;
            extra = 3;
        }
        bool valid = c < 0x80 || extra > 0;
        for (size_t k = 1; valid && k <= extra; ++k) {
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                valid = false;
                extra = k - 1;
                break;
            }
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        if (!valid || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            code = 0xFFFD;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += 1 + extra;
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
    uint16_t sections = getInt16(image, header + 6);
    uint16_t optionalHeaderSize = getInt16(image, header + 20);
    if (sections == 0) {
        return fail(error, "the image has no sections");
    }
    uint64_t lastEntry = header + 24 + optionalHeaderSize + 40ull * (sections - 1);
    if (lastEntry + 40 > image.size()) {
        return fail(error, "the section table runs past the end of the image");
    }
    uint64_t rawSize = getInt32(image, lastEntry + 16);
    uint64_t rawOffset = getInt32(image, lastEntry + 20);
    if (rawOffset + rawSize > image.size()) {
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

bool writeLauncher(const std::string& imagePath, const ConfigBlock& block, const std::string& outputPath,
                   std::string* error)
{
    std::ifstream in(imagePath, std::ios::binary);
    if (!in) {
        return fail(error, "cannot read " + imagePath);
    }
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> launcher;
    if (!packageImage(image, block, &launcher, error)) {
        return false;
    }
    std::string temporary = outputPath + ".partial";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(launcher.data()), static_cast<std::streamsize>(launcher.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return fail(error, "cannot write " + temporary);
        }
    }
    // Replaces an existing launcher in one step (on Windows too), so that a failure
    // leaves the previous file in place rather than no file at all.
    std::error_code renameError;
    std::filesystem::rename(temporary, outputPath, renameError);
    if (renameError) {
        std::remove(temporary.c_str());
        return fail(error, "cannot create " + outputPath + ": " + renameError.message());
    }
    return true;
}

} // namespace blockwriter
