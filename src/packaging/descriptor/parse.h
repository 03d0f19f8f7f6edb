// A descriptor's text read into its TOML tree, once, for every reader of it (the build of
// the block and the installer plan): first a check of how deeply the text nests, then the
// parse.
#pragma once

#include "packaging/descriptor/diagnostic.h"
#include "packaging/descriptor/toml.h"

#include <cstddef>
#include <string>
#include <vector>

namespace packager {

struct ParsedDescriptor {
    // As the user named it: errors name it, and files are found from its folder.
    std::string path;
    toml::table root;
};

// Deeper than any descriptor goes (its deepest keys are four levels down, such as an
// entry of a class-path array: application.class_path[0].archive). toml++ builds and
// frees its tree recursively, so a deeper text is refused before it is parsed: 100,000
// levels of one dotted key would exhaust the stack.
constexpr size_t kDeepestNesting = 32;

// Parses `text`, the content of the descriptor at `path`. False with the one error that
// ends the reading (too deep a nesting, or the parser's own) added to `errors`.
bool parseDescriptor(const std::string& text, const std::string& path, ParsedDescriptor* descriptor,
                     std::vector<Diagnostic>* errors);

} // namespace packager
