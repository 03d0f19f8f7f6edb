// Java runtimes registered by today's installers: the JavaSoft keys of Java 9 and later
// and the keys the common distributions write under their own names. The search entry
// "V" tries them newest first.
#pragma once

#include <string>
#include <vector>

// One registered runtime: its home as the registry names it (without trailing
// backslashes), the version its key names (used for the order only; checkJavaExe decides),
// and the key it was read from, for the log.
struct InstalledRuntime {
    std::string home;
    std::string version;
    std::string key;
};

// Every runtime registered under HKEY_LOCAL_MACHINE, then HKEY_CURRENT_USER (64-bit view),
// newest first; equal versions keep the order in which the keys were read. A home
// registered twice is listed once. Every key read and every entry passed over is logged.
std::vector<InstalledRuntime> collectInstalledRuntimes();

// The version a key name stands for in a source's naming ("21.0.1.12", "zulu-21-jre" ->
// "21", "jdk-17" -> "17"); "" when the name does not have the source's form.
std::string versionOfZuluKey(const std::string& name);
std::string versionOfLibericaKey(const std::string& name);

// Whether version `first` is newer than `second`, with the old "1.N" names of Java 8 and
// before counted as "N" so that "1.8.0_392" and "8.0.392.8" sort together below "11".
bool isNewerInstalledVersion(const std::string& first, const std::string& second);
