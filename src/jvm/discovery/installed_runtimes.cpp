// The registry keys of today's Java installers. Each source is a key with one sub-key per
// installed version; the home is a string value of that sub-key or of a key below it.
// The keys are only read; anything unexpected passes the entry over with a log line.
#include "jvm/discovery/installed_runtimes.h"

#include "jvm/discovery/java_version.h"
#include "platform/diagnostic_log.h"
#include "platform/registry.h"
#include "platform/text_format.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// The launcher is a 64-bit program, and so are the installers of the runtimes it can load.
constexpr REGSAM kReadAccess = KEY_READ | KEY_WOW64_64KEY;

enum class Layout {
    JavaSoft,   // <key>\<version>, value JavaHome
    Vendor,     // <key>\{JDK|JRE}\<v4>\[{hotspot|openj9}\]{MSI|EXE}, value Path
    Zulu,       // <key>\zulu-N[-jre], value InstallationPath
    Liberica,   // <key>\{jdk|jre}-N, value InstallationPath
};

struct Source {
    const char* key;
    Layout layout;
    const char* value;
};

const Source kSources[] = {
    {"SOFTWARE\\JavaSoft\\JDK", Layout::JavaSoft, "JavaHome"},
    {"SOFTWARE\\JavaSoft\\JRE", Layout::JavaSoft, "JavaHome"},
    {"SOFTWARE\\Eclipse Adoptium", Layout::Vendor, "Path"},
    {"SOFTWARE\\AdoptOpenJDK", Layout::Vendor, "Path"},
    {"SOFTWARE\\Eclipse Foundation", Layout::Vendor, "Path"},
    {"SOFTWARE\\Microsoft\\JDK", Layout::Vendor, "Path"},
    {"SOFTWARE\\Semeru", Layout::Vendor, "Path"},
    {"SOFTWARE\\Azul Systems\\Zulu", Layout::Zulu, "InstallationPath"},
    {"SOFTWARE\\BellSoft\\Liberica", Layout::Liberica, "InstallationPath"},
};

// Below a vendor's version key: the VM level (absent in older keys), then the installer.
const char* const kVendorLeaves[] = {"hotspot\\MSI", "hotspot\\EXE", "openj9\\MSI", "openj9\\EXE", "MSI", "EXE"};

bool startsWithDigit(const std::string& text) { return !text.empty() && std::isdigit(static_cast<unsigned char>(text[0])); }

// The digits-and-dots version after `prefix` in a key name, before an optional `suffix`.
std::string versionAfter(const std::string& name, const char* prefix, const char* suffix)
{
    size_t prefixLength = std::strlen(prefix);
    if (name.size() <= prefixLength || _strnicmp(name.c_str(), prefix, prefixLength) != 0) {
        return std::string();
    }
    std::string rest = name.substr(prefixLength);
    size_t suffixLength = suffix != nullptr ? std::strlen(suffix) : 0;
    if (suffixLength > 0 && rest.size() > suffixLength &&
        _stricmp(rest.c_str() + rest.size() - suffixLength, suffix) == 0) {
        rest.resize(rest.size() - suffixLength);
    }
    if (!startsWithDigit(rest) ||
        rest.find_first_not_of("0123456789._") != std::string::npos) {
        return std::string();
    }
    return rest;
}

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return text;
}

class Collector {
public:
    void collect(HKEY root, const char* rootName)
    {
        rootName_ = rootName;
        for (const Source& source : kSources) {
            UniqueKey key = openRegistryKey(root, source.key, kReadAccess);
            if (!key) {
                continue;
            }
            logMessage("reading installed runtimes of %s\\%s", rootName_, source.key);
            switch (source.layout) {
            case Layout::JavaSoft:
                for (const std::string& name : readSubKeyNames(key.get())) {
                    if (!startsWithDigit(name)) {
                        logMessage("passed over %s\\%s\\%s: not a version", rootName_, source.key, name.c_str());
                        continue;
                    }
                    readHome(key.get(), source.key, name, name, source.value);
                }
                break;
            case Layout::Vendor:
                collectVendor(key.get(), source.key, source.value);
                break;
            case Layout::Zulu:
            case Layout::Liberica:
                for (const std::string& name : readSubKeyNames(key.get())) {
                    std::string version = source.layout == Layout::Zulu ? versionOfZuluKey(name)
                                                                        : versionOfLibericaKey(name);
                    if (version.empty()) {
                        logMessage("passed over %s\\%s\\%s: not a version", rootName_, source.key, name.c_str());
                        continue;
                    }
                    readHome(key.get(), source.key, name, version, source.value);
                }
                break;
            }
        }
    }

    std::vector<InstalledRuntime> take()
    {
        std::stable_sort(found_.begin(), found_.end(), [](const InstalledRuntime& a, const InstalledRuntime& b) {
            return isNewerInstalledVersion(a.version, b.version);
        });
        return std::move(found_);
    }

private:
    // <key>\{JDK|JRE}\<v4>\... or, where the vendor's key is itself the JDK level, <key>\<v4>\...
    void collectVendor(HKEY key, const std::string& path, const char* valueName)
    {
        for (const std::string& name : readSubKeyNames(key)) {
            if (_stricmp(name.c_str(), "JDK") == 0 || _stricmp(name.c_str(), "JRE") == 0) {
                if (UniqueKey level = openRegistryKey(key, name.c_str(), kReadAccess)) {
                    collectVendor(level.get(), path + "\\" + name, valueName);
                }
            } else if (startsWithDigit(name)) {
                collectVendorVersion(key, path, name, valueName);
            } else {
                logMessage("passed over %s\\%s\\%s: not a version", rootName_, path.c_str(), name.c_str());
            }
        }
    }

    void collectVendorVersion(HKEY parent, const std::string& path, const std::string& version, const char* valueName)
    {
        UniqueKey versionKey = openRegistryKey(parent, version.c_str(), kReadAccess);
        if (!versionKey) {
            return;
        }
        const std::string versionPath = path + "\\" + version;
        bool any = false;
        for (const char* leaf : kVendorLeaves) {
            any = readHome(versionKey.get(), versionPath, leaf, version, valueName, true) || any;
        }
        if (!any) {
            logMessage("passed over %s\\%s: no installer key below it", rootName_, versionPath.c_str());
        }
    }

    // The home in value `valueName` of `parent`\`name`, listed unless it is missing, not a
    // string, too long, empty or a home listed already. False when the key cannot be opened
    // (logged unless `quietWhenMissing`).
    bool readHome(HKEY parent, const std::string& parentPath, const std::string& name, const std::string& version,
                  const char* valueName, bool quietWhenMissing = false)
    {
        const std::string where = std::string(rootName_) + "\\" + parentPath + "\\" + name;
        UniqueKey key = openRegistryKey(parent, name.c_str(), kReadAccess);
        if (!key) {
            if (!quietWhenMissing) {
                logMessage("passed over %s: cannot open it", where.c_str());
            }
            return false;
        }
        char home[kTextCapacity];
        const RegistryResult read = readRegistryText(key.get(), valueName, home, sizeof home);
        switch (read.status) {
        case RegistryStatus::ok:
            break;
        case RegistryStatus::missing:
            logMessage("passed over %s: no value %s", where.c_str(), valueName);
            return true;
        case RegistryStatus::tooLong:
            logMessage("passed over %s: value %s is too long", where.c_str(), valueName);
            return true;
        case RegistryStatus::wrongType:
            logMessage("passed over %s: value %s is not a string (type %d)", where.c_str(), valueName,
                       static_cast<int>(read.type));
            return true;
        case RegistryStatus::failed:
            logMessage("passed over %s: value %s unreadable (error %d)", where.c_str(), valueName,
                       static_cast<int>(read.error));
            return true;
        }
        size_t length = std::strlen(home);
        while (length > 0 && (home[length - 1] == '\\' || home[length - 1] == '/')) {
            home[--length] = '\0';
        }
        if (length == 0) {
            logMessage("passed over %s: value %s is empty", where.c_str(), valueName);
            return true;
        }
        const std::string identity = lowerCase(home);
        auto listed = std::find(homes_.begin(), homes_.end(), identity);
        if (listed != homes_.end()) {
            // Installers list one runtime under "17" and "17.0.9": the fuller name orders it.
            InstalledRuntime& runtime = found_[static_cast<size_t>(listed - homes_.begin())];
            if (isNewerInstalledVersion(version, runtime.version)) {
                runtime.version = version;
            }
            logMessage("passed over %s: %s is listed already", where.c_str(), home);
            return true;
        }
        homes_.push_back(identity);
        logMessage("found installed runtime %s (version %s) in %s", home, version.c_str(), where.c_str());
        found_.push_back(InstalledRuntime{home, version, where});
        return true;
    }

    const char* rootName_ = "";
    std::vector<InstalledRuntime> found_;
    std::vector<std::string> homes_;
};

} // namespace

std::string versionOfZuluKey(const std::string& name) { return versionAfter(name, "zulu-", "-jre"); }

std::string versionOfLibericaKey(const std::string& name)
{
    std::string version = versionAfter(name, "jdk-", nullptr);
    return version.empty() ? versionAfter(name, "jre-", nullptr) : version;
}

bool isNewerInstalledVersion(const std::string& first, const std::string& second)
{
    auto normalized = [](const std::string& text) {
        JavaVersion version = parseJavaVersion(text.c_str());
        if (version.size() > 1 && version[0] == 1) {
            version.erase(version.begin());
        }
        return version;
    };
    JavaVersion a = normalized(first);
    JavaVersion b = normalized(second);
    // Lexicographic; a version that goes on where the other ends is the newer one.
    return std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end());
}

std::vector<InstalledRuntime> collectInstalledRuntimes()
{
    Collector collector;
    collector.collect(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE");
    collector.collect(HKEY_CURRENT_USER, "HKEY_CURRENT_USER");
    return collector.take();
}
