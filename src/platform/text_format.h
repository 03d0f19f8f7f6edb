// Bounded text formatting with the printf conventions of the Windows C library, which
// every log line and composed message of the launcher uses:
//   narrow formats: "%s" narrow string, "%S" wide string;
//   wide formats:   "%s" wide string,   "%S" narrow string;
//   "%d" "%i" "%u" "%x" "%X" "%o" "%c" "%p" "%%", with the length modifiers
//   "h", "l", "ll", "I64", "I32", "I" and "z", flags "-+ #0", width and precision
//   (both may be "*").
// A narrow string printed into a wide text is widened byte by byte; a wide string
// printed into a narrow text goes through narrowForDisplay (platform/text_conversion.h).
// Every function that fills a buffer takes its capacity, never writes past it,
// always terminates (capacity > 0) and tells whether the whole text fit. A cut text
// names another file, class or option: the caller decides what to do instead, so the
// answer cannot be dropped unnoticed.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// Most text buffers of the launcher hold this many characters, terminator included.
constexpr int kTextCapacity = 6000;

#if defined(__MINGW32__)
#define LAUNCHER_PRINTF(fmt, args) __attribute__((format(ms_printf, fmt, args)))
#else
#define LAUNCHER_PRINTF(fmt, args)
#endif

[[nodiscard]] bool formatText(char* buffer, size_t capacity, const char* format, ...) LAUNCHER_PRINTF(3, 4);
[[nodiscard]] bool formatTextV(char* buffer, size_t capacity, const char* format, va_list args);
[[nodiscard]] bool formatTextW(wchar_t* buffer, size_t capacity, const wchar_t* format, ...);
[[nodiscard]] bool formatTextVW(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args);

// Unbounded forms, for texts whose size the caller does not fix (log lines).
std::string formatStringV(const char* format, va_list args);
std::wstring formatStringVW(const wchar_t* format, va_list args);

// Truncating copy and append; true when the whole source fit.
[[nodiscard]] bool copyText(char* buffer, size_t capacity, const char* source);
[[nodiscard]] bool copyTextW(wchar_t* buffer, size_t capacity, const wchar_t* source);
[[nodiscard]] bool appendText(char* buffer, size_t capacity, const char* source);
[[nodiscard]] bool appendTextW(wchar_t* buffer, size_t capacity, const wchar_t* source);

// Empties the buffer; a capacity of 0 leaves it untouched.
template <typename Char>
inline void clearText(Char* buffer, size_t capacity)
{
    if (buffer != nullptr && capacity > 0) {
        buffer[0] = Char(0);
    }
}

// For a text that is only shown to people (a message box, a log line, a message's
// argument): shown cut when it did not fit, which is better than not shown at all.
inline void showCut(bool /*fit*/) {}
