// From a packaged launcher back to a service descriptor (`packager inspect`).
#pragma once

#include "packaging/launcher/reader.h"

#include <string>
#include <vector>

namespace packager {

struct Description {
    std::string descriptor;          // TOML text
    bool rebuildsIdentically = false;
    // False when no descriptor could be written that builds (a value no key and no
    // record can carry, such as a locale prefix that is no locale code): `descriptor`
    // then fails to build, and `notes` says why.
    bool builds = true;
    std::vector<std::string> notes;  // why a rebuild would differ, and other remarks
};

// Describes the launcher. `fileSources` gives the `source` text to write for each included
// file (in the order of launcher.fileNames). Each record is written under its readable key
// when that key gives back exactly the stored text, otherwise under [records]; the result
// is checked by building it again, and `rebuildsIdentically` says whether that gave the
// same block and files byte for byte.
Description describeLauncher(const packager::PackagedLauncher& launcher, const std::vector<std::string>& fileSources,
                             const std::string& launcherName);

// TOML basic string with the escapes it needs.
std::string tomlString(const std::string& utf8);

} // namespace packager
