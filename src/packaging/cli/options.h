// The packager's one parser of a command's arguments: options by their name ("--output
// <path>", "--no-runtime-library"), in the order given, and the positional arguments
// around them. Each command lists the options it takes; anything else that begins with
// "--" is refused.
#pragma once

#include <string>
#include <vector>

namespace packager {

struct OptionDefinition {
    const char* name;   // "--output"
    // What the option takes, as the refusal of an option without it says it ("a path":
    // "--output needs a path"); null for an option that takes nothing.
    const char* value;
};

struct GivenOption {
    OptionDefinition definition;
    std::string value;  // empty for an option that takes nothing
};

struct CommandArguments {
    std::vector<GivenOption> options;     // in the order given
    std::vector<std::string> positional;
};

// Parses `arguments` (those after the command's name). False, with the reason ("unknown
// option --x", "--output needs a path"), for an option the command does not take or one
// without its value. The argument after an option that takes a value is that value,
// whatever it looks like.
bool parseArguments(const std::vector<std::string>& arguments, const std::vector<OptionDefinition>& options,
                    CommandArguments* parsed, std::string* problem);

} // namespace packager
