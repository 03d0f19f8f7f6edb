// What an installer package holds, read from a service descriptor's [installer] section
// and the block that `packager build` makes of the same descriptor: the product, the
// installation folder, the files (the launcher first) and the service entry as the
// launcher's own `/install` would register it. Internal to the packager.
#pragma once

#include "packaging/descriptor/build.h"

#include <filesystem>
#include <string>
#include <vector>

namespace packager {

struct InstallerFile {
    std::filesystem::path source;  // on the packaging machine; empty for the launcher
    std::string target;            // below the installation folder, '\' separated (UTF-8)
};

// The service entry, with the values the service manager takes.
struct InstallerService {
    std::string name;          // also its display name, as `/install` registers it
    std::string description;   // UTF-8; empty for none
    std::string start;         // "auto", "demand" or "disabled"
    bool delayed = false;      // automatic start after the boot (not in the package's tables)
    std::string account;       // "LocalSystem", "NT AUTHORITY\LocalService", "NT SERVICE\x", ...
    bool interactive = false;  // `/install` makes a LocalSystem service interactive
    std::vector<std::string> dependencies;
    bool recovery = false;     // the launcher sets failure actions at `/install`
};

struct InstallerPlan {
    std::string productName;
    std::string manufacturer;
    std::string version;       // "major.minor.build", without leading zeros
    std::string upgradeCode;   // upper case, without braces
    std::vector<std::string> installFolder;  // its steps below the 64-bit Program Files
    std::vector<InstallerFile> files;         // the launcher first, then by target
    bool startAfterInstall = false;
    InstallerService service;
    std::vector<std::string> notes;           // what the package cannot do as `/install` does
};

// Reads the [installer] section of the descriptor `text` (at `path`, whose folder the
// files are found from) for the launcher `block` built from it. False with every error
// found, each at its place in the descriptor.
bool readInstallerPlan(const std::string& text, const std::string& path, const blockformat::ConfigBlock& block,
                       InstallerPlan* plan, std::vector<Diagnostic>* errors);

// True when `name` matches the wildcard `pattern` ('*' any run of characters, '?' one
// character); Windows file names ignore case, and so does this for ASCII letters.
bool matchesWildcard(const std::string& pattern, const std::string& name);

// Empty when `step` can be a file or folder name on Windows; otherwise why not.
std::string fileNameStepProblem(const std::string& step);

} // namespace packager
