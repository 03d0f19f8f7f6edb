// Options and positional arguments of a command.
#include "packaging/cli/options.h"

namespace packager {

bool parseArguments(const std::vector<std::string>& arguments, const std::vector<OptionDefinition>& options,
                    CommandArguments* parsed, std::string* problem)
{
    CommandArguments result;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.rfind("--", 0) != 0) {
            result.positional.push_back(argument);
            continue;
        }
        const OptionDefinition* definition = nullptr;
        for (const OptionDefinition& option : options) {
            definition = definition == nullptr && argument == option.name ? &option : definition;
        }
        if (definition == nullptr) {
            *problem = "unknown option " + argument;
            return false;
        }
        GivenOption given{*definition, std::string()};
        if (definition->value != nullptr) {
            if (i + 1 >= arguments.size()) {
                *problem = argument + " needs " + definition->value;
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
