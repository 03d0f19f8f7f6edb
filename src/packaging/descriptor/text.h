// Text conversions between the descriptor (UTF-8) and the configuration block. Pure
// functions.
#pragma once

#include <string>

namespace packager {

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::u16string utf8ToUtf16(const std::string& text);

// The launcher widens a narrow configuration text byte by byte (byte 0xE9 becomes U+00E9),
// so narrow texts are stored in ISO-8859-1. False when the text holds a character above
// U+00FF or is not valid UTF-8.
bool utf8ToLatin1(const std::string& utf8, std::string* latin1);
std::string latin1ToUtf8(const std::string& latin1);

// UTF-16 to UTF-8. False for an unpaired surrogate, which no descriptor can express.
bool utf16ToUtf8(const std::u16string& text, std::string* utf8);

} // namespace packager
