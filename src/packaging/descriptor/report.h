// What a reading of a descriptor found: its errors, each at its place in the descriptor,
// and its notes, remarks for the user that are no errors. The build of a block and the
// installer plan report through it; the block a build makes is kept apart (draft.h).
#pragma once

#include "packaging/descriptor/diagnostic.h"
#include "packaging/descriptor/toml.h"

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace packager {

class Report {
public:
    // `file` is the descriptor's path as the errors name it.
    explicit Report(std::string file);

    // An error at `where` (1:1 for an empty region: the descriptor lacks the thing
    // altogether). A value that holds a NUL character gets that error alone, not a second
    // one about what follows from it, so an error at its place is left out.
    void error(const toml::source_region& where, const std::string& message);
    // The error of a value or key that holds a NUL character: the only one at its place.
    void errorOfNul(const toml::source_region& where, const std::string& message);
    // True when an error was reported at `where`, or the value there holds a NUL character:
    // a refused value is no value for the checks that compare it with others.
    bool reportedAt(const toml::source_region& where) const;
    void note(const std::string& text);

    const std::string& file() const { return file_; }
    size_t errorCount() const { return errors_.size(); }
    const std::vector<Diagnostic>& errors() const { return errors_; }
    const std::vector<std::string>& notes() const { return notes_; }
    // The errors reported so far in the order of their places in the text.
    void sortErrorsByPlace();

private:
    using Place = std::pair<uint32_t, uint32_t>;
    static Place placeOf(const toml::source_region& where);

    std::string file_;
    std::vector<Diagnostic> errors_;
    std::vector<std::string> notes_;
    std::set<Place> reported_;
    std::set<Place> holdingNul_;
};

} // namespace packager
