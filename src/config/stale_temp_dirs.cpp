// Finding and removing the temporary directories of runs that have ended.
#include "config/stale_temp_dirs.h"

#include "platform/diagnostic_log.h"
#include "platform/handle.h"
#include "platform/paths.h"
#include "platform/text_format.h"

#include <cctype>
#include <cstring>
#include <string>

namespace {

bool isHexDigit(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Counts the characters from `text` that pass `accepts`, up to `most` + 1.
size_t runOf(const char* text, bool (*accepts)(char), size_t most)
{
    size_t count = 0;
    while (count <= most && text[count] != '\0' && accepts(text[count])) ++count;
    return count;
}

bool isDots(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

std::string childPath(const std::string& directory, const char* name)
{
    return directory + (directory.empty() || directory.back() == '\\' ? "" : "\\") + name;
}

// True when the tree holds a link or junction anywhere, or cannot be read whole.
bool holdsLink(const std::string& directory)
{
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA(childPath(directory, "*").c_str(), &entry));
    if (!find) {
        return GetLastError() != ERROR_FILE_NOT_FOUND;
    }
    do {
        if (isDots(entry.cFileName)) continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && holdsLink(childPath(directory, entry.cFileName))) {
            return true;
        }
    } while (FindNextFileA(find.get(), &entry));
    return GetLastError() != ERROR_NO_MORE_FILES;
}

// Deletes the tree bottom-up, going on past what cannot be deleted; never enters a link.
bool deleteTree(const std::string& directory)
{
    bool whole = true;
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA(childPath(directory, "*").c_str(), &entry));
    if (find) {
        do {
            if (isDots(entry.cFileName)) continue;
            const std::string path = childPath(directory, entry.cFileName);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                whole = false;
                continue;
            }
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                whole = deleteTree(path) && whole;
                continue;
            }
            // A read-only file would otherwise keep the whole directory alive.
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
                SetFileAttributesA(path.c_str(), entry.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
            }
            if (!DeleteFileA(path.c_str())) {
                logError("could not delete %s (error %d)", path.c_str(), static_cast<int>(GetLastError()));
                whole = false;
            }
        } while (FindNextFileA(find.get(), &entry));
    }
    if (!whole) return false;
    if (!RemoveDirectoryA(directory.c_str())) {
        logError("could not remove %s (error %d)", directory.c_str(), static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

} // namespace

bool markerNameOf(const char* directoryName, char* marker, size_t capacity)
{
    static const char kPrefix[] = "qll";
    static const char kMiddle[] = ".tmp_dir";
    const char* p = directoryName;
    if (_strnicmp(p, kPrefix, 3) != 0) return false;
    p += 3;
    const size_t hex = runOf(p, isHexDigit, 4);
    if (hex < 1 || hex > 4) return false;
    p += hex;
    if (_strnicmp(p, kMiddle, sizeof kMiddle - 1) != 0) return false;
    const size_t markerLength = static_cast<size_t>(p - directoryName) + 4;  // up to ".tmp"
    p += sizeof kMiddle - 1;
    // The seconds are written as a signed 32-bit number, negative from 2038 on.
    if (*p == '-') ++p;
    const size_t digits = runOf(p, isDigit, 10);
    if (digits < 1 || digits > 10) return false;
    p += digits;
    if (_stricmp(p, kHeldTempDirSuffix) != 0) return false;
    if (markerLength + 1 > capacity) return false;
    std::memcpy(marker, directoryName, markerLength);
    marker[markerLength] = '\0';
    return true;
}

HANDLE holdTempDirMarker(const char* marker)
{
    if (marker == nullptr || marker[0] == '\0') return INVALID_HANDLE_VALUE;
    // No sharing: a later start that tries to open it learns that this process runs.
    return CreateFileA(marker, DELETE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

TempDirOwner tempDirOwner(const char* markerPath)
{
    // Opening it for deletion succeeds only when no process holds it; closing the handle
    // then deletes the marker that its owner left behind.
    UniqueFile marker(CreateFileA(markerPath, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (marker) return TempDirOwner::gone;
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
        return TempDirOwner::gone;
    case ERROR_SHARING_VIOLATION:
        return TempDirOwner::running;
    default:
        return TempDirOwner::unknown;
    }
}

bool removeTempDirTree(const char* directory)
{
    if (directory == nullptr || directory[0] == '\0') return true;
    const DWORD attributes = GetFileAttributesA(directory);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        holdsLink(directory)) {
        logError("%s is or holds a link; left alone", directory);
        return false;
    }
    return deleteTree(directory);
}

int removeStaleTempDirs(const char* tempDirectory)
{
    const std::string directory = tempDirectory;
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA(childPath(directory, "qll*.tmp_dir*").c_str(), &entry));
    if (!find) return 0;
    int removed = 0;
    do {
        char marker[64];
        if (!markerNameOf(entry.cFileName, marker, sizeof marker)) continue;
        // A file or a link under such a name was not made by a launcher.
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            continue;
        }
        const std::string path = childPath(directory, entry.cFileName);
        const TempDirOwner owner = tempDirOwner(childPath(directory, marker).c_str());
        if (owner != TempDirOwner::gone) {
            if (owner == TempDirOwner::unknown) {
                logMessage("the owner of %s is not known to have ended; left alone", path.c_str());
            }
            continue;
        }
        logMessage("removing %s: its run has ended", path.c_str());
        if (removeTempDirTree(path.c_str())) {
            ++removed;
        } else {
            logError("could not remove all of %s; a later start tries again", path.c_str());
        }
    } while (FindNextFileA(find.get(), &entry));
    return removed;
}

int removeStaleTempDirs()
{
    char directory[kTextCapacity];
    if (!getTempPath(directory, sizeof directory)) return 0;
    return removeStaleTempDirs(directory);
}
