// No output over an input.
#include "packaging/cli/commands.h"

#include "packaging/io/input_file.h"

namespace packager {

std::string outputOverInput(const std::vector<RoleFile>& outputs, const std::vector<RoleFile>& inputs)
{
    std::vector<RoleFile> taken = inputs;
    for (const RoleFile& output : outputs) {
        for (const RoleFile& input : taken) {
            if (sameFile(output.path, input.path)) {
                return output.what + " " + output.path.u8string() + " is " + input.what + " " +
                       input.path.u8string() + "; " + output.instead + " (nothing was written)";
            }
        }
        taken.push_back(output);
    }
    return std::string();
}

} // namespace packager
