// [environment]: the application's environment variables, one key per variable, in the
// order the descriptor writes them, to the environment record (model/environment.h) and
// back. A string sets a variable; `{ prepend = "..." }`, `{ append = "..." }` and
// `{ remove = true }` are the other three forms, and nothing else is one.
#include "format/record_ids.h"
#include "model/environment.h"
#include "packaging/descriptor/sections.h"
#include "packaging/descriptor/text.h"
#include "packaging/descriptor/writer.h"

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace packager {

namespace {

using environmentmodel::Operation;
using environmentmodel::Setting;

struct Form {
    const char* key;  // in the inline table; null for a plain string
    Operation operation;
};
const Form kTableForms[] = {
    {"prepend", Operation::prepend},
    {"append", Operation::append},
    {"remove", Operation::remove},
};

const char kForms[] = "a string, { prepend = \"...\" }, { append = \"...\" } or { remove = true }";

// The launcher's names of the chosen runtime's home. The environment is set before the
// runtime search, which it may steer (JAVA_HOME), so they would stand for nothing there.
const char* const kJvmHomeReferences[] = {
    "${launcher:sys.jvmHome}", "${QUILL_JVM_HOME}", "${DEPLOYKIT_JVM_HOME}", "%QUILL_JVM_HOME%", "%DEPLOYKIT_JVM_HOME%",
};

bool isBareKey(const std::string& name)
{
    if (name.empty()) {
        return false;
    }
    for (char c : name) {
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!letter && c != '_' && c != '-') {
            return false;
        }
    }
    return true;
}

// The value of one form as the record holds it; false (with the error reported) when it
// is none of the forms or its text cannot be set.
bool readSetting(Build& b, const toml::node& node, const Path& path, Setting* setting)
{
    const toml::node* text = &node;
    if (const toml::table* table = node.as_table()) {
        size_t errorsBefore = b.report.errorCount();
        std::vector<std::string> known;
        for (const Form& form : kTableForms) {
            known.push_back(form.key);
        }
        checkKeys(b.report, *table, path + ".", known);
        if (b.report.errorCount() != errorsBefore) {
            return false;
        }
        if (table->size() != 1) {
            b.report.error(node.source(), path + " must be " + kForms + ": one key, not " +
                                              std::to_string(table->size()));
            return false;
        }
        for (const Form& form : kTableForms) {
            text = table->get(form.key);
            if (text != nullptr) {
                setting->operation = form.operation;
                break;
            }
        }
        const Path formPath = path + "." + (setting->operation == Operation::prepend  ? "prepend"
                                            : setting->operation == Operation::append ? "append"
                                                                                      : "remove");
        if (setting->operation == Operation::remove) {
            if (!text->is_boolean()) {
                wrongType(b.report, *text, formPath, "true");
                return false;
            }
            if (!text->as_boolean()->get()) {
                b.report.error(text->source(),
                               formPath + " must be true; leave the variable out to keep it as it is");
                return false;
            }
            return true;
        }
        if (!text->is_string()) {
            wrongType(b.report, *text, formPath, "a string");
            return false;
        }
    } else if (!node.is_string()) {
        wrongType(b.report, node, path, kForms);
        return false;
    }
    const std::string& utf8 = text->as_string()->get();
    setting->value = utf8ToUtf16(utf8);
    std::string problem = environmentmodel::valueProblem(setting->value);
    if (!problem.empty()) {
        b.report.error(text->source(), path + " " + problem);
        return false;
    }
    // A descriptor that `inspect` wrote describes a launcher as it is.
    for (const char* reference : kJvmHomeReferences) {
        if (!describesExistingLauncher(b) && utf8.find(reference) != std::string::npos) {
            b.report.error(text->source(), path + " refers to " + reference +
                                               ", which is not known when the environment is set: the launcher "
                                               "chooses the Java runtime after it");
            return false;
        }
    }
    return true;
}

} // namespace

void buildEnvironment(Build& b, const toml::table* environment)
{
    if (environment == nullptr) {
        return;
    }
    // A table iterates in key order; the variables are set in the order they are written,
    // as an entry may build on one before it.
    std::vector<std::pair<const toml::key*, const toml::node*>> entries;
    for (auto&& [name, node] : *environment) {
        entries.push_back({&name, &node});
    }
    auto place = [](const toml::key* key) {
        return std::make_pair(key->source().begin.line, key->source().begin.column);
    };
    std::stable_sort(entries.begin(), entries.end(),
                     [&place](const auto& x, const auto& y) { return place(x.first) < place(y.first); });
    std::vector<Setting> settings;
    for (const auto& [key, node] : entries) {
        const std::string name(key->str());
        const Path path = "environment." + escapedText(name);
        Setting setting;
        setting.name = utf8ToUtf16(name);
        std::string problem = environmentmodel::nameProblem(setting.name);
        if (!problem.empty()) {
            b.report.error(key->source(), "environment." + shownText(name) +
                                              " is no variable name Windows takes: it " + problem);
            continue;
        }
        if (readSetting(b, *node, path, &setting)) {
            settings.push_back(std::move(setting));
        }
    }
    b.block.environment = environmentmodel::encodeSettings(settings);
    if (!settings.empty()) {
        b.report.note("[environment] is stored in the launcher as it stands, where anyone who can read the "
                      "executable can read it: give no secrets there (a service can read one from a file that only "
                      "its account may read)");
    }
}

bool environmentLines(const std::u16string& record, std::vector<std::string>* lines, std::string* reason)
{
    std::vector<Setting> settings;
    if (!environmentmodel::decodeSettings(record, &settings, reason)) {
        return false;
    }
    std::set<std::string> names;
    std::vector<std::string> out;
    for (const Setting& setting : settings) {
        std::string name;
        std::string value;
        if (!utf16ToUtf8(setting.name, &name) || !utf16ToUtf8(setting.value, &value)) {
            *reason = "a variable's name or value holds an unpaired surrogate, which no descriptor can express";
            return false;
        }
        // TOML takes a key once; names that differ in case only are two keys.
        if (!names.insert(name).second) {
            *reason = "it sets the variable " + shownText(name) + " twice, which a descriptor cannot say";
            return false;
        }
        std::string line = (isBareKey(name) ? name : tomlString(name)) + " = ";
        switch (setting.operation) {
        case Operation::set: line += tomlString(value); break;
        case Operation::prepend: line += "{ prepend = " + tomlString(value) + " }"; break;
        case Operation::append: line += "{ append = " + tomlString(value) + " }"; break;
        case Operation::remove: line += "{ remove = true }"; break;
        }
        out.push_back(line);
    }
    *lines = std::move(out);
    return true;
}

} // namespace packager
