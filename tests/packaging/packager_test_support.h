// What the packager's tests share: a minimal descriptor, a launcher image of our own, a
// scratch directory per test, a build of a descriptor text, the records of a block, the
// round trip build -> inspect -> build, and the command line run in-process (as the
// `packager` executable runs it) or as the executable itself.
#pragma once

#include "format/block_writer.h"
#include "packaging/descriptor/build.h"
#include "packaging/descriptor/writer.h"

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace packagertest {

namespace fs = std::filesystem;
using blockformat::ConfigBlock;
using Bytes = std::vector<uint8_t>;

// [service] with its name and [application] with a main class and one archive.
extern const char kMinimal[];

// A PE32+ image of three sections whose last one ends the file.
Bytes syntheticImage();
std::string imageText();

// A scratch directory of the test's own, removed with the object.
struct ScratchDirectory {
    fs::path path;
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    // Writes `content` to `name` below the directory; its path.
    std::string file(const std::string& name, const std::string& content) const;
};

std::string fileText(const fs::path& path);
// Every file below `root`, relative to it.
std::set<std::string> listing(const fs::path& root);

struct Built {
    bool ok = false;
    packager::BuildResult result;
    std::vector<packager::Diagnostic> errors;
};
Built build(const std::string& text, const std::string& path = "service.toml", const std::string& runtime = "");

// A record's text; null, or "<absent>", when the block lacks it.
const std::string* narrow(const ConfigBlock& block, int32_t id);
std::string value(const ConfigBlock& block, int32_t id);
std::vector<std::pair<int32_t, std::string>> narrowRecords(const ConfigBlock& block);

// The block behind the synthetic image.
Bytes launcherBytes(const ConfigBlock& block);
// Packages the block, inspects the launcher and builds the description again: the bytes
// of both launchers.
std::pair<Bytes, Bytes> roundTrip(const ConfigBlock& block, packager::Description* description);

// A descriptor with `lines` from its third line on, in [service] unless they open another
// section.
std::string serviceDescriptor(const std::string& lines);
// The descriptor does not build, with exactly the one error "service.toml:<error>".
void expectTheOneError(const std::string& descriptor, const std::string& error, const std::string& label);

struct PackagerRun {
    int code;
    std::string err;
    std::string out;
};
// The packager's command line on `arguments` (split at blanks), in this process, with the
// runtime library jar the `packager` executable of this build embeds by default.
PackagerRun runPackager(const std::string& arguments);
// The same through the `packager` executable (PACKAGER), as a child process whose
// standard output and error go to files in `scratch`.
PackagerRun runPackagerExecutable(const std::string& arguments, const ScratchDirectory& scratch);

} // namespace packagertest
