// wixl, the compiler that turns the WiX source into an installer package, and msitools'
// msiinfo and msibuild, which read and change the package's tables: found on the PATH and
// run as children whose messages join the packager's standard error. Linux programs; the
// Windows build of the packager cannot run them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace packager {

struct StandIns;      // wix_source.h
struct InstallerPlan; // plan.h

// The name of the compiler and the Debian package that brings it; the same for the table
// tools.
extern const char kInstallerCompiler[];
extern const char kInstallerCompilerPackage[];
extern const char kTableReader[];
extern const char kTableWriter[];
extern const char kTableToolsPackage[];

// A program's full path from PATH; empty when it is not there (always on Windows).
std::string findProgram(const std::string& name);

// The lines of a tool's output or of a table file msitools writes, without their CR LF
// ends.
std::vector<std::string> outputLines(const std::string& text);

// The compiler's full path from PATH; empty when it is not there.
std::string findInstallerCompiler();

// Runs `program` with `arguments`; its messages go to standard error, and its standard
// output too unless `output` names a file that takes it. The exit code, or -1 when it
// could not be run or did not end by itself.
int runProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& output = {});

// Runs the compiler with `arguments`.
int runInstallerCompiler(const std::string& compiler, const std::vector<std::string>& arguments);

// Puts the texts that `standIns` stand for back into the tables of `package`, compiled
// from a source that holds the stand-ins, stores every table text in code page
// `codePage`, and gives the summary its subject and author (wixl writes the manufacturer
// there as the Property table has it). Then reads every table back: no stand-in may be
// left, and each text must be there. `work` takes the tables' files. False with the
// reason.
bool restoreTexts(const std::filesystem::path& package, const StandIns& standIns, int codePage,
                  const std::string& subject, const std::string& author, const std::filesystem::path& work,
                  std::string* error);

// Adds what wixl cannot express to the tables of `package`: the package's actions and
// their places in the execute sequence, the condition of the settings component and of
// StartServices, the RemoveFile row (package_actions.h). `work` takes the tables' files.
// False with the reason.
bool addPackageActions(const std::filesystem::path& package, const InstallerPlan& plan,
                       const std::filesystem::path& work, std::string* error);

} // namespace packager
