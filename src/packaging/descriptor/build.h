// The service descriptor: a TOML file that names, under readable keys, everything a
// packaged launcher reads, and its translation into a configuration block.
//
// Every identifier the launcher reads gets a record, with the packager's default when the
// descriptor does not give it (a record without a default only when a key gives it), in
// one fixed order (the launcher's list of records, draft.h); so the same descriptor always
// gives the same bytes, and `inspect` can give back a descriptor that builds the launcher
// it read. The keys, their records and defaults are in the key table (keys.h). No text
// may hold a NUL character, which would end it for the launcher.
#pragma once

#include "packaging/descriptor/diagnostic.h"
#include "packaging/launcher/writer.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace packager {

struct ParsedDescriptor;  // parse.h

struct BuildSettings {
    // The runtime library jar embedded when the descriptor does not turn that off; empty
    // when this packager knows none.
    std::string runtimeLibrary;
    // The user turned the jar off (--no-runtime-library): no note that there is none.
    bool withoutRuntimeLibrary = false;
    // Included files read from disk are only checked and measured, not read: their
    // contents stay empty in the block, and writeLauncher copies them from
    // BuildResult::includedFrom, so that a build never holds them in memory.
    bool streamIncludedFiles = false;
    // The size of the launcher image the block goes behind: a build whose launcher would
    // hold more than blockformat::kLargestLauncherSize bytes is refused. 0 when unknown.
    uint64_t imageSize = 0;
    // When set, included files are taken from here by their `source` text instead of
    // being read from disk (used to check a descriptor that `inspect` wrote).
    const std::map<std::string, std::vector<uint8_t>>* fileContents = nullptr;
};

struct BuildResult {
    blockformat::ConfigBlock block;
    std::vector<std::string> notes;  // remarks for the user that are no errors
    // Per included file, where writeLauncher copies it from when its content was not read
    // (BuildSettings::streamIncludedFiles); empty for a content in the block.
    std::vector<IncludedSource> includedFrom;
};

// Builds the configuration block of a parsed descriptor. False with at least one
// diagnostic added to `errors` when the descriptor has errors; every error found is
// reported, not only the first.
bool buildFromDescriptor(const ParsedDescriptor& descriptor, const BuildSettings& settings, BuildResult* result,
                         std::vector<Diagnostic>* errors);

// The same from the text of the descriptor at `path`: parsed (parse.h), then built.
bool buildFromDescriptor(const std::string& text, const std::string& path, const BuildSettings& settings,
                         BuildResult* result, std::vector<Diagnostic>* errors);

} // namespace packager
