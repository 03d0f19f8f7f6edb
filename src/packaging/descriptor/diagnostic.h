// A descriptor's errors as the packager prints them: each at its place in the descriptor,
// one line per error ("file:line:column: error: message"), values quoted with their
// control characters escaped and long ones cut. Pure functions.
#pragma once

#include <string>

namespace packager {

// One error, with the position in the descriptor it is about (1-based; 1:1 when the
// descriptor lacks the thing altogether).
struct Diagnostic {
    std::string file;
    int line = 1;
    int column = 1;
    std::string message;
};

// A value as an error message echoes it: quoted, control characters escaped ("\n",
// "\0", "\x1B"), and a long one cut: "AAAA…" (10485760 characters).
std::string shownText(const std::string& utf8);
// The text with its control characters escaped so, unquoted and whole.
std::string escapedText(const std::string& text);

// "file:line:column: error: message", the one line the packager prints per error.
std::string formatDiagnostic(const Diagnostic& diagnostic);

} // namespace packager
