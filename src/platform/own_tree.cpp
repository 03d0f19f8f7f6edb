// Proving that a file or folder in a shared folder is this account's own, and removing
// such a folder through handles.
#include "platform/own_tree.h"

#include "platform/diagnostic_log.h"

#include <winternl.h>

#include <cstdint>
#include <vector>

namespace {

// Deeper folders stay: a walk without end must not exhaust the stack.
constexpr int kMostDepth = 128;
constexpr DWORD kListingBufferSize = 64 * 1024;

void (*treeListedHook)(const std::wstring&) = nullptr;

struct Listed {
    std::wstring name;
    uint64_t id;
    DWORD attributes;
};

bool isDirectory(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isLink(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A name a directory listing may hand back that is no plain entry of it: "." and "..",
// and anything a relative open would read as more than one name (a separator, a stream).
bool isPlainEntryName(const std::wstring& name)
{
    if (name.empty() || name == L"." || name == L"..") return false;
    return name.find_first_of(L"\\/:") == std::wstring::npos;
}

// The whole listing of an open directory, read before anything in it changes.
bool listDirectory(HANDLE directory, std::vector<Listed>& entries)
{
    std::vector<uint64_t> buffer(kListingBufferSize / sizeof(uint64_t));
    FILE_INFO_BY_HANDLE_CLASS request = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(directory, request, buffer.data(), kListingBufferSize)) {
            return GetLastError() == ERROR_NO_MORE_FILES;
        }
        request = FileIdBothDirectoryInfo;
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        for (size_t offset = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
            std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                entries.push_back({name, static_cast<uint64_t>(entry->FileId.QuadPart), entry->FileAttributes});
            }
            if (entry->NextEntryOffset == 0 || offset + entry->NextEntryOffset >= kListingBufferSize) break;
            offset += entry->NextEntryOffset;
        }
    }
}

// Opens an entry by its name relative to the directory handle, never following a
// reparse point: no path another account could have changed is walked again.
bool openBelow(HANDLE directory, const std::wstring& name, bool folder, UniqueFile& opened)
{
    UNICODE_STRING text;
    text.Buffer = const_cast<wchar_t*>(name.c_str());
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, directory, nullptr);
    IO_STATUS_BLOCK status{};
    HANDLE handle = nullptr;
    const ACCESS_MASK access = DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES |
                               (folder ? FILE_LIST_DIRECTORY : FILE_WRITE_ATTRIBUTES);
    const NTSTATUS result =
        NtOpenFile(&handle, access, &attributes, &status, FILE_SHARE_READ | FILE_SHARE_WRITE,
                   FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT |
                       (folder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE));
    if (result < 0) {
        SetLastError(RtlNtStatusToDosError(result));
        return false;
    }
    opened = UniqueFile(handle);
    return true;
}

bool removeBelow(HANDLE directory, const std::wstring& shownPath, int depth);

// One listed entry: opened, shown to be what was listed, emptied when a folder, deleted.
bool removeEntry(HANDLE directory, const Listed& entry, const std::wstring& shownPath, int depth)
{
    const std::wstring path = shownPath + L"\\" + entry.name;
    if (!isPlainEntryName(entry.name)) {
        logError("%S is no plain name; left alone", path.c_str());
        return false;
    }
    if (isLink(entry.attributes)) {
        logError("%S is a link; left alone", path.c_str());
        return false;
    }
    const bool folder = isDirectory(entry.attributes);
    UniqueFile opened;
    if (!openBelow(directory, entry.name, folder, opened)) {
        logError("could not open %S for deletion (error %d)", path.c_str(), static_cast<int>(GetLastError()));
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(opened.get(), &information)) {
        logError("could not read %S (error %d)", path.c_str(), static_cast<int>(GetLastError()));
        return false;
    }
    const uint64_t id = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    // Another object under the listed name (swapped in since the listing), or a link that
    // the open went through: not the entry that was listed, so nothing of it is touched.
    if (id != entry.id || isLink(information.dwFileAttributes) ||
        isDirectory(information.dwFileAttributes) != folder) {
        logError("%S changed since its folder was listed; left alone", path.c_str());
        return false;
    }
    if (folder) {
        if (!removeBelow(opened.get(), path, depth + 1)) {
            return false;
        }
    } else if (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        // The flag belongs to the file, not to this name of it: with other names it stays.
        if (information.nNumberOfLinks != 1) {
            logError("%S is read-only and has other names; left alone", path.c_str());
            return false;
        }
        // Zero times leave the times as they are; zero attributes would too, hence NORMAL.
        FILE_BASIC_INFO basic{};
        const DWORD kept = information.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        basic.FileAttributes = kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(opened.get(), FileBasicInfo, &basic, sizeof basic);
    }
    if (!markForDeletion(opened.get())) {
        logError("could not delete %S (error %d)", path.c_str(), static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

// Deletes what the directory holds, going on past what cannot be deleted.
bool removeBelow(HANDLE directory, const std::wstring& shownPath, int depth)
{
    if (depth > kMostDepth) {
        logError("%S lies deeper than %d folders; left alone", shownPath.c_str(), kMostDepth);
        return false;
    }
    std::vector<Listed> entries;
    if (!listDirectory(directory, entries)) {
        logError("could not list %S (error %d)", shownPath.c_str(), static_cast<int>(GetLastError()));
        return false;
    }
    if (treeListedHook != nullptr) {
        treeListedHook(shownPath);
    }
    bool whole = true;
    for (const Listed& entry : entries) {
        whole = removeEntry(directory, entry, shownPath, depth) && whole;
    }
    return whole;
}

} // namespace

bool markForDeletion(HANDLE handle)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

OwnershipRule thisProcessOwnership()
{
    return OwnershipRule{processAccountSid(), systemKeepsProtection()};
}

Provenance openOwn(const wchar_t* path, bool directory, const OwnershipRule& rule, UniqueFile& opened,
                   Privacy* privacy)
{
    opened.reset();
    UniqueFile handle(CreateFileW(path, DELETE | READ_CONTROL | SYNCHRONIZE | FILE_READ_ATTRIBUTES |
                                            (directory ? FILE_LIST_DIRECTORY : 0),
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  // Folders open too, so that one where a file is expected is
                                  // told apart from one that cannot be read.
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
        switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return Provenance::absent;
        case ERROR_SHARING_VIOLATION: return Provenance::held;
        default: return Provenance::unreadable;
        }
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle.get(), &information)) {
        return Provenance::unreadable;
    }
    if (isLink(information.dwFileAttributes)) {
        return Provenance::link;
    }
    if (isDirectory(information.dwFileAttributes) != directory) {
        return Provenance::otherKind;
    }
    FileSecurity security;
    if (!readFileSecurity(handle.get(), security)) {
        return Provenance::unreadable;
    }
    const Privacy judged = judgePrivacy(security, rule.account, rule.protectionKept);
    if (judged != Privacy::privateToAccount) {
        if (privacy != nullptr) *privacy = judged;
        return Provenance::notPrivate;
    }
    opened = std::move(handle);
    return Provenance::own;
}

bool removeOwnTree(UniqueFile directory, const std::wstring& shownPath)
{
    if (!directory) return false;
    if (!removeBelow(directory.get(), shownPath, 0)) {
        return false;
    }
    if (!markForDeletion(directory.get())) {
        logError("could not remove %S (error %d)", shownPath.c_str(), static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

void setTreeListedHookForTesting(void (*hook)(const std::wstring& directory))
{
    treeListedHook = hook;
}
