// The packager's one way to speak to its user. Results go to standard output; errors and
// notes go to standard error, one line each: "packager: <reason>", descriptor errors as
// "file:line:column: error: <message>", "packager: note: <text>", and after a mistake on
// the command line the usage. A command's exit code is 0 on success and 2 on any error.
#pragma once

#include "packaging/descriptor/diagnostic.h"

#include <ostream>
#include <string>
#include <vector>

namespace packager {

constexpr int kSuccess = 0;
constexpr int kFailure = 2;

class Console {
public:
    Console(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    // What a command gives as its result (a summary line, a descriptor, the key reference).
    std::ostream& out() { return out_; }
    // Text on standard error as it stands (the usage asked for).
    std::ostream& err() { return err_; }

    // "packager: <reason>"; kFailure.
    int fail(const std::string& reason);
    // The reason, then the usage; kFailure.
    int failWithUsage(const std::string& reason, const char* usage);
    // One line per error; kFailure.
    int failAt(const std::vector<Diagnostic>& errors);
    // "packager: note: <text>".
    void note(const std::string& text);

private:
    std::ostream& out_;
    std::ostream& err_;
};

} // namespace packager
