// The WiX source of an installer package: a per-machine, 64-bit product with one component
// per file, the service registered and controlled through the installer's own service
// tables, and a major upgrade that removes an older version before the new one is
// installed. wixl compiles it on Linux, the WiX toolset on Windows. Pure functions,
// internal to the packager.
#pragma once

#include "packaging/installer/plan.h"

#include <string>

namespace packager {

// Empty when every text of the plan can be written into WiX source as it stands;
// otherwise why not ("$(", "$$" and "!(" are read as the compilers' variables even
// when escaped, and XML holds no control character but tab and line ends).
std::string installerSourceProblem(const InstallerPlan& plan);

// The code page of the package's texts: 0 (neutral) when every text is ASCII, else 65001,
// UTF-8, the one code page that holds every text a descriptor may give (Windows Installer
// converts its strings to UTF-16 through it; a single-byte code page would hold one script
// and lose the rest).
int installerCodePage(const InstallerPlan& plan);

// The texts of the tables that wixl cannot store: it writes them in its own single-byte
// code page, empty where a character does not fit, and ends with a crash on some such
// texts. A source for wixl holds an ASCII stand-in in place of each, and the compiled
// package gets the texts back with msitools (wixl.h). Each stand-in is the marker, a
// number and '~'; the marker is one no text of the plan holds.
struct StandIns {
    std::string marker;
    std::vector<std::pair<std::string, std::string>> texts;  // stand-in, text as its column holds it

    // The stand-in of `text`, the same for the same text.
    std::string of(const std::string& text);
};

// Stand-ins for the texts of `plan`, with a marker that none of them holds.
StandIns standInsFor(const InstallerPlan& plan);

// Empty when a package of this plan can hold each of its texts as it stands; otherwise
// why not. A text that needs a stand-in cannot hold a tab or line end: msitools writes
// and reads a table's rows as lines of tab-separated fields, without escapes.
std::string standInProblem(const InstallerPlan& plan);

// Which compiler a source is for: the WiX toolset reads every element of the package;
// wixl's source leaves out what wixl cannot express, which packager msi adds to the
// compiled tables (package_actions.h).
enum class SourceFor { toolset, wixl };

// The source, with each file's Source as `sources` gives it (one per plan file, in
// order). With `standIns`, every text of the tables that is not ASCII is written as its
// stand-in, added to `standIns` (for wixl).
std::string installerSource(const InstallerPlan& plan, const std::vector<std::string>& sources, SourceFor compiler,
                            StandIns* standIns = nullptr);

// The action of the package that stops the service through the installed launcher's own
// /stop, which waits as long as the service's stop_timeout says, before the installer
// stops it (Windows Installer waits about 30 s) and replaces or removes files.
extern const char kStopActionName[];

} // namespace packager
