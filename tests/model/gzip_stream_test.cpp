// The gzip compressor of rolled output files: what it makes, fed in any pieces, is what
// the build machine's gzip gives back byte for byte, and it compresses log text well (a
// stream of stored blocks would be valid gzip too, and compress nothing).
#include "model/gzip_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<uint8_t> compress(const std::string& text, const std::vector<size_t>& pieces)
{
    gzipstream::GzipWriter writer;
    std::vector<uint8_t> out;
    size_t at = 0;
    for (size_t i = 0; at < text.size(); ++i) {
        const size_t piece = std::min(pieces[i % pieces.size()], text.size() - at);
        writer.write(reinterpret_cast<const uint8_t*>(text.data()) + at, piece, &out);
        at += piece;
    }
    writer.finish(&out);
    return out;
}

// What the system's gzip makes of the bytes; "(gzip failed)" when it refuses them.
std::string gunzip(const std::vector<uint8_t>& compressed)
{
    char path[] = "/tmp/gzip_stream_test_XXXXXX";
    const int descriptor = mkstemp(path);
    if (descriptor < 0) return "(no temporary file)";
    const bool written = write(descriptor, compressed.data(), compressed.size()) == static_cast<ssize_t>(compressed.size());
    close(descriptor);
    std::string text;
    if (written) {
        FILE* pipe = popen((std::string("gzip -dc < ") + path + " 2>/dev/null; echo \"exit $?\"").c_str(), "r");
        char block[65536];
        for (size_t n; pipe != nullptr && (n = fread(block, 1, sizeof block, pipe)) > 0;) text.append(block, n);
        if (pipe != nullptr) pclose(pipe);
    }
    unlink(path);
    const std::string ok = "exit 0\n";
    if (text.size() < ok.size() || text.compare(text.size() - ok.size(), ok.size(), ok) != 0) return "(gzip failed)";
    return text.substr(0, text.size() - ok.size());
}

std::string logText(size_t lines)
{
    std::string text;
    for (size_t i = 0; i < lines; ++i) {
        text += "2026-03-01 12:" + std::to_string(10 + i % 50) + ":00.123 INFO  [worker-" + std::to_string(i % 7) +
                "] com.example.orders.OrderService - order " + std::to_string(100000 + i * 37) +
                " accepted for customer " + std::to_string(i % 113) + "\r\n";
    }
    return text;
}

std::string noise(size_t size)
{
    std::string text(size, '\0');
    uint32_t state = 12345;
    for (char& c : text) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    return text;
}

TEST(GzipStream, TheSystemsGzipGivesBackWhatWasWritten)
{
    const struct {
        const char* name;
        std::string text;
        std::vector<size_t> pieces;
        double mostRatio;  // compressed size over the text's at most
    } cases[] = {
        {"nothing", "", {1}, 100.0},
        {"one byte", "x", {1}, 100.0},
        {"log lines in one write", logText(5000), {1 << 30}, 0.25},
        {"log lines in odd pieces across segments", logText(5000), {1, 7, 65535, 70000, 3}, 0.25},
        {"one byte repeated, matches of the longest length", std::string(1 << 20, 'a'), {4096}, 0.01},
        {"noise, which does not compress", noise(200000), {65536}, 1.15},
        {"every byte value", [] {
             std::string all;
             for (int round = 0; round < 300; ++round)
                 for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
             return all;
         }(), {1000}, 0.10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> compressed = compress(c.text, c.pieces);
        EXPECT_EQ(gunzip(compressed), c.text);
        EXPECT_LE(static_cast<double>(compressed.size()), c.mostRatio * static_cast<double>(c.text.size()) + 32)
            << compressed.size() << " bytes for " << c.text.size();
    }
}

TEST(GzipStream, TrailerHoldsTheChecksumAndLength)
{
    const std::string text = "123456789";
    const std::vector<uint8_t> compressed = compress(text, {4});
    ASSERT_GE(compressed.size(), 18u);
    EXPECT_EQ(compressed[0], 0x1F);
    EXPECT_EQ(compressed[1], 0x8B);
    auto word = [&](size_t at) {
        return static_cast<uint32_t>(compressed[at]) | static_cast<uint32_t>(compressed[at + 1]) << 8 |
               static_cast<uint32_t>(compressed[at + 2]) << 16 | static_cast<uint32_t>(compressed[at + 3]) << 24;
    };
    EXPECT_EQ(word(compressed.size() - 8), 0xCBF43926u);  // the CRC-32 check value of "123456789"
    EXPECT_EQ(word(compressed.size() - 4), 9u);
}

} // namespace
