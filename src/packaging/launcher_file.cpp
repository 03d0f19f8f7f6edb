// Writing a packaged launcher file.
#include "packaging/launcher_file.h"

#include "format/block_writer.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace packager {

bool writeLauncher(const std::string& imagePath, const blockformat::ConfigBlock& block, const std::string& outputPath,
                   std::string* error)
{
    std::ifstream in(imagePath, std::ios::binary);
    if (!in) {
        *error = "cannot read " + imagePath;
        return false;
    }
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> launcher;
    if (!blockformat::packageImage(image, block, &launcher, error)) {
        return false;
    }
    std::string temporary = outputPath + ".partial";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(launcher.data()), static_cast<std::streamsize>(launcher.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            *error = "cannot write " + temporary;
            return false;
        }
    }
    // Replaces an existing launcher in one step (on Windows too), so that a failure
    // leaves the previous file in place rather than no file at all.
    std::error_code renameError;
    std::filesystem::rename(temporary, outputPath, renameError);
    if (renameError) {
        std::remove(temporary.c_str());
        *error = "cannot create " + outputPath + ": " + renameError.message();
        return false;
    }
    return true;
}

} // namespace packager
