// A gzip compressor for rolled output files: deflate with LZ77 matches over a 32 KB
// window, coded with the fixed Huffman codes, in the gzip file format. Portable C++ without
// any system header, so that the native tests decompress what it makes with the build
// machine's own gzip. It compresses text several times over; the dynamic codes of a full
// compressor would gain a further fraction, not worth their size in a launcher.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gzipstream {

// The CRC-32 of gzip and zip, continued from `crc` (0 to begin).
uint32_t crc32(uint32_t crc, const uint8_t* data, size_t size);

class GzipWriter {
public:
    GzipWriter();

    // Compresses `size` more bytes, appending whatever is complete to `out`. The writer
    // keeps at most the window and one segment, whatever the total.
    void write(const uint8_t* data, size_t size, std::vector<uint8_t>* out);
    // Ends the stream: the last block, the CRC-32 and the length. Nothing may follow.
    void finish(std::vector<uint8_t>* out);

private:
    void compressPending(bool last, std::vector<uint8_t>* out);
    void putBits(uint32_t value, int count, std::vector<uint8_t>* out);
    void putHuffman(uint32_t code, int length, std::vector<uint8_t>* out);
    void putLiteral(int symbol, std::vector<uint8_t>* out);
    void putMatch(int length, int distance, std::vector<uint8_t>* out);

    std::vector<uint8_t> window_;   // the last bytes already compressed, up to 32 KB
    std::vector<uint8_t> pending_;  // bytes not yet compressed
    uint32_t crc_ = 0;
    uint32_t total_ = 0;  // the length modulo 2^32, as gzip keeps it
    uint32_t bitBuffer_ = 0;
    int bitCount_ = 0;
    bool headerWritten_ = false;
    bool finished_ = false;
};

} // namespace gzipstream
