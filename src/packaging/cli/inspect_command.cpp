// `packager inspect`: a packaged launcher back to its descriptor, with its included files
// and its launcher image when asked for.
#include "packaging/cli/commands.h"

#include "packaging/descriptor/text.h"
#include "packaging/descriptor/writer.h"
#include "packaging/io/input_file.h"
#include "packaging/io/output_file.h"
#include "packaging/launcher/included_names.h"
#include "packaging/launcher/reader.h"

#include <system_error>

namespace packager {

namespace fs = std::filesystem;

namespace {

const OptionDefinition kOutput = {"--output", "a path"};
const OptionDefinition kExtract = {"--extract", "a path"};
const OptionDefinition kImage = {"--image", "a path"};

} // namespace

int inspectCommand(const std::vector<std::string>& arguments, Console& console)
{
    CommandArguments parsed;
    std::string problem;
    if (!parseArguments(arguments, {kOutput, kExtract, kImage}, &parsed, &problem)) {
        return console.failWithUsage(problem, kUsage);
    }
    std::string output;
    std::string extract;
    std::string image;
    for (const GivenOption& option : parsed.options) {
        const std::string name = option.definition.name;
        (name == kOutput.name ? output : name == kExtract.name ? extract : image) = option.value;
    }
    if (parsed.positional.size() != 1) {
        return console.failWithUsage("inspect needs one launcher", kUsage);
    }
    const std::string& launcherPath = parsed.positional[0];
    std::string file;
    if (!readWholeFile(launcherPath, &file)) {
        return console.fail("cannot read " + launcherPath);
    }
    PackagedLauncher launcher;
    std::string error;
    if (!readPackagedLauncher(std::vector<uint8_t>(file.begin(), file.end()), &launcher, &error)) {
        return console.fail(launcherPath + ": " + error);
    }

    // Every name is checked before anything is written: the launcher may come from
    // anywhere, and no name may lead out of the extract folder.
    for (const std::string& name : launcher.fileNames) {
        std::string nameProblem = includedNameProblem(name);
        if (!nameProblem.empty()) {
            return console.fail(launcherPath + ": the included file name " + shownText(latin1ToUtf8(name)) + " " +
                                nameProblem + "; nothing was written");
        }
    }
    std::string clash = includedNameClash(launcher.fileNames);
    if (!clash.empty()) {
        return console.fail(launcherPath + ": the included files cannot be written: " +
                            escapedText(latin1ToUtf8(clash)) + "; nothing was written");
    }

    // The `source` of each included file: where --extract puts it, written relative to
    // the descriptor's directory when there is a descriptor file, so that the pair can be
    // moved together. Names are ISO-8859-1 in the block, sources UTF-8.
    std::vector<std::string> sources;
    std::vector<fs::path> targets;
    for (const std::string& stored : launcher.fileNames) {
        std::string name = latin1ToUtf8(stored);
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
    Description description = describeLauncher(launcher, sources, fs::path(launcherPath).filename().string());
    if (!description.builds) {
        return console.fail(launcherPath + ": " + description.notes.back() + "; nothing was written");
    }

    // Each output replaces its file: none may be the launcher read, or another output.
    std::vector<RoleFile> outputs;
    if (!output.empty()) {
        outputs.push_back({"the output file", fs::path(output)});
    }
    if (!image.empty()) {
        outputs.push_back({"the image file", fs::path(image)});
    }
    for (const fs::path& target : targets) {
        outputs.push_back({"the extracted file", target});
    }
    std::string refusal = outputOverInput(outputs, {{"the launcher", fs::path(launcherPath)}});
    if (!refusal.empty()) {
        return console.fail(refusal);
    }

    for (size_t i = 0; i < targets.size(); ++i) {
        std::error_code ignored;
        fs::create_directories(targets[i].parent_path(), ignored);
        const std::vector<uint8_t>& content = launcher.block.includedContents[i];
        if (!writeOutputFile(targets[i], std::string(content.begin(), content.end()), &error)) {
            for (size_t k = 0; k < i; ++k) {
                fs::remove(targets[k], ignored);  // no half-extracted set left behind
            }
            return console.fail(error);
        }
    }
    if (!image.empty() &&
        !writeOutputFile(image, std::string(launcher.image.begin(), launcher.image.end()), &error)) {
        return console.fail(error);
    }
    if (output.empty()) {
        console.out() << description.descriptor << std::flush;
    } else if (!writeOutputFile(output, description.descriptor, &error)) {
        return console.fail(error);
    }
    if (!launcher.fileNames.empty() && extract.empty()) {
        console.note("the included files were not written; --extract <directory> writes them where the "
                     "descriptor's [[files]] expect them");
    }
    if (launcher.trailingBytes != 0) {
        console.note(std::to_string(launcher.trailingBytes) +
                     " bytes follow the included files (a signature); a build does not make them");
    }
    for (const std::string& note : description.notes) {
        console.note(note);
    }
    return kSuccess;
}

} // namespace packager

