// The test of one Java installation: the path of its Java executable, and whether that
// executable's version is acceptable, answered from the per-user version cache in the
// registry or by running "java -version".
#pragma once

#include "jvm/discovery/java_version.h"
#include "platform/registry_keys.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A runtime that does not finish "-version" within this time is ended.
constexpr unsigned kVersionProbeTimeoutMs = 60000;

// Writes the Java executable of a Java home: "<home>\jre\bin\java.exe" when that exists,
// else "<home>\bin\java.exe". With a JDK required (cfg::requireJdk) the home must have
// "lib\tools.jar" and the jre path is kept. Returns whether the home qualifies.
bool resolveJavaExecutable(char* javaExecutable, size_t capacity, const char* javaHome);

// Whether the executable is an acceptable runtime. Rewrites `javaExecutable` into its
// resolved form (absolute, lower case), or into the javaw.exe beside it for launcher
// kind 1; `version` receives the version that was examined.
bool checkJavaExe(char* javaExecutable, size_t capacity, char* version, size_t versionCapacity,
                  const JavaVersion& minimum, const JavaVersion& maximum, bool allowPrerelease,
                  bool useVersionCache);

// A runtime that a search found and rejected: its Java executable, the version read
// ("" when none could be), and why, as a user reads it.
struct RejectedRuntime {
    std::string executable;
    std::string version;
    std::string reason;
};
// Every runtime that checkJavaExe found and rejected in this process, once per executable
// with its latest reason, in the order first found.
const std::vector<RejectedRuntime>& rejectedRuntimes();
// The lines that tell a user about them, the first `shownAtMost` named ("" for none):
// "Java runtimes found and rejected:", then one indented line each.
std::string rejectedRuntimesText(size_t shownAtMost);

// Runs "<short path> -version" with standard error in a temporary file and reads the
// version from its first line. Non-zero exit codes are cached as "1.0.0".
bool queryJavaVersion(const char* resolvedPath, uint64_t lastWriteTime, char* version, size_t capacity);
// The version in the release file of the executable's runtime ("<home>\release", or the
// JDK's above "<home>\jre"): its line JAVA_VERSION="...". False when there is no such
// file, no such line, or a version that does not have a version's form.
bool readReleaseVersion(const char* resolvedPath, char* version, size_t capacity);
bool readCachedVersion(const char* resolvedPath, uint64_t lastWriteTime, char* version, size_t capacity);
void storeCachedVersion(const char* resolvedPath, uint64_t lastWriteTime, const char* version);

// Pure helpers: the cache key of a resolved path ('\' written as '/'), and the version in
// the first line that "java -version" prints ("" when the line is no version line).
std::string versionCacheKeyOf(const char* resolvedPath);
std::string versionFromVersionLine(const char* line);
// The JAVA_VERSION of a release file's text (lines end in LF or CR LF); "" when it has
// none or one that isReleaseVersion refuses.
std::string versionFromReleaseText(const std::string& text);
// Whether a text is a version: numbers separated by '.' or '_' ("17.0.9", "1.8.0_392"),
// optionally followed by '-' or '+' and a word ("21-ea", "17.0.9+9").
bool isReleaseVersion(const std::string& text);
