// The configuration block under construction while a descriptor is read: the records by
// identifier, the service description and its translations, the included files with where
// each is copied from, and the packager's record order in which they become the block.
// Errors and notes go elsewhere (report.h).
#pragma once

#include "format/block_writer.h"
#include "packaging/launcher/writer.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace packager {

// The identifiers of the narrow records a descriptor produces, in block order, before the
// message texts and the records of [records] that no key covers.
const std::vector<int32_t>& narrowRecordOrder();

struct BlockDraft {
    std::map<int32_t, std::string> narrow;
    std::map<int32_t, std::string> extra;  // [records] ids outside the packager's order
    std::set<int32_t> fromRecords;         // ids that [records] set
    std::u16string description;
    std::u16string environment;            // the environment record's text; empty for none
    std::vector<blockformat::LocaleGroup> groups;
    std::vector<blockformat::IncludedFile> files;
    std::vector<IncludedSource> origins;   // per file: where a streamed content is copied from

    // Every record that has a default, with it; a record without one is written only when
    // a key gives it, so that a launcher sees it absent rather than empty.
    void setDefaults();
    // The block: the narrow records in the packager's order, then every message text in
    // identifier order, then the other records of [records]; the description as the first
    // wide record, the environment record behind it when [environment] sets any variable,
    // the translations, and the included files (the count and names records set in place,
    // also to none).
    blockformat::ConfigBlock toBlock() const;
};

} // namespace packager
