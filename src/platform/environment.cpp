// Environment variables read whole, and set only when the system can hold them.
#include "platform/environment.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

std::string environmentValue(const char* name)
{
    // From the environment block itself: GetEnvironmentVariable reports lengths that do
    // not fit 16 bits wrongly on some systems and would hand back a cut value.
    std::string value;
    char* block = GetEnvironmentStringsA();
    if (block == nullptr) {
        return value;
    }
    const size_t nameLength = std::strlen(name);
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
        // Names compare without case; the hidden "=C:" entries have no name.
        if (entry[0] != '=' && _strnicmp(entry, name, nameLength) == 0 && entry[nameLength] == '=') {
            value = entry + nameLength + 1;
            break;
        }
    }
    FreeEnvironmentStringsA(block);
    return value;
}

bool setEnvironmentValue(const char* name, const std::string& value)
{
    // A longer value is refused by the system or, worse, stored cut.
    if (value.size() > kEnvironmentValueCapacity) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (!SetEnvironmentVariableA(name, value.c_str())) {
        return false;
    }
    // The C runtime's copy too, so that the VM and the libraries it loads see the same value.
    std::string assignment = std::string(name) + "=" + value;
    _putenv(assignment.c_str());
    return true;
}

bool environmentValueW(const wchar_t* name, std::wstring* value)
{
    // From the block, as environmentValue reads it. Names compare as the system compares
    // them, without regard to case in any script.
    wchar_t* block = GetEnvironmentStringsW();
    if (block == nullptr) {
        return false;
    }
    const int nameLength = static_cast<int>(std::wcslen(name));
    bool found = false;
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        const wchar_t* equals = entry[0] == L'=' ? nullptr : std::wcschr(entry, L'=');
        if (equals != nullptr && equals - entry == nameLength &&
            CompareStringOrdinal(entry, nameLength, name, nameLength, TRUE) == CSTR_EQUAL) {
            value->assign(equals + 1);
            found = true;
            break;
        }
    }
    FreeEnvironmentStringsW(block);
    return found;
}

bool setEnvironmentValueW(const wchar_t* name, const std::wstring* value)
{
    if (value != nullptr && value->size() > kEnvironmentValueCapacity) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    // Removing a variable that is not set is no failure.
    if (!SetEnvironmentVariableW(name, value != nullptr ? value->c_str() : nullptr) &&
        (value != nullptr || GetLastError() != ERROR_ENVVAR_NOT_FOUND)) {
        return false;
    }
    // The C runtime's copy, which the libraries the VM loads read through getenv; "NAME="
    // removes a variable there.
    std::wstring assignment = std::wstring(name) + L"=" + (value != nullptr ? *value : std::wstring());
    _wputenv(assignment.c_str());
    return true;
}

unsigned long takeEnvironmentSecret(const char* name, wchar_t* out, unsigned long capacity)
{
    const std::wstring wideName(name, name + std::strlen(name));  // names are ASCII
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), out, capacity);
    if (length >= capacity && capacity > 0) {
        SecureZeroMemory(out, capacity * sizeof(wchar_t));
    }
    SetEnvironmentVariableW(wideName.c_str(), nullptr);
    const std::string removal = std::string(name) + "=";
    _putenv(removal.c_str());
    return length;
}
