// `packager build`, and the steps `packager msi` takes alike: the runtime library options,
// the descriptor read and parsed once and its block built.
#include "packaging/cli/commands.h"

#include "packaging/cli/signing.h"

#include "packaging/io/input_file.h"
#include "packaging/io/output_file.h"
#include "packaging/launcher/runtime_library.h"
#include "packaging/launcher/writer.h"

#include <system_error>

namespace packager {

namespace fs = std::filesystem;

namespace {

const char kNoRuntimeLibrary[] = "--no-runtime-library";

} // namespace

std::vector<OptionDefinition> runtimeLibraryOptions(const char* jarValue)
{
    return {{"--runtime-library", jarValue}, {kNoRuntimeLibrary, nullptr}};
}

bool applyRuntimeLibraryOption(const GivenOption& option, BuildSettings* settings, bool* named)
{
    if (option.definition.name == std::string(kNoRuntimeLibrary)) {
        settings->runtimeLibrary.clear();
        settings->withoutRuntimeLibrary = true;
        *named = false;
        return true;
    }
    if (option.definition.name == std::string("--runtime-library")) {
        settings->runtimeLibrary = option.value;
        *named = true;
        return true;
    }
    return false;
}

std::string runtimeLibraryRefusal(const BuildSettings& settings, bool named)
{
    if (settings.runtimeLibrary.empty()) {
        return std::string();
    }
    // A jar named on the command line must be one; the packager's own default may be
    // missing (the launcher is then built without it, with a note), but not be something else.
    std::error_code ignored;
    std::string problem = runtimeLibraryProblem(settings.runtimeLibrary);
    if (!problem.empty() && (named || fs::exists(settings.runtimeLibrary, ignored))) {
        return problem + "; nothing was written";
    }
    return std::string();
}

bool buildLauncherBlock(Console& console, const std::string& descriptorPath, const std::string& imagePath,
                        BuildSettings settings, ParsedDescriptor* descriptor, BuildResult* built)
{
    std::string text;
    if (!readWholeFile(descriptorPath, &text)) {
        console.fail("cannot read " + descriptorPath);
        return false;
    }
    std::error_code unreadable;  // an image that cannot be read is named when it is read
    settings.imageSize = fs::file_size(imagePath, unreadable);
    if (unreadable) {
        settings.imageSize = 0;
    }
    std::vector<Diagnostic> errors;
    if (!parseDescriptor(text, descriptorPath, descriptor, &errors) ||
        !buildFromDescriptor(*descriptor, settings, built, &errors)) {
        console.failAt(errors);
        return false;
    }
    return true;
}

int buildCommand(const std::vector<std::string>& arguments, const std::string& runtimeLibrary, Console& console)
{
    CommandArguments parsed;
    std::string problem;
    std::vector<OptionDefinition> options = runtimeLibraryOptions("the path of the jar");
    for (const OptionDefinition& option : signingOptions()) options.push_back(option);
    if (!parseArguments(arguments, options, &parsed, &problem)) {
        return console.failWithUsage(problem, kUsage);
    }
    BuildSettings settings;
    settings.runtimeLibrary = runtimeLibrary;
    settings.streamIncludedFiles = true;
    bool runtimeLibraryNamed = false;
    SigningSettings signing;
    for (const GivenOption& option : parsed.options) {
        if (!applyRuntimeLibraryOption(option, &settings, &runtimeLibraryNamed)) {
            applySigningOption(option, &signing);
        }
    }
    if (parsed.positional.size() != 3) {
        return console.failWithUsage("build needs a descriptor, a launcher image and an output file", kUsage);
    }
    const std::string& descriptorPath = parsed.positional[0];
    const std::string& imagePath = parsed.positional[1];
    const std::string& outputPath = parsed.positional[2];
    std::string refusal = runtimeLibraryRefusal(settings, runtimeLibraryNamed);
    if (refusal.empty()) {
        refusal = signingRefusal(signing);
    }
    if (!refusal.empty()) {
        return console.fail(refusal);
    }
    ParsedDescriptor descriptor;
    BuildResult result;
    if (!buildLauncherBlock(console, descriptorPath, imagePath, settings, &descriptor, &result)) {
        return kFailure;
    }
    for (const std::string& note : result.notes) {
        console.note(note);
    }
    // The output replaces its file in one step: were it one of the inputs, that input
    // would be gone (a descriptor overwritten by the launcher built from it).
    std::vector<RoleFile> inputs = {{"the descriptor", fs::path(descriptorPath)},
                                    {"the launcher image", fs::path(imagePath)}};
    for (const IncludedSource& source : result.includedFrom) {
        if (!source.path.empty()) {
            inputs.push_back({"an included file", source.path});
        }
    }
    refusal = outputOverInput({{"the output file", fs::path(outputPath)}}, inputs);
    if (!refusal.empty()) {
        return console.fail(refusal);
    }
    std::string error;
    if (signing.enabled()) {
        // Written and signed beside the output, which the signed launcher replaces only
        // when complete: a failed signature leaves the output as it was.
        const fs::path unsigned_ = outputPath + ".unsigned";
        OutputFile output{fs::path(outputPath)};
        std::error_code ignored;
        bool done = writeLauncher(imagePath, result.block, unsigned_.string(), &error, result.includedFrom) &&
                    signFile(signing, unsigned_, fs::path(outputPath).filename().string(), &error);
        if (done) {
            fs::rename(unsigned_, output.partialPath(), ignored);
            done = !ignored && output.commit(&error);
            if (ignored) error = "cannot put the signed launcher in place of " + outputPath;
        }
        fs::remove(unsigned_, ignored);
        if (!done) {
            return console.fail(error);
        }
    } else if (!writeLauncher(imagePath, result.block, outputPath, &error, result.includedFrom)) {
        return console.fail(error);
    }
    console.out() << "packaged " << outputPath << ": " << result.block.narrow.size() + result.block.wide.size()
                  << " records, " << result.block.includedContents.size() << " included file(s)\n"
                  << std::flush;
    return kSuccess;
}

} // namespace packager
