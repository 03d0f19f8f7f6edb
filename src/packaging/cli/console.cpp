// Errors, notes and results of the packager's commands.
#include "packaging/cli/console.h"

namespace packager {

int Console::fail(const std::string& reason)
{
    err_ << "packager: " << reason << "\n" << std::flush;
    return kFailure;
}

int Console::failWithUsage(const std::string& reason, const char* usage)
{
    err_ << "packager: " << reason << "\n" << usage << std::flush;
    return kFailure;
}

int Console::failAt(const std::vector<Diagnostic>& errors)
{
    for (const Diagnostic& error : errors) {
        err_ << formatDiagnostic(error) << "\n";
    }
    err_ << std::flush;
    return kFailure;
}

void Console::note(const std::string& text)
{
    err_ << "packager: note: " << text << "\n" << std::flush;
}

} // namespace packager
