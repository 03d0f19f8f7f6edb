// The compression of rolled output files.
#include "platform/file_compression.h"

#include "model/gzip_stream.h"
#include "platform/diagnostic_log.h"
#include "platform/handle.h"
#include "platform/text_conversion.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

constexpr DWORD kReadBlockSize = 65536;

// Nothing, or a file that is neither a directory nor a link.
bool absentOrPlainFile(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ||
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

bool writeAll(HANDLE file, const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

// Plain into partial; false at the first failure.
bool compressInto(HANDLE plain, HANDLE partial)
{
    gzipstream::GzipWriter writer;
    std::vector<uint8_t> block(kReadBlockSize);
    std::vector<uint8_t> out;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(plain, block.data(), kReadBlockSize, &read, nullptr)) return false;
        if (read == 0) break;
        out.clear();
        writer.write(block.data(), read, &out);
        if (!writeAll(partial, out)) return false;
    }
    out.clear();
    writer.finish(&out);
    return writeAll(partial, out);
}

// The compression thread's queue: the files waiting and the one being compressed.
SRWLOCK queueLock = SRWLOCK_INIT;
CONDITION_VARIABLE queueFilled = CONDITION_VARIABLE_INIT;
std::vector<std::wstring> waiting;
std::wstring working;
bool threadStarted = false;

DWORD WINAPI compressQueued(LPVOID)
{
    for (;;) {
        AcquireSRWLockExclusive(&queueLock);
        while (waiting.empty()) {
            working.clear();
            SleepConditionVariableSRW(&queueFilled, &queueLock, INFINITE, 0);
        }
        working = waiting.front();
        waiting.erase(waiting.begin());
        const std::wstring plain = working;
        ReleaseSRWLockExclusive(&queueLock);
        compressRolledFile(plain);
    }
}

} // namespace

bool compressRolledFile(const std::wstring& plain)
{
    const std::wstring partial = plain + L".gz.partial";
    const std::wstring compressed = plain + L".gz";
    const std::string shown = toNarrow(plain, CP_UTF8);
    UniqueFile source(CreateFileW(plain.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
                                  nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!source || !GetFileInformationByHandle(source.get(), &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return false;  // gone already, or no plain file: never read through
    }
    if (!absentOrPlainFile(partial) || !absentOrPlainFile(compressed)) {
        logMessage("%s not compressed: a link or directory is at its .gz or .gz.partial name", shown.c_str());
        return false;
    }
    DeleteFileW(partial.c_str());
    bool done = false;
    {
        UniqueFile target(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        done = target && compressInto(source.get(), target.get());
    }
    if (!done || !MoveFileExW(partial.c_str(), compressed.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        logMessage("%s not compressed (%d); the plain file stays", shown.c_str(), static_cast<int>(GetLastError()));
        if (absentOrPlainFile(partial)) DeleteFileW(partial.c_str());
        return false;
    }
    source.reset();
    if (!DeleteFileW(plain.c_str())) {
        // Held: both stay, counted as one; the next retention compresses it again.
        logMessage("%s compressed but not removed (%d)", shown.c_str(), static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

void compressInBackground(const std::wstring& plain)
{
    AcquireSRWLockExclusive(&queueLock);
    const bool known = plain == working || std::find(waiting.begin(), waiting.end(), plain) != waiting.end();
    if (!known) waiting.push_back(plain);
    bool start = !threadStarted;
    if (start) {
        UniqueHandleNull thread(CreateThread(nullptr, 0, compressQueued, nullptr, 0, nullptr));
        if (thread) {
            SetThreadPriority(thread.get(), THREAD_PRIORITY_BELOW_NORMAL);
            threadStarted = true;
        } else {
            // Tried again with the next file; this one stays plain until then.
            logMessage("CreateThread error, compression (%d)", static_cast<int>(GetLastError()));
            waiting.clear();
        }
    }
    ReleaseSRWLockExclusive(&queueLock);
    WakeConditionVariable(&queueFilled);
}
