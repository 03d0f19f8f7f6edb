// Name-based GUIDs for installer packages, with the SHA-1 they are made from.
#include "packaging/installer/guid.h"

#include <cstdint>
#include <cstdio>

namespace packager {

namespace {

uint32_t rotateLeft(uint32_t value, int bits)
{
    return (value << bits) | (value >> (32 - bits));
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string withoutBraces(const std::string& text)
{
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
        return text.substr(1, 36);
    }
    return text;
}

// The 16 bytes of a GUID in its text's order (the order RFC 4122 hashes them in).
std::string guidBytes(const std::string& text)
{
    std::string hex;
    for (char c : withoutBraces(text)) {
        if (c != '-') hex += c;
    }
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(hexValue(hex[i]) * 16 + hexValue(hex[i + 1]));
    }
    return bytes;
}

// Folds ASCII letters only: the names folded here are file names that Windows compares
// without regard to case, and a different fold for other letters would only make two
// GUIDs where Windows sees two files anyway.
std::string foldedAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

} // namespace

const char kUpgradeCodeSpace[] = "6F1C2B8E-4D3A-5E7F-9A0B-1C2D3E4F5A6B";

bool isGuid(const std::string& given)
{
    if (given.size() == 38 && (given.front() != '{' || given.back() != '}')) {
        return false;
    }
    std::string text = withoutBraces(given);
    if (text.size() != 36) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : hexValue(text[i]) < 0) {
            return false;
        }
    }
    return true;
}

std::string canonicalGuid(const std::string& text)
{
    std::string out = withoutBraces(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string sha1(const std::string& data)
{
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::string message = data;
    uint64_t bits = static_cast<uint64_t>(data.size()) * 8;
    message += static_cast<char>(0x80);
    while (message.size() % 64 != 56) {
        message += '\0';
    }
    for (int shift = 56; shift >= 0; shift -= 8) {
        message += static_cast<char>((bits >> shift) & 0xFF);
    }
    for (size_t chunk = 0; chunk < message.size(); chunk += 64) {
        uint32_t w[80];
        for (int i = 0; i < 16; ++i) {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(message.data() + chunk + 4 * i);
            w[i] = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
        }
        for (int i = 16; i < 80; ++i) {
            w[i] = rotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        }
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            uint32_t f, k;
            if (i < 20) {
                f = (b & c) | (~b & d);
                k = 0x5A827999;
            } else if (i < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1;
            } else if (i < 60) {
                f = (b & c) | (b & d) | (c & d);
                k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6;
            }
            uint32_t next = rotateLeft(a, 5) + f + e + k + w[i];
            e = d;
            d = c;
            c = rotateLeft(b, 30);
            b = a;
            a = next;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    }
    std::string digest;
    for (uint32_t word : h) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            digest += static_cast<char>((word >> shift) & 0xFF);
        }
    }
    return digest;
}

std::string nameBasedGuid(const std::string& space, const std::string& name)
{
    std::string hash = sha1(guidBytes(space) + name);
    unsigned char bytes[16];
    for (int i = 0; i < 16; ++i) {
        bytes[i] = static_cast<unsigned char>(hash[static_cast<size_t>(i)]);
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x50);  // version 5
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0], bytes[1],
                  bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10],
                  bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

std::string derivedUpgradeCode(const std::string& manufacturer, const std::string& productName)
{
    // The NUL between the two cannot occur in either (the descriptor refuses it), so no
    // other pair of names gives the same text.
    return nameBasedGuid(kUpgradeCodeSpace, manufacturer + std::string(1, '\0') + productName);
}

std::string componentGuid(const std::string& upgradeCode, const std::string& target)
{
    return nameBasedGuid(canonicalGuid(upgradeCode), foldedAscii(target));
}

} // namespace packager
