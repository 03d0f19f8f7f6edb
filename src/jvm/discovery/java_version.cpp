// Java version texts. Everything here is a function of its arguments, except that
// isVersionAccepted reads cfg::acceptPreRelease and logs its refusal of a pre-release.
#include "jvm/discovery/java_version.h"

#include "config/config_store.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"

#include <cstring>

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
