// [application], [java] and [vm]: the two keys whose values are lists of entries (the
// class path and the runtime search sequence), in both directions, and the check that the
// version bounds admit a runtime at all.
#include "format/command_line.h"
#include "format/record_ids.h"
#include "format/record_text.h"
#include "model/java_version.h"
#include "packaging/descriptor/sections.h"
#include "packaging/descriptor/text.h"
#include "packaging/descriptor/values.h"


namespace packager {

namespace {

// An entry type and the letter the launcher reads for it.
struct EntryType {
    const char* key;
    char letter;
    bool isSwitch;  // given as `key = true`, stored without a value
};

const EntryType kClassPathTypes[] = {
    {"archive", 'A', false}, {"directory", 'D', false}, {"environment", 'E', false}, {"scan", 'S', false}};
const char kClassPathOptionalKey[] = "optional";
const char kMandatory = '1';
const char kOptional = '0';

const EntryType kSearchTypes[] = {
    {"directory", 'B', false}, {"environment", 'E', false}, {"path", 'S', true}, {"registry", 'Y', true},
    {"installed", 'V', true}};
const EntryType& kSearchDirectory = kSearchTypes[0];
// A directory entry with `fallback = "relative-only"`: skipped when it is not relative.
const char kSearchFallbackKey[] = "fallback";
const char kRelativeOnlyDirectory = 'A';
const char kFallbackAlways[] = "always";
const char kFallbackRelativeOnly[] = "relative-only";

template <size_t N>
const EntryType* typeOfKey(const EntryType (&types)[N], const std::string& key)
{
    for (const EntryType& type : types) {
        if (key == type.key) {
            return &type;
        }
    }
    return nullptr;
}

template <size_t N>
const EntryType* typeOfLetter(const EntryType (&types)[N], char letter)
{
    for (const EntryType& type : types) {
        if (letter == type.letter) {
            return &type;
        }
    }
    return nullptr;
}

// "archive, directory, environment or scan"
template <size_t N>
std::string typeList(const EntryType (&types)[N])
{
    std::string list;
    for (size_t i = 0; i < N; ++i) {
        list += std::string(i == 0 ? "" : i + 1 == N ? " or " : ", ") + types[i].key;
    }
    return list;
}

// The value of a text entry: non-empty and without the separator of the entries.
bool entryText(Report& report, const toml::node& field, const Path& name, std::string* value)
{
    if (!narrowText(report, field, name, value)) {
        return false;
    }
    if (value->empty() || value->find(';') != std::string::npos) {
        report.error(field.source(), name + " must be a non-empty text without ';'");
        return false;
    }
    return true;
}

// The entries of a list, each checked by `entry`, which gives its record text.
template <typename Entry>
bool encodeEntries(Report& report, const toml::node& node, const Path& path, const char* example, Entry entry,
                   std::string* record)
{
    if (!node.is_array()) {
        wrongType(report, node, path, "an array of tables");
        return false;
    }
    std::string joined;
    bool ok = true;
    size_t index = 0;
    for (const toml::node& item : *node.as_array()) {
        Path name = path + "[" + std::to_string(index++) + "]";
        std::string text;
        if (!item.is_table()) {
            wrongType(report, item, name, example);
            ok = false;
        } else if (!entry(*item.as_table(), name, &text)) {
            ok = false;
        } else {
            joined += text + ";";
        }
    }
    *record = joined;
    return ok;
}

// The node of a version bound that the build took; null when the descriptor gives none.
const toml::node* givenBound(BlockDraft& block, const toml::table* java, const DescriptorKey& key)
{
    const toml::node* node = keyNode(java, key);
    bool taken = node != nullptr && node->is_string() && node->as_string()->get() == block.narrow[key.record];
    return taken ? node : nullptr;
}

} // namespace

// The class path: {archive|directory|environment|scan = "...", optional = bool}.
bool encodeClassPath(Report& report, const toml::node& node, const Path& path, std::string* record)
{
    auto entry = [&report](const toml::table& table, const Path& name, std::string* text) {
        const EntryType* type = nullptr;
        std::string value;
        bool optional = false;
        bool ok = true;
        for (auto&& [key, field] : table) {
            std::string k(key.str());
            const EntryType* candidate = typeOfKey(kClassPathTypes, k);
            if (k == kClassPathOptionalKey) {
                if (!field.is_boolean()) {
                    wrongType(report, field, name + "." + k, "true or false");
                    ok = false;
                } else {
                    optional = field.as_boolean()->get();
                }
            } else if (candidate == nullptr) {
                report.error(key.source(), "unknown class path entry type '" + k + "' in " + name + " (" +
                                               typeList(kClassPathTypes) + ")");
                ok = false;
            } else if (type != nullptr) {
                report.error(key.source(), name + " has more than one type");
                ok = false;
            } else {
                type = candidate;
                ok = entryText(report, field, name + "." + k, &value) && ok;
            }
        }
        if (ok && type == nullptr) {
            report.error(table.source(), name + " names no " + typeList(kClassPathTypes));
            ok = false;
        }
        if (ok) {
            *text = std::string(1, type->letter) + (optional ? kOptional : kMandatory) + value;
        }
        return ok;
    };
    return encodeEntries(report, node, path, "a table such as { archive = \"app.jar\" }", entry, record);
}

// "A1..\lib\app.jar;S0lib;" -> entries; none when the text has a shape the keys cannot give.
TomlValue decodeClassPath(const std::string& record)
{
    std::vector<std::string> pieces = blockformat::splitList(record, ';');
    if (pieces.size() < 2 || !pieces.back().empty()) {
        return std::nullopt;
    }
    pieces.pop_back();
    std::string out = "[\n";
    for (const std::string& piece : pieces) {
        const EntryType* type = piece.empty() ? nullptr : typeOfLetter(kClassPathTypes, piece[0]);
        if (type == nullptr || piece.size() < 3 || (piece[1] != kOptional && piece[1] != kMandatory)) {
            return std::nullopt;
        }
        out += "    { " + std::string(type->key) + " = " + tomlText(piece.substr(2)) +
               (piece[1] == kOptional ? ", " + std::string(kClassPathOptionalKey) + " = true" : "") + " },\n";
    }
    return out + "]";
}

// The search sequence: {directory = "...", fallback = "always"|"relative-only"},
// {environment = "NAME"}, {path = true}, {registry = true}, {installed = true}.
bool encodeSearchSequence(Build& b, const toml::node& node, const Path& path, std::string* record)
{
    Report& report = b.report;
    // With no entry the launcher finds a runtime only through its fallback variables, which
    // no user of the application sets: almost certainly a mistake. (A descriptor that
    // `inspect` wrote describes its launcher as it is.)
    if (node.is_array() && node.as_array()->empty() && !describesExistingLauncher(b)) {
        report.error(node.source(), path + " must have at least one entry, such as { directory = \"..\\\\jre\" } or "
                                           "{ installed = true }");
        return false;
    }
    auto entry = [&report](const toml::table& table, const Path& name, std::string* text) {
        const EntryType* type = nullptr;
        std::string value;
        const toml::node* fallback = nullptr;
        bool ok = true;
        for (auto&& [key, field] : table) {
            std::string k(key.str());
            const EntryType* candidate = typeOfKey(kSearchTypes, k);
            if (k == kSearchFallbackKey) {
                fallback = &field;
            } else if (candidate == nullptr) {
                report.error(key.source(), "unknown search entry type '" + k + "' in " + name + " (" +
                                               typeList(kSearchTypes) + ")");
                ok = false;
            } else if (type != nullptr) {
                report.error(key.source(), name + " has more than one type");
                ok = false;
            } else if (candidate->isSwitch) {
                type = candidate;
                if (!field.is_boolean() || !field.as_boolean()->get()) {
                    report.error(field.source(), name + "." + k + " must be true");
                    ok = false;
                }
            } else {
                type = candidate;
                ok = entryText(report, field, name + "." + k, &value) && ok;
            }
        }
        char letter = type == nullptr ? 0 : type->letter;
        if (fallback != nullptr) {
            const std::string word = fallback->is_string() ? fallback->as_string()->get() : std::string();
            if (type != &kSearchDirectory) {
                report.error(fallback->source(), name + "." + kSearchFallbackKey + " belongs to a " +
                                                     kSearchDirectory.key + " entry only");
                ok = false;
            } else if (!fallback->is_string() || (word != kFallbackAlways && word != kFallbackRelativeOnly)) {
                report.error(fallback->source(), name + "." + kSearchFallbackKey + " must be \"" + kFallbackAlways +
                                                     "\" or \"" + kFallbackRelativeOnly + "\"");
                ok = false;
            } else if (word == kFallbackRelativeOnly) {
                letter = kRelativeOnlyDirectory;
            }
        }
        if (ok && type == nullptr) {
            report.error(table.source(), name + " names no " + typeList(kSearchTypes));
            ok = false;
        }
        if (ok) {
            *text = std::string(1, letter) + value;
        }
        return ok;
    };
    return encodeEntries(report, node, path, "a table such as { directory = \"..\\\\jre\" }", entry, record);
}

TomlValue decodeSearchSequence(const std::string& record)
{
    std::vector<std::string> pieces = blockformat::splitList(record, ';');
    if (!pieces.back().empty()) {
        return std::nullopt;
    }
    pieces.pop_back();
    std::string out = "[\n";
    for (const std::string& piece : pieces) {
        if (piece.empty()) {
            return std::nullopt;
        }
        bool relativeOnly = piece[0] == kRelativeOnlyDirectory;
        const EntryType* type = relativeOnly ? &kSearchDirectory : typeOfLetter(kSearchTypes, piece[0]);
        std::string rest = piece.substr(1);
        if (type == nullptr || rest.empty() != type->isSwitch) {
            return std::nullopt;
        }
        out += "    { " + std::string(type->key) + " = " + (type->isSwitch ? "true" : tomlText(rest)) +
               (relativeOnly ? ", " + std::string(kSearchFallbackKey) + " = \"" + kFallbackRelativeOnly + "\"" : "") +
               " },\n";
    }
    return out + "]";
}

// A minimum above the maximum admits no runtime at all; the launcher would search every
// location and then report that none was found.
void checkVersionRange(Build& b, const toml::table* java)
{
    const DescriptorKey& minimumKey = *findKey("java", cfg::minJavaVersion);
    const DescriptorKey& maximumKey = *findKey("java", cfg::maxJavaVersion);
    const std::string& low = b.block.narrow[minimumKey.record];
    const std::string& high = b.block.narrow[maximumKey.record];
    if (low.empty() || high.empty() || !javaruntime::isWellFormedVersion(low) ||
        !javaruntime::isWellFormedVersion(high)) {
        return;
    }
    // Compared as the launcher compares them, with its split.
    javaruntime::JavaVersion lowNumbers = javaruntime::parseJavaVersion(low.c_str());
    javaruntime::JavaVersion highNumbers = javaruntime::parseJavaVersion(high.c_str());
    for (size_t i = 0; i < lowNumbers.size() && i < highNumbers.size(); ++i) {
        if (lowNumbers[i] != highNumbers[i]) {
            if (lowNumbers[i] > highNumbers[i]) {
                // At the bound the descriptor gives, the minimum when it gives both.
                const toml::node* where = givenBound(b.block, java, minimumKey);
                where = where != nullptr ? where : givenBound(b.block, java, maximumKey);
                b.report.error(where != nullptr ? where->source() : toml::source_region{},
                               keyPath(minimumKey) + " " + low + " is above " + keyPath(maximumKey) + " " + high +
                                   ": no Java runtime could ever be accepted");
            }
            break;
        }
    }
}

void checkVmOptions(Build& b, const toml::table* vm)
{
    const DescriptorKey& key = *findKey("vm", cfg::vmParameters);
    const toml::node* node = keyNode(vm, key);
    if (node == nullptr || b.report.reportedAt(node->source())) {
        return;
    }
    // Each option with the node to report it at: an array's own element, or the text.
    std::vector<std::pair<std::string, const toml::node*>> options;
    if (const toml::array* array = node->as_array()) {
        for (const toml::node& item : *array) {
            if (item.is_string()) {
                options.push_back({item.as_string()->get(), &item});
            }
        }
    } else if (node->is_string()) {
        for (const std::string& option : splitCommandLine(node->as_string()->get())) {
            options.push_back({option, node});
        }
        if (options.size() > 1) {
            b.report.note(keyPath(key) + " is one text, which the launcher splits at blanks into " +
                          std::to_string(options.size()) + " options; an array of strings, one per option, " +
                          "says where each begins");
        }
    }
    // The VM refuses an option that does not begin with '-', and the application does not
    // start. The file after -include-options is no option; a variable may stand for one.
    for (size_t i = 0; i < options.size(); ++i) {
        const std::string& option = options[i].first;
        bool includedFile = i > 0 && options[i - 1].first == "-include-options";
        if (option.empty() || option[0] == '-' || option[0] == '$' || option[0] == '%' || includedFile) {
            continue;
        }
        b.report.error(options[i].second->source(),
                       keyPath(key) + " " + shownText(option) +
                           " does not begin with '-': the Java VM would refuse it and the application would not "
                           "start (such as \"-" + option + "\")");
    }
}

void noteVersionRangeOfDirectories(Build& b)
{
    const DescriptorKey& minimumKey = *findKey("java", cfg::minJavaVersion);
    const DescriptorKey& maximumKey = *findKey("java", cfg::maxJavaVersion);
    const DescriptorKey& searchKey = *findKey("java", cfg::jvmSearchSequence);
    const std::string& low = b.block.narrow[minimumKey.record];
    const std::string& high = b.block.narrow[maximumKey.record];
    const DescriptorKey& strictKey = *findKey("java", cfg::strictJavaVersion);
    // The default range (1.8 or later) is every launcher's: no note for it; nor when no
    // runtime outside the range is ever taken.
    if ((low == minimumKey.defaultValue && high == maximumKey.defaultValue) || (low.empty() && high.empty()) ||
        b.block.narrow[strictKey.record] != strictKey.defaultValue) {
        return;
    }
    std::vector<std::string> directories;
    for (const std::string& entry : blockformat::splitList(b.block.narrow[searchKey.record], ';')) {
        if (!entry.empty() && (entry[0] == kSearchDirectory.letter || entry[0] == kRelativeOnlyDirectory)) {
            directories.push_back(latin1ToUtf8(entry.substr(1)));
        }
    }
    if (directories.empty()) {
        return;
    }
    std::string range = !low.empty() && !high.empty() ? low + " to " + high
                        : !low.empty()                 ? low + " or later"
                                                       : high + " or earlier";
    std::string names;
    for (const std::string& directory : directories) {
        names += (names.empty() ? "" : ", ") + shownText(directory);
    }
    b.report.note("when no runtime of Java " + range + " is found, the launcher takes one from the " +
                  keyPath(searchKey) + " directory entries (" + names +
                  ") whatever its version, as a runtime shipped with the application is better than none; " +
                  keyPath(strictKey) + " = true refuses a runtime outside the range");
}

} // namespace packager
