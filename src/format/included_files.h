// The included files stored behind the configuration block: which names the launcher
// extracts, and their records (a 64-bit length, then the content XOR the mask).
// Portable C++.
#pragma once

#include "format/block.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace blockformat {

// The names of the included files that the launcher extracts: the non-empty pieces of
// the names record, at most `count` of them, in storage order.
std::vector<std::string> includedFileNames(const std::string& names, int count);

// The included files behind the block, from `offset` on: per file a 64-bit length and the
// scrambled content (a length of 0 or less stands for an empty file). False with the
// index of the file that is cut off; `end` gets the offset behind the last one.
bool readIncludedFiles(const uint8_t* data, size_t size, uint64_t offset, size_t fileCount,
                       std::vector<std::vector<uint8_t>>* contents, uint64_t* end, size_t* failed);

// A name the launcher may write: relative, inside its temporary directory, without a
// drive, without "." or ".." steps and without empty steps. A damaged or hostile block
// could otherwise make the launcher write anywhere its user may write.
bool isSafeIncludedFileName(const std::string& name);

// XOR with the included-file mask, in place: scrambles and unscrambles.
inline void unscramble(uint8_t* data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        data[i] ^= kIncludedFileMask;
    }
}

} // namespace blockformat
