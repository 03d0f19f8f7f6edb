// The configuration store: every setting of a packaged application, keyed by its
// configuration identifier. Filled once at start-up by the loader, read-only afterwards.
#pragma once

#include "format/record_text.h"

#include <cstdint>
#include <map>
#include <string>

struct ConfigStore {
    std::map<int32_t, std::string> narrow;   // system code page
    std::map<int32_t, std::wstring> wide;    // localisable texts
};

// The process's store.
ConfigStore& configStore();

// Stores a value; a later value of the same identifier replaces the earlier one.
// The text ends at its first NUL, as the launcher reads every value as a C string.
void setConfigString(int32_t id, const std::string& value);
void setConfigWideString(int32_t id, const std::wstring& value);

// Copies at most capacity - 1 bytes and always terminates; an absent identifier gives "".
// True when the whole value fit. A longer value is cut and the cut logged with the
// identifier; the caller treats a cut path, name or list as unusable.
[[nodiscard]] bool getConfigString(int32_t id, char* buffer, int capacity);
// Base-10 signed 32-bit value of the whole text; absent, empty or non-numeric values give 0.
int getConfigInt(int32_t id);
// A copy of the narrow value ("" when absent).
std::string dupConfigString(int32_t id);
// The narrow value widened byte by byte; cut and answered like getConfigString.
[[nodiscard]] bool getConfigWString(int32_t id, wchar_t* buffer, int capacity);
// The wide-table value (after the locale overrides); cut and answered like getConfigString.
[[nodiscard]] bool getLocalizedText(int32_t id, wchar_t* buffer, int capacity);

// An integer record's text as the launcher reads it: the C library's strtol rules on the
// whole text, clamped to the 32-bit limits.
inline int parseConfigInt(const char* text)
{
    return blockformat::parseRecordInt(text);
}
