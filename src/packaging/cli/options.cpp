// Options and positional arguments of a command.
#include "packaging/cli/options.h"

namespace packager {

bool parseArguments(const std::vector<std::string>& arguments, const std::vector<OptionSpec>& options,
                    CommandArguments* parsed, std::string* problem)
{
    CommandArguments result;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.rfind("--", 0) != 0) {
            result.positional.push_back(argument);
            continue;
        }
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& option : options) {
            spec = spec == nullptr && argument == option.name ? &option : spec;
        }
        if (spec == nullptr) {
            *problem = "unknown option " + argument;
            return false;
        }
        GivenOption given{*spec, std::string()};
        if (spec->value != nullptr) {
            if (i + 1 >= arguments.size()) {
                *problem = argument + " needs " + spec->value;
                return false;
            }
            given.value = arguments[++i];
        }
        result.options.push_back(given);
    }
    *parsed = std::move(result);
    return true;
}

} // namespace packager
