// Java version texts: the split into numbers and the grammar of a bound.
#include "model/java_version.h"

#include <climits>

namespace javaruntime {

namespace {

// strtol in base 10 on one piece, clamped to 32 bits. strtol itself is not used because
// its range is that of long, which is not 32 bits on every platform the code runs on.
int32_t pieceValue(const char* begin, const char* end)
{
    const char* p = begin;
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) {
        ++p;
    }
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    long long value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        if (value <= static_cast<long long>(INT32_MAX) + 1) {
            value = value * 10 + (*p - '0');
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

} // namespace

bool isVersionSeparator(char c)
{
    return c == '.' || c == '_' || c == '-' || c == '+';
}

JavaVersion parseJavaVersion(const char* text)
{
    JavaVersion version;
    if (text == nullptr) {
        return version;
    }
    const char* p = text;
    while (*p != '\0') {
        while (*p != '\0' && isVersionSeparator(*p)) {
            ++p;
        }
        if (*p == '\0') {
            break;
        }
        const char* begin = p;
        while (*p != '\0' && !isVersionSeparator(*p)) {
            ++p;
        }
        version.push_back(pieceValue(begin, p));
    }
    return version;
}

bool isWellFormedVersion(const std::string& text)
{
    bool digitBefore = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digitBefore = true;
        } else if (isVersionSeparator(c) && digitBefore) {
            digitBefore = false;
        } else {
            return false;
        }
    }
    return text.empty() || digitBefore;
}

} // namespace javaruntime
