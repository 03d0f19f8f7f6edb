// Writing the configuration block and putting a launcher together: a generic launcher
// image, the block behind its last section, the included files behind the block.
// Portable C++.
#pragma once

#include "format/block.h"

#include <cstdint>
#include <string>
#include <vector>

namespace blockformat {

// The block itself, header to the end of the locale groups.
std::vector<uint8_t> serializeBlock(const ConfigBlock& block);
// The included-file records that follow the block.
std::vector<uint8_t> serializeIncludedFiles(const ConfigBlock& block);

// The file offset where the raw data of the section table's last entry ends: where the
// launcher looks for its block. False (with a reason) for anything but a sound PE image.
bool findImageEnd(const std::vector<uint8_t>& image, uint64_t* end, std::string* error);

// The image followed by the block and the included files. Refuses an image with data
// behind its last section (a launcher that is already packaged, signed or not stripped).
bool packageImage(const std::vector<uint8_t>& image, const ConfigBlock& block, std::vector<uint8_t>* launcher,
                  std::string* error);

} // namespace blockformat
