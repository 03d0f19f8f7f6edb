// The block under construction and the packager's record order.
#include "packaging/descriptor/draft.h"

#include "format/record_ids.h"
#include "packaging/descriptor/keys.h"

namespace packager {

const std::vector<int32_t>& narrowRecordOrder()
{
    // The launcher's own order of its narrow records, the message texts aside (they
    // follow, in identifier order).
    static const std::vector<int32_t> order = [] {
        std::vector<int32_t> ids;
        for (size_t i = 0; i < cfg::recordCount(); ++i) {
            const cfg::RecordInfo& record = cfg::recordTable()[i];
            bool message = record.id >= cfg::kFirstMessageId && record.id <= cfg::kLastMessageId;
            if (record.kind != cfg::RecordKind::wideText && !message) {
                ids.push_back(record.id);
            }
        }
        return ids;
    }();
    return order;
}

void BlockDraft::setDefaults()
{
    for (int32_t id : narrowRecordOrder()) {
        if (const char* value = recordDefault(id)) {
            narrow[id] = value;
        }
    }
}

blockformat::ConfigBlock BlockDraft::toBlock() const
{
    blockformat::ConfigBlock block;
    for (int32_t id : narrowRecordOrder()) {
        auto found = narrow.find(id);
        if (found != narrow.end()) {
            block.narrow.push_back({id, found->second});
        }
    }
    for (int32_t id = cfg::kFirstMessageId; id <= cfg::kLastMessageId; ++id) {
        auto found = narrow.find(id);
        block.narrow.push_back({id, found != narrow.end() ? found->second : std::string()});
    }
    for (const auto& [id, value] : extra) {
        block.narrow.push_back({id, value});
    }
    block.wide.push_back({cfg::serviceDescription, description});
    // Only when there is something to set: a launcher without [environment] stays as it was.
    if (!environment.empty()) {
        block.wide.push_back({cfg::environmentVariables, environment});
    }
    block.localeGroups = groups;
    block.addIncludedFiles(files);
    return block;
}

} // namespace packager
