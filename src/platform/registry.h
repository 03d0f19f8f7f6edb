// The registry, the one place that calls it: open, create and delete a key, read a text,
// a number, a fixed run of bytes or the names of the sub-keys, and write the few values
// the launcher keeps. Every read says what it found: the value, or that it is missing, of
// another type, or too long for the caller's buffer. Names and texts are narrow, in the
// system code page (the registry's ANSI functions convert them), or wide where a key or
// value is named after something the system may spell in any script (a service).
#pragma once

#include "platform/handle.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

enum class RegistryStatus {
    ok,
    missing,    // no such key or value
    wrongType,  // a value of another type (for a number or bytes: also of another size)
    tooLong,    // a text that does not fit the caller's buffer; sub-keys past the limits
    failed,     // any other error of the system, in RegistryResult::error
};

struct RegistryResult {
    RegistryStatus status = RegistryStatus::ok;
    LONG error = ERROR_SUCCESS;  // the system's code behind the status
    DWORD type = REG_NONE;       // the type of the value found, where a value was read

    bool ok() const { return status == RegistryStatus::ok; }
};

// The key `path` below `parent`, opened with `access` (read-only unless asked otherwise;
// add KEY_WOW64_64KEY for the 64-bit view), or an empty handle. `result`, when given,
// says why there is none.
UniqueKey openRegistryKey(HKEY parent, const char* path, REGSAM access = KEY_READ,
                          RegistryResult* result = nullptr);
// The same, created with its missing parents when it does not exist; for writing values.
UniqueKey createRegistryKey(HKEY parent, const char* path, REGSAM access = KEY_SET_VALUE,
                            RegistryResult* result = nullptr);
// Deletes the key `path` below `parent`, which must have no sub-keys; missing when there
// was none.
RegistryResult deleteRegistryKey(HKEY parent, const char* path);
// The same three with a wide path.
UniqueKey openRegistryKey(HKEY parent, const wchar_t* path, REGSAM access = KEY_READ,
                          RegistryResult* result = nullptr);
UniqueKey createRegistryKey(HKEY parent, const wchar_t* path, REGSAM access = KEY_SET_VALUE,
                            RegistryResult* result = nullptr);
RegistryResult deleteRegistryKey(HKEY parent, const wchar_t* path);

// Which value types a text may have: REG_SZ only, or REG_EXPAND_SZ too (read as it is
// stored, its references not expanded).
enum class RegistryText { plain, plainOrExpandable };

// Reads a text into `buffer`, always terminated (capacity > 0); on any status but ok the
// buffer is "". A text fits when it has at most capacity - 1 characters, whether the
// registry keeps its terminator or not (writers differ); a longer one is tooLong, never
// cut. The text ends at its first NUL.
RegistryResult readRegistryText(HKEY key, const char* name, char* buffer, size_t capacity,
                                RegistryText types = RegistryText::plain);
// The same in wide characters, for texts that name files: `capacity` counts characters.
RegistryResult readRegistryTextW(HKEY key, const wchar_t* name, wchar_t* buffer, size_t capacity,
                                 RegistryText types = RegistryText::plain);
// Reads a REG_DWORD; `value` is 0 unless the result is ok.
RegistryResult readRegistryNumber(HKEY key, const char* name, DWORD* value);
// Reads a REG_BINARY of exactly `size` bytes; `buffer` is zeroed unless the result is ok.
RegistryResult readRegistryBytes(HKEY key, const char* name, void* buffer, size_t size);
// The same two with a wide value name.
RegistryResult readRegistryNumber(HKEY key, const wchar_t* name, DWORD* value);
RegistryResult readRegistryBytes(HKEY key, const wchar_t* name, void* buffer, size_t size);

// Sub-key names longer than this many bytes, terminator included, are left out. A key
// name has at most 255 characters, and in the system code page each takes at most three
// bytes (UTF-8), so no name the registry can hold is.
constexpr size_t kRegistryNameCapacity = 1024;
// At most this many sub-keys are read: far more than any key the launcher reads has, and
// an end to an enumeration that keeps failing.
constexpr size_t kRegistryMaxSubKeys = 10000;

// The names of the sub-keys of `key`, in the order the registry gives them: all that
// could be read, whatever `result` (when given) says. Names past kRegistryNameCapacity
// are left out and the enumeration stops after kRegistryMaxSubKeys entries, both tooLong;
// an entry that cannot be read is passed over and a key deleted meanwhile ends the list,
// both failed.
std::vector<std::string> readSubKeyNames(HKEY key, RegistryResult* result = nullptr);

// Writes a text of type REG_SZ or REG_EXPAND_SZ, with its terminator.
RegistryResult writeRegistryText(HKEY key, const char* name, const char* text, DWORD type = REG_SZ);
RegistryResult writeRegistryNumber(HKEY key, const char* name, DWORD value);
RegistryResult writeRegistryBytes(HKEY key, const char* name, const void* data, size_t size);
