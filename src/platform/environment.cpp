// Environment variables read whole.
#include "platform/environment.h"

#include <windows.h>

#include <vector>

std::string environmentValue(const char* name)
{
    // The value may change between the two calls; a second size answer means "try again".
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD needed = GetEnvironmentVariableA(name, nullptr, 0);
        if (needed == 0) {
            return std::string();
        }
        std::vector<char> value(needed + 1, '\0');
        DWORD n = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
        if (n < value.size()) {
            return std::string(value.data(), n);
        }
    }
    return std::string();
}
