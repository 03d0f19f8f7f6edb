// Service descriptor to configuration block: the parse (after a check of how deeply the
// text nests), the checks that hold for every value (no NUL character), the sections in
// order, the keys the launcher cannot do without, the block in the packager's record order
// with the table's defaults (a record without one only when a key gives it), and the size
// of the launcher it makes.
#include "packaging/descriptor/build.h"

#include "format/block_writer.h"
#include "format/record_ids.h"
#include "packaging/descriptor/sections.h"
#include "packaging/descriptor/text.h"

#include <algorithm>
#include <cstdio>

namespace packager {

namespace {

std::pair<uint32_t, uint32_t> position(const toml::source_region& where)
{
    return {where.begin.line, where.begin.column};
}

const char* typeName(const toml::node& node)
{
    switch (node.type()) {
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "an array";
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a number";
    case toml::node_type::boolean: return "a boolean";
    case toml::node_type::date: return "a date";
    case toml::node_type::time: return "a time";
    case toml::node_type::date_time: return "a date-time";
    default: return "nothing";
    }
}

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
void refuseNul(Builder& b, const toml::table& root)
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
                    b.error(key.source(), "the key '" + pathOf(seen.size() - 1) + "' holds a NUL character");
                    b.holdingNul.insert(position(key.source()));
                }
            }
        } else if (const toml::array* array = node.as_array()) {
            size_t index = 0;
            for (const toml::node& child : *array) {
                seen.push_back({&child, at, nullptr, index++});
            }
        } else if (node.is_string() && node.as_string()->get().find('\0') != std::string::npos) {
            b.error(node.source(), pathOf(at) + " holds a NUL character, which the launcher reads as the end of the text");
            b.holdingNul.insert(position(node.source()));
        }
        // The first child next: the errors come in the order of the text.
        for (size_t child = seen.size(); child > firstChild; --child) {
            pending.push_back(child - 1);
        }
    }
}

// A TOML text read far enough to know how deeply it nests: strings and comments skipped,
// lines and columns counted as toml++ counts them (a column per character).
class NestingScan {
public:
    explicit NestingScan(const std::string& text) : text_(text) {}

    // Where the text first nests deeper than `deepest` levels: each step of a table
    // header or dotted key, each array of tables and each bracket or brace of a value
    // is a level. False when it never does. What is not TOML is passed over; the parser
    // reports it, and reads no further than that.
    bool tooDeep(size_t deepest, toml::source_position* where)
    {
        size_t tableDepth = 0;  // of the last [table] or [[array]] header
        struct Open {
            char bracket;
            size_t depth;  // of the array or inline table it opened
        };
        std::vector<Open> open;
        size_t valueDepth = 0;  // of the value that comes next
        bool expectKey = true;
        while (at_ < text_.size()) {
            char c = text_[at_];
            *where = {line_, column_};
            if (c == '\n') {
                advance();
                expectKey = expectKey || open.empty();
            } else if (c == ' ' || c == '\t' || c == '\r') {
                advance();
            } else if (c == '#') {
                skipComment();
            } else if ((c == ']' || c == '}') && !open.empty()) {
                advance();
                open.pop_back();
                expectKey = false;
                if (!open.empty() && open.back().bracket == '[') {
                    valueDepth = open.back().depth + 1;
                }
            } else if (c == ',') {
                advance();
                expectKey = !open.empty() && open.back().bracket == '{';
                if (!open.empty() && open.back().bracket == '[') {
                    valueDepth = open.back().depth + 1;
                }
            } else if (expectKey && c == '[' && open.empty()) {
                // A header: its steps, and one more for the array of an array of tables.
                advance();
                size_t steps = 1;
                if (at_ < text_.size() && text_[at_] == '[') {
                    advance();
                    ++steps;
                }
                steps += countSteps(']');
                while (at_ < text_.size() && text_[at_] == ']') {
                    advance();
                }
                if (steps > deepest) {
                    return true;
                }
                tableDepth = steps;
            } else if (expectKey) {
                size_t from = at_;
                size_t depth = (open.empty() ? tableDepth : open.back().depth) + 1 + countSteps('=');
                if (at_ == from && c != '=') {
                    advance();  // no key at all
                } else if (at_ < text_.size() && text_[at_] == '=') {
                    if (depth > deepest) {
                        return true;
                    }
                    advance();
                    valueDepth = depth;
                    expectKey = false;
                }
            } else if (valueDepth > deepest) {
                return true;  // a value, or an element of an array, this deep
            } else if (c == '[' || c == '{') {
                advance();
                open.push_back({c, valueDepth});
                expectKey = c == '{';
                valueDepth += c == '[' ? 1 : 0;
            } else if (c == '"' || c == '\'') {
                skipString();
            } else {
                advance();
            }
        }
        return false;
    }

private:
    void advance()
    {
        unsigned char c = static_cast<unsigned char>(text_[at_++]);
        if (c == '\n') {
            ++line_;
            column_ = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++column_;
        }
    }

    void skipComment()
    {
        while (at_ < text_.size() && text_[at_] != '\n') {
            advance();
        }
    }

    // From a quote to behind the string it opens; a single-line string also ends at its
    // line's end (where the parser will report it).
    void skipString()
    {
        char quote = text_[at_];
        bool multiLine = text_.compare(at_, 3, std::string(3, quote)) == 0;
        for (int i = multiLine ? 3 : 1; i > 0; --i) {
            advance();
        }
        while (at_ < text_.size()) {
            char c = text_[at_];
            if (c == '\\' && quote == '"') {
                advance();
                if (at_ < text_.size()) {
                    advance();
                }
            } else if (c == '\n' && !multiLine) {
                return;
            } else if (c == quote && (!multiLine || text_.compare(at_, 3, std::string(3, quote)) == 0)) {
                // A multi-line string may end in one or two quotes of its own.
                for (int i = multiLine ? 5 : 1; i > 0 && at_ < text_.size() && text_[at_] == quote; --i) {
                    advance();
                }
                return;
            } else {
                advance();
            }
        }
    }

    // The dots of a key or header up to `end` (or the line's end, a comment, or a bracket
    // or brace of a value, where a key is no more), quoted parts skipped.
    size_t countSteps(char end)
    {
        size_t dots = 0;
        while (at_ < text_.size()) {
            char c = text_[at_];
            if (c == end || c == '\n' || c == '#' || c == '[' || c == ']' || c == '{' || c == '}' || c == ',') {
                break;
            }
            if (c == '"' || c == '\'') {
                skipString();
                continue;
            }
            dots += c == '.';
            advance();
        }
        return dots;
    }

    const std::string& text_;
    size_t at_ = 0;
    uint32_t line_ = 1;
    uint32_t column_ = 1;
};

// Deeper than any descriptor goes (its deepest keys are four levels down, such as an
// entry of a class-path array: application.class_path[0].archive). toml++ builds and
// frees its tree recursively, so a deeper text is refused before it is parsed: 100,000
// levels of one dotted key would exhaust the stack.
constexpr size_t kDeepestNesting = 32;

// Refuses a launcher larger than a launcher can hold, from the sizes measured for the build,
// so that nothing is written: at the [[files]] entry with which it grows too large, or at
// the top when the runtime library jar or the records already make it so.
void checkLauncherSize(Builder& b, const toml::table& root, const blockformat::ConfigBlock& block)
{
    constexpr uint64_t kLargest = blockformat::kLargestLauncherSize;
    uint64_t size = b.settings->imageSize + blockformat::serializeBlock(block).size();
    bool recordsAlone = size > kLargest;
    size_t firstBeyond = b.files.size();
    for (size_t i = 0; i < b.files.size(); ++i) {
        bool measured = i < b.origins.size() && !b.origins[i].path.empty();
        size = blockformat::withIncludedFile(size, measured ? b.origins[i].size : b.files[i].content.size());
        if (size > kLargest && firstBeyond == b.files.size()) {
            firstBeyond = i;
        }
    }
    if (!recordsAlone && firstBeyond == b.files.size()) {
        return;
    }
    std::string limit = "the " + std::to_string(kLargest) +
                        " bytes a launcher can hold (it keeps positions in its own file as signed 32-bit numbers); "
                        "with all its files it would take " + std::to_string(size) +
                        (size == ~uint64_t{0} ? " or more" : "") + " bytes";
    // The entries of [[files]] are the last files, behind the runtime library jar.
    const toml::array* entries = root.get_as<toml::array>("files");
    size_t entryCount = entries != nullptr ? entries->size() : 0;
    size_t firstEntry = b.files.size() >= entryCount ? b.files.size() - entryCount : 0;
    if (recordsAlone) {
        b.error(toml::source_region{}, "the launcher image and the records alone pass " + limit);
    } else if (firstBeyond < firstEntry) {
        b.error(toml::source_region{}, "the runtime library jar " + latin1ToUtf8(b.files[firstBeyond].name) +
                                           " does not fit: with it the launcher passes " + limit);
    } else {
        b.error((*entries)[firstBeyond - firstEntry].source(), "files[" + std::to_string(firstBeyond - firstEntry) +
                                                                   "] does not fit: with it the launcher passes " + limit);
    }
}

// Where a missing required key should be reported: its table's header, else the top.
toml::source_region whereMissing(const toml::table* table)
{
    return table != nullptr ? table->source() : toml::source_region{};
}

// The keys the launcher cannot do without. Records of [records] count, so that a
// descriptor written by `inspect` for any launcher builds again.
void checkRequiredKeys(Builder& b, const std::map<std::string, const toml::table*>& tables)
{
    for (const DescriptorKey& key : descriptorKeys()) {
        if (key.required == nullptr || b.fromRecords.count(key.record) != 0) {
            continue;
        }
        auto found = tables.find(key.section);
        const toml::table* table = found == tables.end() ? nullptr : found->second;
        const toml::node* node = keyNode(table, key);
        if (node == nullptr) {
            b.error(whereMissing(table), keyPath(key) + " is missing: the launcher needs " + key.required);
        } else if (b.reportedAt(node->source())) {
            continue;
        } else if (node->is_string() && node->as_string()->get().empty()) {
            b.error(node->source(), keyPath(key) + " must not be empty");
        } else if (node->is_array() && node->as_array()->empty()) {
            b.error(node->source(), keyPath(key) + " must have at least one entry");
        }
    }
}

} // namespace

void Builder::error(const toml::source_region& where, const std::string& message)
{
    if (holdingNul.count(position(where)) != 0) {
        return;  // the value's NUL character is its error
    }
    reported.insert(position(where));
    Diagnostic diagnostic;
    diagnostic.file = file;
    diagnostic.line = where.begin.line == 0 ? 1 : static_cast<int>(where.begin.line);
    diagnostic.column = where.begin.column == 0 ? 1 : static_cast<int>(where.begin.column);
    diagnostic.message = message;
    errors->push_back(diagnostic);
}

bool Builder::reportedAt(const toml::source_region& where) const
{
    return reported.count(position(where)) != 0 || holdingNul.count(position(where)) != 0;
}

void wrongType(Builder& b, const toml::node& node, const Path& key, const char* wanted)
{
    b.error(node.source(), key + " must be " + wanted + ", not " + typeName(node));
}

void checkKeys(Builder& b, const toml::table& table, const Path& prefix, const std::vector<std::string>& known)
{
    for (auto&& [key, node] : table) {
        (void)node;
        bool found = false;
        for (const std::string& name : known) {
            found = found || key.str() == name;
        }
        if (!found) {
            b.error(key.source(), "unknown key '" + prefix + std::string(key.str()) + "'");
        }
    }
}

const toml::table* section(Builder& b, const toml::table& parent, const char* key, const Path& path)
{
    const toml::node* node = parent.get(key);
    if (node == nullptr) {
        return nullptr;
    }
    if (!node->is_table()) {
        wrongType(b, *node, path, "a table");
        return nullptr;
    }
    return node->as_table();
}

bool narrowText(Builder& b, const toml::node& node, const Path& key, std::string* out)
{
    if (!node.is_string()) {
        wrongType(b, node, key, "a string");
        return false;
    }
    if (!utf8ToLatin1(node.as_string()->get(), out)) {
        b.error(node.source(), key + " holds a character the launcher cannot show (only ISO-8859-1 text is possible)");
        return false;
    }
    return true;
}

const toml::node* keyNode(const toml::table* table, const DescriptorKey& key)
{
    return table == nullptr ? nullptr : table->get(key.key);
}

std::string escapedText(const std::string& text)
{
    std::string out;
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\0') {
            out += "\\0";
        } else if (u < 0x20 || u == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out;
}

std::string shownText(const std::string& utf8)
{
    constexpr size_t kShown = 40;  // characters echoed of a longer text
    size_t characters = 0;
    size_t cut = utf8.size();
    for (size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
            if (characters == kShown) {
                cut = i;
            }
            ++characters;
        }
    }
    if (characters <= kShown + 20) {
        return "\"" + escapedText(utf8) + "\"";
    }
    return "\"" + escapedText(utf8.substr(0, cut)) + "\u2026\" (" + std::to_string(characters) + " characters)";
}

std::string formatDiagnostic(const Diagnostic& diagnostic)
{
    // One line per error, and a short one, whatever the message quotes from the descriptor.
    constexpr size_t kLongest = 1000;
    std::string message = escapedText(diagnostic.message);
    if (message.size() > kLongest) {
        size_t cut = kLongest;
        while (cut > 0 && (static_cast<unsigned char>(message[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        message = message.substr(0, cut) + "\u2026 (" + std::to_string(diagnostic.message.size()) + " bytes)";
    }
    return diagnostic.file + ":" + std::to_string(diagnostic.line) + ":" + std::to_string(diagnostic.column) +
           ": error: " + message;
}

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

bool buildFromDescriptor(const std::string& text, const std::string& path, const BuildSettings& settings,
                         BuildResult* result, std::vector<Diagnostic>* errors)
{
    Builder b;
    b.file = path;
    b.baseDirectory = std::filesystem::path(path).parent_path();
    b.settings = &settings;
    b.errors = errors;
    size_t errorsBefore = errors->size();

    toml::source_position tooDeep{};
    if (NestingScan(text).tooDeep(kDeepestNesting, &tooDeep)) {
        b.error(toml::source_region{tooDeep, tooDeep, nullptr},
                "tables, arrays and dotted keys nest more than " + std::to_string(kDeepestNesting) +
                    " levels deep here; a descriptor needs no more than 4");
        return false;
    }
    toml::parse_result parsed = toml::parse(text, path);
    if (!parsed) {
        const toml::parse_error& failure = parsed.error();
        b.error(failure.source(), std::string(failure.description()));
        return false;
    }
    const toml::table& root = parsed.table();
    refuseNul(b, root);
    std::stable_sort(errors->begin() + static_cast<std::ptrdiff_t>(errorsBefore), errors->end(),
                     [](const Diagnostic& x, const Diagnostic& y) {
                         return x.line != y.line ? x.line < y.line : x.column < y.column;
                     });
    std::vector<std::string> sections;
    for (const DescriptorSection& section : descriptorSections()) {
        if (std::string(section.name).find('.') == std::string::npos) {
            sections.push_back(section.name);
        }
    }
    checkKeys(b, root, "", sections);

    // A record without a default is written only when a key gives it, so that a launcher
    // sees it absent rather than empty.
    for (int32_t id : narrowRecordOrder()) {
        if (const char* value = recordDefault(id)) {
            b.narrow[id] = value;
        }
    }
    std::map<std::string, const toml::table*> tables;
    for (const std::string& name : sections) {
        // [[files]] is an array of tables, read with its entries.
        tables[name] = name == "files" ? nullptr : section(b, root, name.c_str(), name);
    }
    buildService(b, tables["service"], tables["launcher"]);
    checkServiceName(b, tables["service"]);
    buildKeys(b, tables["application"], "application");
    buildKeys(b, tables["java"], "java");
    checkVersionRange(b, tables["java"]);
    noteVersionRangeOfDirectories(b, tables["java"]);
    buildKeys(b, tables["vm"], "vm");
    checkVmOptions(b, tables["vm"]);
    buildKeys(b, tables["launcher"], "launcher");
    buildRuntimeLibrarySetting(b, tables["launcher"]);
    for (const char* name : {"output", "instance", "splash"}) {
        buildKeys(b, tables[name], name);
    }
    buildMessages(b, tables["messages"]);
    buildRecords(b, tables["records"]);
    buildIncludedFiles(b, root);
    checkRequiredKeys(b, tables);
    if (errors->size() != errorsBefore) {
        return false;
    }

    BuildResult built;
    for (int32_t id : narrowRecordOrder()) {
        auto found = b.narrow.find(id);
        if (found != b.narrow.end()) {
            built.block.narrow.push_back({id, found->second});
        }
    }
    for (int32_t id = cfg::kFirstMessageId; id <= cfg::kLastMessageId; ++id) {
        built.block.narrow.push_back({id, b.narrow[id]});
    }
    for (const auto& [id, value] : b.extra) {
        built.block.narrow.push_back({id, value});
    }
    built.block.wide.push_back({cfg::serviceDescription, b.description});
    built.block.localeGroups = b.groups;
    // Sets the count and names records in place, also to none when there are no files.
    built.block.addIncludedFiles(b.files);
    built.includedFrom = b.origins;
    std::string limit = blockLimitProblem(built.block);
    if (!limit.empty()) {
        b.error(toml::source_region{}, "the launcher cannot read this block back: " + limit);
        return false;
    }
    checkLauncherSize(b, root, built.block);
    if (errors->size() != errorsBefore) {
        return false;
    }
    built.notes = b.notes;
    *result = std::move(built);
    return true;
}

} // namespace packager
