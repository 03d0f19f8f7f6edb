// Test support: a fresh directory under the temporary directory for one test, removed with
// everything in it when the test ends, whether it passed or not, and the removal itself.
// The removal never goes through a link: a link (tests make them with the host's ln, see
// host_links.h) is removed itself, and what it points to stays.
#pragma once

#include <cstddef>
#include <string>

class ScratchDirectory {
public:
    ScratchDirectory();
    // Removes the directory. Files that a process which is ending still holds are waited
    // for, with a deadline; whatever is left after it fails the test.
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    // The directory, without a trailing backslash.
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }
    // The same as narrow text (test paths are plain ASCII).
    std::string pathA() const;
    std::string fileA(const std::string& name) const { return pathA() + "\\" + name; }

    // Writes a file of the given bytes below the directory; true on success.
    bool write(const std::wstring& name, const void* data, size_t size) const;

private:
    std::wstring path_;
};

// Removes a file, or a folder with everything in it; a link is removed itself, never
// entered or followed. Read-only files go too. True when nothing of that name is left
// (also when there was nothing).
bool removeTree(const std::wstring& path);

// The folder that holds a test program's diagnostic log, which the program turns on for
// all of its run (TMP, TEMP and QUILL_LOG set for it and its children) before anything
// logs. The log stays open until the program ends, so the folder goes at the next start
// of a program with the same name, once its owner has ended: `name` followed by the
// process id.
class ProgramLogDirectory {
public:
    explicit ProgramLogDirectory(const std::wstring& name);
    // Removes everything but the log that this process still holds open.
    ~ProgramLogDirectory();
    ProgramLogDirectory(const ProgramLogDirectory&) = delete;
    ProgramLogDirectory& operator=(const ProgramLogDirectory&) = delete;

    // Empty when the folder could not be made.
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};
