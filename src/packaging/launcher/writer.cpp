// Writing a packaged launcher file.
#include "packaging/launcher/writer.h"

#include "format/block_writer.h"
#include "format/included_files.h"
#include "packaging/io/output_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace packager {

namespace {

void putInt64(OutputFile& out, uint64_t value)
{
    char bytes[8];
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<char>(value >> (8 * i));
    }
    out.write(bytes, sizeof bytes);
}

// Copies one included file, scrambled, in chunks; false when it cannot be read or no
// longer has the size it was measured with. A failed write is the output's own, which
// committing it reports.
bool copyIncluded(OutputFile& out, const IncludedSource& source, std::string* error)
{
    std::ifstream in(source.path, std::ios::binary);
    if (!in) {
        *error = "cannot read the included file " + source.path.u8string();
        return false;
    }
    putInt64(out, source.size);
    std::vector<char> chunk(1 << 16);
    uint64_t copied = 0;
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        std::streamsize got = in.gcount();
        if (got <= 0) {
            break;
        }
        copied += static_cast<uint64_t>(got);
        if (copied > source.size) {
            break;
        }
        for (std::streamsize i = 0; i < got; ++i) {
            chunk[static_cast<size_t>(i)] = static_cast<char>(chunk[static_cast<size_t>(i)] ^ blockformat::kIncludedFileMask);
        }
        if (!out.write(chunk.data(), static_cast<size_t>(got))) {
            return true;
        }
    }
    if (in.bad() || copied != source.size) {
        *error = "the included file " + source.path.u8string() + " changed while the launcher was written";
        return false;
    }
    return true;
}

} // namespace

std::string blockLimitProblem(const blockformat::ConfigBlock& block, uint64_t largest)
{
    for (const blockformat::NarrowRecord& record : block.narrow) {
        if (record.value.size() > largest) {
            return "record " + std::to_string(record.id) + " has " + std::to_string(record.value.size()) +
                   " bytes; the launcher reads at most " + std::to_string(largest);
        }
    }
    auto wideTooLong = [largest](const blockformat::WideRecord& record) { return record.value.size() > largest / 2; };
    for (const blockformat::WideRecord& record : block.wide) {
        if (wideTooLong(record)) {
            return "record " + std::to_string(record.id) + " is longer than the launcher reads";
        }
    }
    for (const blockformat::LocaleGroup& group : block.localeGroups) {
        if (group.prefix.size() > largest) {
            return "a locale prefix is longer than the launcher reads";
        }
        for (const blockformat::WideRecord& record : group.records) {
            if (wideTooLong(record)) {
                return "the " + group.prefix + " record " + std::to_string(record.id) + " is longer than the launcher reads";
            }
        }
    }
    if (block.narrow.size() > kLargestRecord || block.wide.size() > kLargestRecord ||
        block.localeGroups.size() > kLargestRecord) {
        return "the block has more records than the launcher reads";
    }
    return std::string();
}

bool writeLauncher(const std::string& imagePath, const blockformat::ConfigBlock& block, const std::string& outputPath,
                   std::string* error, const std::vector<IncludedSource>& sources)
{
    std::string limit = blockLimitProblem(block);
    if (!limit.empty()) {
        *error = "the launcher cannot be written: " + limit;
        return false;
    }
    std::ifstream in(imagePath, std::ios::binary);
    if (!in) {
        *error = "cannot read " + imagePath;
        return false;
    }
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The image and the block; the included files follow, one at a time.
    blockformat::ConfigBlock records = block;
    records.includedContents.clear();
    std::vector<uint8_t> launcher;
    if (!blockformat::packageImage(image, records, &launcher, error)) {
        // Which file it is about: the arguments of build are easily given in the wrong order.
        *error += ": " + imagePath + " is not a launcher image (the Windows build's launcher.exe)";
        return false;
    }
    OutputFile out{std::filesystem::path(outputPath)};
    if (!out.open(error)) {
        return false;
    }
    out.write(launcher.data(), launcher.size());
    for (size_t i = 0; i < block.includedContents.size(); ++i) {
        if (i < sources.size() && !sources[i].path.empty()) {
            if (!copyIncluded(out, sources[i], error)) {
                return false;
            }
            continue;
        }
        const std::vector<uint8_t>& content = block.includedContents[i];
        putInt64(out, content.size());
        std::vector<uint8_t> scrambled(content.begin(), content.end());
        blockformat::unscramble(scrambled.data(), scrambled.size());
        out.write(scrambled.data(), scrambled.size());
    }
    return out.commit(error);
}

} // namespace packager
