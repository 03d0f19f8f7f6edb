// Configuration block reader.
#include "packaging/block_reader.h"

namespace blockwriter {

namespace {

// A cursor over the file that refuses to read past its end.
struct Reader {
    const std::vector<uint8_t>& data;
    uint64_t at;
    bool ok = true;

    uint64_t take(int bytes)
    {
        if (!ok || at + static_cast<uint64_t>(bytes) > data.size()) {
            ok = false;
            return 0;
        }
        uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            value |= static_cast<uint64_t>(data[at + i]) << (8 * i);
        }
        at += static_cast<uint64_t>(bytes);
        return value;
    }
    int32_t int32() { return static_cast<int32_t>(static_cast<uint32_t>(take(4))); }
    int64_t int64() { return static_cast<int64_t>(take(8)); }
    bool bytes(int64_t length, std::string* out)
    {
        if (!ok || length < 0 || static_cast<uint64_t>(length) > data.size() - at) {
            ok = false;
            return false;
        }
        out->assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                    data.begin() + static_cast<std::ptrdiff_t>(at + static_cast<uint64_t>(length)));
        at += static_cast<uint64_t>(length);
        return true;
    }
    bool narrow(std::string* out) { return bytes(int32(), out); }
    bool wide(std::u16string* out)
    {
        std::string raw;
        int32_t length = int32();
        if (length % 2 != 0 || !bytes(length, &raw)) {
            ok = false;
            return false;
        }
        out->clear();
        for (size_t i = 0; i < raw.size(); i += 2) {
            out->push_back(static_cast<char16_t>(static_cast<uint8_t>(raw[i]) | static_cast<uint8_t>(raw[i + 1]) << 8));
        }
        return true;
    }
    // A count that cannot exceed what the rest of the file could hold.
    bool count(int32_t* value, uint64_t minimumRecordSize)
    {
        *value = int32();
        if (!ok || *value < 0 || static_cast<uint64_t>(*value) * minimumRecordSize > data.size() - at) {
            ok = false;
            return false;
        }
        return true;
    }
};

bool fail(std::string* error, const std::string& reason)
{
    if (error != nullptr) {
        *error = reason;
    }
    return false;
}

const std::string* findNarrow(const ConfigBlock& block, int32_t id)
{
    const std::string* found = nullptr;
    for (const NarrowRecord& record : block.narrow) {
        if (record.id == id) {
            found = &record.value;  // the launcher keeps the last one
        }
    }
    return found;
}

} // namespace

bool readPackagedLauncher(const std::vector<uint8_t>& file, PackagedLauncher* launcher, std::string* error)
{
    uint64_t end = 0;
    if (!findImageEnd(file, &end, error)) {
        return false;
    }
    Reader reader{file, end};
    if (reader.take(4) != kMagic || !reader.ok) {
        return fail(error, "no configuration block behind the image (not a packaged launcher)");
    }
    reader.take(4);
    reader.take(4);
    reader.int64();
    PackagedLauncher result;
    int32_t narrowCount = 0;
    if (!reader.count(&narrowCount, 8)) {
        return fail(error, "the configuration block is damaged (narrow record count)");
    }
    for (int32_t i = 0; i < narrowCount; ++i) {
        NarrowRecord record{reader.int32(), {}};
        if (!reader.narrow(&record.value)) {
            return fail(error, "the configuration block is cut off in narrow record " + std::to_string(i));
        }
        result.block.narrow.push_back(record);
    }
    int32_t wideCount = 0;
    if (!reader.count(&wideCount, 8)) {
        return fail(error, "the configuration block is damaged (wide record count)");
    }
    for (int32_t i = 0; i < wideCount; ++i) {
        WideRecord record{reader.int32(), {}};
        if (!reader.wide(&record.value)) {
            return fail(error, "the configuration block is cut off in wide record " + std::to_string(i));
        }
        result.block.wide.push_back(record);
    }
    int32_t groupCount = 0;
    if (!reader.count(&groupCount, 8)) {
        return fail(error, "the configuration block is damaged (locale group count)");
    }
    for (int32_t i = 0; i < groupCount; ++i) {
        LocaleGroup group;
        int32_t records = 0;
        if (!reader.narrow(&group.prefix) || !reader.count(&records, 8)) {
            return fail(error, "the configuration block is cut off in locale group " + std::to_string(i));
        }
        for (int32_t k = 0; k < records; ++k) {
            WideRecord record{reader.int32(), {}};
            if (!reader.wide(&record.value)) {
                return fail(error, "the configuration block is cut off in locale group " + std::to_string(i));
            }
            group.records.push_back(record);
        }
        result.block.localeGroups.push_back(group);
    }
    result.blockSize = reader.at - end;

    // The included files, as the launcher extracts them: at most the number of record
    // 2002, one per non-empty name of record 2003.
    const std::string* countText = findNarrow(result.block, kIncludedFileCountId);
    const std::string* namesText = findNarrow(result.block, kIncludedFileNamesId);
    long long declared = countText == nullptr ? 0 : std::atoll(countText->c_str());
    if (declared > 0 && namesText != nullptr) {
        size_t start = 0;
        while (start <= namesText->size() && static_cast<long long>(result.fileNames.size()) < declared) {
            size_t stop = namesText->find(';', start);
            if (stop == std::string::npos) {
                stop = namesText->size();
            }
            if (stop > start) {
                result.fileNames.push_back(namesText->substr(start, stop - start));
            }
            start = stop + 1;
        }
    }
    for (const std::string& name : result.fileNames) {
        int64_t length = reader.int64();
        std::string content;
        if (!reader.ok || (length > 0 && !reader.bytes(length, &content))) {
            return fail(error, "the included file " + name + " is cut off");
        }
        std::vector<uint8_t> bytes;
        for (char c : content) {
            bytes.push_back(static_cast<uint8_t>(static_cast<uint8_t>(c) ^ kIncludedFileMask));
        }
        result.block.includedContents.push_back(bytes);
    }
    result.trailingBytes = file.size() - reader.at;
    result.image.assign(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(end));
    *launcher = std::move(result);
    return true;
}

} // namespace blockwriter
