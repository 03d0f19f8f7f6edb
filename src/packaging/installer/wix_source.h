// The WiX source of an installer package: a per-machine, 64-bit product with one component
// per file, the service registered and controlled through the installer's own service
// tables, and a major upgrade that removes an older version before the new one is
// installed. wixl compiles it on Linux, the WiX toolset on Windows. Pure functions,
// internal to the packager.
#pragma once

#include "packaging/installer/plan.h"

#include <string>

namespace packager {

// Empty when every text of the plan can be written into WiX source as it stands;
// otherwise why not ("$(", "$$" and "!(" are read as the compilers' variables even
// when escaped, and XML holds no control character but tab and line ends).
std::string installerSourceProblem(const InstallerPlan& plan);

// The source, with each file's Source as `sources` gives it (one per plan file, in
// order).
std::string installerSource(const InstallerPlan& plan, const std::vector<std::string>& sources);

} // namespace packager
