// How the launcher reads the text of an integer or list record. Portable C++.
#pragma once

#include <string>
#include <vector>

namespace blockformat {

// A base-10 integer record with the C library's strtol rules on the whole text: leading
// blanks, a sign, digits up to the first non-digit, clamped to the 32-bit limits; no
// digits give 0.
int parseRecordInt(const char* text);

// Splits at a separator, keeping empty pieces ("a;;b;" gives "a", "", "b", "").
std::vector<std::string> splitList(const std::string& text, char separator);

} // namespace blockformat
