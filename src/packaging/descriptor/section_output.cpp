// [output]: the keys that only go together, checked once each has been read by its kind.
#include "format/record_ids.h"
#include "format/record_text.h"
#include "model/output_rotation.h"
#include "packaging/descriptor/sections.h"

#include <cstdlib>

namespace packager {

namespace {

// The names as the file system compares them: letter case and the kind of slash aside.
std::string comparable(std::string name)
{
    for (char& c : name) {
        if (c == '/') c = '\\';
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

// The capture file is written by the service process, the output files by the application
// in its child: one file for both would be rotated by each under the other's writes.
void checkCaptureApart(Build& b, const toml::table* output)
{
    auto capture = b.block.narrow.find(cfg::outputCapture);
    if (capture == b.block.narrow.end() || capture->second.empty() || output == nullptr) return;
    const struct {
        int32_t file;
        int32_t redirection;
        const char* key;
    } streams[] = {{cfg::stdoutFile, cfg::redirectStdout, "stdout"}, {cfg::stderrFile, cfg::redirectStderr, "stderr"}};
    for (const auto& stream : streams) {
        auto file = b.block.narrow.find(stream.file);
        auto on = b.block.narrow.find(stream.redirection);
        if (file == b.block.narrow.end() || on == b.block.narrow.end() || on->second == "0" ||
            comparable(file->second) != comparable(capture->second)) {
            continue;
        }
        const toml::node* node = output->get("capture");
        b.report.error(node != nullptr ? node->source() : output->source(),
                       std::string("output.capture names the file of output.") + stream.key +
                           ": the service process and the application would both write it, and each rotate it "
                           "under the other's writes; name a file of its own");
        return;
    }
}

} // namespace

void checkOutputRotation(Build& b, const toml::table* output)
{
    if (!describesExistingLauncher(b)) checkCaptureApart(b, output);
    const auto text = [&](int32_t record) {
        auto found = b.block.narrow.find(record);
        return found == b.block.narrow.end() ? std::string() : found->second;
    };
    outputrotation::Settings settings;
    if (!outputrotation::parseRoll(text(cfg::outputRoll).empty() ? "none" : text(cfg::outputRoll), &settings.roll)) {
        return;  // refused by its kind, or given as a record of its own
    }
    settings.keepDays = static_cast<unsigned>(std::atoi(text(cfg::outputKeepDays).c_str()));
    settings.compress = text(cfg::outputCompress) == "1";
    const std::string problem = outputrotation::settingsProblem(settings);
    if (problem.empty() || describesExistingLauncher(b)) {
        return;
    }
    // At the key that asks for what roll does not give, where the descriptor names it.
    const char* key = settings.keepDays != 0 ? "keep_days" : "compress";
    const toml::node* node = output == nullptr ? nullptr : output->get(key);
    b.report.error(node != nullptr ? node->source() : toml::source_region{}, "output." + problem);
}

} // namespace packager
