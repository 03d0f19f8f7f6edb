// The registry through one set of functions, so that the rules for what fits, what a
// missing value is and which types count are the same for every reader.
#include "platform/registry.h"

#include <climits>
#include <cstring>

namespace {

RegistryResult resultOf(LONG error, DWORD type = REG_NONE)
{
    RegistryResult result;
    result.error = error;
    result.type = type;
    switch (error) {
    case ERROR_SUCCESS:
        result.status = RegistryStatus::ok;
        break;
    case ERROR_FILE_NOT_FOUND:
        result.status = RegistryStatus::missing;
        break;
    case ERROR_MORE_DATA:
        result.status = RegistryStatus::tooLong;
        break;
    default:
        result.status = RegistryStatus::failed;
        break;
    }
    return result;
}

RegistryResult wrongType(DWORD type)
{
    RegistryResult result;
    result.status = RegistryStatus::wrongType;
    result.error = ERROR_DATATYPE_MISMATCH;
    result.type = type;
    return result;
}

bool isAcceptedText(DWORD type, RegistryText types)
{
    return type == REG_SZ || (type == REG_EXPAND_SZ && types == RegistryText::plainOrExpandable);
}

// The system's functions by the width of the names, for the functions below that take both.
LONG queryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size)
{
    return RegQueryValueExA(key, name, nullptr, type, data, size);
}
LONG queryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size)
{
    return RegQueryValueExW(key, name, nullptr, type, data, size);
}
LONG openKey(HKEY parent, const char* path, REGSAM access, HKEY* key)
{
    return RegOpenKeyExA(parent, path, 0, access, key);
}
LONG openKey(HKEY parent, const wchar_t* path, REGSAM access, HKEY* key)
{
    return RegOpenKeyExW(parent, path, 0, access, key);
}
LONG createKey(HKEY parent, const char* path, REGSAM access, HKEY* key)
{
    return RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key, nullptr);
}
LONG createKey(HKEY parent, const wchar_t* path, REGSAM access, HKEY* key)
{
    return RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key, nullptr);
}
LONG deleteKey(HKEY parent, const char* path) { return RegDeleteKeyA(parent, path); }
LONG deleteKey(HKEY parent, const wchar_t* path) { return RegDeleteKeyW(parent, path); }

// A value of exactly `size` bytes and of type `wanted` into `buffer`; anything else
// leaves the buffer zeroed.
template <typename Char>
RegistryResult readFixed(HKEY key, const Char* name, DWORD wanted, void* buffer, size_t size)
{
    std::memset(buffer, 0, size);
    if (size > ULONG_MAX) {
        return wrongType(REG_NONE);
    }
    DWORD type = REG_NONE;
    DWORD read = static_cast<DWORD>(size);
    LONG error = queryValue(key, name, &type, static_cast<BYTE*>(buffer), &read);
    if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) {
        return resultOf(error, type);
    }
    // A longer value is of another form too: its first bytes are not the number.
    if (type != wanted || error == ERROR_MORE_DATA || read != size) {
        std::memset(buffer, 0, size);
        return wrongType(type);
    }
    return resultOf(ERROR_SUCCESS, type);
}

RegistryResult writeValue(HKEY key, const char* name, DWORD type, const void* data, size_t size)
{
    if (size > ULONG_MAX) {
        return resultOf(ERROR_INVALID_PARAMETER);
    }
    return resultOf(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)));
}

template <typename Char>
UniqueKey openKeyOf(HKEY parent, const Char* path, REGSAM access, RegistryResult* result, bool create)
{
    UniqueKey key;
    LONG error = create ? createKey(parent, path, access, key.put()) : openKey(parent, path, access, key.put());
    if (error != ERROR_SUCCESS) {
        // Whatever the system left in the handle on failure is no key to close.
        key.release();
    }
    if (result != nullptr) {
        *result = resultOf(error);
    }
    return key;
}

} // namespace

UniqueKey openRegistryKey(HKEY parent, const char* path, REGSAM access, RegistryResult* result)
{
    return openKeyOf(parent, path, access, result, false);
}

UniqueKey openRegistryKey(HKEY parent, const wchar_t* path, REGSAM access, RegistryResult* result)
{
    return openKeyOf(parent, path, access, result, false);
}

UniqueKey createRegistryKey(HKEY parent, const char* path, REGSAM access, RegistryResult* result)
{
    return openKeyOf(parent, path, access, result, true);
}

UniqueKey createRegistryKey(HKEY parent, const wchar_t* path, REGSAM access, RegistryResult* result)
{
    return openKeyOf(parent, path, access, result, true);
}

RegistryResult deleteRegistryKey(HKEY parent, const char* path)
{
    return resultOf(deleteKey(parent, path));
}

RegistryResult deleteRegistryKey(HKEY parent, const wchar_t* path)
{
    return resultOf(deleteKey(parent, path));
}

RegistryResult readRegistryText(HKEY key, const char* name, char* buffer, size_t capacity, RegistryText types)
{
    if (capacity == 0) {
        return resultOf(ERROR_MORE_DATA);
    }
    buffer[0] = '\0';
    // Larger buffers than a DWORD counts are read as if they had that capacity.
    const DWORD room = capacity > ULONG_MAX ? ULONG_MAX : static_cast<DWORD>(capacity);
    DWORD type = REG_NONE;
    DWORD size = room;
    LONG error = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) {
        buffer[0] = '\0';
        return resultOf(error, type);
    }
    // The type first: a long value of another kind is not a text that is too long.
    if (!isAcceptedText(type, types)) {
        buffer[0] = '\0';
        return wrongType(type);
    }
    if (error == ERROR_MORE_DATA) {
        buffer[0] = '\0';
        return resultOf(error, type);
    }
    if (size > 0 && buffer[size - 1] == '\0') {
        return resultOf(ERROR_SUCCESS, type);
    }
    // Stored without its terminator: it fits only with room left to end it.
    if (size == room) {
        buffer[0] = '\0';
        return resultOf(ERROR_MORE_DATA, type);
    }
    buffer[size] = '\0';
    return resultOf(ERROR_SUCCESS, type);
}

RegistryResult readRegistryTextW(HKEY key, const wchar_t* name, wchar_t* buffer, size_t capacity, RegistryText types)
{
    if (capacity == 0) {
        return resultOf(ERROR_MORE_DATA);
    }
    buffer[0] = L'\0';
    // The size in bytes, of as many characters as a DWORD counts.
    const size_t characters = capacity > ULONG_MAX / sizeof(wchar_t) ? ULONG_MAX / sizeof(wchar_t) : capacity;
    const DWORD room = static_cast<DWORD>(characters * sizeof(wchar_t));
    DWORD type = REG_NONE;
    DWORD size = room;
    LONG error = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) {
        buffer[0] = L'\0';
        return resultOf(error, type);
    }
    if (!isAcceptedText(type, types)) {
        buffer[0] = L'\0';
        return wrongType(type);
    }
    if (error == ERROR_MORE_DATA) {
        buffer[0] = L'\0';
        return resultOf(error, type);
    }
    // An odd byte count ends in half a character, which is dropped.
    const size_t length = size / sizeof(wchar_t);
    if (length > 0 && buffer[length - 1] == L'\0') {
        return resultOf(ERROR_SUCCESS, type);
    }
    if (length == characters) {
        buffer[0] = L'\0';
        return resultOf(ERROR_MORE_DATA, type);
    }
    buffer[length] = L'\0';
    return resultOf(ERROR_SUCCESS, type);
}

RegistryResult readRegistryNumber(HKEY key, const char* name, DWORD* value)
{
    return readFixed(key, name, REG_DWORD, value, sizeof *value);
}

RegistryResult readRegistryBytes(HKEY key, const char* name, void* buffer, size_t size)
{
    return readFixed(key, name, REG_BINARY, buffer, size);
}

RegistryResult readRegistryNumber(HKEY key, const wchar_t* name, DWORD* value)
{
    return readFixed(key, name, REG_DWORD, value, sizeof *value);
}

RegistryResult readRegistryBytes(HKEY key, const wchar_t* name, void* buffer, size_t size)
{
    return readFixed(key, name, REG_BINARY, buffer, size);
}

std::vector<std::string> readSubKeyNames(HKEY key, RegistryResult* result)
{
    std::vector<std::string> names;
    RegistryResult outcome;
    for (DWORD index = 0;; ++index) {
        char name[kRegistryNameCapacity];
        DWORD length = sizeof name;
        LONG error = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (index == kRegistryMaxSubKeys) {
            outcome = resultOf(ERROR_MORE_DATA);
            break;
        }
        if (error == ERROR_KEY_DELETED || error == ERROR_INVALID_HANDLE) {
            outcome = resultOf(error);
            break;
        }
        if (error == ERROR_SUCCESS) {
            names.emplace_back(name, length);
        } else if (outcome.ok() || error == ERROR_MORE_DATA) {
            // A name too long says more than an entry that could not be read.
            outcome = resultOf(error);
        }
    }
    if (result != nullptr) {
        *result = outcome;
    }
    return names;
}

RegistryResult writeRegistryText(HKEY key, const char* name, const char* text, DWORD type)
{
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return wrongType(type);
    }
    return writeValue(key, name, type, text, std::strlen(text) + 1);
}

RegistryResult writeRegistryNumber(HKEY key, const char* name, DWORD value)
{
    return writeValue(key, name, REG_DWORD, &value, sizeof value);
}

RegistryResult writeRegistryBytes(HKEY key, const char* name, const void* data, size_t size)
{
    return writeValue(key, name, REG_BINARY, data, size);
}
