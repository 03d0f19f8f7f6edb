// Environment variables read whole, and set only when the system can hold them.
#include "platform/environment.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
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
