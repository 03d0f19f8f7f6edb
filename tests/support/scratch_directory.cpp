// Test support: scratch directories and their removal; see the header.
#include "support/scratch_directory.h"

#include "platform/diagnostic_log.h"
#include "support/host_links.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

// How long a removal waits for files that an ending process still holds: a crashed
// program holds its files until Wine's crash report is done, which takes seconds.
constexpr DWORD kReleaseMs = 30000;
// How long the host may take to remove links that Wine does not list.
constexpr DWORD kHostMs = 20000;

std::wstring temporaryDirectory()
{
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return std::wstring();
    return std::wstring(temp, n);
}

std::vector<WIN32_FIND_DATAW> entriesOf(const std::wstring& directory, const std::wstring& pattern = L"*")
{
    std::vector<WIN32_FIND_DATAW> entries;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((directory + L"\\" + pattern).c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") entries.push_back(entry);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return entries;
}

bool isLink(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A link removed itself. Under Wine only the host can do that (Wine's calls on the name
// reach the target); on Windows the calls on a link's name remove the link.
bool removeLink(const std::wstring& path, DWORD attributes)
{
    if (hostProgramsAvailable()) return removeHostLink(path);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryW(path.c_str()) != 0;
    return DeleteFileW(path.c_str()) != 0;
}

// One pass over the tree; what cannot go yet stays. `except` (a full path) stays too.
bool removeEntry(const std::wstring& path, DWORD attributes, const std::wstring& except)
{
    if (!except.empty() && lstrcmpiW(path.c_str(), except.c_str()) == 0) return false;
    if (isLink(attributes)) return removeLink(path, attributes);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        bool whole = true;
        for (const WIN32_FIND_DATAW& entry : entriesOf(path)) {
            whole = removeEntry(path + L"\\" + entry.cFileName, entry.dwFileAttributes, except) && whole;
        }
        if (!whole) return false;
        if (RemoveDirectoryW(path.c_str())) return true;
        // Listed empty and yet not empty: under Wine, a link whose target has gone.
        if (GetLastError() != ERROR_DIR_NOT_EMPTY || !hostProgramsAvailable() ||
            !entriesOf(path).empty() || !startRemovingHostLinksIn(path)) {
            return false;
        }
        for (const DWORD start = GetTickCount(); GetTickCount() - start < kHostMs; Sleep(20)) {
            if (RemoveDirectoryW(path.c_str())) return true;
        }
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    return DeleteFileW(path.c_str()) != 0;
}

bool removeTreeExcept(const std::wstring& path, const std::wstring& except)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    return removeEntry(path, attributes, except);
}

// What is left of a tree, for a failure message.
std::string leftIn(const std::wstring& path)
{
    std::string names;
    for (const WIN32_FIND_DATAW& entry : entriesOf(path)) {
        const std::wstring name = entry.cFileName;
        names += " " + std::string(name.begin(), name.end());
    }
    return names;
}

bool processRuns(DWORD id)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr) return false;
    const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return runs;
}

} // namespace

bool removeTree(const std::wstring& path)
{
    return removeTreeExcept(path, std::wstring());
}

ScratchDirectory::ScratchDirectory()
{
    static std::atomic<unsigned> counter{0};
    const std::wstring temp = temporaryDirectory();
    if (temp.empty()) {
        ADD_FAILURE() << "no temporary directory";
        return;
    }
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        const std::wstring candidate = temp + L"scratch" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                       std::to_wstring(++counter);
        if (CreateDirectoryW(candidate.c_str(), nullptr)) path_ = candidate;
    }
    if (path_.empty()) ADD_FAILURE() << "cannot create a scratch directory";
}

ScratchDirectory::~ScratchDirectory()
{
    if (path_.empty()) return;
    // A process that a test ended may hold its files for a moment longer.
    for (const DWORD start = GetTickCount(); !removeTree(path_); Sleep(50)) {
        if (GetTickCount() - start > kReleaseMs) {
            ADD_FAILURE() << "scratch directory " << pathA() << " left behind with:" << leftIn(path_);
            return;
        }
    }
}

std::string ScratchDirectory::pathA() const
{
    return std::string(path_.begin(), path_.end());
}

bool ScratchDirectory::write(const std::wstring& name, const void* data, size_t size) const
{
    HANDLE h = CreateFileW(file(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = size == 0 || WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(h);
    return ok && written == size;
}

ProgramLogDirectory::ProgramLogDirectory(const std::wstring& name)
{
    const std::wstring temp = temporaryDirectory();
    if (temp.empty()) return;
    // The folders of earlier runs whose program has ended; a running one keeps its own.
    for (const WIN32_FIND_DATAW& entry : entriesOf(temp.substr(0, temp.size() - 1), name + L"_*")) {
        const std::wstring folder = entry.cFileName;
        const std::wstring id = folder.substr(name.size() + 1);
        if (id.empty() || id.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
        if (!processRuns(static_cast<DWORD>(std::stoul(id)))) removeTree(temp + folder);
    }
    const std::wstring candidate = temp + name + L"_" + std::to_wstring(GetCurrentProcessId());
    if (!CreateDirectoryW(candidate.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return;
    path_ = candidate;
    SetEnvironmentVariableW(L"TMP", path_.c_str());
    SetEnvironmentVariableW(L"TEMP", path_.c_str());
    SetEnvironmentVariableW(L"QUILL_LOG", L"yes");
}

ProgramLogDirectory::~ProgramLogDirectory()
{
    if (path_.empty()) return;
    const wchar_t* log = logFilePath();
    removeTreeExcept(path_, log != nullptr ? std::wstring(log) : std::wstring());
}
