// The packager: makes the launcher of one application from a service descriptor and the
// generic launcher image, and reads a packaged launcher back into a descriptor.
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
// "file:line:column: error: ...". The output launcher is written to a temporary file and
// renamed, so that a failed build leaves no output file behind. `build` copies included
// files from disk into the launcher without holding them in memory. `inspect` checks
// every included file's name before it writes anything, and fails (writing nothing)
// rather than write a descriptor that does not build.
#include "packaging/descriptor/build.h"
#include "packaging/descriptor/text.h"
#include "packaging/descriptor/writer.h"
#include "packaging/launcher/included_names.h"
#include "packaging/cli/msi_command.h"
#include "packaging/descriptor/key_reference.h"
#include "packaging/launcher/writer.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef PACKAGER_RUNTIME_LIBRARY
#define PACKAGER_RUNTIME_LIBRARY ""
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kFailure = 2;

const char kUsage[] =
    "usage: packager build <descriptor.toml> <launcher-image.exe> <output.exe>\n"
    "                      [--runtime-library <jar> | --no-runtime-library]\n"
    "       packager inspect <launcher.exe> [--output <descriptor.toml>] [--extract <directory>]\n"
    "                      [--image <launcher-image.exe>]\n"
    "       packager keys        (prints the reference of the descriptor's keys)\n"
    "       packager msi <descriptor.toml> <launcher-image.exe> <output.msi>\n"
    "                      [--runtime-library <jar> | --no-runtime-library] [--wxs <file>]\n";

int usage(const std::string& reason)
{
    std::fprintf(stderr, "packager: %s\n%s", reason.c_str(), kUsage);
    return kFailure;
}

int failure(const std::string& reason)
{
    std::fprintf(stderr, "packager: %s\n", reason.c_str());
    return kFailure;
}

bool readWhole(const std::string& path, std::string* content)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Writes through a temporary file and a rename, like the launcher itself.
bool writeWhole(const fs::path& path, const std::string& content, std::string* error)
{
    fs::path temporary = path;
    temporary += ".partial";
    {
        errno = 0;
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        int openErrno = out ? 0 : errno;
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            *error = packager::cannotWrite(path.u8string(), openErrno);
            return false;
        }
    }
    std::error_code renameError;
    fs::rename(temporary, path, renameError);
    if (renameError) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        *error = "cannot create " + path.u8string() + ": " + renameError.message();
        return false;
    }
    return true;
}

int build(const std::vector<std::string>& arguments)
{
    std::vector<std::string> positional;
    packager::BuildSettings settings;
    settings.runtimeLibrary = PACKAGER_RUNTIME_LIBRARY;
    settings.streamIncludedFiles = true;
    bool runtimeLibraryNamed = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--runtime-library") {
            if (i + 1 >= arguments.size()) {
                return usage("--runtime-library needs the path of the jar");
            }
            settings.runtimeLibrary = arguments[++i];
            runtimeLibraryNamed = true;
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
        return usage("build needs a descriptor, a launcher image and an output file");
    }
    const std::string& descriptorPath = positional[0];
    // A jar named on the command line must be one; the packager's own default may be
    // missing (the launcher is then built without it, with a note), but not be something else.
    if (!settings.runtimeLibrary.empty()) {
        std::error_code ignored;
        std::string problem = packager::runtimeLibraryProblem(settings.runtimeLibrary);
        if (!problem.empty() && (runtimeLibraryNamed || fs::exists(settings.runtimeLibrary, ignored))) {
            return failure(problem + "; nothing was written");
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
    packager::BuildResult result;
    std::vector<packager::Diagnostic> errors;
    if (!packager::buildFromDescriptor(text, descriptorPath, settings, &result, &errors)) {
        for (const packager::Diagnostic& error : errors) {
            std::fprintf(stderr, "%s\n", packager::formatDiagnostic(error).c_str());
        }
        return kFailure;
    }
    for (const std::string& note : result.notes) {
        std::fprintf(stderr, "packager: note: %s\n", note.c_str());
    }
    // The output replaces its file in one step: were it one of the inputs, that input
    // would be gone (a descriptor overwritten by the launcher built from it).
    std::vector<std::pair<std::string, fs::path>> inputs = {{"the descriptor", fs::path(descriptorPath)},
                                                            {"the launcher image", fs::path(positional[1])}};
    for (const packager::IncludedSource& source : result.includedFrom) {
        if (!source.path.empty()) {
            inputs.push_back({"an included file", source.path});
        }
    }
    for (const auto& [what, input] : inputs) {
        if (packager::sameFile(fs::path(positional[2]), input)) {
            return failure("the output file " + positional[2] + " is " + what + " " + input.u8string() +
                           "; name another output file (nothing was written)");
        }
    }
    std::string error;
    if (!packager::writeLauncher(positional[1], result.block, positional[2], &error, result.includedFrom)) {
        return failure(error);
    }
    std::printf("packaged %s: %zu records, %zu included file(s)\n", positional[2].c_str(),
                result.block.narrow.size() + result.block.wide.size(), result.block.includedContents.size());
    return 0;
}

int inspect(const std::vector<std::string>& arguments)
{
    std::vector<std::string> positional;
    std::string output;
    std::string extract;
    std::string image;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--output" || option == "--extract" || option == "--image") {
            if (i + 1 >= arguments.size()) {
                return usage(option + " needs a path");
            }
            (option == "--output" ? output : option == "--extract" ? extract : image) = arguments[++i];
        } else if (option.rfind("--", 0) == 0) {
            return usage("unknown option " + option);
        } else {
            positional.push_back(option);
        }
    }
    if (positional.size() != 1) {
        return usage("inspect needs one launcher");
    }
    std::string file;
    if (!readWhole(positional[0], &file)) {
        return failure("cannot read " + positional[0]);
    }
    packager::PackagedLauncher launcher;
    std::string error;
    if (!packager::readPackagedLauncher(std::vector<uint8_t>(file.begin(), file.end()), &launcher, &error)) {
        return failure(positional[0] + ": " + error);
    }

    // Every name is checked before anything is written: the launcher may come from
    // anywhere, and no name may lead out of the extract folder.
    for (const std::string& name : launcher.fileNames) {
        std::string problem = packager::includedNameProblem(name);
        if (!problem.empty()) {
            return failure(positional[0] + ": the included file name " +
                           packager::shownText(packager::latin1ToUtf8(name)) + " " + problem +
                           "; nothing was written");
        }
    }
    std::string clash = packager::includedNameClash(launcher.fileNames);
    if (!clash.empty()) {
        return failure(positional[0] + ": the included files cannot be written: " +
                       packager::escapedText(packager::latin1ToUtf8(clash)) + "; nothing was written");
    }

    // The `source` of each included file: where --extract puts it, written relative to
    // the descriptor's directory when there is a descriptor file, so that the pair can be
    // moved together. Names are ISO-8859-1 in the block, sources UTF-8.
    std::vector<std::string> sources;
    std::vector<fs::path> targets;
    for (const std::string& stored : launcher.fileNames) {
        std::string name = packager::latin1ToUtf8(stored);
        for (char& c : name) {
            c = c == '\\' ? '/' : c;
        }
        if (extract.empty()) {
            sources.push_back(name);
            continue;
        }
        fs::path target = fs::path(extract) / fs::u8path(name);
        fs::path shown = target;
        if (!output.empty()) {
            fs::path base = fs::absolute(fs::path(output)).parent_path();
            shown = fs::absolute(target).lexically_relative(base);
        }
        targets.push_back(target);
        sources.push_back(shown.generic_u8string());
    }
    packager::Description description =
        packager::describeLauncher(launcher, sources, fs::path(positional[0]).filename().string());
    if (!description.builds) {
        return failure(positional[0] + ": " + description.notes.back() + "; nothing was written");
    }

    for (size_t i = 0; i < targets.size(); ++i) {
        std::error_code ignored;
        fs::create_directories(targets[i].parent_path(), ignored);
        const std::vector<uint8_t>& content = launcher.block.includedContents[i];
        if (!writeWhole(targets[i], std::string(content.begin(), content.end()), &error)) {
            for (size_t k = 0; k < i; ++k) {
                fs::remove(targets[k], ignored);  // no half-extracted set left behind
            }
            return failure(error);
        }
    }
    if (!image.empty() &&
        !writeWhole(image, std::string(launcher.image.begin(), launcher.image.end()), &error)) {
        return failure(error);
    }
    if (output.empty()) {
        std::fwrite(description.descriptor.data(), 1, description.descriptor.size(), stdout);
    } else if (!writeWhole(output, description.descriptor, &error)) {
        return failure(error);
    }
    if (!launcher.fileNames.empty() && extract.empty()) {
        std::fprintf(stderr, "packager: note: the included files were not written; --extract <directory> writes them "
                             "where the descriptor's [[files]] expect them\n");
    }
    if (launcher.trailingBytes != 0) {
        std::fprintf(stderr, "packager: note: %llu bytes follow the included files (a signature); a build does not "
                             "make them\n", static_cast<unsigned long long>(launcher.trailingBytes));
    }
    for (const std::string& note : description.notes) {
        std::fprintf(stderr, "packager: note: %s\n", note.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
        std::fputs(kUsage, arguments.empty() ? stderr : stdout);
        return arguments.empty() ? kFailure : 0;
    }
    std::string command = arguments[0];
    arguments.erase(arguments.begin());
    if (command == "build") {
        return build(arguments);
    }
    if (command == "inspect") {
        return inspect(arguments);
    }
    if (command == "msi") {
        return packager::packageInstaller(arguments, PACKAGER_RUNTIME_LIBRARY);
    }
    if (command == "keys") {
        if (!arguments.empty()) {
            return usage("keys takes no arguments");
        }
        std::string reference = packager::keyReference();
        std::fwrite(reference.data(), 1, reference.size(), stdout);
        return 0;
    }
    return usage("unknown command " + command);
}
