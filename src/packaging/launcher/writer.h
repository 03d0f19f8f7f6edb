// Writing a packaged launcher: a generic launcher image, the configuration block behind
// it, and the included files behind the block. Portable C++.
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

// packageImage from file to file, through the packager's output file (io/output_file.h):
// no partial launcher is ever left behind, and a failure leaves an existing output as it
// was. `sources` names, per included file, one to copy from disk in place of the block's
// empty content; the copy is refused when the file no longer has its size. No launcher is
// written whose records the launcher could not read back (lengths and counts are 32-bit).
bool writeLauncher(const std::string& imagePath, const blockformat::ConfigBlock& block, const std::string& outputPath,
                   std::string* error, const std::vector<IncludedSource>& sources = {});

// The longest record text the launcher reads: its lengths are signed 32-bit.
constexpr uint64_t kLargestRecord = 0x7FFFFFFF;

// Empty when the launcher can read every record of the block (none longer than `largest`
// bytes); otherwise why not.
std::string blockLimitProblem(const blockformat::ConfigBlock& block, uint64_t largest = kLargestRecord);

} // namespace packager
