// Little-endian fields of a configuration block made by hand, for tests of its readers.
#pragma once

#include "format/block.h"

#include <cstdint>
#include <string>
#include <vector>

struct BlockBytes {
    std::vector<uint8_t> bytes;

    BlockBytes& int32(int64_t value)
    {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
        return *this;
    }
    BlockBytes& int64(int64_t value)
    {
        for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
        return *this;
    }
    BlockBytes& text(const std::string& value)
    {
        bytes.insert(bytes.end(), value.begin(), value.end());
        return *this;
    }
    // The magic, the two words and a size field of 0.
    BlockBytes& header() { return int32(blockformat::kMagic).int32(0).int32(0).int64(0); }
};
