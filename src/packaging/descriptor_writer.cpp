// Descriptor writer.
#include "packaging/descriptor_writer.h"

#include "packaging/descriptor.h"
#include "format/record_text.h"
#include "format/command_line.h"
#include "format/record_ids.h"
#include "packaging/descriptor_text.h"
#include "packaging/message_texts.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

namespace packager {

namespace {

using Value = std::optional<std::string>;

// Where an included file is expected when the caller names no source: its name, with the
// separators of a path in the descriptor.
std::string defaultSource(const std::string& name)
{
    std::string source = latin1ToUtf8(name);
    for (char& c : source) {
        c = c == '\\' ? '/' : c;
    }
    return source;
}  // TOML value text, or none when no key can express it

struct Writer {
    std::map<int32_t, std::string> narrow;  // the launcher's values (last record wins)
    const std::set<int32_t>* raw = nullptr;
    std::string out;
    int line = 1;
    std::map<int, int32_t> lineIds;         // line -> the record it expresses
    std::set<int32_t> unexpressed;          // ids no key could express

    bool has(int32_t id) const { return narrow.count(id) != 0; }
    const std::string& get(int32_t id) { return narrow[id]; }

    void plain(const std::string& text)
    {
        out += text + "\n";
        for (char c : text) {
            line += c == '\n';
        }
        ++line;
    }
    // key = value for record `id`, unless it must go to [records].
    void key(int32_t id, const std::string& name, const Value& value)
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

Value text(const std::string& latin1)
{
    return tomlString(latin1ToUtf8(latin1));
}

Value flag(const std::string& value)
{
    if (value == "1") {
        return std::string("true");
    }
    if (value == "0") {
        return std::string("false");
    }
    return std::nullopt;
}

Value integer(const std::string& value)
{
    char* end = nullptr;
    long long number = std::strtoll(value.c_str(), &end, 10);
    if (value.empty() || *end != 0 || std::to_string(number) != value || number < INT32_MIN || number > INT32_MAX) {
        return std::nullopt;
    }
    return value;
}

Value stringArray(const std::vector<std::string>& items)
{
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        out += (i == 0 ? "" : ", ") + *text(items[i]);
    }
    return out + "]";
}

Value list(const std::string& value, char separator)
{
    if (value.empty()) {
        return std::string("[]");
    }
    return stringArray(blockformat::splitList(value, separator));
}

Value commandLine(const std::string& value)
{
    std::vector<std::string> arguments = splitCommandLine(value);
    std::string joined;
    if (joinCommandLine(arguments, &joined, nullptr) && joined == value) {
        return stringArray(arguments);
    }
    return text(value);  // kept as it stands, quoting and all
}

// "A1..\lib\app.jar;S0lib;" -> entries; none when the text has a shape the keys cannot give.
Value classPath(const std::string& value)
{
    std::vector<std::string> pieces = blockformat::splitList(value, ';');
    if (pieces.size() < 2 || !pieces.back().empty()) {
        return std::nullopt;
    }
    pieces.pop_back();
    std::string out = "[\n";
    for (const std::string& piece : pieces) {
        if (piece.size() < 3 || (piece[1] != '0' && piece[1] != '1')) {
            return std::nullopt;
        }
        const char* type = piece[0] == 'A' ? "archive" : piece[0] == 'D' ? "directory" : piece[0] == 'E' ? "environment"
                         : piece[0] == 'S' ? "scan" : nullptr;
        if (type == nullptr) {
            return std::nullopt;
        }
        out += "    { " + std::string(type) + " = " + *text(piece.substr(2)) + (piece[1] == '0' ? ", optional = true" : "") +
               " },\n";
    }
    return out + "]";
}

Value searchSequence(const std::string& value)
{
    std::vector<std::string> pieces = blockformat::splitList(value, ';');
    if (!pieces.back().empty()) {
        return std::nullopt;
    }
    pieces.pop_back();
    std::string out = "[\n";
    for (const std::string& piece : pieces) {
        if (piece.empty()) {
            return std::nullopt;
        }
        std::string rest = piece.substr(1);
        switch (piece[0]) {
        case 'B':
        case 'A':
            if (rest.empty()) {
                return std::nullopt;
            }
            out += "    { directory = " + *text(rest) + (piece[0] == 'A' ? ", fallback = \"relative-only\"" : "") + " },\n";
            break;
        case 'E':
            if (rest.empty()) {
                return std::nullopt;
            }
            out += "    { environment = " + *text(rest) + " },\n";
            break;
        case 'S':
        case 'Y':
            if (!rest.empty()) {
                return std::nullopt;
            }
            out += std::string("    { ") + (piece[0] == 'S' ? "path" : "registry") + " = true },\n";
            break;
        default:
            return std::nullopt;
        }
    }
    return out + "]";
}

Value choice(const std::string& value, std::initializer_list<std::pair<const char*, const char*>> map)
{
    for (const auto& [stored, word] : map) {
        if (value == stored) {
            return tomlString(word);
        }
    }
    return std::nullopt;
}

std::string write(const packager::PackagedLauncher& launcher, const std::vector<std::string>& fileSources,
                  const std::string& launcherName, const std::set<int32_t>& raw, Writer* w,
                  std::vector<std::string>* notes)
{
    for (const blockformat::NarrowRecord& record : launcher.block.narrow) {
        w->narrow[record.id] = record.value;
    }
    w->raw = &raw;
    w->plain("# Service descriptor of " + launcherName + ", written by packager inspect.");
    w->plain("# The launcher's records in full; `packager build` turns it into the same launcher.");

    w->plain("\n[service]");
    w->key(101, "name", text(w->get(101)));
    const std::string kind = w->has(107) ? w->get(107) : "";
    w->key(107, "start", choice(kind, {{"4", "auto"}, {"0", "demand"}, {"1", "demand"}, {"5", "demand"}}));
    w->key(149, "dependencies", list(w->get(149), ','));
    for (const blockformat::WideRecord& record : launcher.block.wide) {
        std::string utf8;
        if (record.id == 20017 && utf16ToUtf8(record.value, &utf8)) {
            w->plain("description = " + tomlString(utf8));
        }
    }
    if (!launcher.block.localeGroups.empty()) {
        w->plain("\n[service.description_translations]");
        for (const blockformat::LocaleGroup& group : launcher.block.localeGroups) {
            for (const blockformat::WideRecord& record : group.records) {
                std::string utf8;
                if (record.id == 20017 && utf16ToUtf8(record.value, &utf8)) {
                    w->plain(tomlString(latin1ToUtf8(group.prefix)) + " = " + tomlString(utf8));
                }
            }
        }
    }

    w->plain("\n[application]");
    w->key(122, "main_class", text(w->get(122)));
    w->key(121, "class_path", classPath(w->get(121)));
    w->key(124, "arguments", commandLine(w->get(124)));

    w->plain("\n[java]");
    w->key(126, "min_version", text(w->get(126)));
    w->key(127, "max_version", text(w->get(127)));
    w->key(128, "search", searchSequence(w->get(128)));
    w->key(130, "allow_prerelease", flag(w->get(130)));
    w->key(131, "require_jdk", flag(w->get(131)));
    w->key(152, "jvm_subdirectory", text(w->get(152)));
    w->key(160, "application_id", text(w->get(160)));
    w->key(165, "skip_javasoft_registry", flag(w->get(165)));

    w->plain("\n[vm]");
    w->key(123, "options", commandLine(w->get(123)));
    w->key(125, "pass_j_arguments", flag(w->get(125)));

    w->plain("\n[launcher]");
    w->key(107, "kind", choice(kind, {{"4", "service"}, {"0", "service"}, {"1", "gui"}, {"5", "message-boxes"}}));
    w->key(2001, "flavour", choice(w->get(2001), {{"q", "quill"}, {"d", "deploykit"}}));
    w->key(146, "working_directory", text(w->get(146)));
    w->key(10003, "installation_directory", text(w->get(10003)));
    w->key(10004, "native_library_directories", list(w->get(10004), ';'));
    w->plain("# Included files, the runtime library among them, are listed under [[files]].");
    w->plain("runtime_library = false");

    w->plain("\n[output]");
    w->key(103, "stderr", text(w->get(103)));
    w->key(102, "redirect_stderr", flag(w->get(102)));
    w->key(105, "stdout", text(w->get(105)));
    w->key(104, "redirect_stdout", flag(w->get(104)));
    w->key(106, "append", flag(w->get(106)));

    w->plain("\n[instance]");
    w->key(10005, "single", flag(w->get(10005)));
    w->key(10007, "bring_to_front", flag(w->get(10007)));
    w->key(158, "global", flag(w->get(158)));

    w->plain("\n[splash]");
    w->key(10123, "enabled", flag(w->get(10123)));
    w->key(108, "after_vm", flag(w->get(108)));
    w->key(163, "second_flag", flag(w->get(163)));
    const struct {
        const char* name;
        int32_t ids[6];
    } lines[] = {{"status", {10111, 10109, 10110, 10114, 10113, 10115}},
                 {"version", {10118, 10116, 10117, 10121, 10120, 10122}}};
    for (const auto& splashLine : lines) {
        w->plain(std::string("\n[splash.") + splashLine.name + "]");
        w->key(splashLine.ids[0], "text", text(w->get(splashLine.ids[0])));
        w->key(splashLine.ids[1], "x", integer(w->get(splashLine.ids[1])));
        w->key(splashLine.ids[2], "y", integer(w->get(splashLine.ids[2])));
        w->key(splashLine.ids[3], "colour", text(w->get(splashLine.ids[3])));
        w->key(splashLine.ids[4], "font_size", integer(w->get(splashLine.ids[4])));
        w->key(splashLine.ids[5], "font_weight", integer(w->get(splashLine.ids[5])));
    }

    // The language whose built-in texts match most, and the texts that differ from it.
    std::string language = "en";
    size_t best = 0;
    for (const std::string& candidate : messageLanguages()) {
        size_t matches = 0;
        for (const MessageText& message : builtInMessages(candidate)) {
            std::string latin1;
            utf8ToLatin1(message.utf8, &latin1);
            matches += w->has(message.id) && w->get(message.id) == latin1;
        }
        if (matches > best) {
            best = matches;
            language = candidate;
        }
    }
    w->plain("\n[messages]");
    w->plain("language = " + tomlString(language));
    for (const MessageText& message : builtInMessages(language)) {
        std::string latin1;
        utf8ToLatin1(message.utf8, &latin1);
        if (w->has(message.id) && w->get(message.id) != latin1) {
            w->key(message.id, message.key, text(w->get(message.id)));
        }
    }

    // Records no key expresses: identifiers the packager does not write, and values whose
    // readable form would not give back the same text.
    std::set<int32_t> known(narrowRecordOrder().begin(), narrowRecordOrder().end());
    std::vector<int32_t> rawIds;
    for (const auto& [id, value] : w->narrow) {
        (void)value;
        bool message = id >= kFirstMessageId && id <= kLastMessageId;
        if (id == cfg::includedFileCount || id == cfg::includedFileNames) {
            continue;
        }
        if ((known.count(id) == 0 && !message) || raw.count(id) != 0 || w->unexpressed.count(id) != 0) {
            rawIds.push_back(id);
        }
    }
    if (!rawIds.empty()) {
        w->plain("\n# Records as they are stored, for values that no key above can express.");
        w->plain("[records]");
        for (int32_t id : rawIds) {
            w->plain(tomlString(std::to_string(id)) + " = " + *text(w->get(id)));
        }
    }

    for (size_t i = 0; i < launcher.fileNames.size(); ++i) {
        const std::string& name = launcher.fileNames[i];
        size_t size = i < launcher.block.includedContents.size() ? launcher.block.includedContents[i].size() : 0;
        w->plain("\n[[files]]  # " + std::to_string(size) + " bytes");
        w->plain("source = " + tomlString(i < fileSources.size() ? fileSources[i] : defaultSource(name)));
        w->plain("name = " + *text(name));
    }
    (void)notes;
    return w->out;
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
    std::set<int32_t> raw;
    std::vector<uint8_t> original = blockformat::serializeBlock(launcher.block);
    std::vector<uint8_t> originalFiles = blockformat::serializeIncludedFiles(launcher.block);
    // Each round moves the records whose readable form did not give back their text to
    // [records]; two rounds settle it, the third only confirms.
    for (int round = 0; round < 4; ++round) {
        Writer w;
        std::vector<std::string> notes;
        description.descriptor = write(launcher, fileSources, launcherName, raw, &w, &notes);
        BuildResult rebuilt;
        std::vector<Diagnostic> errors;
        size_t rawBefore = raw.size();
        if (!buildFromDescriptor(description.descriptor, launcherName + ".toml", settings, &rebuilt, &errors)) {
            for (const Diagnostic& error : errors) {
                auto found = w.lineIds.find(error.line);
                if (found != w.lineIds.end()) {
                    raw.insert(found->second);
                }
            }
            if (raw.size() == rawBefore) {
                description.notes.push_back("the written descriptor does not build: " + formatDiagnostic(errors.front()));
                return description;
            }
            continue;
        }
        if (blockformat::serializeBlock(rebuilt.block) == original &&
            blockformat::serializeIncludedFiles(rebuilt.block) == originalFiles) {
            description.rebuildsIdentically = true;
            return description;
        }
        if (!sameNarrowOrder(rebuilt.block, launcher.block)) {
            description.notes.push_back(
                "this launcher's records are not in the packager's order or not all present (it was not made by this "
                "packager); building the descriptor gives a launcher with the same settings, not the same bytes");
            return description;
        }
        for (size_t i = 0; i < rebuilt.block.narrow.size(); ++i) {
            if (rebuilt.block.narrow[i].value != launcher.block.narrow[i].value) {
                raw.insert(rebuilt.block.narrow[i].id);
            }
        }
        if (raw.size() == rawBefore) {
            description.notes.push_back("the service description, its translations or the included files cannot be "
                                        "written exactly; building the descriptor gives a launcher that differs there");
            return description;
        }
    }
    description.notes.push_back("the descriptor could not be made to give back every record exactly");
    return description;
}

} // namespace packager
