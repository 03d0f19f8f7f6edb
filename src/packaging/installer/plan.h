// What an installer package holds, read from a service descriptor's [installer] section
// and the block that `packager build` makes of the same parsed descriptor: the product,
// the installation folder, the files (the launcher first) and the service entry as the
// launcher's own `/install` would register it. Internal to the packager.
#pragma once

#include "format/block.h"
#include "packaging/descriptor/diagnostic.h"

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
    bool delayed = false;      // automatic start after the boot: set by the launcher's /configure
    std::string account;       // "LocalSystem", "NT AUTHORITY\LocalService", "NT SERVICE\x", ...
    bool interactive = false;  // `/install` makes a LocalSystem service interactive; /configure does
    std::vector<std::string> dependencies;
    bool recovery = false;     // failure actions, set by /configure as by `/install`
    bool eventSource = false;  // the launcher is the message file of an event source of the name
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

struct ParsedDescriptor;  // descriptor/parse.h

// Reads the [installer] section of a descriptor (whose folder the files are found from) for
// the launcher `block` built from it, a descriptor that the build took. False with every
// error found added to `errors`, each at its place in the descriptor.
bool readInstallerPlan(const ParsedDescriptor& descriptor, const blockformat::ConfigBlock& block,
                       InstallerPlan* plan, std::vector<Diagnostic>* errors);

} // namespace packager
