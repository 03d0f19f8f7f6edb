// Extraction of the included files into the launcher's temporary directory.
#include "config/included_files.h"

#include "config/config_loader.h"
#include "config/config_store.h"
#include "config/messages.h"
#include "format/included_files.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/handle.h"
#include "platform/paths.h"
#include "platform/text_format.h"

#include <cstring>
#include <ctime>
#include <string>
#include <vector>

char launcherTempDir[kLauncherTempDirCapacity] = "";
uint32_t unextractedPosition = 0;

namespace {

constexpr DWORD kChunkSize = 6000;
constexpr int kTempDirAttempts = 10;

uint32_t currentPosition(HANDLE file)
{
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    SetFilePointerEx(file, zero, &position, FILE_CURRENT);
    return static_cast<uint32_t>(position.QuadPart);
}

} // namespace

int copyFileRange(HANDLE input, HANDLE output, int64_t count, bool unscramble)
{
    std::vector<uint8_t> buffer(kChunkSize);
    int64_t copied = 0;
    while (copied < count) {
        DWORD wanted = static_cast<DWORD>(count - copied < kChunkSize ? count - copied : kChunkSize);
        DWORD delivered = 0;
        if (!ReadFile(input, buffer.data(), wanted, &delivered, nullptr) || delivered == 0) {
            logError("ReadFile failed %d %d %I64d", static_cast<int>(delivered), static_cast<int>(GetLastError()),
                     copied);
            return 1;
        }
        if (unscramble) {
            blockformat::unscramble(buffer.data(), delivered);
        }
        DWORD done = 0;
        while (done < delivered) {
            DWORD written = 0;
            if (!WriteFile(output, buffer.data() + done, delivered - done, &written, nullptr) || written == 0) {
                logError("WriteFile failed %d %d", static_cast<int>(delivered - done), static_cast<int>(GetLastError()));
                return 2;
            }
            done += written;
        }
        copied += delivered;
    }
    return 0;
}

int extractIncludedFile(HANDLE executable, const char* outputPath)
{
    int64_t length = 0;
    if (!readLongFrom(executable, &length)) {
        fatalError(blockErrorText(BlockError::readLong));
    }
    logMessage("extracting %s (size: %I64d)", outputPath, length);
    if (length <= 0) {
        return 0;
    }
    UniqueFile output(CreateFileA(outputPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) {
        fatalConfigError(cfg::msgInternalError, "11");
    }
    return copyFileRange(executable, output.get(), length, true);
}

void createLauncherTempDir()
{
    for (int attempt = 0; attempt < kTempDirAttempts; ++attempt) {
        char marker[kTextCapacity];
        if (!makeTempFileName(marker, sizeof marker)) {
            fatalConfigErrorW(cfg::msgNoTempDirectory, nullptr);
        }
        if (!formatText(launcherTempDir, kLauncherTempDirCapacity, "%s_dir%d", marker,
                        static_cast<int>(time(nullptr)))) {
            logMessage("Could not create dir (%d)", static_cast<int>(ERROR_FILENAME_EXCED_RANGE));
            continue;
        }
        logMessage("Temp dir3: %s", launcherTempDir);
        if (CreateDirectoryA(launcherTempDir, nullptr)) {
            // The directory's own name is unique now (a clash makes CreateDirectory fail and
            // the next attempt take another name), so the empty marker file can go: left
            // behind, one per run, they would use up the system's temporary names.
            DeleteFileA(marker);
            return;
        }
        logMessage("Could not create dir (%d)", static_cast<int>(GetLastError()));
    }
    launcherTempDir[0] = '\0';
    fatalConfigError(cfg::msgInternalError, "7");
}

int extractIncludedFiles()
{
    logMessage("extracting files");
    int count = getConfigInt(cfg::includedFileCount);
    logMessage("Included files: %d", count);
    if (count <= 0) {
        return 0;
    }
    createLauncherTempDir();

    UniqueFile executable = openOwnExecutable();
    if (!executable) {
        logError("Could not open %S", getModulePathW());
        return 1;
    }
    LARGE_INTEGER start{};
    start.QuadPart = configEndPosition;
    SetFilePointerEx(executable.get(), start, nullptr, FILE_BEGIN);

    for (const std::string& name : blockformat::includedFileNames(dupConfigString(cfg::includedFileNames), count)) {
        const std::string outputPath = std::string(launcherTempDir) + "\\" + name;
        if (!blockformat::isSafeIncludedFileName(name)) {
            // Treated like an output file that cannot be created there.
            logError("included file name %s leaves the temporary directory", name.c_str());
            fatalConfigError(cfg::msgInternalError, "11");
        }
        size_t slash = name.find('\\');
        if (slash != std::string::npos) {
            const std::string directory = std::string(launcherTempDir) + "\\" + name.substr(0, slash);
            logMessage("creating directory %s", directory.c_str());
            if (!CreateDirectoryA(directory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
                logError("failed to create directory %s", directory.c_str());
            }
        }
        int result = extractIncludedFile(executable.get(), outputPath.c_str());
        if (result != 0) {
            logError("Failed to extract %s", outputPath.c_str());
            return result;
        }
    }
    unextractedPosition = currentPosition(executable.get());
    executable.reset();
    logMessage("extracting files done");
    return 0;
}
