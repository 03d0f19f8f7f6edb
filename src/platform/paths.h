// Path primitives: the executable's own path and directory, resolution of paths relative
// to it, normalisation, existence tests, a usable temporary directory and unique names.
// Paths are narrow (file-API code page) or wide (UTF-16); buffers take their capacity.
#pragma once

#include <cstddef>
#include <cstdint>

// The executable's path, narrow and guaranteed usable with narrow file functions
// (long form, else short form, else what the system gives), and its wide long form.
// Both are computed once and have repeated backslashes collapsed.
const char* getModulePath();
const wchar_t* getModulePathW();
// The executable's directory, ending with a backslash: narrow; the narrow one widened
// byte by byte; and the directory of the wide long path.
const char* getModuleDir();
const wchar_t* getModuleDirWidened();
const wchar_t* getModuleDirW();

// A path is absolute when it starts with "X:\" or with two backslashes (after an
// optional leading double quote); everything else is relative.
bool isRelativePath(const char* path);
bool isRelativePathW(const wchar_t* path);

// A relative path is put behind the directory of the reference file, or behind the
// executable's directory; an absolute one is taken as it is. Every backslash that follows
// a backslash is dropped, except that the leading pair of a network path stays; the
// narrow form keeps the text when the round trip through UTF-16 would need a replacement
// character. False when the result does not fit `capacity` (the log names the path): the
// buffer then holds a cut path, which names another file and must not be used.
[[nodiscard]] bool resolvePath(char* out, size_t capacity, const char* path, const char* referenceFile = nullptr);
[[nodiscard]] bool resolvePathW(wchar_t* out, size_t capacity, const wchar_t* path, bool useNarrowDir,
                                const wchar_t* referenceFile = nullptr);
// resolvePath, then the system's full path (no "." or ".." steps), lower-cased (A-Z only)
// unless keepCase is set, with backslashes collapsed. False, as resolvePath, when the
// result does not fit.
[[nodiscard]] bool getFullPath(char* out, size_t capacity, const char* path, bool keepCase);
[[nodiscard]] bool getFullPathW(wchar_t* out, size_t capacity, const wchar_t* path, bool useNarrowDir, bool keepCase);

// True when the file or directory exists; a drive root exists without a test. A path with
// a trailing backslash (other than a drive root) is reported missing. The last-write time
// (a 64-bit file time) is returned when asked for.
bool fileExists(const char* path, uint64_t* lastWriteTime = nullptr);
bool fileExistsW(const wchar_t* path, uint64_t* lastWriteTime = nullptr);
// True when the path is a drive root ("X:\", "X:\." or "X:\.\.").
bool isDriveRootW(const wchar_t* path);

// True when a subdirectory can be created in the directory.
bool isDirWritableW(const wchar_t* directory);

// A usable temporary directory: the system's, else the first writable fallback (the
// Windows directory's "temp", "c:\temp", "c:\tmp", the Windows directory, a new "c:\tmp").
// The narrow form also passes over a directory that the code page cannot express. False
// when there is none (the caller reports message 1015).
[[nodiscard]] bool getTempPath(char* out, size_t capacity);
[[nodiscard]] bool getTempPathW(wchar_t* out, size_t capacity);
// A unique temporary file name with the prefix "qll" in the narrow temporary directory;
// the system creates the empty file. Where it cannot, makeRandomTempName's name, not
// created. False when there is no temporary directory or the name does not fit (then no
// file is left behind).
[[nodiscard]] bool makeTempFileName(char* out, size_t capacity);
// "qll" and 16 hex digits of the system's random generator, in `directory`.
[[nodiscard]] bool makeRandomTempName(const char* directory, char* out, size_t capacity);
