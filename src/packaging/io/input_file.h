// Input files of the packager: a file read whole, and whether two paths name one file
// (an output must never be one of the inputs it is made from).
#pragma once

#include <filesystem>
#include <string>

namespace packager {

// The whole content of the file at `path`; false when it cannot be read.
bool readWholeFile(const std::string& path, std::string* content);

// True when the two paths name one file, also through another spelling or a link: an
// output that replaces its file must not be one of its inputs.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

} // namespace packager
