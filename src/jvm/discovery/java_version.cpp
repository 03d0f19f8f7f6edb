// Java version texts. Everything here is a function of its arguments, except that
// isVersionAccepted reads cfg::acceptPreRelease and logs its refusal of a pre-release.
#include "jvm/discovery/java_version.h"

#include "config/config_store.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"

#include <climits>
#include <cstring>

namespace {

bool isSeparator(char c) { return c == '.' || c == '_' || c == '-' || c == '+'; }

// strtol in base 10 on one piece, clamped to 32 bits. strtol itself is not used because
// its range is that of long, which is not 32 bits on every platform the tests run on.
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

JavaVersion parseJavaVersion(const char* text)
{
    JavaVersion version;
    if (text == nullptr) {
        return version;
    }
    const char* p = text;
    while (*p != '\0') {
        while (*p != '\0' && isSeparator(*p)) {
            ++p;
        }
        if (*p == '\0') {
            break;
        }
        const char* begin = p;
        while (*p != '\0' && !isSeparator(*p)) {
            ++p;
        }
        version.push_back(pieceValue(begin, p));
    }
    return version;
}

bool satisfiesBound(const JavaVersion& bound, const JavaVersion& candidate, bool isUpper, bool lenient)
{
    for (size_t i = 0; i < bound.size(); ++i) {
        if (i >= candidate.size()) {
            return lenient;
        }
        if (candidate[i] == bound[i]) {
            continue;
        }
        bool below = candidate[i] < bound[i];
        return isUpper ? below : !below;
    }
    return true;
}

bool isVersionAccepted(const char* versionText, const JavaVersion& minimum, const JavaVersion& maximum,
                       bool allowPrerelease)
{
    const char* text = versionText != nullptr ? versionText : "";
    if (!allowPrerelease && getConfigInt(cfg::acceptPreRelease) == 0) {
        // A plain substring test: "ea" inside any word counts, which errs on the side of
        // refusing a runtime rather than running an early-access build unasked.
        if (std::strstr(text, "beta") != nullptr || std::strstr(text, "ea") != nullptr ||
            std::strstr(text, "rc") != nullptr) {
            logMessage("beta vm not allowed");
            return false;
        }
    }
    JavaVersion version = parseJavaVersion(text);
    return satisfiesBound(minimum, version, false, false) && satisfiesBound(maximum, version, true, false);
}

bool isVersionFamilyInRange(const char* versionText, const JavaVersion& minimum, const JavaVersion& maximum)
{
    // A family such as "1" or "1.8" may still contain releases inside the range, so a
    // name shorter than a bound passes.
    JavaVersion version = parseJavaVersion(versionText);
    return satisfiesBound(minimum, version, false, true) && satisfiesBound(maximum, version, true, true);
}

bool isNewerVersion(const char* first, const char* second)
{
    JavaVersion a = parseJavaVersion(first);
    JavaVersion b = parseJavaVersion(second);
    if (a.empty()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (i >= b.size()) {
            return true;
        }
        if (a[i] != b[i]) {
            return a[i] > b[i];
        }
    }
    return false;
}
