// Text conversions between the descriptor (UTF-8) and the configuration block, and the
// joining of option lists into the launcher's command-line form. Pure functions.
#pragma once

#include <string>
#include <vector>

namespace packager {

// The launcher widens a narrow configuration text byte by byte (byte 0xE9 becomes U+00E9),
// so narrow texts are stored in ISO-8859-1. False when the text holds a character above
// U+00FF or is not valid UTF-8.
bool utf8ToLatin1(const std::string& utf8, std::string* latin1);
std::string latin1ToUtf8(const std::string& latin1);

// UTF-16 to UTF-8. False for an unpaired surrogate, which no descriptor can express.
bool utf16ToUtf8(const std::u16string& text, std::string* utf8);

// Joins arguments so that the launcher's splitter (a blank separates, double and single
// quotes group and end an argument, no escape character) gives them back unchanged. An
// argument that is empty or holds a blank or a quote is enclosed in the quote it does not
// contain. False (with the index in *bad) for an argument holding both quotes and needing
// them, which that splitter cannot give back.
bool joinCommandLine(const std::vector<std::string>& arguments, std::string* text, size_t* bad);
// The launcher's splitter, on narrow text.
std::vector<std::string> splitCommandLine(const std::string& text);

// Splits at a separator, keeping empty pieces.
std::vector<std::string> splitAt(const std::string& text, char separator);

} // namespace packager
