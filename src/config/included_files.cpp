// Extraction of the included files into the launcher's temporary directory.
#include "config/included_files.h"

#include "config/config_loader.h"
#include "config/config_store.h"
#include "config/messages.h"
#include "config/stale_temp_dirs.h"
#include "format/included_files.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/handle.h"
#include "platform/paths.h"
#include "platform/private_security.h"
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

// A sub-folder of the launcher's folder for included files: made here, privately, or made
// by an earlier file of this run. One that exists otherwise was not made by this run and
// is not used.
bool makeIncludedSubfolder(const std::string& directory, std::vector<std::string>& made)
{
    for (const std::string& earlier : made) {
        if (_stricmp(earlier.c_str(), directory.c_str()) == 0) {
            return true;
        }
    }
    logMessage("creating directory %s", directory.c_str());
    if (!createPrivateDirectory(directory.c_str())) {
        logError("failed to create directory %s (error %d)", directory.c_str(), static_cast<int>(GetLastError()));
        return false;
    }
    made.push_back(directory);
    return true;
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
    // Replacing is for a name listed twice: the folder is this run's and private.
    UniqueFile output = createPrivateFile(outputPath, GENERIC_WRITE, 0, true);
    if (!output) {
        fatalConfigError(cfg::msgInternalError, "11");
    }
    return copyFileRange(executable, output.get(), length, true);
}

TempDirName nextLauncherTempDirName(char* directory, size_t capacity, char* marker, size_t markerCapacity)
{
    if (!makeTempFileName(marker, markerCapacity)) {
        return TempDirName::noTempDirectory;
    }
    if (!formatText(directory, capacity, "%s_dir%d", marker, static_cast<int>(time(nullptr)))) {
        return TempDirName::tooLong;
    }
    return TempDirName::formed;
}

void createLauncherTempDir(TempDirNamer nextName)
{
    for (int attempt = 0; attempt < kTempDirAttempts; ++attempt) {
        char marker[kTextCapacity] = "";
        switch (nextName(launcherTempDir, kLauncherTempDirCapacity, marker, sizeof marker)) {
        case TempDirName::noTempDirectory:
            launcherTempDir[0] = '\0';
            fatalConfigErrorW(cfg::msgNoTempDirectory, nullptr);
        case TempDirName::tooLong:
            launcherTempDir[0] = '\0';
            logMessage("Could not create dir (%d)", static_cast<int>(ERROR_FILENAME_EXCED_RANGE));
            continue;
        case TempDirName::formed:
            break;
        }
        // The marker is held before the directory exists, so that a start sweeping the
        // temporary directory never finds this run's directory without a live owner.
        UniqueFile marked(holdTempDirMarker(marker));
        if (marked) {
            // Without room for the suffix the name stays as it was, and the marker goes.
            const size_t length = std::strlen(launcherTempDir);
            if (!appendText(launcherTempDir, sizeof launcherTempDir, kHeldTempDirSuffix)) {
                launcherTempDir[length] = '\0';
                marked.reset();
            }
        }
        logMessage("Temp dir3: %s", launcherTempDir);
        // Private from the start, and never one that exists already: a folder somebody
        // else made under this name may hold their archives for the class path.
        if (createPrivateDirectory(launcherTempDir)) {
            if (marked) {
                // Held until the process ends, however it ends; the system then deletes it.
                static_cast<void>(marked.release());
            } else if (marker[0] != '\0') {
                // Without a held marker the name is unique through the directory alone, so
                // the empty file can go: left behind, one per run, they would use up the
                // system's temporary names.
                DeleteFileA(marker);
            }
            return;
        }
        // Not ours: the fatal exit must not empty it.
        const DWORD error = GetLastError();
        launcherTempDir[0] = '\0';
        logMessage("Could not create dir (%d)", static_cast<int>(error));
    }
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
    removeStaleTempDirs();
    createLauncherTempDir();

    UniqueFile executable = openOwnExecutable();
    if (!executable) {
        logError("Could not open %S", getModulePathW());
        return 1;
    }
    LARGE_INTEGER start{};
    start.QuadPart = configEndPosition;
    SetFilePointerEx(executable.get(), start, nullptr, FILE_BEGIN);

    std::vector<std::string> madeFolders;
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
            if (!makeIncludedSubfolder(directory, madeFolders)) {
                fatalConfigError(cfg::msgInternalError, "11");
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
