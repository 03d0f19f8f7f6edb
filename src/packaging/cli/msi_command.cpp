// `packager msi`: checks that wixl can be run, builds the launcher and the package plan
// from the descriptor, writes the launcher and the WiX source into a working folder (the
// folder of --wxs when the source is kept), and has wixl compile the package into a
// temporary file that is renamed when it is complete.
#include "packaging/cli/msi_command.h"

#include "packaging/descriptor/build.h"
#include "packaging/installer/plan.h"
#include "packaging/installer/wix_source.h"
#include "packaging/launcher/writer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace packager {

const char kInstallerCompiler[] = "wixl";
const char kInstallerCompilerPackage[] = "wixl";

namespace {

namespace fs = std::filesystem;

constexpr int kFailure = 2;

int failure(const std::string& reason)
{
    std::fprintf(stderr, "packager: %s\n", reason.c_str());
    return kFailure;
}

int usage(const std::string& reason)
{
    std::fprintf(stderr,
                 "packager: %s\nusage: packager msi <descriptor.toml> <launcher-image.exe> <output.msi>\n"
                 "                    [--runtime-library <jar> | --no-runtime-library] [--wxs <file>]\n",
                 reason.c_str());
    return kFailure;
}

// Removes the working folder on every way out, unless it is the user's.
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

bool readWhole(const std::string& path, std::string* content)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool writeText(const fs::path& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    return static_cast<bool>(out);
}

// The compiler's full path from PATH; empty when it is not there.
std::string findCompiler()
{
#ifdef _WIN32
    return "";
#else
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t colon = folders.find(':', start);
        std::string folder = folders.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + kInstallerCompiler;
        if (access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate)) {
            return candidate;
        }
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return "";
#endif
}

// Runs the compiler; its own messages go to standard error. The exit code, or -1 when it
// could not be run or did not end by itself.
int runCompiler(const std::string& compiler, const std::vector<std::string>& arguments)
{
#ifdef _WIN32
    (void)compiler;
    (void)arguments;
    return -1;
#else
    std::vector<char*> argv;
    std::vector<std::string> all = {compiler};
    all.insert(all.end(), arguments.begin(), arguments.end());
    for (std::string& argument : all) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    // Its output joins standard error: standard output is the packager's own summary.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    pid_t child = 0;
    int started = posix_spawn(&child, compiler.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

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

int packageInstaller(const std::vector<std::string>& arguments, const std::string& runtimeLibrary)
{
    std::vector<std::string> positional;
    BuildSettings settings;
    settings.runtimeLibrary = runtimeLibrary;
    settings.streamIncludedFiles = true;
    std::string keptSource;
    bool runtimeLibraryNamed = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--runtime-library" || option == "--wxs") {
            if (i + 1 >= arguments.size()) {
                return usage(option + " needs a path");
            }
            (option == "--wxs" ? keptSource : settings.runtimeLibrary) = arguments[i + 1];
            runtimeLibraryNamed = runtimeLibraryNamed || option == "--runtime-library";
            ++i;
        } else if (arguments[i] == "--no-runtime-library") {
            settings.runtimeLibrary.clear();
            settings.withoutRuntimeLibrary = true;
            runtimeLibraryNamed = false;
        } else if (arguments[i].rfind("--", 0) == 0) {
            return usage("unknown option " + arguments[i]);
        } else {
            positional.push_back(arguments[i]);
        }
    }
    if (positional.size() != 3) {
        return usage("msi needs a descriptor, a launcher image and an output file");
    }
    const std::string& descriptorPath = positional[0];
    const fs::path output = fs::path(positional[2]);

    // Before anything is built or written: without the compiler there is no package.
    std::string compiler = findCompiler();
    if (compiler.empty()) {
#ifdef _WIN32
        return failure("msi compiles the package with wixl, which this Windows build of the packager cannot run; "
                       "run packager msi on a Linux build machine; nothing was written");
#else
        return failure(std::string("msi needs ") + kInstallerCompiler + ", which is not installed (Debian package " +
                       kInstallerCompilerPackage + "); nothing was written");
#endif
    }

    // wixl would only say that it cannot write.
    std::error_code failed;
    fs::path outputFolder = output.parent_path();
    if (!outputFolder.empty() && !fs::is_directory(outputFolder, failed)) {
        return failure("cannot create " + output.string() + ": the folder " + outputFolder.string() +
                       " does not exist; nothing was written");
    }

    // As for build: a jar named on the command line must be one, the packager's own
    // default may be missing but not be something else, and no input is overwritten.
    if (!settings.runtimeLibrary.empty()) {
        std::string jarProblem = runtimeLibraryProblem(settings.runtimeLibrary);
        if (!jarProblem.empty() && (runtimeLibraryNamed || fs::exists(settings.runtimeLibrary, failed))) {
            return failure(jarProblem + "; nothing was written");
        }
    }
    for (const std::string& input : {descriptorPath, positional[1]}) {
        if (sameFile(output, fs::path(input))) {
            return failure("the output file " + output.string() + " is " +
                           (input == descriptorPath ? "the descriptor " : "the launcher image ") + input +
                           "; name another output file (nothing was written)");
        }
    }

    std::string text;
    if (!readWhole(descriptorPath, &text)) {
        return failure("cannot read " + descriptorPath);
    }
    std::error_code unreadable;  // an image that cannot be read is named when it is read
    settings.imageSize = fs::file_size(positional[1], unreadable);
    if (unreadable) {
        settings.imageSize = 0;
    }
    BuildResult built;
    std::vector<Diagnostic> errors;
    InstallerPlan plan;
    if (!buildFromDescriptor(text, descriptorPath, settings, &built, &errors) ||
        !readInstallerPlan(text, descriptorPath, built.block, &plan, &errors)) {
        for (const Diagnostic& error : errors) {
            std::fprintf(stderr, "%s\n", formatDiagnostic(error).c_str());
        }
        return kFailure;
    }
    std::string problem = installerSourceProblem(plan);
    if (!problem.empty()) {
        return failure(descriptorPath + ": " + problem + "; nothing was written");
    }
    for (const std::string& note : built.notes) {
        std::fprintf(stderr, "packager: note: %s\n", note.c_str());
    }
    for (const std::string& note : plan.notes) {
        std::fprintf(stderr, "packager: note: %s\n", note.c_str());
    }

    WorkFolder work;
    std::string error;
    fs::path sourcePath;
    if (keptSource.empty()) {
        if (!work.makeTemporary(&error)) {
            return failure(error);
        }
        sourcePath = work.path() / "package.wxs";
    } else {
        sourcePath = fs::path(keptSource);
        fs::path folder = sourcePath.parent_path();
        work.useFolder(folder.empty() ? fs::path(".") : folder);
    }
    // The launcher beside the source, under the name it is installed as.
    fs::path launcher = work.path() / fs::u8path(plan.files.front().target);
    work.track(launcher);
    if (!writeLauncher(positional[1], built.block, launcher.string(), &error, built.includedFrom)) {
        return failure(error);
    }
    std::vector<std::string> sources;
    for (const InstallerFile& file : plan.files) {
        sources.push_back(sourceText(file.source.empty() ? launcher : file.source, work.path()));
    }
    work.track(sourcePath);
    if (!writeText(sourcePath, installerSource(plan, sources))) {
        return failure("cannot write " + sourcePath.string());
    }

    fs::path partial = output;
    partial += ".partial";
    int exitCode = runCompiler(compiler, {"-a", "x64", "-o", partial.string(), sourcePath.string()});
    std::error_code ignored;
    if (exitCode != 0 || !fs::is_regular_file(partial)) {
        fs::remove(partial, ignored);
        return failure(std::string(kInstallerCompiler) + " could not compile the package (" +
                       (exitCode < 0 ? std::string("it did not run to its end")
                                     : "exit code " + std::to_string(exitCode)) +
                       "); nothing was written");
    }
    std::error_code renameError;
    fs::rename(partial, output, renameError);
    if (renameError) {
        fs::remove(partial, ignored);
        return failure("cannot create " + output.string() + ": " + renameError.message());
    }
    if (!keptSource.empty()) {
        work.keep();
    }
    std::printf("packaged %s: %s %s, %zu file(s), service '%s'\n", output.string().c_str(),
                plan.productName.c_str(), plan.version.c_str(), plan.files.size(), plan.service.name.c_str());
    return 0;
}

} // namespace packager
