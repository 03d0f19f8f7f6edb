// Service descriptor to configuration block.
#include "packaging/descriptor.h"

#include "format/record_text.h"
#include "format/command_line.h"
#include "format/record_ids.h"
#include "packaging/descriptor_text.h"
#include "packaging/message_texts.h"

#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace packager {

namespace {

namespace fs = std::filesystem;

constexpr size_t kPreferredJvmDirCapacity = 200;

struct DefaultRecord {
    int32_t id;
    const char* value;
};

// Block order and the packager's defaults. A service that installs with automatic start
// (107 = 4), whose working directory is the executable's own, that takes any Java 8 or
// later from ..\jre, the registry, JAVA_HOME or JDK_HOME, and whose output the runtime
// library does not redirect unless the descriptor names files.
const DefaultRecord kDefaults[] = {
    {101, ""},      {107, "4"},     {146, "."},   {149, ""},    {158, "0"},     {2001, "q"},
    {10003, "."},   {10004, ""},    {10005, "0"}, {10007, "1"}, {126, "1.8"},   {127, ""},
    {128, "B..\\jre;Y;EJAVA_HOME;EJDK_HOME;"},    {130, "0"},   {131, "0"},     {152, ""},
    {160, ""},      {165, "0"},     {102, "0"},   {103, ""},    {104, "0"},     {105, ""},
    {106, "1"},     {108, "0"},     {121, ""},    {122, ""},    {123, ""},      {124, ""},
    {125, "1"},     {10123, "0"},   {163, "0"},   {10111, ""},  {10109, "20"},  {10110, "20"},
    {10114, "0,0,0"}, {10113, "8"}, {10115, "500"}, {10118, ""}, {10116, "20"}, {10117, "40"},
    {10121, "0,0,0"}, {10120, "8"}, {10122, "500"}, {2002, "0"}, {2003, ""},
};

using Path = std::string;  // dotted key path for messages, such as "service.name"

struct Builder {
    std::string file;
    fs::path baseDirectory;
    const BuildSettings* settings = nullptr;
    std::vector<Diagnostic>* errors = nullptr;
    std::map<int32_t, std::string> narrow;
    std::map<int32_t, std::string> extra;       // [records] ids outside the fixed order
    std::set<int32_t> fromRecords;              // ids that [records] set
    std::u16string description;
    std::vector<blockformat::LocaleGroup> groups;
    std::vector<blockformat::IncludedFile> files;
    std::vector<std::string> notes;

    void error(const toml::source_region& where, const std::string& message)
    {
        Diagnostic diagnostic;
        diagnostic.file = file;
        diagnostic.line = where.begin.line == 0 ? 1 : static_cast<int>(where.begin.line);
        diagnostic.column = where.begin.column == 0 ? 1 : static_cast<int>(where.begin.column);
        diagnostic.message = message;
        errors->push_back(diagnostic);
    }
};

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

void wrongType(Builder& b, const toml::node& node, const Path& key, const char* wanted)
{
    b.error(node.source(), key + " must be " + wanted + ", not " + typeName(node));
}

// Reports every key of `table` that is not in `known`.
void checkKeys(Builder& b, const toml::table& table, const Path& prefix, std::initializer_list<const char*> known)
{
    for (auto&& [key, node] : table) {
        (void)node;
        bool found = false;
        for (const char* name : known) {
            if (key.str() == name) {
                found = true;
            }
        }
        if (!found) {
            b.error(key.source(), "unknown key '" + prefix + std::string(key.str()) + "'");
        }
    }
}

// A sub-table; null (and an error when the key holds something else) when absent.
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

// A string converted to the launcher's narrow texts.
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

bool text(Builder& b, const toml::table* table, const char* key, const Path& prefix, std::string* out)
{
    const toml::node* node = table == nullptr ? nullptr : table->get(key);
    return node != nullptr && narrowText(b, *node, prefix + key, out);
}

void textRecord(Builder& b, const toml::table* table, const char* key, const Path& prefix, int32_t id)
{
    std::string value;
    if (text(b, table, key, prefix, &value)) {
        b.narrow[id] = value;
    }
}

bool flagValue(Builder& b, const toml::table* table, const char* key, const Path& prefix, bool* out)
{
    const toml::node* node = table == nullptr ? nullptr : table->get(key);
    if (node == nullptr) {
        return false;
    }
    if (!node->is_boolean()) {
        wrongType(b, *node, prefix + key, "true or false");
        return false;
    }
    *out = node->as_boolean()->get();
    return true;
}

void flagRecord(Builder& b, const toml::table* table, const char* key, const Path& prefix, int32_t id)
{
    bool value = false;
    if (flagValue(b, table, key, prefix, &value)) {
        b.narrow[id] = value ? "1" : "0";
    }
}

void integerRecord(Builder& b, const toml::table* table, const char* key, const Path& prefix, int32_t id)
{
    const toml::node* node = table == nullptr ? nullptr : table->get(key);
    if (node == nullptr) {
        return;
    }
    if (!node->is_integer()) {
        wrongType(b, *node, prefix + key, "an integer");
        return;
    }
    int64_t value = node->as_integer()->get();
    if (value < INT32_MIN || value > INT32_MAX) {
        b.error(node->source(), prefix + key + " is out of the 32-bit range");
        return;
    }
    b.narrow[id] = std::to_string(value);
}

// A choice among words; returns the index or -1.
int choice(Builder& b, const toml::table* table, const char* key, const Path& prefix,
           std::initializer_list<const char*> words)
{
    const toml::node* node = table == nullptr ? nullptr : table->get(key);
    if (node == nullptr) {
        return -1;
    }
    std::string list;
    int index = 0;
    for (const char* word : words) {
        list += std::string(index == 0 ? "" : ", ") + "\"" + word + "\"";
        if (node->is_string() && node->as_string()->get() == word) {
            return index;
        }
        ++index;
    }
    if (!node->is_string()) {
        wrongType(b, *node, prefix + key, "a string");
    } else {
        b.error(node->source(), prefix + key + " must be one of " + list + ", not \"" + node->as_string()->get() + "\"");
    }
    return -1;
}

// An array of strings joined with a separator that no element may contain.
void listRecord(Builder& b, const toml::table* table, const char* key, const Path& prefix, int32_t id, char separator)
{
    const toml::node* node = table == nullptr ? nullptr : table->get(key);
    if (node == nullptr) {
        return;
    }
    if (!node->is_array()) {
        wrongType(b, *node, prefix + key, "an array of strings");
        return;
    }
    std::string joined;
    bool ok = true;
    size_t index = 0;
    for (const toml::node& element : *node->as_array()) {
        std::string value;
        Path name = prefix + key + "[" + std::to_string(index++) + "]";
        if (!narrowText(b, element, name, &value)) {
            ok = false;
            continue;
        }
        if (value.empty() || value.find(separator) != std::string::npos) {
            b.error(element.source(), name + " must be a non-empty text without '" + std::string(1, separator) + "'");
            ok = false;
            continue;
        }
        joined += (joined.empty() ? "" : std::string(1, separator)) + value;
    }
    if (ok) {
        b.narrow[id] = joined;
    }
}

// Options or arguments: an array (one element per argument, quoted as the launcher's
// splitter needs) or one string taken as it stands.
void commandLineRecord(Builder& b, const toml::table* table, const char* key, const Path& prefix, int32_t id)
{
    const toml::node* node = table == nullptr ? nullptr : table->get(key);
    if (node == nullptr) {
        return;
    }
    if (node->is_string()) {
        std::string value;
        if (narrowText(b, *node, prefix + key, &value)) {
            b.narrow[id] = value;
        }
        return;
    }
    if (!node->is_array()) {
        wrongType(b, *node, prefix + key, "an array of strings or a string");
        return;
    }
    std::vector<std::string> arguments;
    std::vector<const toml::node*> nodes;
    bool ok = true;
    size_t index = 0;
    for (const toml::node& element : *node->as_array()) {
        std::string value;
        if (narrowText(b, element, prefix + key + "[" + std::to_string(index) + "]", &value)) {
            arguments.push_back(value);
            nodes.push_back(&element);
        } else {
            ok = false;
        }
        ++index;
    }
    std::string joined;
    size_t bad = 0;
    if (ok && !joinCommandLine(arguments, &joined, &bad)) {
        b.error(nodes[bad]->source(), prefix + key + "[" + std::to_string(bad) +
                                          "] holds both kinds of quote, which the launcher's command line cannot carry");
        ok = false;
    }
    if (ok) {
        b.narrow[id] = joined;
    }
}

bool isVersionSeparator(char c)
{
    return c == '.' || c == '_' || c == '-' || c == '+';
}

std::vector<long long> versionNumbers(const std::string& text)
{
    std::vector<long long> numbers;
    long long current = 0;
    for (char c : text) {
        if (isVersionSeparator(c)) {
            numbers.push_back(current);
            current = 0;
        } else {
            current = std::min(current * 10 + (c - '0'), static_cast<long long>(INT32_MAX));
        }
    }
    numbers.push_back(current);
    return numbers;
}

const toml::node* versionRecord(Builder& b, const toml::table* java, const char* key, int32_t id)
{
    const toml::node* node = java == nullptr ? nullptr : java->get(key);
    std::string value;
    if (node == nullptr || !narrowText(b, *node, std::string("java.") + key, &value)) {
        return nullptr;
    }
    if (!isWellFormedVersion(value)) {
        b.error(node->source(), std::string("java.") + key + " \"" + node->as_string()->get() +
                                    "\" is no Java version (numbers separated by '.', '_', '-' or '+', such as "
                                    "\"1.8\" or \"17.0.2\")");
        return nullptr;
    }
    b.narrow[id] = value;
    return node;
}

// The class path entries: {archive|directory|environment|scan = "...", optional = bool}.
void classPath(Builder& b, const toml::table* application)
{
    const toml::node* node = application == nullptr ? nullptr : application->get("class_path");
    if (node == nullptr) {
        return;
    }
    if (!node->is_array()) {
        wrongType(b, *node, "application.class_path", "an array of tables");
        return;
    }
    std::string joined;
    bool ok = true;
    size_t index = 0;
    for (const toml::node& element : *node->as_array()) {
        Path name = "application.class_path[" + std::to_string(index++) + "]";
        if (!element.is_table()) {
            wrongType(b, element, name, "a table such as { archive = \"app.jar\" }");
            ok = false;
            continue;
        }
        char letter = 0;
        std::string value;
        bool optional = false;
        bool entryOk = true;
        for (auto&& [key, field] : *element.as_table()) {
            std::string k(key.str());
            char candidate = k == "archive" ? 'A' : k == "directory" ? 'D' : k == "environment" ? 'E' : k == "scan" ? 'S' : 0;
            if (k == "optional") {
                if (!field.is_boolean()) {
                    wrongType(b, field, name + ".optional", "true or false");
                    entryOk = false;
                } else {
                    optional = field.as_boolean()->get();
                }
            } else if (candidate == 0) {
                b.error(key.source(), "unknown class path entry type '" + k +
                                          "' in " + name + " (archive, directory, environment or scan)");
                entryOk = false;
            } else if (letter != 0) {
                b.error(key.source(), name + " has more than one type");
                entryOk = false;
            } else {
                letter = candidate;
                if (!narrowText(b, field, name + "." + k, &value)) {
                    entryOk = false;
                } else if (value.empty() || value.find(';') != std::string::npos) {
                    b.error(field.source(), name + "." + k + " must be a non-empty text without ';'");
                    entryOk = false;
                }
            }
        }
        if (entryOk && letter == 0) {
            b.error(element.source(), name + " names no archive, directory, environment or scan");
            entryOk = false;
        }
        if (!entryOk) {
            ok = false;
            continue;
        }
        joined += std::string(1, letter) + (optional ? "0" : "1") + value + ";";
    }
    if (ok) {
        b.narrow[121] = joined;
    }
}

// The search sequence: {directory = "...", fallback = "always"|"relative-only"},
// {environment = "NAME"}, {path = true}, {registry = true}.
void searchSequence(Builder& b, const toml::table* java)
{
    const toml::node* node = java == nullptr ? nullptr : java->get("search");
    if (node == nullptr) {
        return;
    }
    if (!node->is_array()) {
        wrongType(b, *node, "java.search", "an array of tables");
        return;
    }
    std::string joined;
    bool ok = true;
    size_t index = 0;
    for (const toml::node& element : *node->as_array()) {
        Path name = "java.search[" + std::to_string(index++) + "]";
        if (!element.is_table()) {
            wrongType(b, element, name, "a table such as { directory = \"..\\\\jre\" }");
            ok = false;
            continue;
        }
        char letter = 0;
        std::string value;
        const toml::node* fallback = nullptr;
        bool entryOk = true;
        for (auto&& [key, field] : *element.as_table()) {
            std::string k(key.str());
            if (k == "fallback") {
                fallback = &field;
                continue;
            }
            char candidate = k == "directory" ? 'B' : k == "environment" ? 'E' : k == "path" ? 'S' : k == "registry" ? 'Y' : 0;
            if (candidate == 0) {
                b.error(key.source(), "unknown search entry type '" + k + "' in " + name +
                                          " (directory, environment, path or registry)");
                entryOk = false;
            } else if (letter != 0) {
                b.error(key.source(), name + " has more than one type");
                entryOk = false;
            } else if (candidate == 'S' || candidate == 'Y') {
                letter = candidate;
                if (!field.is_boolean() || !field.as_boolean()->get()) {
                    b.error(field.source(), name + "." + k + " must be true");
                    entryOk = false;
                }
            } else {
                letter = candidate;
                if (!narrowText(b, field, name + "." + k, &value)) {
                    entryOk = false;
                } else if (value.empty() || value.find(';') != std::string::npos) {
                    b.error(field.source(), name + "." + k + " must be a non-empty text without ';'");
                    entryOk = false;
                }
            }
        }
        if (fallback != nullptr) {
            if (letter != 'B') {
                b.error(fallback->source(), name + ".fallback belongs to a directory entry only");
                entryOk = false;
            } else if (!fallback->is_string() ||
                       (fallback->as_string()->get() != "always" && fallback->as_string()->get() != "relative-only")) {
                b.error(fallback->source(), name + ".fallback must be \"always\" or \"relative-only\"");
                entryOk = false;
            } else if (fallback->as_string()->get() == "relative-only") {
                letter = 'A';
            }
        }
        if (entryOk && letter == 0) {
            b.error(element.source(), name + " names no directory, environment, path or registry");
            entryOk = false;
        }
        if (!entryOk) {
            ok = false;
            continue;
        }
        joined += std::string(1, letter) + value + ";";
    }
    if (ok) {
        b.narrow[128] = joined;
    }
}

bool isLocalePrefix(const std::string& prefix)
{
    // "", "de", "de_CH" or "no_NO_NY": the launcher compares the prefix with the start of
    // the user's locale code, which has one of these shapes.
    auto lower = [](char c) { return c >= 'a' && c <= 'z'; };
    auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
    if (prefix.empty()) {
        return true;
    }
    if (prefix.size() != 2 && prefix.size() != 5 && prefix.size() != 8) {
        return false;
    }
    if (!lower(prefix[0]) || !lower(prefix[1])) {
        return false;
    }
    for (size_t i = 2; i < prefix.size(); i += 3) {
        if (prefix[i] != '_' || !upper(prefix[i + 1]) || !upper(prefix[i + 2])) {
            return false;
        }
    }
    return true;
}

void service(Builder& b, const toml::table* table, const toml::table* launcher)
{
    if (table != nullptr) {
        checkKeys(b, *table, "service.", {"name", "description", "start", "dependencies", "description_translations"});
    }
    textRecord(b, table, "name", "service.", 101);
    listRecord(b, table, "dependencies", "service.", 149, ',');

    int start = choice(b, table, "start", "service.", {"auto", "demand"});
    int kind = choice(b, launcher, "kind", "launcher.", {"service", "gui", "message-boxes"});
    if (kind == 1 || kind == 2) {
        // Only kind 4 installs with automatic start; graphical and message-box launchers
        // install with demand start.
        if (start == 0) {
            b.error(table->get("start")->source(),
                    "service.start \"auto\" needs launcher.kind \"service\" (the launcher installs other kinds with "
                    "demand start)");
        }
        b.narrow[107] = kind == 1 ? "1" : "5";
    } else if (start == 1) {
        b.narrow[107] = "0";
    }

    const toml::node* description = table == nullptr ? nullptr : table->get("description");
    if (description != nullptr) {
        if (!description->is_string()) {
            wrongType(b, *description, "service.description", "a string");
        } else {
            b.description = packager::utf8ToUtf16(description->as_string()->get());
        }
    }
    const toml::table* translations =
        table == nullptr ? nullptr : section(b, *table, "description_translations", "service.description_translations");
    if (translations != nullptr) {
        // A table iterates in key order, which is also the order the launcher needs: a
        // prefix sorts before every longer code it is the start of, so "de_CH" is applied
        // after "de" and wins for a Swiss user.
        for (auto&& [key, node] : *translations) {
            std::string prefix(key.str());
            Path name = "service.description_translations." + prefix;
            if (!isLocalePrefix(prefix)) {
                b.error(key.source(), "'" + prefix + "' is no locale code (such as \"de\", \"de_CH\" or \"pt_BR\")");
            } else if (!node.is_string()) {
                wrongType(b, node, name, "a string");
            } else {
                b.groups.push_back({prefix, {{cfg::serviceDescription, packager::utf8ToUtf16(node.as_string()->get())}}});
            }
        }
    }
}

bool isJavaClassName(const std::string& name)
{
    bool atStart = true;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '.') {
            if (atStart) {
                return false;
            }
            atStart = true;
        } else if (std::isalpha(u) || c == '_' || c == '$' || u >= 0x80 || (!atStart && std::isdigit(u))) {
            atStart = false;
        } else {
            return false;
        }
    }
    return !atStart;
}

void application(Builder& b, const toml::table* table)
{
    if (table != nullptr) {
        checkKeys(b, *table, "application.", {"main_class", "class_path", "arguments"});
    }
    const toml::node* mainClass = table == nullptr ? nullptr : table->get("main_class");
    std::string value;
    if (mainClass != nullptr && narrowText(b, *mainClass, "application.main_class", &value)) {
        if (!isJavaClassName(value)) {
            b.error(mainClass->source(), "application.main_class \"" + mainClass->as_string()->get() +
                                             "\" is no Java class name (such as \"com.example.Main\")");
        } else {
            b.narrow[122] = value;
        }
    }
    classPath(b, table);
    commandLineRecord(b, table, "arguments", "application.", 124);
}

void java(Builder& b, const toml::table* table)
{
    if (table != nullptr) {
        checkKeys(b, *table, "java.", {"min_version", "max_version", "search", "allow_prerelease", "require_jdk",
                                       "jvm_subdirectory", "application_id", "skip_javasoft_registry"});
    }
    const toml::node* minimum = versionRecord(b, table, "min_version", 126);
    const toml::node* maximum = versionRecord(b, table, "max_version", 127);
    // A minimum above the maximum admits no runtime at all; the launcher would search
    // every location and then report that none was found.
    const std::string& low = b.narrow[126];
    const std::string& high = b.narrow[127];
    if (!low.empty() && !high.empty()) {
        std::vector<long long> lowNumbers = versionNumbers(low);
        std::vector<long long> highNumbers = versionNumbers(high);
        for (size_t i = 0; i < lowNumbers.size() && i < highNumbers.size(); ++i) {
            if (lowNumbers[i] != highNumbers[i]) {
                if (lowNumbers[i] > highNumbers[i]) {
                    const toml::node* where = minimum != nullptr ? minimum : maximum;
                    b.error(where != nullptr ? where->source() : toml::source_region{},
                            "java.min_version " + low + " is above java.max_version " + high +
                                ": no Java runtime could ever be accepted");
                }
                break;
            }
        }
    }
    searchSequence(b, table);
    flagRecord(b, table, "allow_prerelease", "java.", 130);
    flagRecord(b, table, "require_jdk", "java.", 131);
    const toml::node* subdirectory = table == nullptr ? nullptr : table->get("jvm_subdirectory");
    std::string value;
    if (subdirectory != nullptr && narrowText(b, *subdirectory, "java.jvm_subdirectory", &value)) {
        if (value.size() >= kPreferredJvmDirCapacity || value.find_first_of("\\/") != std::string::npos) {
            b.error(subdirectory->source(), "java.jvm_subdirectory must be one directory name of at most " +
                                                std::to_string(kPreferredJvmDirCapacity - 1) + " characters");
        } else {
            b.narrow[152] = value;
        }
    }
    textRecord(b, table, "application_id", "java.", 160);
    flagRecord(b, table, "skip_javasoft_registry", "java.", 165);
}

void vm(Builder& b, const toml::table* table)
{
    if (table != nullptr) {
        checkKeys(b, *table, "vm.", {"options", "pass_j_arguments"});
    }
    commandLineRecord(b, table, "options", "vm.", 123);
    flagRecord(b, table, "pass_j_arguments", "vm.", 125);
}

void launcherSection(Builder& b, const toml::table* table, bool* embedRuntime)
{
    if (table != nullptr) {
        checkKeys(b, *table, "launcher.", {"kind", "flavour", "working_directory", "installation_directory",
                                           "native_library_directories", "runtime_library"});
    }
    int flavour = choice(b, table, "flavour", "launcher.", {"quill", "deploykit"});
    if (flavour >= 0) {
        b.narrow[2001] = flavour == 0 ? "q" : "d";
    }
    textRecord(b, table, "working_directory", "launcher.", 146);
    textRecord(b, table, "installation_directory", "launcher.", 10003);
    listRecord(b, table, "native_library_directories", "launcher.", 10004, ';');
    flagValue(b, table, "runtime_library", "launcher.", embedRuntime);
}

// A redirection: the file and its switch; naming a file switches it on unless the
// descriptor says otherwise.
void redirection(Builder& b, const toml::table* table, const char* fileKey, const char* switchKey, int32_t fileId,
                 int32_t switchId)
{
    std::string path;
    if (text(b, table, fileKey, "output.", &path)) {
        b.narrow[fileId] = path;
        b.narrow[switchId] = path.empty() ? "0" : "1";
    }
    flagRecord(b, table, switchKey, "output.", switchId);
}

void output(Builder& b, const toml::table* table)
{
    if (table != nullptr) {
        checkKeys(b, *table, "output.", {"stdout", "stderr", "redirect_stdout", "redirect_stderr", "append"});
    }
    redirection(b, table, "stderr", "redirect_stderr", 103, 102);
    redirection(b, table, "stdout", "redirect_stdout", 105, 104);
    flagRecord(b, table, "append", "output.", 106);
}

void instance(Builder& b, const toml::table* table)
{
    if (table != nullptr) {
        checkKeys(b, *table, "instance.", {"single", "bring_to_front", "global"});
    }
    flagRecord(b, table, "single", "instance.", 10005);
    flagRecord(b, table, "bring_to_front", "instance.", 10007);
    flagRecord(b, table, "global", "instance.", 158);
}

void splashLine(Builder& b, const toml::table* splash, const char* key, const int32_t ids[6])
{
    Path prefix = std::string("splash.") + key + ".";
    const toml::table* line = splash == nullptr ? nullptr : section(b, *splash, key, "splash." + std::string(key));
    if (line == nullptr) {
        return;
    }
    checkKeys(b, *line, prefix, {"text", "x", "y", "colour", "font_size", "font_weight"});
    textRecord(b, line, "text", prefix, ids[0]);
    integerRecord(b, line, "x", prefix, ids[1]);
    integerRecord(b, line, "y", prefix, ids[2]);
    textRecord(b, line, "colour", prefix, ids[3]);
    integerRecord(b, line, "font_size", prefix, ids[4]);
    integerRecord(b, line, "font_weight", prefix, ids[5]);
}

void splash(Builder& b, const toml::table* table)
{
    if (table == nullptr) {
        return;
    }
    checkKeys(b, *table, "splash.", {"enabled", "after_vm", "second_flag", "status", "version"});
    flagRecord(b, table, "enabled", "splash.", 10123);
    flagRecord(b, table, "after_vm", "splash.", 108);
    flagRecord(b, table, "second_flag", "splash.", 163);
    static const int32_t status[6] = {10111, 10109, 10110, 10114, 10113, 10115};
    static const int32_t version[6] = {10118, 10116, 10117, 10121, 10120, 10122};
    splashLine(b, table, "status", status);
    splashLine(b, table, "version", version);
}

void messages(Builder& b, const toml::table* table)
{
    std::string language = "en";
    const toml::node* languageNode = table == nullptr ? nullptr : table->get("language");
    if (languageNode != nullptr) {
        if (!languageNode->is_string()) {
            wrongType(b, *languageNode, "messages.language", "a string");
        } else if (builtInMessages(languageNode->as_string()->get()).empty()) {
            b.error(languageNode->source(), "messages.language must be \"en\", \"de\" or \"fr\", not \"" +
                                                languageNode->as_string()->get() + "\"");
        } else {
            language = languageNode->as_string()->get();
        }
    }
    for (const MessageText& message : builtInMessages(language)) {
        std::string value;
        utf8ToLatin1(message.utf8, &value);
        b.narrow[message.id] = value;
    }
    if (table == nullptr) {
        return;
    }
    for (auto&& [key, node] : *table) {
        std::string name(key.str());
        if (name == "language") {
            continue;
        }
        int32_t id = 0;
        for (int32_t candidate = kFirstMessageId; candidate <= kLastMessageId; ++candidate) {
            if (name == messageKey(candidate)) {
                id = candidate;
            }
        }
        std::string value;
        if (id == 0) {
            b.error(key.source(), "unknown key 'messages." + name + "'");
        } else if (narrowText(b, node, "messages." + name, &value)) {
            b.narrow[id] = value;
        }
    }
}

// A name the launcher can extract: relative, inside its temporary directory, with at most
// one directory step (it creates only the first one).
bool isIncludedFileName(const std::string& name, std::string* reason)
{
    if (name.empty() || name.find(';') != std::string::npos || name.find(':') != std::string::npos) {
        *reason = "must be a non-empty relative name without ';' or ':'";
        return false;
    }
    std::vector<std::string> steps = blockformat::splitList(name, '\\');
    if (steps.size() > 2) {
        *reason = "may have at most one directory (the launcher creates only one level)";
        return false;
    }
    for (const std::string& step : steps) {
        if (step.empty() || step == "." || step == "..") {
            *reason = "must stay inside the launcher's temporary directory";
            return false;
        }
    }
    return true;
}

std::string lowerCase(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool readFile(const fs::path& path, std::vector<uint8_t>* content)
{
    std::error_code ignored;
    if (!fs::is_regular_file(path, ignored)) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

void includedFiles(Builder& b, const toml::table& root, bool embedRuntime)
{
    std::map<std::string, std::string> names;  // lower-cased name -> as given; Windows names ignore case
    auto add = [&](const std::string& name, std::vector<uint8_t> content, const toml::source_region& where) {
        std::string key = lowerCase(name);
        if (names.count(key) != 0) {
            b.error(where, "two included files are both named " + name);
            return;
        }
        names[key] = name;
        b.files.push_back({name, std::move(content)});
    };

    if (embedRuntime) {
        if (b.settings->runtimeLibrary.empty()) {
            b.notes.push_back("no runtime library jar is configured for this packager (--runtime-library); the "
                              "launcher is built without it, so its classes must reach the class path another way");
        } else {
            std::vector<uint8_t> content;
            fs::path jar(b.settings->runtimeLibrary);
            if (!readFile(jar, &content)) {
                b.notes.push_back("the runtime library jar " + b.settings->runtimeLibrary +
                                  " does not exist; the launcher is built without it, so its classes must reach the "
                                  "class path another way");
            } else {
                add(jar.filename().string(), std::move(content), {});
            }
        }
    }

    const toml::node* node = root.get("files");
    if (node == nullptr) {
        return;
    }
    if (!node->is_array()) {
        wrongType(b, *node, "files", "an array of tables ([[files]])");
        return;
    }
    size_t index = 0;
    for (const toml::node& element : *node->as_array()) {
        Path name = "files[" + std::to_string(index++) + "]";
        if (!element.is_table()) {
            wrongType(b, element, name, "a table");
            continue;
        }
        const toml::table& file = *element.as_table();
        checkKeys(b, file, name + ".", {"source", "name"});
        const toml::node* source = file.get("source");
        if (source == nullptr) {
            b.error(element.source(), name + " has no source");
            continue;
        }
        if (!source->is_string()) {
            wrongType(b, *source, name + ".source", "a string");
            continue;
        }
        std::string sourceText = source->as_string()->get();
        std::string fileName;
        const toml::node* nameNode = file.get("name");
        if (nameNode != nullptr) {
            if (!narrowText(b, *nameNode, name + ".name", &fileName)) {
                continue;
            }
            std::replace(fileName.begin(), fileName.end(), '/', '\\');
        } else if (!utf8ToLatin1(fs::path(sourceText).filename().string(), &fileName)) {
            b.error(source->source(), name + ".source has a file name the launcher cannot write; give a name");
            continue;
        }
        std::string reason;
        if (!isIncludedFileName(fileName, &reason)) {
            b.error((nameNode != nullptr ? nameNode : source)->source(), name + " name \"" + fileName + "\" " + reason);
            continue;
        }
        std::vector<uint8_t> content;
        if (b.settings->fileContents != nullptr) {
            auto found = b.settings->fileContents->find(sourceText);
            if (found == b.settings->fileContents->end()) {
                b.error(source->source(), "included file " + sourceText + " does not exist");
                continue;
            }
            content = found->second;
        } else {
            fs::path path(sourceText);
            if (path.is_relative()) {
                path = b.baseDirectory / path;
            }
            if (!readFile(path, &content)) {
                b.error(source->source(), "included file " + sourceText + " does not exist or cannot be read");
                continue;
            }
        }
        add(fileName, std::move(content), source->source());
    }
}

void records(Builder& b, const toml::table* table)
{
    if (table == nullptr) {
        return;
    }
    for (auto&& [key, node] : *table) {
        std::string name(key.str());
        char* end = nullptr;
        long long id = std::strtoll(name.c_str(), &end, 10);
        if (name.empty() || *end != 0 || id < INT32_MIN || id > INT32_MAX || std::to_string(id) != name) {
            b.error(key.source(), "records." + name + ": a record key must be a decimal identifier");
            continue;
        }
        if (id == cfg::includedFileCount || id == cfg::includedFileNames) {
            b.error(key.source(), "records." + name + " is made from [[files]] and cannot be set here");
            continue;
        }
        std::string value;
        if (!narrowText(b, node, "records." + name, &value)) {
            continue;
        }
        int32_t identifier = static_cast<int32_t>(id);
        b.fromRecords.insert(identifier);
        if (b.narrow.count(identifier) != 0) {
            b.narrow[identifier] = value;
        } else {
            b.extra[identifier] = value;
        }
    }
}

// Where a missing required key should be reported: its table's header, else the top.
toml::source_region whereMissing(const toml::table* table)
{
    return table != nullptr ? table->source() : toml::source_region{};
}

} // namespace

std::string formatDiagnostic(const Diagnostic& diagnostic)
{
    return diagnostic.file + ":" + std::to_string(diagnostic.line) + ":" + std::to_string(diagnostic.column) +
           ": error: " + diagnostic.message;
}

const std::vector<int32_t>& narrowRecordOrder()
{
    static const std::vector<int32_t> order = [] {
        std::vector<int32_t> ids;
        for (const DefaultRecord& record : kDefaults) {
            ids.push_back(record.id);
        }
        return ids;
    }();
    return order;
}

bool isWellFormedVersion(const std::string& text)
{
    bool digitBefore = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digitBefore = true;
        } else if (isVersionSeparator(c) && digitBefore) {
            digitBefore = false;
        } else {
            return false;
        }
    }
    return text.empty() || digitBefore;
}

bool buildFromDescriptor(const std::string& text, const std::string& path, const BuildSettings& settings,
                         BuildResult* result, std::vector<Diagnostic>* errors)
{
    Builder b;
    b.file = path;
    b.baseDirectory = fs::path(path).parent_path();
    b.settings = &settings;
    b.errors = errors;
    size_t errorsBefore = errors->size();

    toml::parse_result parsed = toml::parse(text, path);
    if (!parsed) {
        const toml::parse_error& failure = parsed.error();
        b.error(failure.source(), std::string(failure.description()));
        return false;
    }
    const toml::table& root = parsed.table();
    checkKeys(b, root, "", {"service", "application", "java", "vm", "launcher", "output", "instance", "splash",
                            "messages", "files", "records"});

    for (const DefaultRecord& record : kDefaults) {
        b.narrow[record.id] = record.value;
    }
    const toml::table* serviceTable = section(b, root, "service", "service");
    const toml::table* applicationTable = section(b, root, "application", "application");
    const toml::table* launcherTable = section(b, root, "launcher", "launcher");
    bool embedRuntime = true;
    service(b, serviceTable, launcherTable);
    application(b, applicationTable);
    java(b, section(b, root, "java", "java"));
    vm(b, section(b, root, "vm", "vm"));
    launcherSection(b, launcherTable, &embedRuntime);
    output(b, section(b, root, "output", "output"));
    instance(b, section(b, root, "instance", "instance"));
    splash(b, section(b, root, "splash", "splash"));
    messages(b, section(b, root, "messages", "messages"));
    records(b, section(b, root, "records", "records"));
    includedFiles(b, root, embedRuntime);

    // What every launcher needs to start its application. Records of [records] count,
    // so that a descriptor written by `inspect` for any launcher builds again.
    if (b.narrow[101].empty() && (serviceTable == nullptr || serviceTable->get("name") == nullptr) &&
        b.fromRecords.count(101) == 0) {
        b.error(whereMissing(serviceTable), "service.name is missing: the launcher needs a service name");
    } else if (b.narrow[101].empty() && b.fromRecords.count(101) == 0 && serviceTable->get("name")->is_string()) {
        b.error(serviceTable->get("name")->source(), "service.name must not be empty");
    }
    if (b.narrow[122].empty() && b.fromRecords.count(122) == 0 &&
        (applicationTable == nullptr || applicationTable->get("main_class") == nullptr)) {
        b.error(whereMissing(applicationTable), "application.main_class is missing: the launcher needs the class "
                                                "that starts the application");
    }
    if (b.fromRecords.count(121) == 0) {
        const toml::node* classPathNode = applicationTable == nullptr ? nullptr : applicationTable->get("class_path");
        if (classPathNode == nullptr) {
            b.error(whereMissing(applicationTable), "application.class_path is missing: the launcher needs at least "
                                                    "one class path entry");
        } else if (classPathNode->is_array() && classPathNode->as_array()->empty()) {
            b.error(classPathNode->source(), "application.class_path must have at least one entry");
        }
    }
    if (errors->size() != errorsBefore) {
        return false;
    }

    BuildResult built;
    for (int32_t id : narrowRecordOrder()) {
        built.block.narrow.push_back({id, b.narrow[id]});
    }
    for (int32_t id = kFirstMessageId; id <= kLastMessageId; ++id) {
        built.block.narrow.push_back({id, b.narrow[id]});
    }
    for (const auto& [id, value] : b.extra) {
        built.block.narrow.push_back({id, value});
    }
    built.block.wide.push_back({cfg::serviceDescription, b.description});
    built.block.localeGroups = b.groups;
    // Sets 2002 and 2003 in place, also to "0" and "" when there are none.
    built.block.addIncludedFiles(b.files);
    built.notes = b.notes;
    *result = std::move(built);
    return true;
}

} // namespace packager
