// [output]: the keys that only go together, checked once each has been read by its kind.
#include "format/record_ids.h"
#include "format/record_text.h"
#include "model/output_rotation.h"
#include "packaging/descriptor/sections.h"

#include <cstdlib>

namespace packager {

void checkOutputRotation(Build& b, const toml::table* output)
{
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
