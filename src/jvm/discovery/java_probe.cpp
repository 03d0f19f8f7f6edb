// The test of one Java installation. A runtime's version is read from its release file
// when that names one; otherwise it is known from the per-user cache while the executable
// keeps its last-write time, or else the executable is run with "-version" and its
// standard error read from a temporary file.
#include "jvm/discovery/java_probe.h"

#include "config/config_store.h"
#include "config/messages.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/handle.h"
#include "platform/paths.h"
#include "platform/private_security.h"
#include "platform/registry.h"
#include "platform/text_format.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kGraphicalLauncher = 1;

// What the cache receives for a runtime that ran and failed; never trusted on reading.
constexpr char kFailedVersion[] = "1.0.0";
// The first line of "-version" is read with this capacity, terminator included.
constexpr DWORD kVersionLineCapacity = 100;
// After ending a runtime that hung, how long to wait for it to let go of the temporary file.
constexpr DWORD kTerminationWaitMs = 5000;

constexpr char kJavaVersionPrefix[] = "java version \"";
constexpr char kOpenJdkVersionPrefix[] = "openjdk version \"";

bool startsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

// Entries that older launchers wrote after reading a version line that ended early.
bool isUntrustedCachedVersion(const char* version)
{
    return std::strcmp(version, "1.7.") == 0 || std::strcmp(version, "1.6.") == 0 ||
           std::strcmp(version, "1.5.") == 0;
}

// The first line of a file read as a text-mode stream would: up to the first line end,
// at most capacity - 1 bytes, CR LF taken as a line end. Read through the handle the file
// was created with, so that the text is the one the runtime wrote there.
std::string readFirstLine(HANDLE file)
{
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
        return std::string();
    }
    char buffer[kVersionLineCapacity];
    DWORD read = 0;
    if (!ReadFile(file, buffer, kVersionLineCapacity - 1, &read, nullptr)) {
        return std::string();
    }
    std::string line(buffer, read);
    size_t end = line.find_first_of("\r\n");
    if (end != std::string::npos) {
        line.resize(end);
    }
    return line;
}

// The command line of a probe. The short form normally has no blanks; where the volume
// keeps no short names the long path comes back, and then it needs quotation marks so
// that the process started is the runtime and not a prefix of its path.
bool probeCommandLine(char* commandLine, size_t capacity, const char* resolvedPath)
{
    char shortPath[kTextCapacity];
    DWORD n = GetShortPathNameA(resolvedPath, shortPath, sizeof shortPath);
    if ((n == 0 || n >= sizeof shortPath) && !copyText(shortPath, sizeof shortPath, resolvedPath)) {
        return false;
    }
    if (std::strchr(shortPath, ' ') != nullptr) {
        return formatText(commandLine, capacity, "\"%s\" -version", shortPath);
    }
    return formatText(commandLine, capacity, "%s -version", shortPath);
}

// What of a release file is read: its JAVA_VERSION line is one of the first.
constexpr DWORD kReleaseFileCapacity = 16384;
constexpr char kReleaseVersionPrefix[] = "JAVA_VERSION=\"";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The release file of the runtime of a Java executable: "<home>\release", where the
// executable is "<home>\bin\java.exe" or, in a JDK of Java 8 and before,
// "<home>\jre\bin\java.exe". Empty when the path has no such shape.
std::vector<std::string> releaseFilesOf(const char* javaExecutable)
{
    std::vector<std::string> files;
    std::string path = javaExecutable;
    size_t name = path.find_last_of('\\');
    if (name == std::string::npos || name == 0) {
        return files;
    }
    size_t bin = path.find_last_of('\\', name - 1);
    if (bin == std::string::npos) {
        return files;
    }
    std::string home = path.substr(0, bin);
    files.push_back(home + "\\release");
    size_t jre = home.find_last_of('\\');
    if (jre != std::string::npos && _stricmp(home.c_str() + jre + 1, "jre") == 0) {
        files.push_back(home.substr(0, jre) + "\\release");
    }
    return files;
}

// The start of a file; false when it cannot be opened or read.
bool readFileStart(const std::string& path, std::string& text)
{
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    std::string buffer(kReleaseFileCapacity, '\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), &buffer[0], kReleaseFileCapacity, &read, nullptr)) {
        return false;
    }
    buffer.resize(read);
    text = std::move(buffer);
    return true;
}

} // namespace

bool isReleaseVersion(const std::string& text)
{
    // Numbers separated by '.' or '_', then optionally '-' or '+' and a word such as "ea".
    size_t i = 0;
    bool digits = false;
    for (; i < text.size() && text[i] != '-' && text[i] != '+'; ++i) {
        if (isDigit(text[i])) {
            digits = true;
        } else if ((text[i] == '.' || text[i] == '_') && digits) {
            digits = false;
        } else {
            return false;
        }
    }
    if (!digits || i >= text.size()) {
        return digits;
    }
    // After the separator: letters, digits and further separators, not empty, not ending in one.
    bool word = false;
    for (++i; i < text.size(); ++i) {
        char c = text[i];
        bool alphanumeric = isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (alphanumeric) {
            word = true;
        } else if ((c == '.' || c == '-' || c == '+' || c == '_') && word) {
            word = false;
        } else {
            return false;
        }
    }
    return word;
}

std::string versionFromReleaseText(const std::string& text)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.compare(0, std::strlen(kReleaseVersionPrefix), kReleaseVersionPrefix) == 0) {
            std::string rest = line.substr(std::strlen(kReleaseVersionPrefix));
            // The closing quotation mark ends the line; anything else is not this format.
            if (rest.size() < 2 || rest.back() != '"') {
                return std::string();
            }
            rest.pop_back();
            return isReleaseVersion(rest) ? rest : std::string();
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return std::string();
}

bool readReleaseVersion(const char* resolvedPath, char* version, size_t capacity)
{
    clearText(version, capacity);
    for (const std::string& file : releaseFilesOf(resolvedPath)) {
        std::string text;
        if (!readFileStart(file, text)) {
            continue;
        }
        std::string found = versionFromReleaseText(text);
        if (found.empty()) {
            logMessage("no Java version in %s", file.c_str());
            return false;
        }
        if (!copyText(version, capacity, found.c_str())) {
            clearText(version, capacity);
            return false;
        }
        logMessage("Java version %s from %s", version, file.c_str());
        return true;
    }
    return false;
}

std::string versionCacheKeyOf(const char* resolvedPath)
{
    std::string key = kVersionCacheKey;
    for (const char* p = resolvedPath != nullptr ? resolvedPath : ""; *p != '\0'; ++p) {
        key += *p == '\\' ? '/' : *p;
    }
    return key;
}

std::string versionFromVersionLine(const char* line)
{
    if (line == nullptr) {
        return std::string();
    }
    const char* rest = nullptr;
    if (startsWith(line, kJavaVersionPrefix)) {
        rest = line + std::strlen(kJavaVersionPrefix);
    } else if (startsWith(line, kOpenJdkVersionPrefix)) {
        rest = line + std::strlen(kOpenJdkVersionPrefix);
    } else {
        return std::string();
    }
    // The version is what the quotation marks enclose; newer runtimes print a release
    // date after them. A line without its closing mark was cut short and tells nothing
    // reliable, so it yields no version rather than a partial one.
    const char* close = std::strchr(rest, '"');
    if (close == nullptr) {
        return std::string();
    }
    return std::string(rest, static_cast<size_t>(close - rest));
}

bool resolveJavaExecutable(char* javaExecutable, size_t capacity, const char* javaHome)
{
    // A path that does not fit would name some other file, so it never qualifies, and it
    // does not stay in the buffer, where a caller that tests the file would find it.
    if (!formatText(javaExecutable, capacity, "%s\\jre\\bin\\java.exe", javaHome)) {
        clearText(javaExecutable, capacity);
        return false;
    }
    if (getConfigInt(cfg::requireJdk) != 0) {
        char toolsJar[kTextCapacity];
        return formatText(toolsJar, sizeof toolsJar, "%s\\lib\\tools.jar", javaHome) && fileExists(toolsJar);
    }
    if (!fileExists(javaExecutable) && !formatText(javaExecutable, capacity, "%s\\bin\\java.exe", javaHome)) {
        clearText(javaExecutable, capacity);
        return false;
    }
    return true;
}

namespace {

// A bound as the log shows it: its numbers joined by '.', "none" for no bound.
std::string boundText(const JavaVersion& bound)
{
    std::string text;
    for (int32_t number : bound) {
        text += (text.empty() ? "" : ".") + std::to_string(number);
    }
    return text.empty() ? std::string("none") : text;
}

// The accepted versions as a user reads them: "11 or later", "11 to 17", "17 or earlier".
std::string rangeText(const JavaVersion& minimum, const JavaVersion& maximum)
{
    if (minimum.empty() && maximum.empty()) {
        return "any";
    }
    if (maximum.empty()) {
        return boundText(minimum) + " or later";
    }
    if (minimum.empty()) {
        return boundText(maximum) + " or earlier";
    }
    return boundText(minimum) + " to " + boundText(maximum);
}

std::vector<RejectedRuntime> rejected;

// Kept once per executable, its latest reason: several entries of a search may lead to
// one runtime.
void keepRejection(const char* javaExecutable, const char* version, const std::string& reason)
{
    for (RejectedRuntime& runtime : rejected) {
        if (_stricmp(runtime.executable.c_str(), javaExecutable) == 0) {
            runtime.version = version;
            runtime.reason = reason;
            return;
        }
    }
    rejected.push_back({javaExecutable, version, reason});
}

// One line per rejected candidate that says why, with the accepted range for a version;
// a candidate that exists is kept for the no-runtime message.
void logRejection(const char* javaExecutable, const char* version, const char* reason, const JavaVersion& minimum,
                  const JavaVersion& maximum, bool allowPrerelease, bool exists)
{
    if (std::strcmp(reason, "version outside the range") != 0) {
        logMessage("rejected %s: %s", javaExecutable, reason);
        if (exists) {
            keepRejection(javaExecutable, version, reason);
        }
        return;
    }
    // Within the range, only its pre-release mark refused it.
    keepRejection(javaExecutable, version,
                  isVersionAccepted(version, minimum, maximum, true)
                      ? std::string("a pre-release, which is not accepted")
                      : "outside the accepted versions (" + rangeText(minimum, maximum) + ")");
    bool prerelease = allowPrerelease || getConfigInt(cfg::acceptPreRelease) != 0;
    logMessage("rejected %s: version %s not accepted (minimum %s, maximum %s, pre-releases %s)", javaExecutable,
               version, boundText(minimum).c_str(), boundText(maximum).c_str(), prerelease ? "accepted" : "refused");
}

} // namespace

bool checkJavaExe(char* javaExecutable, size_t capacity, char* version, size_t versionCapacity,
                  const JavaVersion& minimum, const JavaVersion& maximum, bool allowPrerelease,
                  bool useVersionCache)
{
    logMessage("checkJavaExe (%s, [out], %d, %d, %d)", javaExecutable, static_cast<int>(minimum.size()),
               static_cast<int>(maximum.size()), allowPrerelease ? 1 : 0);
    clearText(version, versionCapacity);
    bool result = false;
    const char* reason = "";  // why a candidate is rejected, for the log
    bool exists = false;      // a runtime was found there
    char resolved[kTextCapacity];
    uint64_t lastWriteTime = 0;
    if (!getFullPath(resolved, sizeof resolved, javaExecutable, false) ||
        !copyText(javaExecutable, capacity, resolved)) {
        // The caller's buffer cannot hold the resolved path; a cut path names no runtime.
        logMessage("file doesn't exist");
        reason = "its path is too long";
    } else if (!fileExists(javaExecutable, &lastWriteTime)) {
        logMessage("file doesn't exist");
        reason = "no such file";
    } else {
        logMessage("file exists");
        exists = true;
        // The runtime's own record of its version comes first: reading it needs no
        // process and no registry, so a start with such a runtime never loads the registry
        // functions. The cache serves the runtimes without one, as before.
        if (readReleaseVersion(javaExecutable, version, versionCapacity)) {
            logMessage("got version from release file %s", version);
            result = isVersionAccepted(version, minimum, maximum, allowPrerelease);
        } else if (useVersionCache && readCachedVersion(javaExecutable, lastWriteTime, version, versionCapacity) &&
                   std::strcmp(version, kFailedVersion) != 0) {
            logMessage("got version from registry %s", version);
            result = isVersionAccepted(version, minimum, maximum, allowPrerelease);
        } else if (queryJavaVersion(javaExecutable, lastWriteTime, version, versionCapacity)) {
            logMessage("got version from execution %s", version);
            storeCachedVersion(javaExecutable, lastWriteTime, version);
            result = isVersionAccepted(version, minimum, maximum, allowPrerelease);
        } else {
            clearText(version, versionCapacity);
            logMessage("couldn't get version");
            reason = "the version probe failed (no release file, and -version gave no version)";
        }
        if (!result && reason[0] == '\0') {
            reason = "version outside the range";
        }
        if (result && getConfigInt(cfg::launcherKind) == kGraphicalLauncher) {
            // A graphical launcher runs the runtime without a console window.
            size_t length = std::strlen(javaExecutable);
            result = length >= 4 && length + 1 < capacity && _stricmp(javaExecutable + length - 4, ".exe") == 0;
            // The length test above leaves room for the one more character.
            result = result && copyText(javaExecutable + length - 4, capacity - (length - 4), "w.exe") &&
                     fileExists(javaExecutable);
            reason = result ? "" : "no javaw.exe beside it";
        }
    }
    if (!result) {
        logRejection(javaExecutable, version, reason, minimum, maximum, allowPrerelease, exists);
    }
    logMessage("checkJavaExe returning %d", result ? 1 : 0);
    return result;
}

bool queryJavaVersion(const char* resolvedPath, uint64_t lastWriteTime, char* version, size_t capacity)
{
    clearText(version, capacity);
    char commandLine[kTextCapacity];
    if (!probeCommandLine(commandLine, sizeof commandLine, resolvedPath)) {
        logMessage("Could not create process %s > %s (error %d)", resolvedPath, "",
                   static_cast<int>(ERROR_FILENAME_EXCED_RANGE));
        return false;
    }
    // The output decides which runtime is accepted: the file is private from its creation
    // and read back through this handle, never reopened by name. Shared for deletion too:
    // a process that inherited the handle along with the runtime (the console host of a
    // runtime started without a console, for one) may hold it a little longer, and the
    // file must still go once it is read.
    char tempFile[kTextCapacity];
    UniqueFile output;
    if (!makePrivateTempFile(tempFile, sizeof tempFile, GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, output)) {
        fatalConfigErrorW(cfg::msgNoTempDirectory, nullptr);
    }
    UniqueFile errorFile;
    HANDLE inheritable = INVALID_HANDLE_VALUE;
    // Only this copy is inheritable, so the runtime gets exactly one handle of ours.
    if (DuplicateHandle(GetCurrentProcess(), output.get(), GetCurrentProcess(), &inheritable, 0, TRUE,
                        DUPLICATE_SAME_ACCESS)) {
        errorFile = UniqueFile(inheritable);
    }

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nullptr;
    startup.hStdOutput = nullptr;
    startup.hStdError = errorFile ? errorFile.get() : nullptr;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &info)) {
        int error = static_cast<int>(GetLastError());
        logMessage("Could not create process %s > %s (error %d)", commandLine, tempFile, error);
        errorFile.reset();
        output.reset();
        DeleteFileA(tempFile);
        return false;
    }
    UniqueHandleNull process(info.hProcess);
    UniqueHandleNull thread(info.hThread);

    // Decided by the wait, not by the exit code 259: a runtime may end with that code.
    bool finished = WaitForSingleObject(process.get(), kVersionProbeTimeoutMs) == WAIT_OBJECT_0;
    DWORD exitCode = STILL_ACTIVE;
    if (!GetExitCodeProcess(process.get(), &exitCode)) {
        exitCode = STILL_ACTIVE;
    }
    logMessage("Exit Code %d", static_cast<int>(exitCode));
    if (!finished) {
        logMessage("Terminating process");
        TerminateProcess(process.get(), 1);
        // The runtime holds the temporary file open until it is really gone.
        WaitForSingleObject(process.get(), kTerminationWaitMs);
    } else if (exitCode != 0) {
        storeCachedVersion(resolvedPath, lastWriteTime, kFailedVersion);
    }
    process.reset();
    thread.reset();
    errorFile.reset();
    if (!finished || exitCode != 0) {
        output.reset();
        DeleteFileA(tempFile);
        return false;
    }

    std::string line = readFirstLine(output.get());
    output.reset();
    if (!DeleteFileA(tempFile)) {
        logMessage("could not delete %s (error %d)", tempFile, static_cast<int>(GetLastError()));
    }
    std::string found = versionFromVersionLine(line.c_str());
    if (found.empty()) {
        return false;
    }
    // A version that does not fit the caller's buffer would be judged on its prefix.
    if (!copyText(version, capacity, found.c_str())) {
        clearText(version, capacity);
        return false;
    }
    logMessage("Java version: %s", version);
    return true;
}

bool readCachedVersion(const char* resolvedPath, uint64_t lastWriteTime, char* version, size_t capacity)
{
    clearText(version, capacity);
    std::string keyPath = versionCacheKeyOf(resolvedPath);
    UniqueKey key = openRegistryKey(HKEY_CURRENT_USER, keyPath.c_str());
    if (!key) {
        return false;
    }
    // Values of another type than storeCachedVersion writes were not written by a launcher:
    // no entry, so that the runtime is asked again and the entry rewritten, instead of
    // the bytes of a number being taken for a version.
    uint8_t stamp[8] = {};
    if (!readRegistryBytes(key.get(), "LastWriteTime", stamp, sizeof stamp).ok() ||
        std::memcmp(stamp, &lastWriteTime, sizeof stamp) != 0) {
        return false;
    }
    // An entry too long for the buffer is refused rather than cut.
    char value[kTextCapacity];
    if (!readRegistryText(key.get(), "Version", value, sizeof value).ok()) {
        return false;
    }
    // An empty entry knows nothing, and an entry that does not fit would be judged on a prefix.
    if (value[0] == '\0' || isUntrustedCachedVersion(value) || !copyText(version, capacity, value)) {
        clearText(version, capacity);
        return false;
    }
    return true;
}

void storeCachedVersion(const char* resolvedPath, uint64_t lastWriteTime, const char* version)
{
    std::string keyPath = versionCacheKeyOf(resolvedPath);
    UniqueKey key = createRegistryKey(HKEY_CURRENT_USER, keyPath.c_str());
    if (!key) {
        return;
    }
    writeRegistryBytes(key.get(), "LastWriteTime", &lastWriteTime, sizeof lastWriteTime);
    // With its terminator. Earlier launchers left it out of the size they gave, which the
    // system adds back when the byte after the text is one; the reader takes both forms.
    writeRegistryText(key.get(), "Version", version);
}

const std::vector<RejectedRuntime>& rejectedRuntimes()
{
    return rejected;
}

std::string rejectedRuntimesText(size_t shownAtMost)
{
    std::string text;
    size_t shown = 0;
    for (const RejectedRuntime& runtime : rejected) {
        if (shown == shownAtMost) {
            text += "\n  and " + std::to_string(rejected.size() - shown) + " more (the diagnostic log names them)";
            break;
        }
        text += "\n  " + runtime.executable;
        if (!runtime.version.empty()) {
            text += " (Java " + runtime.version + ")";
        }
        text += ": " + runtime.reason;
        ++shown;
    }
    return text.empty() ? text : "Java runtimes found and rejected:" + text;
}
