// The runtime library jar.
#include "packaging/launcher/runtime_library.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace packager {

std::string runtimeLibraryProblem(const std::string& path)
{
    std::error_code failed;
    if (!std::filesystem::exists(path, failed)) {
        return "the runtime library jar " + path + " does not exist";
    }
    if (!std::filesystem::is_regular_file(path, failed)) {
        return "the runtime library jar " + path + " is not a file";
    }
    std::ifstream in(path, std::ios::binary);
    char head[4] = {};
    in.read(head, sizeof head);
    bool zip = in.gcount() == 4 && head[0] == 'P' && head[1] == 'K' &&
               ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6));
    if (!zip) {
        return "the runtime library " + path + " is not a jar (no zip archive header)";
    }
    return std::string();
}

} // namespace packager
