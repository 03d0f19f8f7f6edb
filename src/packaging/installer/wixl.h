// wixl, the compiler that turns the WiX source into an installer package: found on the
// PATH and run as a child whose messages join the packager's standard error. A Linux
// program; the Windows build of the packager cannot run it.
#pragma once

#include <string>
#include <vector>

namespace packager {

// The name of the compiler and the Debian package that brings it.
extern const char kInstallerCompiler[];
extern const char kInstallerCompilerPackage[];

// The compiler's full path from PATH; empty when it is not there (always on Windows).
std::string findInstallerCompiler();

// Runs the compiler with `arguments`; its own messages go to standard error. The exit
// code, or -1 when it could not be run or did not end by itself.
int runInstallerCompiler(const std::string& compiler, const std::vector<std::string>& arguments);

} // namespace packager
