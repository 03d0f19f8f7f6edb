// Java version texts as the launcher and the packager both read them: the grammar of a
// version bound that a descriptor may give, and the split of any version text into its
// numbers, which the launcher compares with its bounds and the packager uses to check
// that a range admits a runtime at all. One split for both, so that the packager never
// judges a bound differently from the launcher that reads it. Portable C++ without any
// system header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace javaruntime {

// The components of a version in the order they appear; may be empty (no bound).
using JavaVersion = std::vector<int32_t>;

// The characters between a version's numbers: '.', '_', '-' and '+'.
bool isVersionSeparator(char c);

// Splits at the separators (runs count as one) and converts each piece like strtol in
// base 10 (no leading digits: 0; out of range: clamped to 32 bits). Null or empty: empty.
JavaVersion parseJavaVersion(const char* text);

// True for a version bound written as numbers separated by single separators ("1.8",
// "1.8.0_40", "17", "17.0.2+8"), or the empty text (no bound). parseJavaVersion gives such
// a text's numbers exactly as written.
bool isWellFormedVersion(const std::string& text);

} // namespace javaruntime
