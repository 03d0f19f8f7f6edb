// Reading a packaged launcher file, through the launcher's own parser.
#include "packaging/launcher/reader.h"

#include "format/block_parser.h"
#include "format/block_writer.h"
#include "format/included_files.h"
#include "format/record_ids.h"
#include "format/record_text.h"

namespace packager {

namespace {

bool fail(std::string* error, const std::string& reason)
{
    if (error != nullptr) {
        *error = reason;
    }
    return false;
}

std::string parseFailure(const blockformat::ParseResult& result)
{
    using blockformat::ParseResult;
    const std::string index = std::to_string(result.index);
    switch (result.section) {
    case ParseResult::header:
        if (result.error == blockformat::BlockError::magic || result.index < 0) {
            return "no configuration block behind the image (not a packaged launcher)";
        }
        return "the configuration block is cut off in its header";
    case ParseResult::narrowRecords:
        return result.index < 0 ? "the configuration block is damaged (narrow record count)"
                                : "the configuration block is cut off in narrow record " + index;
    case ParseResult::wideRecords:
        return result.index < 0 ? "the configuration block is damaged (wide record count)"
                                : "the configuration block is cut off in wide record " + index;
    case ParseResult::localeGroups:
        return result.index < 0 ? "the configuration block is damaged (locale group count)"
                                : "the configuration block is cut off in locale group " + index;
    }
    return "the configuration block is damaged";
}

} // namespace

bool readPackagedLauncher(const std::vector<uint8_t>& file, PackagedLauncher* launcher, std::string* error)
{
    uint64_t end = 0;
    if (!blockformat::findImageEnd(file, &end, error)) {
        return false;
    }
    PackagedLauncher result;
    blockformat::ParseResult parsed =
        blockformat::parseBlock(file.data() + end, file.size() - end, &result.block, &result.cutAtNul);
    if (parsed.error != blockformat::BlockError::none) {
        return fail(error, parseFailure(parsed));
    }
    result.blockSize = parsed.end;

    // The included files, as the launcher extracts them.
    const std::string* countText = result.block.findNarrow(cfg::includedFileCount);
    const std::string* namesText = result.block.findNarrow(cfg::includedFileNames);
    int declared = countText == nullptr ? 0 : blockformat::parseRecordInt(countText->c_str());
    result.fileNames = blockformat::includedFileNames(namesText == nullptr ? std::string() : *namesText, declared);
    uint64_t filesEnd = 0;
    size_t failed = 0;
    if (!blockformat::readIncludedFiles(file.data(), file.size(), end + parsed.end, result.fileNames.size(),
                                       &result.block.includedContents, &filesEnd, &failed)) {
        return fail(error, "the included file " + result.fileNames[failed] + " is cut off");
    }
    result.trailingBytes = file.size() - filesEnd;
    result.image.assign(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(end));
    *launcher = std::move(result);
    return true;
}

} // namespace packager
