// A gzip compressor: deflate with fixed Huffman codes.
#include "model/gzip_stream.h"

#include <algorithm>

namespace gzipstream {

namespace {

constexpr size_t kWindowSize = 32768;
// Compressed as one block once this much is pending.
constexpr size_t kSegmentSize = 65536;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
// How many earlier places of the same three bytes a match search looks at.
constexpr int kChainLimit = 64;
constexpr int kHashBits = 15;

const int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const int kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,    65,    97,    129,
                               193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const int kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

uint32_t hashAt(const std::vector<uint8_t>& data, size_t at)
{
    return ((static_cast<uint32_t>(data[at]) << 10) ^ (static_cast<uint32_t>(data[at + 1]) << 5) ^ data[at + 2]) &
           ((1u << kHashBits) - 1);
}

struct CrcTable {
    uint32_t entries[256];
};

constexpr CrcTable makeCrcTable()
{
    CrcTable table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table.entries[n] = c;
    }
    return table;
}

// Made by the compiler: no thread ever sees it half made.
constexpr CrcTable kCrcTable = makeCrcTable();

} // namespace

uint32_t crc32(uint32_t crc, const uint8_t* data, size_t size)
{
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = kCrcTable.entries[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

GzipWriter::GzipWriter() = default;

void GzipWriter::putBits(uint32_t value, int count, std::vector<uint8_t>* out)
{
    bitBuffer_ |= value << bitCount_;
    bitCount_ += count;
    while (bitCount_ >= 8) {
        out->push_back(static_cast<uint8_t>(bitBuffer_ & 0xFF));
        bitBuffer_ >>= 8;
        bitCount_ -= 8;
    }
}

// Huffman codes go most significant bit first into a stream that is filled from the least.
void GzipWriter::putHuffman(uint32_t code, int length, std::vector<uint8_t>* out)
{
    uint32_t reversed = 0;
    for (int i = 0; i < length; ++i) reversed |= ((code >> i) & 1u) << (length - 1 - i);
    putBits(reversed, length, out);
}

void GzipWriter::putLiteral(int symbol, std::vector<uint8_t>* out)
{
    if (symbol < 144) {
        putHuffman(0x30 + symbol, 8, out);
    } else if (symbol < 256) {
        putHuffman(0x190 + (symbol - 144), 9, out);
    } else if (symbol < 280) {
        putHuffman(symbol - 256, 7, out);
    } else {
        putHuffman(0xC0 + (symbol - 280), 8, out);
    }
}

void GzipWriter::putMatch(int length, int distance, std::vector<uint8_t>* out)
{
    int code = 28;
    while (length < kLengthBase[code]) --code;
    putLiteral(257 + code, out);
    putBits(static_cast<uint32_t>(length - kLengthBase[code]), kLengthExtra[code], out);
    int distanceCode = 29;
    while (distance < kDistanceBase[distanceCode]) --distanceCode;
    putHuffman(static_cast<uint32_t>(distanceCode), 5, out);
    putBits(static_cast<uint32_t>(distance - kDistanceBase[distanceCode]), kDistanceExtra[distanceCode], out);
}

// The pending bytes as one block with fixed codes, matched against the window and
// themselves.
void GzipWriter::compressPending(bool last, std::vector<uint8_t>* out)
{
    std::vector<uint8_t> data(window_);
    const size_t start = data.size();
    data.insert(data.end(), pending_.begin(), pending_.end());
    const size_t n = data.size();
    std::vector<int32_t> head(size_t(1) << kHashBits, -1);
    std::vector<int32_t> previous(n, -1);
    auto insert = [&](size_t at) {
        if (at + 2 >= n) return;
        const uint32_t h = hashAt(data, at);
        previous[at] = head[h];
        head[h] = static_cast<int32_t>(at);
    };
    for (size_t at = 0; at < start; ++at) insert(at);

    putBits(last ? 1 : 0, 1, out);
    putBits(1, 2, out);  // fixed Huffman codes
    size_t at = start;
    while (at < n) {
        int bestLength = 0;
        size_t bestDistance = 0;
        if (at + 2 < n) {
            const size_t longest = std::min<size_t>(kMaxMatch, n - at);
            int32_t candidate = head[hashAt(data, at)];
            for (int steps = 0; candidate >= 0 && steps < kChainLimit; ++steps) {
                const size_t from = static_cast<size_t>(candidate);
                if (at - from > kWindowSize) break;
                size_t length = 0;
                while (length < longest && data[from + length] == data[at + length]) ++length;
                if (static_cast<int>(length) > bestLength) {
                    bestLength = static_cast<int>(length);
                    bestDistance = at - from;
                    if (length == longest) break;
                }
                candidate = previous[from];
            }
        }
        if (bestLength >= kMinMatch) {
            putMatch(bestLength, static_cast<int>(bestDistance), out);
            for (int i = 0; i < bestLength; ++i) insert(at + i);
            at += static_cast<size_t>(bestLength);
        } else {
            putLiteral(data[at], out);
            insert(at);
            ++at;
        }
    }
    putLiteral(256, out);  // end of block
    window_.assign(data.end() - static_cast<std::ptrdiff_t>(std::min(n, kWindowSize)), data.end());
    pending_.clear();
}

void GzipWriter::write(const uint8_t* data, size_t size, std::vector<uint8_t>* out)
{
    if (finished_) return;
    if (!headerWritten_) {
        // Magic, deflate, no flags, no time, no extra flags, unknown system.
        const uint8_t header[10] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 0xFF};
        out->insert(out->end(), header, header + sizeof header);
        headerWritten_ = true;
    }
    if (size == 0) return;
    crc_ = crc32(crc_, data, size);
    total_ += static_cast<uint32_t>(size);
    pending_.insert(pending_.end(), data, data + size);
    if (pending_.size() >= kSegmentSize) compressPending(false, out);
}

void GzipWriter::finish(std::vector<uint8_t>* out)
{
    if (finished_) return;
    write(nullptr, 0, out);
    compressPending(true, out);
    if (bitCount_ > 0) {
        out->push_back(static_cast<uint8_t>(bitBuffer_ & 0xFF));
        bitBuffer_ = 0;
        bitCount_ = 0;
    }
    for (uint32_t value : {crc_, total_}) {
        for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    finished_ = true;
}

} // namespace gzipstream
