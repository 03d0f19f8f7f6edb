// The packager's command line, in the library: the `packager` executable's main only hands
// its arguments and its standard streams to runPackager, and tests run the same commands
// in-process.
//
//   packager build <descriptor.toml> <launcher-image.exe> <output.exe>
//                  [--runtime-library <jar> | --no-runtime-library]
//   packager inspect <launcher.exe> [--output <descriptor.toml>] [--extract <directory>]
//                  [--image <launcher-image.exe>]
//   packager keys     (the reference of the descriptor's keys, Markdown)
//   packager msi <descriptor.toml> <launcher-image.exe> <output.msi>
//                  [--runtime-library <jar> | --no-runtime-library] [--wxs <file>]
//
// Exit code 0 on success, 2 on any error; errors are one line each, descriptor errors as
// "file:line:column: error: ...". Every output file is written through a partial file and
// a rename (io/output_file.h), so that a failed command leaves no output file behind and
// no output is ever replaced by an incomplete one; no output may be one of the inputs.
// `build` copies included files from disk into the launcher without holding them in
// memory. `inspect` checks every included file's name before it writes anything, and
// fails (writing nothing) rather than write a descriptor that does not build.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace packager {

// Runs the command `arguments` name (the executable's arguments without its own name).
// `runtimeLibrary` is the jar that build and msi embed unless the arguments say otherwise
// (empty when this packager knows none). Results go to `out`, errors and notes to `err`.
int runPackager(const std::vector<std::string>& arguments, const std::string& runtimeLibrary, std::ostream& out,
                std::ostream& err);

} // namespace packager
