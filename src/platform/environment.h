// Environment variables read whole, whatever their length: values that the launcher
// rewrites (PATH) must never pass through a fixed buffer that could cut them.
#pragma once

#include <string>

// The variable's value; "" when it is not set.
std::string environmentValue(const char* name);
