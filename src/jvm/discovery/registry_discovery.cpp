// Java runtimes named in the registry. Every source only reads its keys; a missing or
// unreadable key makes that source yield nothing. Each candidate goes through
// checkJavaExe, which answers from the version cache where it can.
#include "jvm/discovery/registry_discovery.h"

#include "config/config_store.h"
#include "format/record_ids.h"
#include "jvm/discovery/java_probe.h"
#include "platform/diagnostic_log.h"
#include "platform/registry.h"
#include "platform/text_format.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kCurrentVersionCapacity = 100;

// The values these keys hold are texts; installers write REG_SZ, but a value that
// refers to the environment is taken as it stands too.
bool readText(HKEY key, const char* name, char* buffer, size_t capacity)
{
    return readRegistryText(key, name, buffer, capacity, RegistryText::plainOrExpandable).ok();
}

// JavaHome of a key, resolved to its executable and checked.
bool checkJavaHomeKey(HKEY key, char* javaExecutable, size_t capacity, char* version, size_t versionCapacity,
                      const JavaVersion& minimum, const JavaVersion& maximum)
{
    char javaHome[kTextCapacity];
    if (!readText(key, "JavaHome", javaHome, sizeof javaHome)) {
        return false;
    }
    return resolveJavaExecutable(javaExecutable, capacity, javaHome) &&
           checkJavaExe(javaExecutable, capacity, version, versionCapacity, minimum, maximum, false, true);
}

// CurrentVersion of a JavaSoft key when it names a family inside the range, else "".
std::string currentVersionOf(const char* keyPath, const JavaVersion& minimum, const JavaVersion& maximum)
{
    char value[kCurrentVersionCapacity];
    UniqueKey key = openRegistryKey(HKEY_LOCAL_MACHINE, keyPath);
    if (!key || !readText(key.get(), "CurrentVersion", value, sizeof value) ||
        !isVersionFamilyInRange(value, minimum, maximum)) {
        return std::string();
    }
    return value;
}

// The newest accepted runtime listed under one root; ties keep the earlier sub-key.
bool findLocatedJvmUnder(HKEY root, std::string& bestPath, std::string& bestVersion, const JavaVersion& minimum,
                         const JavaVersion& maximum, bool acceptAllLocated)
{
    UniqueKey key = openRegistryKey(root, kLocatedJvmsKey);
    if (!key) {
        return false;
    }
    bestPath.clear();
    bestVersion.clear();
    bool found = false;
    for (std::string path : readSubKeyNames(key.get())) {
        std::replace(path.begin(), path.end(), '/', '\\');
        // Runtimes this application's own installers placed live in "dpk_jres"
        // directories; the others are accepted only where the JavaSoft keys are too.
        if (!acceptAllLocated && path.find("dpk_jres") == std::string::npos) {
            continue;
        }
        char javaExecutable[kTextCapacity];
        char version[kTextCapacity];
        if (!copyText(javaExecutable, sizeof javaExecutable, path.c_str())) {
            continue;
        }
        if (checkJavaExe(javaExecutable, sizeof javaExecutable, version, sizeof version, minimum, maximum, true,
                         true) &&
            (!found || isNewerVersion(version, bestVersion.c_str()))) {
            bestPath = javaExecutable;
            bestVersion = version;
            found = true;
        }
    }
    return found;
}

bool findPreviousInstallationWith(HKEY root, REGSAM access, char* javaExecutable, size_t capacity,
                                  const JavaVersion& minimum, const JavaVersion& maximum)
{
    char applicationId[kTextCapacity];
    // A cut identifier would be another application's value; the store logs the cut.
    if (!getConfigString(cfg::applicationId, applicationId, sizeof applicationId) || applicationId[0] == '\0') {
        return false;
    }
    RegistryResult opened;
    UniqueKey key = openRegistryKey(root, kInstallationsKey, access, &opened);
    if (!key) {
        logMessage("could not open installation node %d", static_cast<int>(opened.error));
        return false;
    }
    char installations[kTextCapacity];
    if (!readText(key.get(), applicationId, installations, sizeof installations) || installations[0] == '\0') {
        logMessage("could not query value node %d", 0);
        return false;
    }
    logMessage("found installations: %s", installations);

    const char* p = installations;
    while (*p != '\0') {
        const char* end = std::strchr(p, ';');
        size_t length = end != nullptr ? static_cast<size_t>(end - p) : std::strlen(p);
        if (length > 0) {
            std::string directory(p, length);
            char javaHome[kTextCapacity];
            char candidate[kTextCapacity];
            char version[kTextCapacity];
            bool resolved = formatText(javaHome, sizeof javaHome, "%s\\jre", directory.c_str()) &&
                            resolveJavaExecutable(candidate, sizeof candidate, javaHome);
            if (!resolved) {
                logMessage("did not find java in %s", javaHome);
            } else if (checkJavaExe(candidate, sizeof candidate, version, sizeof version, minimum, maximum, false,
                                    true)) {
                if (copyText(javaExecutable, capacity, candidate)) {
                    return true;
                }
            } else {
                logMessage("java version did not match in %s", javaHome);
            }
        }
        p += length;
        if (*p == ';') {
            ++p;
        }
    }
    return false;
}

} // namespace

bool findRegisteredJvm(char* javaExecutable, size_t capacity, const JavaVersion& minimum, const JavaVersion& maximum)
{
    bool skipJavaSoft = getConfigInt(cfg::skipJavaSoftKeys) != 0;
    char javaSoftPath[kTextCapacity];
    char javaSoftVersion[kTextCapacity];
    bool javaSoftFound = false;
    if (!skipJavaSoft) {
        javaSoftFound = findJavaSoftJvm(javaSoftPath, sizeof javaSoftPath, javaSoftVersion, sizeof javaSoftVersion,
                                        minimum, maximum);
        if (javaSoftFound) {
            logMessage("found sun %s %s", javaSoftPath, javaSoftVersion);
        }
    }
    char locatedPath[kTextCapacity];
    char locatedVersion[kTextCapacity];
    bool locatedFound = findLocatedJvm(locatedPath, sizeof locatedPath, locatedVersion, sizeof locatedVersion,
                                       minimum, maximum, !skipJavaSoft);
    if (locatedFound) {
        logMessage("found located %s %s", locatedPath, locatedVersion);
    }
    // A runtime located earlier wins a tie: it is the one this application was set up with.
    const char* chosen = nullptr;
    if (javaSoftFound && (!locatedFound || isNewerVersion(javaSoftVersion, locatedVersion))) {
        chosen = javaSoftPath;
    } else if (locatedFound) {
        chosen = locatedPath;
    }
    return chosen != nullptr && copyText(javaExecutable, capacity, chosen);
}

bool findJavaSoftJvm(char* javaExecutable, size_t capacity, char* version, size_t versionCapacity,
                     const JavaVersion& minimum, const JavaVersion& maximum)
{
    if (findCurrentVersionJvm(javaExecutable, capacity, version, versionCapacity, minimum, maximum)) {
        return true;
    }
    if (getConfigInt(cfg::requireJdk) == 0 &&
        findEnumeratedJvm(javaExecutable, capacity, version, versionCapacity, minimum, maximum, kJavaRuntimeKey)) {
        return true;
    }
    return findEnumeratedJvm(javaExecutable, capacity, version, versionCapacity, minimum, maximum,
                             kJavaDevelopmentKitKey);
}

bool findCurrentVersionJvm(char* javaExecutable, size_t capacity, char* version, size_t versionCapacity,
                           const JavaVersion& minimum, const JavaVersion& maximum)
{
    std::string jdkVersion = currentVersionOf(kJavaDevelopmentKitKey, minimum, maximum);
    std::string jreVersion;
    if (getConfigInt(cfg::requireJdk) == 0) {
        jreVersion = currentVersionOf(kJavaRuntimeKey, minimum, maximum);
    }
    // On equal versions the runtime key wins.
    bool useJdk = isNewerVersion(jdkVersion.c_str(), jreVersion.c_str());
    const std::string& chosenVersion = useJdk ? jdkVersion : jreVersion;
    // Neither key names a usable family: the parent key itself holds no JavaHome.
    if (chosenVersion.empty()) {
        return false;
    }
    std::string keyPath = std::string(useJdk ? kJavaDevelopmentKitKey : kJavaRuntimeKey) + "\\" + chosenVersion;
    UniqueKey key = openRegistryKey(HKEY_LOCAL_MACHINE, keyPath.c_str());
    if (!key) {
        return false;
    }
    return checkJavaHomeKey(key.get(), javaExecutable, capacity, version, versionCapacity, minimum, maximum);
}

bool findEnumeratedJvm(char* javaExecutable, size_t capacity, char* version, size_t versionCapacity,
                       const JavaVersion& minimum, const JavaVersion& maximum, const char* keyPath)
{
    UniqueKey key = openRegistryKey(HKEY_LOCAL_MACHINE, keyPath);
    if (!key) {
        return false;
    }
    std::vector<std::string> names;
    for (std::string& name : readSubKeyNames(key.get())) {
        if (isVersionFamilyInRange(name.c_str(), minimum, maximum)) {
            names.push_back(std::move(name));
        }
    }
    // Byte-wise order, newest-looking name first: textual, so 1.8.0_66 comes before
    // 1.8.0_101, as it always has for the users of these keys.
    std::sort(names.begin(), names.end());
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        UniqueKey versionKey = openRegistryKey(key.get(), it->c_str());
        if (!versionKey) {
            continue;
        }
        if (checkJavaHomeKey(versionKey.get(), javaExecutable, capacity, version, versionCapacity, minimum,
                             maximum)) {
            return true;
        }
    }
    return false;
}

bool findLocatedJvm(char* javaExecutable, size_t capacity, char* version, size_t versionCapacity,
                    const JavaVersion& minimum, const JavaVersion& maximum, bool acceptAllLocated)
{
    std::string userPath, userVersion, machinePath, machineVersion;
    bool userFound = findLocatedJvmUnder(HKEY_CURRENT_USER, userPath, userVersion, minimum, maximum,
                                         acceptAllLocated);
    bool machineFound = findLocatedJvmUnder(HKEY_LOCAL_MACHINE, machinePath, machineVersion, minimum, maximum,
                                            acceptAllLocated);
    const std::string* path = nullptr;
    const std::string* found = nullptr;
    if (userFound && (!machineFound || isNewerVersion(userVersion.c_str(), machineVersion.c_str()))) {
        path = &userPath;
        found = &userVersion;
    } else if (machineFound) {
        path = &machinePath;
        found = &machineVersion;
    }
    if (path == nullptr) {
        return false;
    }
    if (!copyText(javaExecutable, capacity, path->c_str()) || !copyText(version, versionCapacity, found->c_str())) {
        clearText(javaExecutable, capacity);
        clearText(version, versionCapacity);
        return false;
    }
    return true;
}

bool findPreviousInstallationJvm(HKEY root, char* javaExecutable, size_t capacity, const JavaVersion& minimum,
                                 const JavaVersion& maximum)
{
    // Plain KEY_READ sees the registry view of the launcher's own bitness; the second try
    // reaches the 64-bit view where that differs.
    return findPreviousInstallationWith(root, KEY_READ, javaExecutable, capacity, minimum, maximum) ||
           findPreviousInstallationWith(root, KEY_READ | KEY_WOW64_64KEY, javaExecutable, capacity, minimum,
                                        maximum);
}
