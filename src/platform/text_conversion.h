// The one place where the launcher converts between narrow and wide text. Each function
// names the code page it uses, so a caller can see what happens to its characters.
#pragma once

#include <windows.h>

#include <string>

// Each byte becomes the UTF-16 code unit of the same value (0x80..0xFF -> U+0080..U+00FF),
// as the C library's "%S" does in its default locale. Used for configuration strings.
std::wstring widenBytes(const std::string& text);

// A wide text for narrow output (log lines, standard error): code units up to U+00FF
// become the byte of the same value, so byte-widened configuration texts come back
// unchanged; any other character goes through the ANSI code page, "?" where it has none.
std::string narrowForDisplay(const std::wstring& text);

// The code page of the file functions: ANSI unless the process switched them to OEM.
UINT fileApiCodePage();

// Conversions in an explicit code page. toNarrow reports whether a character had to be
// replaced by "?", which makes the narrow text unusable as a file name.
std::wstring toWide(const std::string& text, UINT codePage);
std::string toNarrow(const std::wstring& text, UINT codePage, bool* replaced = nullptr);
