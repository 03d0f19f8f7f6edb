// The key reference, from the key table: each default is shown as `inspect` would write
// it, through the same conversion of the record's text.
#include "packaging/descriptor/key_reference.h"

#include "format/record_ids.h"
#include "packaging/descriptor/keys.h"
#include "packaging/descriptor/values.h"

#include <climits>

namespace packager {

namespace {

const char kIntroduction[] =
    "# Service descriptor keys\n"
    "\n"
    "<!-- Made by `packager keys` from the packager's key table (src/packaging/descriptor/keys.cpp);\n"
    "     change the table, not this file, and run `packager keys > docs/descriptor.md`. -->\n"
    "\n"
    "A service descriptor is a TOML file that names, under readable keys, what a packaged\n"
    "launcher reads. `packager build` turns it and the generic launcher image into the\n"
    "launcher of one application; `packager inspect` writes the descriptor of a launcher,\n"
    "and building that descriptor gives the same launcher again.\n"
    "\n"
    "These keys must be given:\n"
    "{required}.\n"
    "Every other key has the default shown, and the defaults make a working service launcher.\n"
    "*Record* is the configuration record a key sets, by identifier and name, as `[records]`\n"
    "takes it.\n"
    "\n"
    "Texts the launcher stores as narrow records may hold ISO-8859-1 characters only; the\n"
    "service description, its translations and `[environment]` may hold any. No text may hold\n"
    "a NUL character (U+0000): the launcher reads a text only up to its first NUL, so `build`\n"
    "refuses one.\n"
    "Errors name the file, line and column, one line each.\n";

std::string code(const std::string& text)
{
    return "`" + text + "`";
}

// Distinct words of a choice: `"auto"` or `"demand"`.
std::string words(const ChoiceWord* list)
{
    std::vector<std::string> distinct;
    for (const ChoiceWord* word = list; word->word != nullptr; ++word) {
        std::string quoted = code(std::string("\"") + word->word + "\"");
        bool seen = false;
        for (const std::string& known : distinct) {
            seen = seen || known == quoted;
        }
        if (!seen) {
            distinct.push_back(quoted);
        }
    }
    std::string out;
    for (size_t i = 0; i < distinct.size(); ++i) {
        out += (i == 0 ? "" : i + 1 == distinct.size() ? " or " : ", ") + distinct[i];
    }
    return out;
}

std::string typeOf(const DescriptorKey& key)
{
    if (key.typeText != nullptr) {
        return key.typeText;
    }
    switch (key.kind) {
    case KeyKind::text: return "string";
    case KeyKind::flag:
    case KeyKind::setting: return "boolean";
    case KeyKind::integer:
        if (key.minimum != INT32_MIN || key.maximum != INT32_MAX) {
            return "integer, " + std::to_string(key.minimum) + " to " + std::to_string(key.maximum);
        }
        return "integer";
    case KeyKind::list: return "array of strings";
    case KeyKind::commandLine: return "array of strings, or a string taken as it stands";
    case KeyKind::version: return "string (Java version)";
    case KeyKind::choice:
    case KeyKind::language: return words(key.words);
    case KeyKind::className: return "string (class name)";
    case KeyKind::directoryName: return "string (directory name)";
    case KeyKind::outputFile: return "string (file)";
    case KeyKind::classPath:
    case KeyKind::searchSequence: return "array of tables";
    case KeyKind::wideText: return "string (any characters)";
    case KeyKind::translations: return "table of strings";
    case KeyKind::message: return "string";
    case KeyKind::filePath: return "string (path)";
    case KeyKind::account: return "string (account)";
    case KeyKind::recovery: return "inline table";
    case KeyKind::byteSize: return "integer (bytes), or a string such as `\"10 MB\"`";
    case KeyKind::environment: return "string, or an inline table";
    }
    return "";
}

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// A multi-line array as `inspect` writes it, on one line.
std::string oneLine(std::string value)
{
    replaceAll(value, ",\n]", " ]");
    replaceAll(value, "[\n]", "[]");
    replaceAll(value, "\n    ", " ");
    return value;
}

std::string defaultOf(const DescriptorKey& key)
{
    if (key.defaultText != nullptr) {
        return key.defaultText;
    }
    if (key.required != nullptr) {
        return "required";
    }
    const char* stored = key.defaultValue != nullptr ? key.defaultValue : recordDefault(key.record);
    if (stored == nullptr) {
        return "";
    }
    DescriptorKey shown = key;
    if (key.kind == KeyKind::setting) {
        shown.kind = KeyKind::flag;
    } else if (key.kind == KeyKind::language) {
        shown.kind = KeyKind::choice;
    } else if (key.kind == KeyKind::wideText) {
        shown.kind = KeyKind::text;
    }
    TomlValue value = decodeValue(shown, stored);
    return value ? code(oneLine(*value)) : "";
}

std::string recordOf(const DescriptorKey& key)
{
    const cfg::RecordInfo* record = cfg::findRecord(key.record);
    return record == nullptr ? "none" : std::to_string(record->id) + " " + code(record->name);
}

// A table cell: no line breaks, no column separators.
std::string cell(const std::string& text)
{
    std::string out;
    for (char c : text) {
        out += c == '|' ? std::string("\\|") : c == '\n' ? std::string(" ") : std::string(1, c);
    }
    return out;
}

} // namespace

std::string keyReference()
{
    std::string required;
    std::vector<std::string> names;
    for (const DescriptorKey& key : descriptorKeys()) {
        if (key.required != nullptr) {
            names.push_back(code(keyPath(key)));
        }
    }
    for (size_t i = 0; i < names.size(); ++i) {
        required += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    std::string out = kIntroduction;
    out.replace(out.find("{required}"), 10, required);

    for (const DescriptorSection& section : descriptorSections()) {
        out += std::string("\n## ") + section.heading + "\n\n" + section.summary + "\n";
        bool header = false;
        for (const DescriptorKey& key : descriptorKeys()) {
            if (key.section != std::string(section.name)) {
                continue;
            }
            if (!header) {
                out += "\n| Key | Type | Default | Record | What it sets |\n|---|---|---|---|---|\n";
                header = true;
            }
            out += "| " + code(key.key) + " | " + cell(typeOf(key)) + " | " + cell(defaultOf(key)) + " | " +
                   cell(recordOf(key)) + " | " + cell(key.summary) + " |\n";
        }
    }
    return out;
}

} // namespace packager
