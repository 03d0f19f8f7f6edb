// Writes the configuration block that makes a generic launcher image into the launcher
// of one application, and appends it, with the included files behind it, to a copy of
// the image. Portable C++: it builds and runs on Linux as well as on Windows.
//
// Block layout (all integers little-endian, strings without terminator):
//   magic 0xE8E413D5, two 32-bit words (0), a 64-bit size (bytes from offset 12 to the
//   end of the locale groups), N narrow records (id, length, bytes), M wide records (id,
//   byte length, UTF-16LE), G locale groups (prefix, K wide records).
// Included files follow the block: per file a 64-bit length and the content XOR 0xA7.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace blockwriter {

constexpr uint32_t kMagic = 0xE8E413D5u;
constexpr uint8_t kIncludedFileMask = 0xA7;
constexpr int32_t kIncludedFileCountId = 2002;
constexpr int32_t kIncludedFileNamesId = 2003;

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
    // Contents stored behind the block, in the order of the names in record 2003.
    std::vector<std::vector<uint8_t>> includedContents;

    // Replaces the value of a record already present (the first one), else appends one.
    void set(int32_t id, const std::string& value);
    void setWide(int32_t id, const std::u16string& value);
    // Stores the files and sets records 2002 (their number) and 2003 (their names, ';'-separated).
    void addIncludedFiles(const std::vector<IncludedFile>& files);
};

// The block itself, header to the end of the locale groups.
std::vector<uint8_t> serializeBlock(const ConfigBlock& block);
// The included-file records that follow the block.
std::vector<uint8_t> serializeIncludedFiles(const ConfigBlock& block);

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::u16string utf8ToUtf16(const std::string& text);

// The file offset where the raw data of the section table's last entry ends: where the
// launcher looks for its block. False (with a reason) for anything but a sound PE image.
bool findImageEnd(const std::vector<uint8_t>& image, uint64_t* end, std::string* error);

// The image followed by the block and the included files. Refuses an image with data
// behind its last section (a launcher that is already packaged, signed or not stripped).
bool packageImage(const std::vector<uint8_t>& image, const ConfigBlock& block, std::vector<uint8_t>* launcher,
                  std::string* error);

// packageImage from file to file. The output is written to a temporary file next to it
// and renamed, so that no partial launcher is ever left behind.
bool writeLauncher(const std::string& imagePath, const ConfigBlock& block, const std::string& outputPath,
                   std::string* error);

} // namespace blockwriter
