// Finding and removing the temporary directories of runs that have ended.
#include "config/stale_temp_dirs.h"

#include "platform/diagnostic_log.h"
#include "platform/handle.h"
#include "platform/paths.h"
#include "platform/private_security.h"
#include "platform/text_conversion.h"
#include "platform/text_format.h"

#include <cstring>
#include <cwchar>
#include <string>

namespace {

// ASCII only: the wide classification functions also take other scripts' digits.
bool isHexDigit(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

bool isDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

wchar_t lowerAscii(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// Whether `text` begins with `lower` (lower-case ASCII), letters in any case.
bool startsWithAscii(const wchar_t* text, const wchar_t* lower)
{
    for (; *lower != L'\0'; ++text, ++lower) {
        if (lowerAscii(*text) != *lower) return false;
    }
    return true;
}

// Counts the characters from `text` that pass `accepts`, up to `most` + 1.
size_t runOf(const wchar_t* text, bool (*accepts)(wchar_t), size_t most)
{
    size_t count = 0;
    while (count <= most && text[count] != L'\0' && accepts(text[count])) ++count;
    return count;
}

std::wstring childPath(const std::wstring& directory, const wchar_t* name)
{
    return directory + (directory.empty() || directory.back() == L'\\' ? L"" : L"\\") + name;
}

const char* provenanceText(Provenance provenance)
{
    switch (provenance) {
    case Provenance::own: return "this account's";
    case Provenance::absent: return "gone";
    case Provenance::held: return "in use by another process";
    case Provenance::link: return "a link";
    case Provenance::otherKind: return "not a directory";
    case Provenance::notPrivate: return "not private";
    case Provenance::unreadable: return "unreadable";
    }
    return "unknown";
}

// Logs why a candidate stays.
void logLeftAlone(const std::wstring& path, Provenance provenance, Privacy privacy, DWORD error)
{
    if (provenance == Provenance::notPrivate) {
        logError("%S was not made by this account's launcher (%s); left alone", path.c_str(), privacyText(privacy));
    } else if (provenance == Provenance::unreadable) {
        logError("%S could not be judged (error %d); left alone", path.c_str(), static_cast<int>(error));
    } else {
        logError("%S is %s; left alone", path.c_str(), provenanceText(provenance));
    }
}

} // namespace

bool markerNameOf(const wchar_t* directoryName, wchar_t* marker, size_t capacity)
{
    static const wchar_t kMiddle[] = L".tmp_dir";
    const wchar_t* p = directoryName;
    if (!startsWithAscii(p, L"qll")) return false;
    p += 3;
    const size_t hex = runOf(p, isHexDigit, 4);
    if (hex < 1 || hex > 4) return false;
    p += hex;
    if (!startsWithAscii(p, kMiddle)) return false;
    const size_t markerLength = static_cast<size_t>(p - directoryName) + 4;  // up to ".tmp"
    p += (sizeof kMiddle / sizeof kMiddle[0]) - 1;
    // The seconds are written as a signed 32-bit number, negative from 2038 on.
    if (*p == L'-') ++p;
    const size_t digits = runOf(p, isDigit, 10);
    if (digits < 1 || digits > 10) return false;
    p += digits;
    if (!startsWithAscii(p, L"_m") || p[2] != L'\0') return false;
    if (markerLength + 1 > capacity) return false;
    std::wmemcpy(marker, directoryName, markerLength);
    marker[markerLength] = L'\0';
    return true;
}

HANDLE holdTempDirMarker(const char* marker)
{
    if (marker == nullptr || marker[0] == '\0') return INVALID_HANDLE_VALUE;
    // No sharing: a later start that tries to open it learns that this process runs.
    const DWORD flags = FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE held = CreateFileA(marker, DELETE | READ_CONTROL | WRITE_DAC | WRITE_OWNER, 0, nullptr, OPEN_EXISTING,
                              flags, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        return CreateFileA(marker, DELETE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    }
    // Private, so that a later sweep can tell it from a file of the same name that
    // somebody else made once this one has gone; a marker left as it was still marks.
    if (!makeFilePrivate(held, PrivateKind::file)) {
        logMessage("the marker %s could not be made private (error %d)", marker, static_cast<int>(GetLastError()));
    }
    return held;
}

TempDirOwner tempDirOwner(const wchar_t* markerPath, const OwnershipRule& rule)
{
    UniqueFile marker;
    switch (openOwn(markerPath, false, rule, marker)) {
    case Provenance::own:
        // Nobody holds it: its owner has ended. It goes when the handle closes.
        markForDeletion(marker.get());
        return TempDirOwner::gone;
    case Provenance::absent:
        return TempDirOwner::gone;
    case Provenance::held:
        return TempDirOwner::running;
    case Provenance::link:
    case Provenance::otherKind:
    case Provenance::notPrivate:
        // Somebody else's object under the marker's name: the launcher's own marker
        // cannot exist beside it, so its run has ended. The object stays as it is.
        logMessage("%S was not made by this account; left alone", markerPath);
        return TempDirOwner::gone;
    case Provenance::unreadable:
        break;
    }
    return TempDirOwner::unknown;
}

int removeStaleTempDirs(const wchar_t* tempDirectory, const OwnershipRule& rule)
{
    const std::wstring directory = tempDirectory;
    WIN32_FIND_DATAW entry;
    UniqueFind find(FindFirstFileW(childPath(directory, L"qll*.tmp_dir*").c_str(), &entry));
    if (!find) return 0;
    int removed = 0;
    do {
        wchar_t marker[64];
        if (!markerNameOf(entry.cFileName, marker, sizeof marker / sizeof marker[0])) continue;
        // A file or a link under such a name was not made by a launcher.
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            continue;
        }
        const std::wstring path = childPath(directory, entry.cFileName);
        const TempDirOwner owner = tempDirOwner(childPath(directory, marker).c_str(), rule);
        if (owner != TempDirOwner::gone) {
            if (owner == TempDirOwner::unknown) {
                logMessage("the owner of %S is not known to have ended; left alone", path.c_str());
            }
            continue;
        }
        UniqueFile held;
        Privacy privacy = Privacy::privateToAccount;
        const Provenance provenance = openOwn(path.c_str(), true, rule, held, &privacy);
        if (provenance != Provenance::own) {
            if (provenance != Provenance::absent) {
                logLeftAlone(path, provenance, privacy, GetLastError());
            }
            continue;
        }
        logMessage("removing %S: its run has ended", path.c_str());
        if (removeOwnTree(std::move(held), path)) {
            ++removed;
        } else {
            logError("could not remove all of %S; a later start tries again", path.c_str());
        }
    } while (FindNextFileW(find.get(), &entry));
    return removed;
}

int removeStaleTempDirs()
{
    // The directory the launcher makes its own in: the narrow temporary directory.
    char directory[kTextCapacity];
    if (!getTempPath(directory, sizeof directory)) return 0;
    return removeStaleTempDirs(toWide(directory, fileApiCodePage()).c_str(), thisProcessOwnership());
}

bool removeTempDirTree(const char* directory)
{
    if (directory == nullptr || directory[0] == '\0') return true;
    const std::wstring path = toWide(directory, fileApiCodePage());
    UniqueFile held;
    Privacy privacy = Privacy::privateToAccount;
    const Provenance provenance = openOwn(path.c_str(), true, thisProcessOwnership(), held, &privacy);
    if (provenance == Provenance::absent) return true;
    if (provenance != Provenance::own) {
        logLeftAlone(path, provenance, privacy, GetLastError());
        return false;
    }
    return removeOwnTree(std::move(held), path);
}
