// `packager msi`: the launcher as `packager build` makes it, and a Windows Installer
// package around it, compiled by wixl from the WiX source the packager writes.
#pragma once

#include <string>
#include <vector>

namespace packager {

// The name of the compiler and the Debian package that brings it.
extern const char kInstallerCompiler[];
extern const char kInstallerCompilerPackage[];

// Runs the command with its arguments (after "msi"); prints its errors and notes on
// standard error. 0 on success, 2 on any error, with no package (and no kept source)
// written. `runtimeLibrary` is the jar embedded unless the arguments say otherwise.
int packageInstaller(const std::vector<std::string>& arguments, const std::string& runtimeLibrary);

} // namespace packager
