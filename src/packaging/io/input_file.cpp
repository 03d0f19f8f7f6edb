// Reading input files, and telling whether two paths name one file.
#include "packaging/io/input_file.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace packager {

bool readWholeFile(const std::string& path, std::string* content)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::error_code failed;
    if (std::filesystem::exists(a, failed) && std::filesystem::exists(b, failed)) {
        bool same = std::filesystem::equivalent(a, b, failed);
        return !failed && same;
    }
    std::filesystem::path x = std::filesystem::weakly_canonical(std::filesystem::absolute(a, failed), failed);
    std::filesystem::path y = std::filesystem::weakly_canonical(std::filesystem::absolute(b, failed), failed);
    return x == y;
}

} // namespace packager
