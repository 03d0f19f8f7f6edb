// The build of a configuration block from a descriptor, as the files of its sections share
// it: one build's report, block and settings, the reading of keys by their kind, and each
// section's own code. Internal to the packager.
#pragma once

#include "packaging/descriptor/build.h"
#include "packaging/descriptor/draft.h"
#include "packaging/descriptor/keys.h"
#include "packaging/descriptor/nodes.h"
#include "packaging/descriptor/report.h"
#include "packaging/descriptor/toml.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace packager {

// One build: where its errors and notes go, the block it makes, and what it reads with.
struct Build {
    Report& report;
    BlockDraft& block;
    const BuildSettings& settings;
    std::filesystem::path baseDirectory;  // the descriptor's folder, where included files are found
};

// True when the build checks a descriptor that `inspect` wrote (BuildSettings::fileContents):
// such a descriptor describes a launcher as it is, so what a new launcher should not do is
// no error there.
inline bool describesExistingLauncher(const Build& b)
{
    return b.settings.fileContents != nullptr;
}

// --- keys read by their kind -------------------------------------------------------------

// Checks the keys of a section's table against the key table and reads every key that
// its kind alone maps, then the sections below it ([splash] -> [splash.status]).
void buildKeys(Build& b, const toml::table* table, const std::string& section);
// The record text of one value; false (with the error reported) when it is refused.
bool encodeValue(Build& b, const DescriptorKey& key, const toml::node& node, const toml::table& table,
                 std::string* record);

// --- each section's own code -------------------------------------------------------------

// [output]: keep_days and compress need a roll by time (model/output_rotation.h).
void checkOutputRotation(Build& b, const toml::table* output);

// [service], with launcher.kind, which shares its record with service.start.
void buildService(Build& b, const toml::table* service, const toml::table* launcher);
// The service manager's limits on a service name: no '/' or '\\', at most 256 characters.
constexpr size_t kLongestServiceName = 256;
void checkServiceName(Build& b, const toml::table* service);
// Notes a hang timeout that watches nothing: the deploykit flavour, or an included runtime
// library jar without the alive signal. After the included files.
void noteUnwatchedHangTimeout(Build& b);
// [application], [java] and [vm].
bool encodeClassPath(Report& report, const toml::node& node, const Path& path, std::string* record);
bool encodeSearchSequence(Build& b, const toml::node& node, const Path& path, std::string* record);
void checkVersionRange(Build& b, const toml::table* java);
// Options that do not begin with '-' are refused; a text of several options gets a note.
void checkVmOptions(Build& b, const toml::table* vm);
// A note when the version range is not the default one and the search has directory entries,
// which the search takes outside the range when nothing else fits.
void noteVersionRangeOfDirectories(Build& b);
// [launcher]'s runtime_library: whether the runtime library jar goes with the included files.
bool readRuntimeLibrarySetting(Build& b, const toml::table* launcher);
// [[files]], behind the runtime library jar when `embedRuntime`, and [records].
void buildIncludedFiles(Build& b, const toml::table& root, bool embedRuntime);
void buildRecords(Build& b, const toml::table* records);
// [messages].
void buildMessages(Build& b, const toml::table* messages);
// [environment]: its variables in the order written, as the environment record.
void buildEnvironment(Build& b, const toml::table* environment);
// The lines of [environment] that build exactly this environment record, one per variable
// in the record's order; false, with why in `reason`, for a record no descriptor gives.
bool environmentLines(const std::u16string& record, std::vector<std::string>* lines, std::string* reason);

} // namespace packager
