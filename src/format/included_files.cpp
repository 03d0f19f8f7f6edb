// The included files behind the block.
#include "format/included_files.h"

#include "format/block.h"
#include "format/record_text.h"

namespace blockformat {

std::vector<std::string> includedFileNames(const std::string& names, int count)
{
    std::vector<std::string> result;
    if (count <= 0) {
        return result;
    }
    for (std::string& name : splitList(names, ';')) {
        if (static_cast<int>(result.size()) == count) {
            break;
        }
        if (!name.empty()) {
            result.push_back(std::move(name));
        }
    }
    return result;
}

bool isSafeIncludedFileName(const std::string& name)
{
    if (name.empty() || name.find(':') != std::string::npos || name.find('/') != std::string::npos) {
        return false;
    }
    for (const std::string& step : splitList(name, '\\')) {
        if (step.empty() || step == "." || step == "..") {
            return false;
        }
    }
    return true;
}

} // namespace blockformat
