// Service descriptor to configuration block: the checks that hold for every value (no NUL
// character), the sections in order, the keys the launcher cannot do without, the block in
// the packager's record order with the table's defaults (a record without one only when a
// key gives it), and the size of the launcher it makes.
#include "packaging/descriptor/build.h"

#include "format/block_writer.h"
#include "format/record_ids.h"
#include "packaging/descriptor/parse.h"
#include "packaging/descriptor/sections.h"
#include "packaging/descriptor/text.h"


namespace packager {

namespace {

std::string withoutNul(const std::string& text)
{
    std::string out;
    for (char c : text) {
        out += c == '\0' ? std::string("\\u0000") : std::string(1, c);
    }
    return out;
}

// Every text of the descriptor, keys included: the launcher reads each value only up to
// its first NUL character, so a value holding one would not be what the descriptor says.
// Files named by such a text would not be the files meant either. The walk keeps its own
// list instead of recursing, and makes a node's path only for an error, so that it costs
// no more than the tree's size however deep the tree is.
void refuseNul(Report& report, const toml::table& root)
{
    constexpr size_t kNone = static_cast<size_t>(-1);
    struct Visit {
        const toml::node* node;
        size_t parent;          // in `seen`; kNone for the root
        const toml::key* key;   // its key in a table; null for an array element
        size_t index;           // its index in an array
    };
    std::vector<Visit> seen = {{&root, kNone, nullptr, 0}};
    auto pathOf = [&seen](size_t at) {
        std::vector<size_t> chain;
        for (size_t i = at; seen[i].parent != kNone; i = seen[i].parent) {
            chain.push_back(i);
        }
        Path path;
        for (auto i = chain.rbegin(); i != chain.rend(); ++i) {
            const Visit& visit = seen[*i];
            if (visit.key == nullptr) {
                path += "[" + std::to_string(visit.index) + "]";
            } else {
                path += (path.empty() ? "" : ".") + withoutNul(std::string(visit.key->str()));
            }
        }
        return path;
    };
    std::vector<size_t> pending = {0};  // in `seen`, the next one last
    while (!pending.empty()) {
        size_t at = pending.back();
        pending.pop_back();
        const toml::node& node = *seen[at].node;
        size_t firstChild = seen.size();
        if (const toml::table* table = node.as_table()) {
            for (auto&& [key, child] : *table) {
                seen.push_back({&child, at, &key, 0});
                if (key.str().find('\0') != std::string::npos) {
                    report.errorOfNul(key.source(), "the key '" + pathOf(seen.size() - 1) + "' holds a NUL character");
                }
            }
        } else if (const toml::array* array = node.as_array()) {
            size_t index = 0;
            for (const toml::node& child : *array) {
                seen.push_back({&child, at, nullptr, index++});
            }
        } else if (node.is_string() && node.as_string()->get().find('\0') != std::string::npos) {
            report.errorOfNul(node.source(),
                              pathOf(at) + " holds a NUL character, which the launcher reads as the end of the text");
        }
        // The first child next: the errors come in the order of the text.
        for (size_t child = seen.size(); child > firstChild; --child) {
            pending.push_back(child - 1);
        }
    }
}

// Refuses a launcher larger than a launcher can hold, from the sizes measured for the build,
// so that nothing is written: at the [[files]] entry with which it grows too large, or at
// the top when the runtime library jar or the records already make it so.
void checkLauncherSize(Build& b, const toml::table& root, const blockformat::ConfigBlock& block)
{
    constexpr uint64_t kLargest = blockformat::kLargestLauncherSize;
    const std::vector<blockformat::IncludedFile>& files = b.block.files;
    const std::vector<IncludedSource>& origins = b.block.origins;
    uint64_t size = b.settings.imageSize + blockformat::serializeBlock(block).size();
    bool recordsAlone = size > kLargest;
    size_t firstBeyond = files.size();
    for (size_t i = 0; i < files.size(); ++i) {
        bool measured = i < origins.size() && !origins[i].path.empty();
        size = blockformat::withIncludedFile(size, measured ? origins[i].size : files[i].content.size());
        if (size > kLargest && firstBeyond == files.size()) {
            firstBeyond = i;
        }
    }
    if (!recordsAlone && firstBeyond == files.size()) {
        return;
    }
    std::string limit = "the " + std::to_string(kLargest) +
                        " bytes a launcher can hold (it keeps positions in its own file as signed 32-bit numbers); "
                        "with all its files it would take " + std::to_string(size) +
                        (size == ~uint64_t{0} ? " or more" : "") + " bytes";
    // The entries of [[files]] are the last files, behind the runtime library jar.
    const toml::array* entries = root.get_as<toml::array>("files");
    size_t entryCount = entries != nullptr ? entries->size() : 0;
    size_t firstEntry = files.size() >= entryCount ? files.size() - entryCount : 0;
    if (recordsAlone) {
        b.report.error(toml::source_region{}, "the launcher image and the records alone pass " + limit);
    } else if (firstBeyond < firstEntry) {
        b.report.error(toml::source_region{}, "the runtime library jar " + latin1ToUtf8(files[firstBeyond].name) +
                                                  " does not fit: with it the launcher passes " + limit);
    } else {
        size_t entry = firstBeyond - firstEntry;
        b.report.error((*entries)[entry].source(),
                       "files[" + std::to_string(entry) + "] does not fit: with it the launcher passes " + limit);
    }
}

// Where a missing required key should be reported: its table's header, else the top.
toml::source_region whereMissing(const toml::table* table)
{
    return table != nullptr ? table->source() : toml::source_region{};
}

// The keys the launcher cannot do without. Records of [records] count, so that a
// descriptor written by `inspect` for any launcher builds again.
void checkRequiredKeys(Build& b, const std::map<std::string, const toml::table*>& tables)
{
    for (const DescriptorKey& key : descriptorKeys()) {
        if (key.required == nullptr || b.block.fromRecords.count(key.record) != 0) {
            continue;
        }
        auto found = tables.find(key.section);
        const toml::table* table = found == tables.end() ? nullptr : found->second;
        const toml::node* node = keyNode(table, key);
        if (node == nullptr) {
            b.report.error(whereMissing(table), keyPath(key) + " is missing: the launcher needs " + key.required);
        } else if (b.report.reportedAt(node->source())) {
            continue;
        } else if (node->is_string() && node->as_string()->get().empty()) {
            b.report.error(node->source(), keyPath(key) + " must not be empty");
        } else if (node->is_array() && node->as_array()->empty()) {
            b.report.error(node->source(), keyPath(key) + " must have at least one entry");
        }
    }
}

} // namespace

bool buildFromDescriptor(const ParsedDescriptor& descriptor, const BuildSettings& settings, BuildResult* result,
                         std::vector<Diagnostic>* errors)
{
    Report report(descriptor.path);
    BlockDraft block;
    Build b{report, block, settings, std::filesystem::path(descriptor.path).parent_path()};
    const toml::table& root = descriptor.root;
    auto failed = [&report, errors] {
        errors->insert(errors->end(), report.errors().begin(), report.errors().end());
        return false;
    };

    refuseNul(report, root);
    report.sortErrorsByPlace();
    std::vector<std::string> sections;
    for (const DescriptorSection& section : descriptorSections()) {
        if (std::string(section.name).find('.') == std::string::npos) {
            sections.push_back(section.name);
        }
    }
    checkKeys(report, root, "", sections);

    block.setDefaults();
    std::map<std::string, const toml::table*> tables;
    for (const std::string& name : sections) {
        // [[files]] is an array of tables, read with its entries.
        tables[name] = name == "files" ? nullptr : section(report, root, name.c_str(), name);
    }
    buildService(b, tables["service"], tables["launcher"]);
    checkServiceName(b, tables["service"]);
    buildKeys(b, tables["application"], "application");
    buildKeys(b, tables["java"], "java");
    checkVersionRange(b, tables["java"]);
    noteVersionRangeOfDirectories(b);
    buildKeys(b, tables["vm"], "vm");
    checkVmOptions(b, tables["vm"]);
    buildEnvironment(b, tables["environment"]);
    buildKeys(b, tables["launcher"], "launcher");
    bool embedRuntime = readRuntimeLibrarySetting(b, tables["launcher"]);
    for (const char* name : {"output", "instance", "splash"}) {
        buildKeys(b, tables[name], name);
    }
    checkOutputRotation(b, tables["output"]);
    buildMessages(b, tables["messages"]);
    buildRecords(b, tables["records"]);
    buildIncludedFiles(b, root, embedRuntime);
    noteUnwatchedHangTimeout(b);
    checkRequiredKeys(b, tables);
    if (report.errorCount() != 0) {
        return failed();
    }

    BuildResult built;
    built.block = block.toBlock();
    built.includedFrom = block.origins;
    std::string limit = blockLimitProblem(built.block);
    if (!limit.empty()) {
        report.error(toml::source_region{}, "the launcher cannot read this block back: " + limit);
        return failed();
    }
    checkLauncherSize(b, root, built.block);
    if (report.errorCount() != 0) {
        return failed();
    }
    built.notes = report.notes();
    *result = std::move(built);
    return true;
}

bool buildFromDescriptor(const std::string& text, const std::string& path, const BuildSettings& settings,
                         BuildResult* result, std::vector<Diagnostic>* errors)
{
    ParsedDescriptor descriptor;
    return parseDescriptor(text, path, &descriptor, errors) &&
           buildFromDescriptor(descriptor, settings, result, errors);
}

} // namespace packager
