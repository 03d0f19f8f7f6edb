// The configuration block appended to a launcher image, as data: what the packager writes
// and what the launcher reads. Portable C++, shared by the launcher and the packager.
//
// Placement in a packaged launcher:
//   1. the image, whose last section (in the section table) ends its raw data;
//   2. the block, starting exactly where that last section's raw data ends;
//   3. the included files, right behind the block: per file a 64-bit length, then the
//      content with every byte XOR kIncludedFileMask;
//   4. whatever a signing tool appends; the launcher reads none of it.
// The first three together hold at most kLargestLauncherSize bytes.
//
// Block layout (integers little-endian, texts without terminator):
//   offset 0   magic 0xE8E413D5
//   offset 4   32-bit word, not interpreted (0)
//   offset 8   32-bit word, not interpreted (0)
//   offset 12  64-bit size: the bytes from offset 12 to the end of the locale groups (a
//              hint only; the records themselves decide where the block ends)
//   offset 20  N narrow records: id (32-bit), length L (32-bit), L bytes (ISO-8859-1 as
//              the packager writes them, read by the launcher in the system code page)
//              M wide records: id, byte length L (twice the characters), L bytes UTF-16LE
//              G locale groups: prefix length P, P bytes of prefix, count K, K wide records
// The launcher reads every text as a C string: a value ends at its first NUL character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace blockformat {

constexpr uint32_t kMagic = 0xE8E413D5u;
// Magic, two words and the 64-bit size.
constexpr size_t kHeaderSize = 20;
constexpr size_t kSizeFieldOffset = 12;
constexpr uint8_t kIncludedFileMask = 0xA7;

// The most bytes a packaged launcher, image, block and included files together, can hold.
// The launcher keeps positions in its own file as 32-bit numbers, and hands the position
// behind its included files to the application as a signed one
// (-Dquill.unextractedPosition).
constexpr uint64_t kLargestLauncherSize = 0x7FFFFFFF;

// The size of a packaged launcher of `size` bytes with one more included file of
// `fileSize` bytes behind it: its 64-bit length, then its content. Saturates rather than
// wraps, so that no number of large files adds up to a small size.
inline uint64_t withIncludedFile(uint64_t size, uint64_t fileSize)
{
    constexpr uint64_t kLength = 8;
    constexpr uint64_t kMost = ~uint64_t{0};
    uint64_t record = fileSize > kMost - kLength ? kMost : fileSize + kLength;
    return size > kMost - record ? kMost : size + record;
}

struct NarrowRecord {
    int32_t id;
    std::string value;  // bytes in the target system's code page
};

struct WideRecord {
    int32_t id;
    std::u16string value;
};

struct LocaleGroup {
    std::string prefix;  // such as "de" or "pt_BR"; empty matches every locale
    std::vector<WideRecord> records;
};

struct IncludedFile {
    std::string name;  // relative to the launcher's temporary directory, '\' separated
    std::vector<uint8_t> content;
};

struct ConfigBlock {
    std::vector<NarrowRecord> narrow;
    std::vector<WideRecord> wide;
    std::vector<LocaleGroup> localeGroups;
    // Contents stored behind the block, in the order of the names in the included-file
    // names record.
    std::vector<std::vector<uint8_t>> includedContents;

    // Replaces the value of a record already present (the first one), else appends one.
    void set(int32_t id, const std::string& value);
    void setWide(int32_t id, const std::u16string& value);
    // Stores the files and sets the included-file count and names records.
    void addIncludedFiles(const std::vector<IncludedFile>& files);
    // The value the launcher reads for a narrow identifier (the last record wins); null
    // when there is none.
    const std::string* findNarrow(int32_t id) const;
};

} // namespace blockformat
