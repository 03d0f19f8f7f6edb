// Writing a packaged launcher file.
#include "packaging/launcher/writer.h"

#include "format/block_writer.h"
#include "format/included_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace packager {

namespace {

void putInt64(std::ofstream& out, uint64_t value)
{
    char bytes[8];
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<char>(value >> (8 * i));
    }
    out.write(bytes, sizeof bytes);
}

// Copies one included file, scrambled, in chunks; false when it cannot be read or no
// longer has the size it was measured with.
bool copyIncluded(std::ofstream& out, const IncludedSource& source, std::string* error)
{
    std::ifstream in(source.path, std::ios::binary);
    if (!in) {
        *error = "cannot read the included file " + source.path.u8string();
        return false;
    }
    putInt64(out, source.size);
    std::vector<char> chunk(1 << 16);
    uint64_t copied = 0;
    while (in && out) {
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
        out.write(chunk.data(), got);
    }
    if (in.bad() || copied != source.size) {
        *error = "the included file " + source.path.u8string() + " changed while the launcher was written";
        return false;
    }
    return true;
}

} // namespace

std::string cannotWrite(const std::string& path, int savedErrno)
{
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ignored;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ignored)) {
        return "cannot write " + path + ": the folder " + folder.u8string() + " does not exist";
    }
    if (savedErrno == 0) {
        return "cannot write " + path;
    }
    return "cannot write " + path + ": " + std::strerror(savedErrno);
}

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
    std::string temporary = outputPath + ".partial";
    bool written = false;
    std::string copyError;
    int openErrno = 0;
    {
        errno = 0;
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        openErrno = out ? 0 : errno;
        out.write(reinterpret_cast<const char*>(launcher.data()), static_cast<std::streamsize>(launcher.size()));
        written = static_cast<bool>(out);
        for (size_t i = 0; written && i < block.includedContents.size(); ++i) {
            if (i < sources.size() && !sources[i].path.empty()) {
                written = copyIncluded(out, sources[i], &copyError);
                continue;
            }
            const std::vector<uint8_t>& content = block.includedContents[i];
            putInt64(out, content.size());
            std::vector<char> scrambled(content.begin(), content.end());
            blockformat::unscramble(reinterpret_cast<uint8_t*>(scrambled.data()), scrambled.size());
            out.write(scrambled.data(), static_cast<std::streamsize>(scrambled.size()));
            written = static_cast<bool>(out);
        }
        out.close();
        if (written && !out) {
            written = false;
        }
        if (!written) {
            std::remove(temporary.c_str());
            // The name the user gave, not the temporary one, and why.
            *error = copyError.empty() ? cannotWrite(outputPath, openErrno) : copyError;
            return false;
        }
    }
    // Replaces an existing launcher in one step (on Windows too), so that a failure
    // leaves the previous file in place rather than no file at all.
    std::error_code renameError;
    std::filesystem::rename(temporary, outputPath, renameError);
    if (renameError) {
        std::remove(temporary.c_str());
        *error = "cannot create " + outputPath + ": " + renameError.message();
        return false;
    }
    return true;
}

// True when the two paths name one file, also through another spelling or a link.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::error_code failed;
    if (std::filesystem::exists(a, failed) && std::filesystem::exists(b, failed)) {
        bool same = std::filesystem::equivalent(a, b, failed);
        return !failed && same;
    }
    std::filesystem::path x = std::filesystem::weakly_canonical(std::filesystem::absolute(a, failed), failed);
    std::filesystem::path y = std::filesystem::weakly_canonical(std::filesystem::absolute(b, failed), failed);
    return x == y;
}

// Empty when the runtime library jar can be embedded; otherwise why not. A jar is a zip
// archive: anything else would only fail when the application starts.
std::string runtimeLibraryProblem(const std::string& path)
{
    std::error_code failed;
    if (!std::filesystem::exists(path, failed)) {
        return "the runtime library jar " + path + " does not exist";
    }
    if (!std::filesystem::is_regular_file(path, failed)) {
        return "the runtime library jar " + path + " is not a file";
    }
    std::ifstream in(path, std::ios::binary);
    char head[4] = {};
    in.read(head, sizeof head);
    bool zip = in.gcount() == 4 && head[0] == 'P' && head[1] == 'K' &&
               ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6));
    if (!zip) {
        return "the runtime library " + path + " is not a jar (no zip archive header)";
    }
    return std::string();
}

} // namespace packager
