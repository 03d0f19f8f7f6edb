// Names of included files that can be written as files: by the launcher into its temporary
// directory, and by `packager inspect --extract` into a folder of the user's. Both the
// build (which refuses what no extraction could give back) and inspect (which reads
// launchers from anywhere) check every name here before anything is written. Pure
// functions, internal to the packager.
#pragma once

#include <string>
#include <vector>

namespace packager {

// Empty when `name` (ISO-8859-1, '\' separated) names a file inside the folder it is
// extracted to on every system; otherwise why not, such as "must stay inside the folder
// it is extracted to". Refused: what the launcher refuses (absolute, drive-qualified, '/',
// empty, "." and ".." steps), control characters, the characters Windows forbids
// (<>"|?*), steps ending in '.' or ' ' (Windows drops those) and device names (CON,
// NUL, COM1, LPT1.txt and the like).
std::string includedNameProblem(const std::string& name);

// The same name for Windows, which ignores case (ASCII and Latin-1 letters).
std::string foldedName(const std::string& name);

// Empty when every name can be a file at the same time; otherwise the first clash, such
// as "a and A name the same file" or "a is a file and the folder of a\b".
std::string includedNameClash(const std::vector<std::string>& names);

} // namespace packager
