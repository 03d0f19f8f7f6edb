// A fresh directory under the system temporary directory for one test, removed with
// everything in it when the test ends, whether it passed or not.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

class ScratchDirectory {
public:
    ScratchDirectory()
    {
        wchar_t temp[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        if (n == 0 || n > MAX_PATH) {
            ADD_FAILURE() << "no temporary directory";
            return;
        }
        static unsigned counter = 0;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            std::wstring candidate = std::wstring(temp) + L"unit_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                     std::to_wstring(++counter) + L"_" + std::to_wstring(GetTickCount());
            if (CreateDirectoryW(candidate.c_str(), nullptr)) {
                path_ = candidate;
            }
        }
        if (path_.empty()) {
            ADD_FAILURE() << "cannot create a scratch directory";
        }
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    ~ScratchDirectory()
    {
        if (!path_.empty()) {
            removeTree(path_);
        }
    }

    // The directory, without a trailing backslash.
    const std::wstring& path() const { return path_; }
    std::string pathA() const { return narrow(path_); }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }
    std::string fileA(const std::string& name) const { return pathA() + "\\" + name; }

    // Writes a file of the given bytes; true on success.
    bool write(const std::wstring& name, const void* data, size_t size) const
    {
        HANDLE h = CreateFileW(file(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return false;
        }
        DWORD written = 0;
        BOOL ok = size == 0 || WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr);
        CloseHandle(h);
        return ok && written == size;
    }

    static std::string narrow(const std::wstring& text)
    {
        // Test paths are plain ASCII.
        return std::string(text.begin(), text.end());
    }

private:
    static void removeTree(const std::wstring& directory)
    {
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW((directory + L"\\*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = entry.cFileName;
                if (name == L"." || name == L"..") {
                    continue;
                }
                std::wstring path = directory + L"\\" + name;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    removeTree(path);
                } else {
                    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW(path.c_str());
                }
            } while (FindNextFileW(find, &entry));
            FindClose(find);
        }
        if (!RemoveDirectoryW(directory.c_str())) {
            ADD_FAILURE() << "scratch directory left behind";
        }
    }

    std::wstring path_;
};
