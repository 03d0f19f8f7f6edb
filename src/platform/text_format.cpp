// Bounded printf-style formatting with the Windows C library's conventions (see header).
// The launcher formats its own texts instead of relying on the C library it happens to
// be linked with, so "%S" and "%I64d" mean the same in every build.
#include "platform/text_format.h"

#include "platform/text_conversion.h"

#include <cstdint>
#include <cstring>
#include <cwchar>

namespace {

struct FieldFormat {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    bool zero = false;
    int width = 0;
    int precision = -1;
};

enum class Length { none, shortInt, longInt, longLong, size, wide, narrow };

template <typename Char>
void pad(std::basic_string<Char>& out, size_t count, Char fill)
{
    out.append(count, fill);
}

template <typename Char>
void appendPadded(std::basic_string<Char>& out, const std::basic_string<Char>& body, const FieldFormat& field)
{
    size_t width = field.width > 0 ? static_cast<size_t>(field.width) : 0;
    if (body.size() >= width) {
        out += body;
    } else if (field.left) {
        out += body;
        pad(out, width - body.size(), Char(' '));
    } else {
        pad(out, width - body.size(), Char(' '));
        out += body;
    }
}

template <typename Char>
std::basic_string<Char> integerBody(uint64_t magnitude, bool negative, unsigned base, bool upper,
                                    const FieldFormat& field, bool isSigned)
{
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::basic_string<Char> number;
    while (magnitude != 0) {
        number.insert(number.begin(), Char(digits[magnitude % base]));
        magnitude /= base;
    }
    // The C rule: precision 0 with the value 0 prints no digits.
    if (number.empty() && field.precision != 0) {
        number = std::basic_string<Char>(1, Char('0'));
    }
    if (field.precision > 0 && number.size() < static_cast<size_t>(field.precision)) {
        number.insert(0, static_cast<size_t>(field.precision) - number.size(), Char('0'));
    }
    std::basic_string<Char> prefix;
    if (isSigned) {
        if (negative) {
            prefix = std::basic_string<Char>(1, Char('-'));
        } else if (field.plus) {
            prefix = std::basic_string<Char>(1, Char('+'));
        } else if (field.space) {
            prefix = std::basic_string<Char>(1, Char(' '));
        }
    } else if (field.alternate && base == 16 && !number.empty() && number != std::basic_string<Char>(1, Char('0'))) {
        prefix += Char('0');
        prefix += Char(upper ? 'X' : 'x');
    } else if (field.alternate && base == 8 && (number.empty() || number[0] != Char('0'))) {
        prefix += Char('0');
    }
    if (field.zero && !field.left && field.precision < 0 && field.width > 0) {
        size_t used = prefix.size() + number.size();
        if (used < static_cast<size_t>(field.width)) {
            number.insert(0, static_cast<size_t>(field.width) - used, Char('0'));
        }
    }
    return prefix + number;
}

size_t boundedLength(const char* text, int precision)
{
    if (precision < 0) {
        return std::strlen(text);
    }
    const void* end = std::memchr(text, 0, static_cast<size_t>(precision));
    return end ? static_cast<size_t>(static_cast<const char*>(end) - text) : static_cast<size_t>(precision);
}

size_t boundedLength(const wchar_t* text, int precision)
{
    size_t n = 0;
    while ((precision < 0 || n < static_cast<size_t>(precision)) && text[n] != L'\0') {
        ++n;
    }
    return n;
}

// A narrow string as it appears in a text of the given character type.
std::string asText(const char* text, size_t length, char*) { return std::string(text, length); }
std::wstring asText(const char* text, size_t length, wchar_t*) { return widenBytes(std::string(text, length)); }
std::string asText(const wchar_t* text, size_t length, char*)
{
    return narrowForDisplay(std::wstring(text, length));
}
std::wstring asText(const wchar_t* text, size_t length, wchar_t*) { return std::wstring(text, length); }

// Flags, width and precision of a conversion; `p` is behind its '%'. Returns the position
// behind them. A "*" takes its value from the arguments.
template <typename Char>
const Char* readField(const Char* p, va_list* args, FieldFormat* field)
{
    for (;; ++p) {
        if (*p == Char('-')) field->left = true;
        else if (*p == Char('+')) field->plus = true;
        else if (*p == Char(' ')) field->space = true;
        else if (*p == Char('#')) field->alternate = true;
        else if (*p == Char('0')) field->zero = true;
        else break;
    }
    if (*p == Char('*')) {
        field->width = va_arg(*args, int);
        if (field->width < 0) {
            field->left = true;
            field->width = field->width == INT32_MIN ? 0 : -field->width;
        }
        ++p;
    } else {
        while (*p >= Char('0') && *p <= Char('9')) {
            if (field->width < 100000) field->width = field->width * 10 + static_cast<int>(*p - Char('0'));
            ++p;
        }
    }
    if (*p == Char('.')) {
        ++p;
        field->precision = 0;
        if (*p == Char('*')) {
            field->precision = va_arg(*args, int);
            if (field->precision < 0) field->precision = -1;
            ++p;
        } else {
            while (*p >= Char('0') && *p <= Char('9')) {
                if (field->precision < 100000) field->precision = field->precision * 10 + static_cast<int>(*p - Char('0'));
                ++p;
            }
        }
    }
    return p;
}

// The length modifier: "h", "hh", "l", "ll", "I64", "I32", "I", "z", "j", "t" or "w".
template <typename Char>
const Char* readLength(const Char* p, Length* length)
{
    *length = Length::none;
    if (*p == Char('h')) {
        *length = Length::shortInt;
        ++p;
        if (*p == Char('h')) ++p;
    } else if (*p == Char('l')) {
        *length = Length::longInt;
        ++p;
        if (*p == Char('l')) {
            *length = Length::longLong;
            ++p;
        }
    } else if (*p == Char('I')) {
        if (p[1] == Char('6') && p[2] == Char('4')) {
            *length = Length::longLong;
            p += 3;
        } else if (p[1] == Char('3') && p[2] == Char('2')) {
            p += 3;
        } else {
            *length = Length::size;
            ++p;
        }
    } else if (*p == Char('z') || *p == Char('j') || *p == Char('t')) {
        *length = Length::size;
        ++p;
    } else if (*p == Char('w')) {
        *length = Length::wide;
        ++p;
    }
    return p;
}

// "%d" "%i" "%u" "%x" "%X" "%o" and "%p".
template <typename Char>
std::basic_string<Char> integerText(Char conversion, Length length, const FieldFormat& field, va_list* args)
{
    const bool wideValue = length == Length::longLong || length == Length::size;
    if (conversion == Char('d') || conversion == Char('i')) {
        int64_t value;
        if (wideValue) value = va_arg(*args, int64_t);
        else if (length == Length::shortInt) value = static_cast<short>(va_arg(*args, int));
        else value = va_arg(*args, int);  // "l" is 32 bits on Windows
        uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        return integerBody<Char>(magnitude, value < 0, 10, false, field, true);
    }
    if (conversion == Char('p')) {
        // The Windows C library prints a pointer as all its hex digits, upper case.
        FieldFormat pointerField;
        pointerField.precision = static_cast<int>(2 * sizeof(void*));
        uintptr_t value = reinterpret_cast<uintptr_t>(va_arg(*args, void*));
        return integerBody<Char>(value, false, 16, true, pointerField, false);
    }
    uint64_t value;
    if (wideValue) value = va_arg(*args, uint64_t);
    else if (length == Length::shortInt) value = static_cast<unsigned short>(va_arg(*args, unsigned));
    else value = va_arg(*args, unsigned);
    unsigned base = conversion == Char('u') ? 10 : conversion == Char('o') ? 8 : 16;
    return integerBody<Char>(value, false, base, conversion == Char('X'), field, false);
}

// "%c" "%C" "%s" "%S": the lower-case conversion takes the format's own character width,
// the upper-case one the other; "l" and "w" make it wide, "h" narrow.
template <typename Char>
std::basic_string<Char> textOf(Char conversion, Length length, const FieldFormat& field, va_list* args)
{
    const bool wideFormat = sizeof(Char) == sizeof(wchar_t);
    const bool lower = conversion == Char('c') || conversion == Char('s');
    bool wideArgument = lower == wideFormat;
    if (length == Length::longInt || length == Length::wide) wideArgument = true;
    if (length == Length::shortInt) wideArgument = false;
    Char* target = nullptr;
    if (conversion == Char('c') || conversion == Char('C')) {
        int value = va_arg(*args, int);
        if (wideArgument) {
            wchar_t w[2] = {static_cast<wchar_t>(value), L'\0'};
            return asText(w, 1, target);
        }
        char c[2] = {static_cast<char>(value), '\0'};
        return asText(c, 1, target);
    }
    if (wideArgument) {
        const wchar_t* text = va_arg(*args, const wchar_t*);
        if (text == nullptr) text = L"(null)";
        return asText(text, boundedLength(text, field.precision), target);
    }
    const char* text = va_arg(*args, const char*);
    if (text == nullptr) text = "(null)";
    return asText(text, boundedLength(text, field.precision), target);
}

template <typename Char>
std::basic_string<Char> formatAll(const Char* format, va_list* args)
{
    std::basic_string<Char> out;
    if (format == nullptr) {
        return out;
    }
    for (const Char* p = format; *p != Char('\0'); ++p) {
        if (*p != Char('%')) {
            out += *p;
            continue;
        }
        const Char* start = p;
        FieldFormat field;
        Length length;
        p = readLength(readField(p + 1, args, &field), &length);
        const Char conversion = *p;
        switch (conversion) {
        case Char('d'):
        case Char('i'):
        case Char('u'):
        case Char('x'):
        case Char('X'):
        case Char('o'):
        case Char('p'):
            appendPadded(out, integerText(conversion, length, field, args), field);
            break;
        case Char('c'):
        case Char('C'):
        case Char('s'):
        case Char('S'):
            appendPadded(out, textOf(conversion, length, field, args), field);
            break;
        case Char('%'):
            out += Char('%');
            break;
        default:
            // Unknown or truncated conversion: keep it as written, consume no argument.
            out.append(start, static_cast<size_t>(p - start) + (conversion != Char('\0') ? 1 : 0));
            if (conversion == Char('\0')) {
                return out;
            }
            break;
        }
    }
    return out;
}

template <typename Char>
bool copyBounded(Char* buffer, size_t capacity, const Char* source, size_t length)
{
    if (buffer == nullptr || capacity == 0) {
        return length == 0;
    }
    size_t n = length < capacity ? length : capacity - 1;
    std::memcpy(buffer, source, n * sizeof(Char));
    buffer[n] = Char('\0');
    return n == length;
}

} // namespace

std::string formatStringV(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    std::string result = formatAll<char>(format, &copy);
    va_end(copy);
    return result;
}

std::wstring formatStringVW(const wchar_t* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    std::wstring result = formatAll<wchar_t>(format, &copy);
    va_end(copy);
    return result;
}

bool formatTextV(char* buffer, size_t capacity, const char* format, va_list args)
{
    std::string text = formatStringV(format, args);
    return copyBounded(buffer, capacity, text.c_str(), text.size());
}

bool formatTextVW(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args)
{
    std::wstring text = formatStringVW(format, args);
    return copyBounded(buffer, capacity, text.c_str(), text.size());
}

bool formatText(char* buffer, size_t capacity, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    bool fit = formatTextV(buffer, capacity, format, args);
    va_end(args);
    return fit;
}

bool formatTextW(wchar_t* buffer, size_t capacity, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    bool fit = formatTextVW(buffer, capacity, format, args);
    va_end(args);
    return fit;
}

bool copyText(char* buffer, size_t capacity, const char* source)
{
    if (source == nullptr) source = "";
    return copyBounded(buffer, capacity, source, std::strlen(source));
}

bool copyTextW(wchar_t* buffer, size_t capacity, const wchar_t* source)
{
    if (source == nullptr) source = L"";
    return copyBounded(buffer, capacity, source, std::wcslen(source));
}

bool appendText(char* buffer, size_t capacity, const char* source)
{
    if (buffer == nullptr || capacity == 0) return false;
    size_t used = boundedLength(buffer, static_cast<int>(capacity - 1 < INT32_MAX ? capacity - 1 : INT32_MAX));
    return copyText(buffer + used, capacity - used, source);
}

bool appendTextW(wchar_t* buffer, size_t capacity, const wchar_t* source)
{
    if (buffer == nullptr || capacity == 0) return false;
    size_t used = boundedLength(buffer, static_cast<int>(capacity - 1 < INT32_MAX ? capacity - 1 : INT32_MAX));
    return copyTextW(buffer + used, capacity - used, source);
}
