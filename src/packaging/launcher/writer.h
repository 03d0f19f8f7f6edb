// A packaged launcher as a file: writing one from a generic launcher image and a block,
// and reading one back into its image, block and included files. Portable C++.
#pragma once

#include "format/block_writer.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace packager {

// An included file copied from disk when the launcher is written, instead of a content
// held in the block: its path and the size it had when the descriptor was built.
struct IncludedSource {
    std::filesystem::path path;  // empty: the content is the block's own
    uint64_t size = 0;
};

// The image, block and files with the block's records as the launcher reads them.
struct PackagedLauncher {
    std::vector<uint8_t> image;          // the generic launcher image in front of the block
    blockformat::ConfigBlock block;      // the records, with includedContents filled
    std::vector<std::string> fileNames;  // the included files' names, one per content
    uint64_t blockSize = 0;              // bytes of the block itself
    uint64_t trailingBytes = 0;          // bytes behind the included files (a signature)
    // Records whose stored text goes on behind a NUL character, which the launcher never
    // reads: `block` holds them as the launcher reads them.
    std::vector<int32_t> cutAtNul;
};

// False (with a reason) for a file that is no launcher image, has no block, or whose block
// or included files are cut off or inconsistent.
bool readPackagedLauncher(const std::vector<uint8_t>& file, PackagedLauncher* launcher, std::string* error);

// packageImage from file to file. The output is written to a temporary file next to it
// and renamed, so that no partial launcher is ever left behind.
// `sources` names, per included file, one to copy from disk in place of the block's empty
// content; the copy is refused when the file no longer has its size. No launcher is
// written whose records the launcher could not read back (lengths and counts are 32-bit).
bool writeLauncher(const std::string& imagePath, const blockformat::ConfigBlock& block, const std::string& outputPath,
                   std::string* error, const std::vector<IncludedSource>& sources = {});

// "cannot write <path>" with the reason: a folder that does not exist, else the system's
// text for `savedErrno` (none when it is 0).
std::string cannotWrite(const std::string& path, int savedErrno);

// The longest record text the launcher reads: its lengths are signed 32-bit.
constexpr uint64_t kLargestRecord = 0x7FFFFFFF;

// Empty when the launcher can read every record of the block (none longer than `largest`
// bytes); otherwise why not.
std::string blockLimitProblem(const blockformat::ConfigBlock& block, uint64_t largest = kLargestRecord);

// True when the two paths name one file, also through another spelling or a link: an
// output that replaces its file must not be one of its inputs.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Empty when the runtime library jar can be embedded; otherwise why not. A jar is a zip
// archive: anything else would only fail when the application starts.
std::string runtimeLibraryProblem(const std::string& path);

} // namespace packager
