// The search for a Java runtime. Candidates come, in this order, from the preferred
// location file, the configured search sequence, the installer location file, the
// directory entries again without a version test (unless the version is strict), earlier
// installations of the application and the two fallback variables; the first accepted candidate whose
// jvm.dll loads ends the search.
#include "jvm/discovery/jvm_search.h"

#include "config/config_store.h"
#include "config/variable_expansion.h"
#include "format/record_ids.h"
#include "jvm/discovery/installed_runtimes.h"
#include "jvm/discovery/java_probe.h"
#include "jvm/discovery/packed_jre.h"
#include "jvm/discovery/registry_discovery.h"
#include "model/jvm_directory.h"
#include "platform/diagnostic_log.h"
#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/text_format.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kBinDirCapacity = 2000;

const char* const kJvmSubdirectories[] = {"hotspot", "client", "server", "classic", "jrockit"};

std::vector<std::string> splitEntries(const char* text)
{
    std::vector<std::string> entries;
    std::string current;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == ';') {
            if (!current.empty()) entries.push_back(current);
            current.clear();
        } else {
            current += *p;
        }
    }
    if (!current.empty()) entries.push_back(current);
    return entries;
}

// Sets PATH for the system and for the C runtime's copy of the environment, so that the
// VM and the libraries it loads see the same value. A value too long for the system
// leaves PATH as it was.
void setPath(const char* value)
{
    if (setEnvironmentValue("PATH", value)) {
        logMessage("Setting PATH %s", value);
    } else {
        logMessage("Setting PATH %s failed with error %d", value, static_cast<int>(GetLastError()));
    }
}

HMODULE loadFromBinDirectory(const char* javaExecutable)
{
    size_t length = std::strlen(javaExecutable);
    size_t nameLength = executableNameLength(javaExecutable);
    if (length <= nameLength) {
        return nullptr;
    }
    // The bin directory: the path without the file name and the backslash before it.
    size_t binLength = length - nameLength - 1;
    if (binLength >= kBinDirCapacity) {
        logError("bin directory of %s too long", javaExecutable);
        return nullptr;
    }
    std::string binDirectory(javaExecutable, binLength);

    // PATH is read whole: a cut PATH written back would lose directories for good.
    const std::string oldPath = environmentValue("PATH");
    setPath((oldPath + ";" + binDirectory).c_str());
    // The libraries jvm.dll imports come from its own folder, then from the bin directory
    // (where the runtime keeps its C runtime), as when the runtime's own java.exe loads
    // it; the working directory, which others may be able to write, is not searched. This
    // stays for the VM's later loads.
    SetDllDirectoryA(binDirectory.c_str());

    std::vector<std::string> subdirectories;
    char preferred[javaruntime::kPreferredJvmDirCapacity];
    // A cut name would be another directory; the store logs the cut, and the usual ones follow.
    if (getConfigString(cfg::preferredJvmDir, preferred, static_cast<int>(sizeof preferred)) &&
        preferred[0] != '\0') {
        subdirectories.push_back(preferred);
    }
    for (const char* name : kJvmSubdirectories) {
        subdirectories.push_back(name);
    }
    DWORD loadError = 0;  // of the last jvm.dll that exists and did not load
    for (const std::string& subdirectory : subdirectories) {
        char library[kTextCapacity];
        if (!formatText(library, sizeof library, "%s\\%s\\jvm.dll", binDirectory.c_str(), subdirectory.c_str())) {
            continue;
        }
        bool exists = fileExists(library);
        logMessage("Trying %s (exists %d)", library, exists ? 1 : 0);
        HMODULE module = LoadLibraryExA(library, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (module != nullptr) {
            return module;
        }
        if (exists) {
            loadError = GetLastError();
            logMessage("Failed with error code %d", static_cast<int>(loadError));
        }
    }
    setPath(oldPath.c_str());
    SetDllDirectoryW(L"");  // still without the working directory
    if (loadError == ERROR_BAD_EXE_FORMAT) {
        logMessage("rejected %s: its jvm.dll is not a 64-bit library (error 193)", javaExecutable);
    } else if (loadError != 0) {
        logMessage("rejected %s: its jvm.dll did not load (error %d)", javaExecutable, static_cast<int>(loadError));
    } else {
        logMessage("rejected %s: no jvm.dll under %s", javaExecutable, binDirectory.c_str());
    }
    return nullptr;
}

} // namespace

size_t executableNameLength(const char* javaExecutable)
{
    static const char kJavaw[] = "javaw.exe";
    size_t length = std::strlen(javaExecutable);
    size_t javawLength = sizeof kJavaw - 1;
    if (length >= javawLength && std::strcmp(javaExecutable + length - javawLength, kJavaw) == 0) {
        return javawLength;
    }
    return sizeof "java.exe" - 1;
}

HMODULE loadJvmLibrary(const char* javaExecutable)
{
    logMessage("Trying to load JVM-DLL from %s", javaExecutable);
    if (HMODULE module = loadFromBinDirectory(javaExecutable)) {
        return module;
    }
    // The JRE inside a JDK: <jdk>\bin\..\jre\bin\java.exe.
    size_t length = std::strlen(javaExecutable);
    size_t nameLength = executableNameLength(javaExecutable);
    if (length < nameLength) {
        return nullptr;
    }
    char alternative[kTextCapacity];
    if (!formatText(alternative, sizeof alternative, "%.*s..\\jre\\bin\\java.exe", static_cast<int>(length - nameLength),
                    javaExecutable)) {
        return nullptr;
    }
    return loadFromBinDirectory(alternative);
}

bool checkJavaHome(char* javaExecutable, size_t capacity, const char* directory, const JavaVersion& minimum,
                   const JavaVersion& maximum, bool skipVersionCheck)
{
    char home[kTextCapacity];
    if (!getFullPath(home, sizeof home, directory, false)) {
        clearText(javaExecutable, capacity);  // not tested for existence by the caller either
        return false;
    }
    unpackJre(home);
    bool qualifies = resolveJavaExecutable(javaExecutable, capacity, home);
    if (skipVersionCheck) {
        return true;
    }
    char version[kTextCapacity];
    return qualifies && checkJavaExe(javaExecutable, capacity, version, sizeof version, minimum, maximum, true, true);
}

bool checkJavaHomeVariable(char* javaExecutable, size_t capacity, const char* variable, const JavaVersion& minimum,
                           const JavaVersion& maximum)
{
    char value[kTextCapacity];
    DWORD n = GetEnvironmentVariableA(variable, value, sizeof value);
    if (n == 0) {
        return false;
    }
    if (n >= sizeof value) {
        // A cut directory would name another place; such a value names no runtime. (The
        // size reported for a value that does not fit counts its terminator.)
        logError("%s is too long (%d characters)", variable, static_cast<int>(n - 1));
        return false;
    }
    for (char* p = value; *p != '\0'; ++p) {
        if (*p == '/') *p = '\\';
    }
    if (!resolveJavaExecutable(javaExecutable, capacity, value)) {
        return false;
    }
    char version[kTextCapacity];
    return checkJavaExe(javaExecutable, capacity, version, sizeof version, minimum, maximum, false, true);
}

bool searchPathForJava(char* javaExecutable, size_t capacity, const JavaVersion& minimum, const JavaVersion& maximum)
{
    char found[kTextCapacity];
    DWORD n = SearchPathA(nullptr, "java.exe", nullptr, sizeof found, found, nullptr);
    if (n == 0 || n >= sizeof found || !copyText(javaExecutable, capacity, found)) {
        return false;
    }
    char version[kTextCapacity];
    return checkJavaExe(javaExecutable, capacity, version, sizeof version, minimum, maximum, false, true);
}

bool readLocationFile(const wchar_t* suffix, char* location, size_t capacity)
{
    wchar_t installDir[kTextCapacity];
    wchar_t resolved[kTextCapacity];
    wchar_t path[kTextCapacity];
    if (!getConfigWString(cfg::installationDirectory, installDir, kTextCapacity) ||
        !getFullPathW(resolved, kTextCapacity, installDir, false, true) ||
        !formatTextW(path, kTextCapacity, L"%s%s", resolved, suffix)) {
        return false;
    }
    FILE* file = _wfopen(path, L"rt");
    if (file == nullptr) {
        return false;
    }
    size_t length = fgets(location, static_cast<int>(capacity), file) != nullptr ? std::strlen(location) : 0;
    // A first line that fills the buffer and goes on was cut: it names another directory.
    bool cut = false;
    if (length > 0 && length + 1 == capacity && location[length - 1] != '\n') {
        int next = fgetc(file);
        cut = next != '\n' && next != EOF;
    }
    fclose(file);
    if (cut) {
        logTooLong("location file line");
        return false;
    }
    while (length > 0 && (location[length - 1] == '\r' || location[length - 1] == '\n')) {
        location[--length] = '\0';
    }
    return length > 0;
}

namespace {

// One search: what it accepts, and where the accepted candidate came from.
struct Search {
    char* javaExecutable;
    size_t capacity;
    JvmSource* source;
    char* sourceText;
    size_t sourceCapacity;
    JavaVersion minimum;
    JavaVersion maximum;

    // The candidate in javaExecutable is acceptable: remember where it came from and try
    // its library. A library that does not load lets the search go on: a later candidate
    // may be sound, and the source of the last one decides the message if none is.
    HMODULE accept(JvmSource from, const char* text)
    {
        *source = from;
        if (text != nullptr) {
            // Only the argument of a message: shown cut if need be.
            showCut(copyText(sourceText, sourceCapacity, text));
        }
        return loadJvmLibrary(javaExecutable);
    }
};

// The Java home named in a location file below the installation directory.
HMODULE tryLocationFile(Search& search, const wchar_t* suffix, const char* kind)
{
    char location[kTextCapacity];
    if (!readLocationFile(suffix, location, sizeof location)) {
        return nullptr;
    }
    logMessage("Has %s location %s", kind, location);
    if (!checkJavaHome(search.javaExecutable, search.capacity, location, search.minimum, search.maximum, false)) {
        return nullptr;
    }
    logMessage("Using %s location", kind);
    return search.accept(JvmSource::Directory, location);
}

// The runtimes today's installers register, newest first; the first accepted one whose
// jvm.dll loads ends the search. Their homes are used as they are: nothing is unpacked in
// an installed runtime.
HMODULE tryInstalledRuntimes(Search& search)
{
    for (const InstalledRuntime& runtime : collectInstalledRuntimes()) {
        logMessage("trying installed runtime %s from %s", runtime.home.c_str(), runtime.key.c_str());
        if (!resolveJavaExecutable(search.javaExecutable, search.capacity, runtime.home.c_str())) {
            logMessage("passed over %s: the home does not qualify", runtime.home.c_str());
            continue;
        }
        char version[kTextCapacity];
        if (!checkJavaExe(search.javaExecutable, search.capacity, version, sizeof version, search.minimum,
                          search.maximum, false, true)) {
            logMessage("passed over %s: not an acceptable runtime", runtime.home.c_str());
            continue;
        }
        logMessage("taking installed runtime %s %s", search.javaExecutable, version);
        if (HMODULE module = search.accept(JvmSource::Registry, nullptr)) {
            return module;
        }
        logMessage("passed over %s: its jvm.dll did not load", runtime.home.c_str());
    }
    return nullptr;
}

// One entry of the configured sequence: its type letter, then its text.
HMODULE trySequenceEntry(Search& search, const std::string& entry)
{
    const char type = entry[0];
    char text[kTextCapacity];
    // A cut location names another directory or variable: the entry is passed over.
    if (!copyText(text, sizeof text, entry.c_str() + 1) || !expandVariablesA(text, sizeof text)) {
        logTooLong("search entry");
        return nullptr;
    }
    logMessage("Testing location %s (type %c)", text, type);
    char* executable = search.javaExecutable;
    switch (type) {
    case 'A':
    case 'B':
    case 'R':
        if (checkJavaHome(executable, search.capacity, text, search.minimum, search.maximum, false)) {
            return search.accept(JvmSource::Directory, text);
        }
        break;
    case 'E':
        if (checkJavaHomeVariable(executable, search.capacity, text, search.minimum, search.maximum)) {
            return search.accept(JvmSource::EnvironmentVariable, text);
        }
        break;
    case 'S':
        if (searchPathForJava(executable, search.capacity, search.minimum, search.maximum)) {
            return search.accept(JvmSource::SearchPath, text);
        }
        break;
    case 'Y':
        if (findRegisteredJvm(executable, search.capacity, search.minimum, search.maximum)) {
            return search.accept(JvmSource::Registry, nullptr);
        }
        break;
    case 'V':
        return tryInstalledRuntimes(search);
    default:
        break;
    }
    return nullptr;
}

// Directory entries once more, without the version test: a runtime shipped with the
// application is better than none. An absolute entry takes part only when its type says
// so (B).
HMODULE tryDirectoriesUnchecked(Search& search, const std::vector<std::string>& entries)
{
    for (const std::string& entry : entries) {
        const char type = entry[0];
        if (type != 'A' && type != 'B' && type != 'R') continue;
        const std::string text = entry.substr(1);
        bool absolute = text.size() >= 2 && (text[1] == ':' || (text[0] == '\\' && text[1] == '\\'));
        if (absolute && type != 'B') continue;
        logMessage("Testing relative location %s", text.c_str());
        checkJavaHome(search.javaExecutable, search.capacity, text.c_str(), search.minimum, search.maximum, true);
        if (fileExists(search.javaExecutable)) {
            logMessage("%s exists", search.javaExecutable);
            if (HMODULE module = search.accept(JvmSource::Directory, text.c_str())) return module;
        }
    }
    return nullptr;
}

// The runtime of an earlier installation of this application, the user's before the
// machine's.
HMODULE tryPreviousInstallations(Search& search)
{
    const struct {
        HKEY root;
        const char* scope;
    } roots[] = {{HKEY_CURRENT_USER, "user"}, {HKEY_LOCAL_MACHINE, "machine"}};
    for (const auto& root : roots) {
        if (findPreviousInstallationJvm(root.root, search.javaExecutable, search.capacity, search.minimum,
                                        search.maximum)) {
            logMessage("found JRE from previous installation (%s) %s", root.scope, search.javaExecutable);
            if (HMODULE module = search.accept(JvmSource::Registry, nullptr)) return module;
        }
    }
    return nullptr;
}

HMODULE tryJavaHomeVariables(Search& search)
{
    for (const char* variable : {"QUILL_JAVA_HOME", "DEPLOYKIT_JAVA_HOME"}) {
        if (checkJavaHomeVariable(search.javaExecutable, search.capacity, variable, search.minimum, search.maximum)) {
            if (HMODULE module = search.accept(JvmSource::EnvironmentVariable, variable)) return module;
        }
    }
    return nullptr;
}

} // namespace

HMODULE findJvm(char* javaExecutable, size_t capacity, JvmSource* source, char* sourceText, size_t sourceCapacity)
{
    logMessage("Searching for a JVM");
    *source = JvmSource::None;
    // Read whole: a cut sequence would end in a cut entry, and a cut bound is another version.
    const std::string minimumText = dupConfigString(cfg::minJavaVersion);
    const std::string maximumText = dupConfigString(cfg::maxJavaVersion);
    logMessage("MinVersion: %s, MaxVersion: %s", minimumText.c_str(), maximumText.c_str());
    Search search{javaExecutable, capacity, source, sourceText, sourceCapacity, parseJavaVersion(minimumText.c_str()),
                  parseJavaVersion(maximumText.c_str())};

    if (HMODULE module = tryLocationFile(search, L"\\.deploykit\\pref_jre.cfg", "preferred")) return module;
    const std::vector<std::string> entries = splitEntries(dupConfigString(cfg::jvmSearchSequence).c_str());
    for (const std::string& entry : entries) {
        if (HMODULE module = trySequenceEntry(search, entry)) return module;
    }
    if (HMODULE module = tryLocationFile(search, L"\\.deploykit\\inst_jre.cfg", "installer")) return module;
    if (getConfigInt(cfg::strictJavaVersion) != 0) {
        logMessage("strict version: no directory entry is tried again without the version test");
    } else if (HMODULE module = tryDirectoriesUnchecked(search, entries)) {
        return module;
    }
    if (HMODULE module = tryPreviousInstallations(search)) return module;
    logMessage("Search sequence finished");
    return tryJavaHomeVariables(search);
}
