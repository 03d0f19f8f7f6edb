// Environment variables read whole, whatever their length: values that the launcher
// rewrites (PATH) must never pass through a fixed buffer that could cut them.
#pragma once

#include <cstddef>
#include <string>

// The longest value, in characters, that an environment variable can hold.
constexpr size_t kEnvironmentValueCapacity = 32767;

// The variable's value; "" when it is not set.
std::string environmentValue(const char* name);
// Sets the variable for the system and for the C runtime. A value longer than
// kEnvironmentValueCapacity is refused (false, error ERROR_FILENAME_EXCED_RANGE) and the
// variable keeps its value; false with the system's error when setting fails.
bool setEnvironmentValue(const char* name, const std::string& value);

// The same in UTF-16, as the system keeps its environment, so that any name and value
// survive: false when the variable is not set.
bool environmentValueW(const wchar_t* name, std::wstring* value);
// Sets the variable to `value`, or removes it when `value` is null, for the system and for
// the C runtime. A value longer than kEnvironmentValueCapacity is refused as by
// setEnvironmentValue; false with the system's error when setting or removing fails.
bool setEnvironmentValueW(const wchar_t* name, const std::wstring* value);

// Reads a variable that holds a secret into `out` and removes it from this process's
// environment (the system's and the C runtime's copies), so that no process started
// later inherits it. Returns the system's answer: 0 when it is not set, `capacity` or
// more when it does not fit (`out` is then empty).
unsigned long takeEnvironmentSecret(const char* name, wchar_t* out, unsigned long capacity);
