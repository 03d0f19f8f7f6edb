// Errors at their places, and notes.
#include "packaging/descriptor/report.h"

#include <algorithm>

namespace packager {

Report::Report(std::string file) : file_(std::move(file)) {}

Report::Place Report::placeOf(const toml::source_region& where)
{
    return {where.begin.line, where.begin.column};
}

void Report::error(const toml::source_region& where, const std::string& message)
{
    if (holdingNul_.count(placeOf(where)) != 0) {
        return;  // the value's NUL character is its error
    }
    reported_.insert(placeOf(where));
    Diagnostic diagnostic;
    diagnostic.file = file_;
    diagnostic.line = where.begin.line == 0 ? 1 : static_cast<int>(where.begin.line);
    diagnostic.column = where.begin.column == 0 ? 1 : static_cast<int>(where.begin.column);
    diagnostic.message = message;
    errors_.push_back(diagnostic);
}

void Report::errorOfNul(const toml::source_region& where, const std::string& message)
{
    error(where, message);
    holdingNul_.insert(placeOf(where));
}

bool Report::reportedAt(const toml::source_region& where) const
{
    return reported_.count(placeOf(where)) != 0 || holdingNul_.count(placeOf(where)) != 0;
}

void Report::note(const std::string& text)
{
    notes_.push_back(text);
}

void Report::sortErrorsByPlace()
{
    std::stable_sort(errors_.begin(), errors_.end(), [](const Diagnostic& x, const Diagnostic& y) {
        return x.line != y.line ? x.line < y.line : x.column < y.column;
    });
}

} // namespace packager
