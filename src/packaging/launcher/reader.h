// Reading a packaged launcher back into its image, block and included files, through the
// same parser the launcher uses. Portable C++.
#pragma once

#include "format/block_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace packager {

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

} // namespace packager
