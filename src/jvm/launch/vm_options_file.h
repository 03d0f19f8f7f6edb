// The launcher's own vmoptions file written from a command line: `/vmoptions -Xmx2g
// -Dregion=eu` puts one option per line into "<name>.vmoptions" beside the executable, the
// file the launch reads (vm_options.h), so that an installation (the installer package's
// VM_OPTIONS) or an administrator chooses a machine's VM options without rebuilding the
// launcher. The file replaces an earlier one whole; no options remove it.
#pragma once

#include "format/command_line.h"

#include <string>

// The file's lines for the options: "" with the reason in `problem` when an option cannot
// be a line the launch reads back as it was given (a line end, a character the file's
// bytes cannot hold, a line longer than the reader's buffer). Pure.
std::string vmOptionsFileText(const ArgumentList& options, std::string* problem);

// Writes the file beside the executable (or removes it for no options) and prints what
// was done. 0 written or removed, 1 refused or failed.
int writeVmOptionsCommand(const ArgumentList& options);
