// The table of configuration records.
#include "format/record_ids.h"

namespace cfg {

namespace {

#define LAUNCHER_RECORD_ENTRY(name, id, kind) {id, #name, RecordKind::kind},
const RecordInfo kRecords[] = {LAUNCHER_CONFIG_RECORDS(LAUNCHER_RECORD_ENTRY)};
#undef LAUNCHER_RECORD_ENTRY

} // namespace

const RecordInfo* recordTable()
{
    return kRecords;
}

size_t recordCount()
{
    return sizeof kRecords / sizeof kRecords[0];
}

const RecordInfo* findRecord(int32_t id)
{
    for (const RecordInfo& record : kRecords) {
        if (record.id == id) {
            return &record;
        }
    }
    return nullptr;
}

} // namespace cfg
