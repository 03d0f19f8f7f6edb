// From a packaged launcher back to a descriptor: the sections and keys in the key
// table's order, each value written by its kind (values.h), the records that no
// key can express under [records], then a build of the result to check it.
#include "packaging/descriptor/writer.h"

#include "format/record_ids.h"
#include "packaging/descriptor/build.h"
#include "packaging/descriptor/draft.h"
#include "packaging/descriptor/keys.h"
#include "packaging/descriptor/text.h"
#include "packaging/descriptor/values.h"
#include "packaging/descriptor/message_texts.h"
#include "packaging/descriptor/sections.h"

#include <cstdio>
#include <map>
#include <set>

namespace packager {

namespace {

// Where an included file is expected when the caller names no source: its name, with the
// separators of a path in the descriptor.
std::string defaultSource(const std::string& name)
{
    std::string source = latin1ToUtf8(name);
    for (char& c : source) {
        c = c == '\\' ? '/' : c;
    }
    return source;
}

const char kSecondHeaderLine[] = "# The launcher's records in full; `packager build` turns it into the same launcher.";
// Instead, when a build of the descriptor gives other bytes (the notes of inspect say why).
const char kSecondHeaderLineDiffering[] =
    "# The launcher's settings as it reads them; `packager build` gives a launcher with other bytes.";

struct Writer {
    const PackagedLauncher* launcher = nullptr;
    std::map<int32_t, std::string> narrow;  // the launcher's values (last record wins)
    const std::set<int32_t>* raw = nullptr;
    std::string out;
    int line = 1;
    std::map<int, int32_t> lineIds;         // line -> the record it expresses
    std::set<int32_t> unexpressed;          // ids no key could express
    std::string language;                   // of the built-in message texts
    std::vector<std::string> notes;         // what the descriptor cannot say

    bool has(int32_t id) const { return narrow.count(id) != 0; }
    // The text of a record; empty for one the launcher lacks, which stays absent (it is
    // no empty record).
    const std::string& get(int32_t id) const
    {
        static const std::string none;
        auto found = narrow.find(id);
        return found == narrow.end() ? none : found->second;
    }

    void plain(const std::string& text)
    {
        out += text + "\n";
        for (char c : text) {
            line += c == '\n';
        }
        ++line;
    }
    // key = value for record `id`, unless it must go to [records].
    void key(int32_t id, const std::string& name, const TomlValue& value)
    {
        if (!has(id) || raw->count(id) != 0) {
            return;
        }
        if (!value) {
            unexpressed.insert(id);
            return;
        }
        int first = line;
        plain(name + " = " + *value);
        for (int l = first; l < line; ++l) {
            lineIds[l] = id;
        }
    }
};

// The text of a message in a language, as the block stores it.
std::string builtInText(const std::string& language, int32_t id)
{
    std::string latin1;
    for (const MessageText& message : builtInMessages(language)) {
        if (message.id == id) {
            utf8ToLatin1(message.utf8, &latin1);
        }
    }
    return latin1;
}

// The built-in text as a build writes it for this launcher: the no-runtime texts end with
// its version range.
std::string builtInTextOfLauncher(Writer& w, int32_t id)
{
    std::string text = builtInText(w.language, id);
    if (!namesVersionRange(id)) {
        return text;
    }
    std::string minimum = w.has(cfg::minJavaVersion) ? w.get(cfg::minJavaVersion) : std::string();
    std::string maximum = w.has(cfg::maxJavaVersion) ? w.get(cfg::maxJavaVersion) : std::string();
    std::string range;
    if (!utf8ToLatin1(versionRangeSentence(w.language, latin1ToUtf8(minimum), latin1ToUtf8(maximum)), &range) ||
        range.empty()) {
        return text;
    }
    return text + "\n" + range;
}

// The language whose built-in texts match most.
std::string likeliestLanguage(Writer& w)
{
    std::string language = findKeyOfKind(KeyKind::language)->defaultValue;
    size_t best = 0;
    for (const std::string& candidate : messageLanguages()) {
        size_t matches = 0;
        for (const MessageText& message : builtInMessages(candidate)) {
            matches += w.has(message.id) && w.get(message.id) == builtInText(candidate, message.id);
        }
        if (matches > best) {
            best = matches;
            language = candidate;
        }
    }
    return language;
}

// A key that its section's own code reads.
void writeOwnKey(Writer& w, const DescriptorKey& key)
{
    const blockformat::ConfigBlock& block = w.launcher->block;
    std::string utf8;
    switch (key.kind) {
    case KeyKind::wideText:
        for (const blockformat::WideRecord& record : block.wide) {
            if (record.id == key.record && utf16ToUtf8(record.value, &utf8)) {
                w.plain(std::string(key.key) + " = " + tomlString(utf8));
            }
        }
        break;
    case KeyKind::translations:
        if (!block.localeGroups.empty()) {
            w.plain("\n[" + keyPath(key) + "]");
            for (const blockformat::LocaleGroup& group : block.localeGroups) {
                for (const blockformat::WideRecord& record : group.records) {
                    if (record.id == key.record && utf16ToUtf8(record.value, &utf8)) {
                        w.plain(tomlText(group.prefix) + " = " + tomlString(utf8));
                    }
                }
            }
        }
        break;
    case KeyKind::setting:
        w.plain("# Included files, the runtime library among them, are listed under [[files]].");
        w.plain(std::string(key.key) + " = false");
        break;
    case KeyKind::language:
        w.language = likeliestLanguage(w);
        w.plain(std::string(key.key) + " = " + tomlString(w.language));
        break;
    case KeyKind::message:
        if (w.has(key.record) && w.get(key.record) != builtInTextOfLauncher(w, key.record)) {
            w.key(key.record, key.key, tomlText(w.get(key.record)));
        }
        break;
    default:
        break;
    }
}

// A choice whose words may also set a linked record (service.start): the word for both
// texts. A linked text no word gives goes to [records], and the word then stands for the
// key's own record alone.
void writeLinkedChoice(Writer& w, const DescriptorKey& key)
{
    if (!w.has(key.linked) || w.raw->count(key.linked) != 0) {
        w.key(key.record, key.key, decodeChoice(w.get(key.record), key.words, nullptr));
        return;
    }
    TomlValue both = decodeChoice(w.get(key.record), key.words, &w.get(key.linked));
    if (!both) {
        w.unexpressed.insert(key.linked);
        w.key(key.record, key.key, decodeChoice(w.get(key.record), key.words, nullptr));
        return;
    }
    w.key(key.record, key.key, both);
}

// A key whose record the launcher lacks although the packager writes it: an older packager
// made the launcher. The key is shown, commented, with the default a build writes.
void writeAbsentKey(Writer& w, const DescriptorKey& key)
{
    const char* stored = recordDefault(key.record);
    TomlValue value = stored == nullptr ? std::nullopt : decodeValue(key, stored);
    if (value) {
        w.plain("# " + std::string(key.key) + " = " + *value + "  # not in this launcher; a build writes this default");
    }
}

// Records no key expresses: identifiers the packager does not write, and values whose
// readable form would not give back the same text.
void writeRecords(Writer& w, const DescriptorSection& section)
{
    std::set<int32_t> known(narrowRecordOrder().begin(), narrowRecordOrder().end());
    std::vector<int32_t> rawIds;
    for (const auto& [id, value] : w.narrow) {
        (void)value;
        bool message = id >= cfg::kFirstMessageId && id <= cfg::kLastMessageId;
        if (id == cfg::includedFileCount || id == cfg::includedFileNames) {
            continue;
        }
        if ((known.count(id) == 0 && !message) || w.raw->count(id) != 0 || w.unexpressed.count(id) != 0) {
            rawIds.push_back(id);
        }
    }
    if (!rawIds.empty()) {
        w.plain("\n# Records as they are stored, for values that no key above can express.");
        w.plain(section.heading);
        for (int32_t id : rawIds) {
            w.plain(tomlString(std::to_string(id)) + " = " + tomlText(w.get(id)));
        }
    }
}

// [environment] from its record, when the launcher has one; a record no descriptor gives
// is left out with a note, and a build then gives a launcher without it.
void writeEnvironment(Writer& w, const DescriptorSection& section)
{
    const DescriptorKey& key = *findKey(section.name, cfg::environmentVariables);
    for (const blockformat::WideRecord& record : w.launcher->block.wide) {
        if (record.id != key.record) {
            continue;
        }
        std::vector<std::string> lines;
        std::string reason;
        if (!environmentLines(record.value, &lines, &reason)) {
            w.notes.push_back("record " + std::to_string(key.record) + " (" + section.heading +
                              ") cannot be written as a descriptor: " + reason + "; the descriptor leaves it out");
            continue;
        }
        w.plain("\n" + std::string(section.heading));
        for (const std::string& line : lines) {
            w.plain(line);
        }
    }
}

void writeFiles(Writer& w, const DescriptorSection& section, const std::vector<std::string>& fileSources)
{
    const DescriptorKey& sourceKey = *findKey(section.name, cfg::includedFileCount);
    const DescriptorKey& nameKey = *findKey(section.name, cfg::includedFileNames);
    const PackagedLauncher& launcher = *w.launcher;
    for (size_t i = 0; i < launcher.fileNames.size(); ++i) {
        const std::string& name = launcher.fileNames[i];
        size_t size = i < launcher.block.includedContents.size() ? launcher.block.includedContents[i].size() : 0;
        w.plain("\n" + std::string(section.heading) + "  # " + std::to_string(size) + " bytes");
        w.plain(std::string(sourceKey.key) + " = " +
                tomlString(i < fileSources.size() ? fileSources[i] : defaultSource(name)));
        w.plain(std::string(nameKey.key) + " = " + tomlText(name));
    }
}

std::string write(const PackagedLauncher& launcher, const std::vector<std::string>& fileSources,
                  const std::string& launcherName, const std::set<int32_t>& raw, Writer* w)
{
    w->launcher = &launcher;
    for (const blockformat::NarrowRecord& record : launcher.block.narrow) {
        w->narrow[record.id] = record.value;
    }
    w->raw = &raw;
    w->plain("# Service descriptor of " + launcherName + ", written by packager inspect.");
    w->plain(kSecondHeaderLine);

    for (const DescriptorSection& section : descriptorSections()) {
        const std::string name = section.name;
        if (name == "records") {
            writeRecords(*w, section);
            continue;
        }
        if (name == "files") {
            writeFiles(*w, section, fileSources);
            continue;
        }
        if (name == "installer") {
            continue;  // the package's settings are not in the launcher
        }
        if (name == "environment") {
            writeEnvironment(*w, section);
            continue;
        }
        w->plain("\n" + std::string(section.heading));
        for (const DescriptorKey& key : descriptorKeys()) {
            if (key.section != name) {
                continue;
            }
            if (key.code == KeyCode::own) {
                writeOwnKey(*w, key);
            } else if (!w->has(key.record)) {
                writeAbsentKey(*w, key);
            } else if (key.kind == KeyKind::choice && key.linked != 0) {
                writeLinkedChoice(*w, key);
            } else {
                w->key(key.record, key.key, decodeValue(key, w->get(key.record)));
            }
        }
    }
    return w->out;
}

// The narrow records of `rebuilt` that `original` lacks: records the packager writes with
// their defaults that the launcher was built without.
std::vector<int32_t> addedRecords(const blockformat::ConfigBlock& rebuilt, const blockformat::ConfigBlock& original)
{
    std::set<int32_t> present;
    for (const blockformat::NarrowRecord& record : original.narrow) {
        present.insert(record.id);
    }
    std::vector<int32_t> added;
    for (const blockformat::NarrowRecord& record : rebuilt.narrow) {
        if (present.count(record.id) == 0) {
            added.push_back(record.id);
        }
    }
    return added;
}

blockformat::ConfigBlock withoutRecords(blockformat::ConfigBlock block, const std::vector<int32_t>& ids)
{
    std::set<int32_t> left(ids.begin(), ids.end());
    std::vector<blockformat::NarrowRecord> kept;
    for (blockformat::NarrowRecord& record : block.narrow) {
        if (left.count(record.id) == 0) {
            kept.push_back(std::move(record));
        }
    }
    block.narrow = std::move(kept);
    return block;
}

// "101 (service.name), 20017 (service.description) and 99999"
std::string recordList(const std::vector<int32_t>& ids)
{
    std::string list;
    for (size_t i = 0; i < ids.size(); ++i) {
        const DescriptorKey* key = keyOfRecord(ids[i]);
        list += std::string(i == 0 ? "" : i + 1 == ids.size() ? " and " : ", ") + std::to_string(ids[i]) +
                (key != nullptr ? " (" + keyPath(*key) + ")" : "");
    }
    return list;
}

bool sameNarrowOrder(const blockformat::ConfigBlock& a, const blockformat::ConfigBlock& b)
{
    if (a.narrow.size() != b.narrow.size()) {
        return false;
    }
    for (size_t i = 0; i < a.narrow.size(); ++i) {
        if (a.narrow[i].id != b.narrow[i].id) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string tomlString(const std::string& utf8)
{
    std::string out = "\"";
    for (char c : utf8) {
        unsigned char u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default:
            if (u < 0x20 || u == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04X", u);
                out += escape;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

Description describeLauncher(const packager::PackagedLauncher& launcher, const std::vector<std::string>& fileSources,
                             const std::string& launcherName)
{
    std::map<std::string, std::vector<uint8_t>> contents;
    for (size_t i = 0; i < launcher.fileNames.size() && i < launcher.block.includedContents.size(); ++i) {
        contents[i < fileSources.size() ? fileSources[i] : defaultSource(launcher.fileNames[i])] =
            launcher.block.includedContents[i];
    }
    BuildSettings settings;
    settings.fileContents = &contents;

    Description description;
    bool settled = false;
    std::set<int32_t> raw;
    std::vector<uint8_t> original = blockformat::serializeBlock(launcher.block);
    std::vector<uint8_t> originalFiles = blockformat::serializeIncludedFiles(launcher.block);
    // Each round moves the records whose readable form did not give back their text to
    // [records]; two rounds settle it, the third only confirms.
    // Records a build adds that the launcher lacks; the rest is compared without them.
    std::vector<int32_t> added;
    std::vector<std::string> writerNotes;  // of the last round
    for (int round = 0; round < 4 && !settled; ++round) {
        Writer w;
        description.descriptor = write(launcher, fileSources, launcherName, raw, &w);
        writerNotes = w.notes;
        BuildResult built;
        std::vector<Diagnostic> errors;
        size_t rawBefore = raw.size();
        description.builds = true;
        if (!buildFromDescriptor(description.descriptor, launcherName + ".toml", settings, &built, &errors)) {
            for (const Diagnostic& error : errors) {
                auto found = w.lineIds.find(error.line);
                if (found != w.lineIds.end()) {
                    raw.insert(found->second);
                }
            }
            description.builds = false;
            if (raw.size() == rawBefore) {
                description.notes.push_back("no descriptor that builds can be written for this launcher: " +
                                            formatDiagnostic(errors.front()));
                settled = true;
            }
            continue;
        }
        added = addedRecords(built.block, launcher.block);
        BuildResult rebuilt;
        rebuilt.block = withoutRecords(built.block, added);
        if (blockformat::serializeBlock(rebuilt.block) == original &&
            blockformat::serializeIncludedFiles(rebuilt.block) == originalFiles) {
            description.rebuildsIdentically = added.empty();
            settled = true;
            continue;
        }
        if (!sameNarrowOrder(rebuilt.block, launcher.block)) {
            description.notes.push_back(
                "this launcher's records are not in the packager's order or not all present (it was not made by this "
                "packager); building the descriptor gives a launcher with the same settings, not the same bytes");
            settled = true;
            continue;
        }
        for (size_t i = 0; i < rebuilt.block.narrow.size(); ++i) {
            if (rebuilt.block.narrow[i].value != launcher.block.narrow[i].value) {
                raw.insert(rebuilt.block.narrow[i].id);
            }
        }
        if (raw.size() == rawBefore) {
            description.notes.push_back("the service description, its translations or the included files cannot be "
                                        "written exactly; building the descriptor gives a launcher that differs there");
            settled = true;
        }
    }
    if (!settled) {
        description.notes.push_back("the descriptor could not be made to give back every record exactly");
    }
    description.notes.insert(description.notes.end(), writerNotes.begin(), writerNotes.end());
    if (!added.empty()) {
        description.notes.push_back(
            std::string("this launcher has no ") + (added.size() == 1 ? "record " : "records ") + recordList(added) +
            ", which this packager writes; a build of the descriptor adds " + (added.size() == 1 ? "it" : "them") +
            " with the packager's defaults, so the launcher it gives differs there");
        description.rebuildsIdentically = false;
    }
    // The parser hands over each text as the launcher reads it, up to its first NUL; the
    // bytes behind it are in no descriptor, and no build makes them again.
    std::set<int32_t> cut(launcher.cutAtNul.begin(), launcher.cutAtNul.end());
    if (!cut.empty()) {
        description.notes.push_back(std::string(cut.size() == 1 ? "record " : "records ") +
                                    recordList(std::vector<int32_t>(cut.begin(), cut.end())) +
                                    (cut.size() == 1 ? " holds" : " hold") +
                                    " bytes behind a NUL character, which the launcher never reads; the descriptor "
                                    "gives the text as the launcher reads it, and a build of it leaves those bytes out");
        description.rebuildsIdentically = false;
    }
    if (!description.rebuildsIdentically) {
        size_t second = description.descriptor.find('\n') + 1;
        description.descriptor.replace(second, std::string(kSecondHeaderLine).size(), kSecondHeaderLineDiffering);
    }
    return description;
}

} // namespace packager
