// Java version texts: the configured range (strict for a probed runtime, lenient for a
// version family named in the registry), the pre-release rule, and which of two versions
// is newer. The split of a text into its numbers is the model's (model/java_version.h).
#pragma once

#include "model/java_version.h"

// The components of a version and their split, shared with the packager, which checks the
// bounds of a descriptor with the same split: splits at ".", "_", "-" and "+" (runs count
// as one) and converts each piece like strtol in base 10 (no leading digits: 0; out of
// range: clamped). Null or empty: empty.
using javaruntime::JavaVersion;
using javaruntime::parseJavaVersion;

// Whether `candidate` lies on the allowed side of `bound`, compared only as far as the
// bound has components. A candidate shorter than the bound passes only when `lenient`.
bool satisfiesBound(const JavaVersion& bound, const JavaVersion& candidate, bool isUpper, bool lenient);

// The strict check of a probed runtime's version. Unless `allowPrerelease` or
// cfg::acceptPreRelease allows them, versions containing "beta", "ea" or "rc" are refused
// (logged "beta vm not allowed").
bool isVersionAccepted(const char* versionText, const JavaVersion& minimum, const JavaVersion& maximum,
                       bool allowPrerelease);

// The lenient check of a version family (registry key names and CurrentVersion values).
bool isVersionFamilyInRange(const char* versionText, const JavaVersion& minimum, const JavaVersion& maximum);

// Whether `first` is strictly newer than `second`; an empty first is never newer.
bool isNewerVersion(const char* first, const char* second);
