// The runtime library jar that a launcher embeds as its first included file.
#pragma once

#include <string>

namespace packager {

// Empty when the jar can be embedded; otherwise why not. A jar is a zip archive: anything
// else would only fail when the application starts.
std::string runtimeLibraryProblem(const std::string& path);

} // namespace packager
