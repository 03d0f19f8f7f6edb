// Descriptor text conversions.
#include "packaging/descriptor_text.h"

#include "packaging/block_writer.h"

namespace packager {

bool utf8ToLatin1(const std::string& utf8, std::string* latin1)
{
    std::u16string wide = blockwriter::utf8ToUtf16(utf8);
    std::string out;
    for (char16_t c : wide) {
        // U+FFFD stands for an invalid sequence; a real U+FFFD is above U+00FF anyway.
        if (c > 0xFF) {
            return false;
        }
        out += static_cast<char>(c);
    }
    *latin1 = out;
    return true;
}

std::string latin1ToUtf8(const std::string& latin1)
{
    std::string out;
    for (char c : latin1) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

bool utf16ToUtf8(const std::u16string& text, std::string* utf8)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                return false;
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xDC00 && code <= 0xDFFF) {
            return false;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    *utf8 = out;
    return true;
}

bool joinCommandLine(const std::vector<std::string>& arguments, std::string* text, size_t* bad)
{
    std::string out;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        bool hasDouble = argument.find('"') != std::string::npos;
        bool hasSingle = argument.find('\'') != std::string::npos;
        bool needsQuotes = argument.empty() || hasDouble || hasSingle || argument.find(' ') != std::string::npos;
        if (i > 0) {
            out += ' ';
        }
        if (!needsQuotes) {
            out += argument;
        } else if (!hasDouble) {
            out += '"' + argument + '"';
        } else if (!hasSingle) {
            out += '\'' + argument + '\'';
        } else {
            if (bad != nullptr) {
                *bad = i;
            }
            return false;
        }
    }
    *text = out;
    return true;
}

std::vector<std::string> splitCommandLine(const std::string& rest)
{
    std::vector<std::string> arguments;
    size_t at = 0;
    while (at < rest.size()) {
        if (rest[at] == ' ') {
            ++at;
            continue;
        }
        size_t doubleQuote = rest.find('"', at);
        size_t singleQuote = rest.find('\'', at);
        size_t blank = rest.find(' ', at);
        if (blank != std::string::npos && blank < doubleQuote && blank < singleQuote) {
            arguments.push_back(rest.substr(at, blank - at));
            at = blank + 1;
            continue;
        }
        char quote;
        size_t open;
        if (doubleQuote != std::string::npos && doubleQuote < singleQuote) {
            quote = '"';
            open = doubleQuote;
        } else if (singleQuote != std::string::npos) {
            quote = '\'';
            open = singleQuote;
        } else {
            arguments.push_back(rest.substr(at));
            break;
        }
        size_t close = rest.find(quote, open + 1);
        std::string argument = rest.substr(at, open - at);
        if (close == std::string::npos) {
            arguments.push_back(argument + rest.substr(open + 1));
            break;
        }
        arguments.push_back(argument + rest.substr(open + 1, close - open - 1));
        at = close + 1;
        if (at < rest.size() && rest[at] == ' ') {
            ++at;
        }
    }
    return arguments;
}

std::vector<std::string> splitAt(const std::string& text, char separator)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    while (true) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

} // namespace packager
