// Error lines: escaped, quoted and cut texts.
#include "packaging/descriptor/diagnostic.h"

#include <cstdio>

namespace packager {

std::string escapedText(const std::string& text)
{
    std::string out;
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\0') {
            out += "\\0";
        } else if (u < 0x20 || u == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out;
}

std::string shownText(const std::string& utf8)
{
    constexpr size_t kShown = 40;  // characters echoed of a longer text
    size_t characters = 0;
    size_t cut = utf8.size();
    for (size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
            if (characters == kShown) {
                cut = i;
            }
            ++characters;
        }
    }
    if (characters <= kShown + 20) {
        return "\"" + escapedText(utf8) + "\"";
    }
    return "\"" + escapedText(utf8.substr(0, cut)) + "\u2026\" (" + std::to_string(characters) + " characters)";
}

std::string formatDiagnostic(const Diagnostic& diagnostic)
{
    // One line per error, and a short one, whatever the message quotes from the descriptor.
    constexpr size_t kLongest = 1000;
    std::string message = escapedText(diagnostic.message);
    if (message.size() > kLongest) {
        size_t cut = kLongest;
        while (cut > 0 && (static_cast<unsigned char>(message[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        message = message.substr(0, cut) + "\u2026 (" + std::to_string(diagnostic.message.size()) + " bytes)";
    }
    return diagnostic.file + ":" + std::to_string(diagnostic.line) + ":" + std::to_string(diagnostic.column) +
           ": error: " + message;
}

} // namespace packager
