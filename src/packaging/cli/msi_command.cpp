// `packager msi`: checks that wixl can be run, builds the launcher and the package plan
// from the descriptor (parsed once, for both), writes the launcher and the WiX source into
// a working folder (the launcher beside the source kept with --wxs, which stays whatever
// happens after it is written), and has wixl compile the package into the partial file of
// the output, which replaces the output when complete; texts that wixl cannot store are
// put back with msitools first. The Windows build, which cannot run wixl, writes the kept
// source and its launcher for the WiX toolset. --files-from finds the [installer] files in
// another folder than the descriptor's, such as the layout a build tool made.
#include "packaging/cli/commands.h"

#include "packaging/cli/signing.h"

#include "packaging/installer/plan.h"
#include "packaging/installer/wix_source.h"
#include "packaging/installer/wixl.h"
#include "packaging/io/output_file.h"
#include "packaging/launcher/writer.h"

#include <cstdlib>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace packager {

namespace fs = std::filesystem;

namespace {

const char kMsiUsage[] =
    "usage: packager msi <descriptor.toml> <launcher-image.exe> <output.msi>\n"
    "                    [--runtime-library <jar> | --no-runtime-library] [--wxs <file>]\n"
    "                    [--files-from <folder>]\n"
    "                    [--sign <certificate.pfx> | --pkcs11-module <library> --sign <pkcs11:URI>]\n"
    "                    [--sign-password-env <VARIABLE>] [--timestamp <url>]\n";

const OptionDefinition kKeptSource = {"--wxs", "a path"};
const OptionDefinition kFilesFrom = {"--files-from", "a folder"};

// Removes the working folder on every way out, unless it is the user's; in the user's
// folder, the files written there go again unless kept.
class WorkFolder {
public:
    WorkFolder() = default;
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    ~WorkFolder()
    {
        std::error_code ignored;
        if (temporary_ && !path_.empty()) fs::remove_all(path_, ignored);
        for (const fs::path& file : written_) fs::remove(file, ignored);
    }
    bool makeTemporary(std::string* error)
    {
#ifdef _WIN32
        (void)error;
        return false;
#else
        std::string pattern = (fs::temp_directory_path() / "packager-msi-XXXXXX").string();
        if (mkdtemp(&pattern[0]) == nullptr) {
            *error = "cannot create a working folder in " + fs::temp_directory_path().string();
            return false;
        }
        path_ = pattern;
        temporary_ = true;
        return true;
#endif
    }
    void useFolder(const fs::path& folder) { path_ = folder; }
    const fs::path& path() const { return path_; }
    // A file written into the user's folder that goes again unless kept.
    void track(const fs::path& file) { written_.push_back(file); }
    void keep() { written_.clear(); }

private:
    fs::path path_;
    bool temporary_ = false;
    std::vector<fs::path> written_;
};

// A file's path as the WiX source names it: relative to the source's folder when it is
// below it or near it, so that the folder can move with its files; else absolute.
std::string sourceText(const fs::path& file, const fs::path& folder)
{
    std::error_code failed;
    fs::path absolute = fs::absolute(file, failed);
    fs::path relative = absolute.lexically_relative(fs::absolute(folder, failed));
    return (relative.empty() ? absolute : relative).generic_u8string();
}

} // namespace

int msiCommand(const std::vector<std::string>& arguments, const std::string& runtimeLibrary, Console& console)
{
    std::vector<OptionDefinition> options = runtimeLibraryOptions("a path");
    options.push_back(kKeptSource);
    options.push_back(kFilesFrom);
    for (const OptionDefinition& option : signingOptions()) options.push_back(option);
    CommandArguments parsed;
    std::string problem;
    if (!parseArguments(arguments, options, &parsed, &problem)) {
        return console.failWithUsage(problem, kMsiUsage);
    }
    BuildSettings settings;
    settings.runtimeLibrary = runtimeLibrary;
    settings.streamIncludedFiles = true;
    bool runtimeLibraryNamed = false;
    std::string keptSource;
    std::string filesFrom;
    SigningSettings signing;
    for (const GivenOption& option : parsed.options) {
        if (applyRuntimeLibraryOption(option, &settings, &runtimeLibraryNamed) ||
            applySigningOption(option, &signing)) {
            continue;
        }
        if (std::string(option.definition.name) == kFilesFrom.name) {
            filesFrom = option.value;
        } else {
            keptSource = option.value;
        }
    }
    if (parsed.positional.size() != 3) {
        return console.failWithUsage("msi needs a descriptor, a launcher image and an output file", kMsiUsage);
    }
    const std::string& descriptorPath = parsed.positional[0];
    const std::string& imagePath = parsed.positional[1];
    const fs::path output = fs::path(parsed.positional[2]);

    // Before anything is built or written: without the compiler there is no package, only
    // (on Windows) the source and the launcher for the WiX toolset.
    std::string compiler = findInstallerCompiler();
#ifdef _WIN32
    const bool sourceOnly = !keptSource.empty();
    if (!sourceOnly) {
        return console.fail("msi compiles the package with wixl, which this Windows build of the packager cannot "
                            "run; give --wxs <file> to write the WiX source and the launcher for the WiX toolset, or "
                            "run packager msi on a Linux build machine; nothing was written");
    }
#else
    const bool sourceOnly = false;
    if (compiler.empty()) {
        return console.fail(std::string("msi needs ") + kInstallerCompiler +
                            ", which is not installed (Debian package " + kInstallerCompilerPackage +
                            "); nothing was written");
    }
#endif

    // wixl would only say that it cannot write.
    std::error_code failed;
    if (!filesFrom.empty() && !fs::is_directory(filesFrom, failed)) {
        return console.fail("--files-from " + filesFrom + ": no such folder; nothing was written");
    }
    fs::path outputFolder = output.parent_path();
    if (!outputFolder.empty() && !fs::is_directory(outputFolder, failed)) {
        return console.fail("cannot create " + output.string() + ": the folder " + outputFolder.string() +
                            " does not exist; nothing was written");
    }

    // As for build: a jar named on the command line must be one, the packager's own
    // default may be missing but not be something else, and no input is overwritten.
    std::string refusal = runtimeLibraryRefusal(settings, runtimeLibraryNamed);
    if (refusal.empty()) {
        refusal = signingRefusal(signing);
    }
    if (refusal.empty()) {
        refusal = outputOverInput({{"the output file", output}}, {{"the descriptor", fs::path(descriptorPath)},
                                                                  {"the launcher image", fs::path(imagePath)}});
    }
    if (!refusal.empty()) {
        return console.fail(refusal);
    }

    ParsedDescriptor descriptor;
    BuildResult built;
    if (!buildLauncherBlock(console, descriptorPath, imagePath, settings, &descriptor, &built)) {
        return kFailure;
    }
    InstallerPlan plan;
    std::vector<Diagnostic> errors;
    // The plan finds the files from the descriptor's folder: for --files-from it reads them
    // as from a descriptor in that folder, and its errors name the descriptor itself.
    const std::string descriptorOwnPath = descriptor.path;
    if (!filesFrom.empty()) {
        descriptor.path = (fs::path(filesFrom) / fs::path(descriptorPath).filename()).string();
    }
    const bool planned = readInstallerPlan(descriptor, built.block, &plan, &errors);
    descriptor.path = descriptorOwnPath;
    for (Diagnostic& error : errors) {
        error.file = descriptorPath;
    }
    if (!planned) {
        return console.failAt(errors);
    }
    problem = installerSourceProblem(plan);
    if (problem.empty() && !sourceOnly) {
        problem = standInProblem(plan);
    }
    if (!problem.empty()) {
        return console.fail(descriptorPath + ": " + problem + "; nothing was written");
    }

    // Where the launcher and the source go: a working folder of its own, or the folder of
    // the kept source, where the launcher lies beside it under the name it is installed as.
    fs::path sourcePath = keptSource.empty() ? fs::path("package.wxs") : fs::path(keptSource);
    fs::path sourceFolder = sourcePath.parent_path().empty() ? fs::path(".") : sourcePath.parent_path();
    fs::path launcherName = fs::u8path(plan.files.front().target);
    // Every output replaces its file: none may be an input of the package, or another output.
    std::vector<RoleFile> inputs = {{"the descriptor", fs::path(descriptorPath)},
                                    {"the launcher image", fs::path(imagePath)}};
    for (const IncludedSource& source : built.includedFrom) {
        if (!source.path.empty()) {
            inputs.push_back({"an included file", source.path});
        }
    }
    for (const InstallerFile& file : plan.files) {
        if (!file.source.empty()) {
            inputs.push_back({"an installed file", file.source});
        }
    }
    std::vector<RoleFile> outputs = {{"the output file", output}};
    if (!keptSource.empty()) {
        outputs.push_back({"the WiX source", sourcePath});
        outputs.push_back({"the launcher beside the WiX source", sourceFolder / launcherName,
                           "keep the WiX source (--wxs) in another folder"});
    }
    refusal = outputOverInput(outputs, inputs);
    if (!refusal.empty()) {
        return console.fail(refusal);
    }

    for (const std::string& note : built.notes) {
        console.note(note);
    }
    for (const std::string& note : plan.notes) {
        console.note(note);
    }

    WorkFolder work;
    std::string error;
    if (!sourceOnly && !work.makeTemporary(&error)) {
        return console.fail(error);
    }
    // The launcher: beside the kept source, else in the working folder.
    fs::path launcher = (keptSource.empty() ? work.path() : sourceFolder) / launcherName;
    if (!keptSource.empty()) {
        work.track(launcher);
    }
    if (!writeLauncher(imagePath, built.block, launcher.string(), &error, built.includedFrom)) {
        return console.fail(error);
    }
    // The launcher is signed before it goes into the package, the package after it is made.
    if (signing.enabled() && !signFile(signing, launcher, launcherName.filename().u8string(), &error)) {
        return console.fail(error + "; nothing was written");
    }
    // Each file's Source, relative to the folder of the source that names it (wixl takes no
    // absolute one).
    auto sourcesFrom = [&plan, &launcher](const fs::path& folder) {
        std::vector<std::string> sources;
        for (const InstallerFile& file : plan.files) {
            sources.push_back(sourceText(file.source.empty() ? launcher : file.source, folder));
        }
        return sources;
    };
    if (!keptSource.empty()) {
        work.track(sourcePath);
        if (!writeOutputFile(sourcePath, installerSource(plan, sourcesFrom(sourceFolder), SourceFor::toolset), &error)) {
            return console.fail(error);
        }
        // Written: the source and its launcher stay, whatever happens to the package.
        work.keep();
    }
    if (sourceOnly) {
        fs::path objectFile = sourcePath;
        objectFile.replace_extension(".wixobj");
        console.out() << "wrote " << sourcePath.string() << " and the launcher " << launcher.string() << ": "
                      << plan.productName << " " << plan.version << ", " << plan.files.size() << " file(s), service '"
                      << plan.service.name << "'\n"
                      << "compile them with the WiX toolset 3:\n"
                      << "  candle -arch x64 -out " << objectFile.string() << " " << sourcePath.string() << "\n"
                      << "  light -out " << output.string() << " " << objectFile.string() << "\n"
                      << std::flush;
        return kSuccess;
    }

    // wixl compiles a source of its own, in the working folder: the kept one, with a
    // stand-in for each text that wixl cannot store.
    const int codePage = installerCodePage(plan);
    StandIns standIns = standInsFor(plan);
    fs::path compiled = work.path() / "package.wxs";
    if (!writeOutputFile(compiled, installerSource(plan, sourcesFrom(work.path()), SourceFor::wixl,
                                                         codePage != 0 ? &standIns : nullptr),
                         &error)) {
        return console.fail(error);
    }
    OutputFile package(output);
    int exitCode = runInstallerCompiler(compiler, {"-a", "x64", "-o", package.partialPath().string(),
                                                   compiled.string()});
    if (exitCode != 0 || !fs::is_regular_file(package.partialPath(), failed)) {
        return console.fail(std::string(kInstallerCompiler) + " could not compile the package (" +
                            (exitCode < 0 ? std::string("it did not run to its end")
                                          : "exit code " + std::to_string(exitCode)) +
                            "); the package was not written" +
                            (keptSource.empty() ? std::string() : "; the WiX source " + sourcePath.string() + " is kept"));
    }
    if (codePage != 0 && !restoreTexts(package.partialPath(), standIns, codePage,
                                       plan.productName + " " + plan.version, plan.manufacturer, work.path(), &error)) {
        return console.fail(error + "; the package was not written" +
                            (keptSource.empty() ? std::string() : "; the WiX source " + sourcePath.string() + " is kept"));
    }
    if (!addPackageActions(package.partialPath(), plan, work.path(), &error)) {
        return console.fail(error + "; the package was not written" +
                            (keptSource.empty() ? std::string() : "; the WiX source " + sourcePath.string() + " is kept"));
    }
    if (signing.enabled() && !signFile(signing, package.partialPath(), plan.productName, &error)) {
        return console.fail(error + "; the package was not written");
    }
    if (!package.commit(&error)) {
        return console.fail(error);
    }
    console.out() << "packaged " << output.string() << ": " << plan.productName << " " << plan.version << ", "
                  << plan.files.size() << " file(s), service '" << plan.service.name << "'\n"
                  << std::flush;
    return kSuccess;
}

} // namespace packager
