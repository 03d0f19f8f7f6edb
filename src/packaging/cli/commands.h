// The packager's commands, as the command line (packager_cli.h) runs them: each takes the
// arguments after its name and speaks through the console. Internal to the packager.
#pragma once

#include "packaging/cli/console.h"
#include "packaging/cli/options.h"
#include "packaging/descriptor/build.h"
#include "packaging/descriptor/parse.h"

#include <filesystem>
#include <string>
#include <vector>

namespace packager {

// The usage of all commands, printed after a mistake in the arguments of build, inspect
// or keys, and for --help.
extern const char kUsage[];

int buildCommand(const std::vector<std::string>& arguments, const std::string& runtimeLibrary, Console& console);
int inspectCommand(const std::vector<std::string>& arguments, Console& console);
int msiCommand(const std::vector<std::string>& arguments, const std::string& runtimeLibrary, Console& console);

// --- what build and msi share ------------------------------------------------------------

// --runtime-library <jar> and --no-runtime-library, with what the option takes as its
// refusal says it ("--runtime-library needs the path of the jar").
std::vector<OptionDefinition> runtimeLibraryOptions(const char* jarValue);
// Applies one of them to the settings; false for any other option.
bool applyRuntimeLibraryOption(const GivenOption& option, BuildSettings* settings, bool* named);
// Empty when the jar can be embedded, or may be missing (the packager's own default may be
// missing, but not be something else); otherwise the refusal.
std::string runtimeLibraryRefusal(const BuildSettings& settings, bool named);

// The descriptor read and parsed once, and the block built from it for the launcher image
// at `imagePath`. False when it cannot be read or has errors, which are printed.
bool buildLauncherBlock(Console& console, const std::string& descriptorPath, const std::string& imagePath,
                        BuildSettings settings, ParsedDescriptor* descriptor, BuildResult* built);

// A file a command reads or writes, with what it is for the user ("the descriptor").
struct RoleFile {
    std::string what;
    std::filesystem::path path;
    // For an output: what its refusal asks the user to do instead.
    std::string instead = "name another output file";
};
// Empty when no output is one of the inputs or an output before it; otherwise the
// refusal: an output replaces its file, so an input would be gone.
std::string outputOverInput(const std::vector<RoleFile>& outputs, const std::vector<RoleFile>& inputs);

} // namespace packager
