// Reads the configuration block and the included files back out of a packaged launcher:
// the inverse of packageImage. Portable C++.
#pragma once

#include "packaging/block_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace blockwriter {

struct PackagedLauncher {
    std::vector<uint8_t> image;         // the generic launcher image in front of the block
    ConfigBlock block;                  // the records, with includedContents filled
    std::vector<std::string> fileNames; // the names of record 2003, one per content
    uint64_t blockSize = 0;             // bytes of the block itself
    uint64_t trailingBytes = 0;         // bytes behind the included files (a signature)
};

// False (with a reason) for a file that is no launcher image, has no block, or whose block
// or included files are cut off or inconsistent.
bool readPackagedLauncher(const std::vector<uint8_t>& file, PackagedLauncher* launcher, std::string* error);

} // namespace blockwriter
