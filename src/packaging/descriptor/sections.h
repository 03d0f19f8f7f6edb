// The build of a configuration block from a descriptor, as the files of its sections
// share it: the state of one build, the helpers every section uses, the reading of keys
// by their kind, and each section's own code. Internal to the packager.
#pragma once

#include "packaging/descriptor/build.h"
#include "packaging/descriptor/keys.h"

#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace packager {

using Path = std::string;  // dotted key path for messages, such as "service.name"

struct Builder {
    std::string file;
    std::filesystem::path baseDirectory;
    const BuildSettings* settings = nullptr;
    std::vector<Diagnostic>* errors = nullptr;
    std::map<int32_t, std::string> narrow;
    std::map<int32_t, std::string> extra;  // [records] ids outside the fixed order
    std::set<int32_t> fromRecords;         // ids that [records] set
    std::u16string description;
    std::vector<blockformat::LocaleGroup> groups;
    std::vector<blockformat::IncludedFile> files;
    std::vector<IncludedSource> origins;  // per file: where a streamed content is copied from
    std::vector<std::string> notes;
    bool embedRuntime = true;
    // Positions of errors reported, and of values holding a NUL character: a value that
    // holds one gets that error alone, not a second one about what follows from it.
    std::set<std::pair<uint32_t, uint32_t>> reported;
    std::set<std::pair<uint32_t, uint32_t>> holdingNul;

    void error(const toml::source_region& where, const std::string& message);
    bool reportedAt(const toml::source_region& where) const;
};

// --- helpers -----------------------------------------------------------------------------

void wrongType(Builder& b, const toml::node& node, const Path& key, const char* wanted);
// Reports every key of `table` that is not in `known`; `prefix` goes in front of the key
// in the message ("java.").
void checkKeys(Builder& b, const toml::table& table, const Path& prefix, const std::vector<std::string>& known);
// A sub-table; null (and an error when the key holds something else) when absent.
const toml::table* section(Builder& b, const toml::table& parent, const char* key, const Path& path);
// A string converted to the launcher's narrow texts (ISO-8859-1).
bool narrowText(Builder& b, const toml::node& node, const Path& key, std::string* out);
// The node of a key in its section's table; null when either is absent.
const toml::node* keyNode(const toml::table* table, const DescriptorKey& key);

// --- keys read by their kind -------------------------------------------------------------

// Checks the keys of a section's table against the key table and reads every key that
// its kind alone maps, then the sections below it ([splash] -> [splash.status]).
void buildKeys(Builder& b, const toml::table* table, const std::string& section);
// The record text of one value; false (with the error reported) when it is refused.
bool encodeValue(Builder& b, const DescriptorKey& key, const toml::node& node, const toml::table& table,
                 std::string* record);

// --- each section's own code -------------------------------------------------------------

// [service], with launcher.kind, which shares its record with service.start.
void buildService(Builder& b, const toml::table* service, const toml::table* launcher);
// The service manager's limits on a service name: no '/' or '\\', at most 256 characters.
constexpr size_t kLongestServiceName = 256;
void checkServiceName(Builder& b, const toml::table* service);
// [application], [java] and [vm].
bool encodeClassPath(Builder& b, const toml::node& node, const Path& path, std::string* record);
bool encodeSearchSequence(Builder& b, const toml::node& node, const Path& path, std::string* record);
void checkVersionRange(Builder& b, const toml::table* java);
// Options that do not begin with '-' are refused; a text of several options gets a note.
void checkVmOptions(Builder& b, const toml::table* vm);
// A note when the version range is not the default one and the search has directory entries,
// which the search takes outside the range when nothing else fits.
void noteVersionRangeOfDirectories(Builder& b, const toml::table* java);
// [launcher]'s runtime_library, [[files]] and [records].
void buildRuntimeLibrarySetting(Builder& b, const toml::table* launcher);
void buildIncludedFiles(Builder& b, const toml::table& root);
void buildRecords(Builder& b, const toml::table* records);
// [messages].
void buildMessages(Builder& b, const toml::table* messages);

} // namespace packager
