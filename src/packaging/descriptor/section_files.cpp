// [[files]], the runtime library jar that goes with them unless [launcher] says
// otherwise, and [records], the records given by identifier.
#include "format/record_ids.h"
#include "format/record_text.h"
#include "packaging/descriptor/sections.h"
#include "packaging/descriptor/text.h"
#include "packaging/launcher/included_names.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace packager {

namespace {

namespace fs = std::filesystem;

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
    *reason = includedNameProblem(name);
    return reason->empty();
}

// The content of a file on disk; when the build streams included files, only its place
// and size, for writeLauncher to copy it from.
bool readFile(Build& b, const fs::path& path, std::vector<uint8_t>* content, IncludedSource* origin)
{
    std::error_code failed;
    if (!fs::is_regular_file(path, failed)) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    if (b.settings.streamIncludedFiles) {
        origin->path = path;
        origin->size = fs::file_size(path, failed);
        return !failed;
    }
    content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The runtime library jar as the first included file, or a note why there is none.
void addRuntimeLibrary(Build& b)
{
    if (b.settings.runtimeLibrary.empty()) {
        if (b.settings.withoutRuntimeLibrary) {
            return;
        }
        b.report.note("no runtime library jar is configured for this packager (--runtime-library); the "
                      "launcher is built without it, so its classes must reach the class path another way");
        return;
    }
    std::vector<uint8_t> content;
    IncludedSource origin;
    fs::path jar(b.settings.runtimeLibrary);  // a command-line argument, in the system code page
    if (!readFile(b, jar, &content, &origin)) {
        b.report.note("the runtime library jar " + b.settings.runtimeLibrary +
                      " does not exist; the launcher is built without it, so its classes must reach the "
                      "class path another way");
        return;
    }
    b.block.files.push_back({jar.filename().string(), std::move(content)});
    b.block.origins.push_back(origin);
}

// The content of an entry's source: from the caller's map, or from disk relative to the
// descriptor.
bool readSource(Build& b, const toml::node& source, std::vector<uint8_t>* content, IncludedSource* origin)
{
    const std::string& text = source.as_string()->get();
    if (b.settings.fileContents != nullptr) {
        auto found = b.settings.fileContents->find(text);
        if (found == b.settings.fileContents->end()) {
            b.report.error(source.source(), "included file " + text + " does not exist");
            return false;
        }
        *content = found->second;
        return true;
    }
    fs::path path = fs::u8path(text);
    if (path.is_relative()) {
        path = b.baseDirectory / path;
    }
    if (!readFile(b, path, content, origin)) {
        b.report.error(source.source(), "included file " + text + " does not exist or cannot be read");
        return false;
    }
    return true;
}

} // namespace

bool readRuntimeLibrarySetting(Build& b, const toml::table* launcher)
{
    const DescriptorKey& key = *findKeyOfKind(KeyKind::setting);
    const toml::node* node = keyNode(launcher, key);
    bool embed = key.defaultValue == std::string(flagText(true));
    if (node != nullptr && !node->is_boolean()) {
        wrongType(b.report, *node, keyPath(key), "true or false");
    } else if (node != nullptr) {
        embed = node->as_boolean()->get();
    }
    return embed;
}

void buildIncludedFiles(Build& b, const toml::table& root, bool embedRuntime)
{
    const DescriptorKey& sourceKey = *findKey("files", cfg::includedFileCount);
    const DescriptorKey& nameKey = *findKey("files", cfg::includedFileNames);
    if (embedRuntime) {
        addRuntimeLibrary(b);
    }
    const toml::node* node = root.get(sourceKey.section);
    if (node == nullptr) {
        return;
    }
    if (!node->is_array()) {
        wrongType(b.report, *node, sourceKey.section, "an array of tables ([[files]])");
        return;
    }
    std::map<std::string, std::string> names;  // lower-cased name -> as given; Windows names ignore case
    for (const blockformat::IncludedFile& file : b.block.files) {
        names[foldedName(file.name)] = file.name;
    }
    size_t index = 0;
    for (const toml::node& item : *node->as_array()) {
        Path entry = std::string(sourceKey.section) + "[" + std::to_string(index++) + "]";
        if (!item.is_table()) {
            wrongType(b.report, item, entry, "a table");
            continue;
        }
        const toml::table& file = *item.as_table();
        checkKeys(b.report, file, entry + ".", {sourceKey.key, nameKey.key});
        const toml::node* source = file.get(sourceKey.key);
        const toml::node* nameNode = file.get(nameKey.key);
        std::string fileName;
        if (source == nullptr) {
            b.report.error(item.source(), entry + " has no " + sourceKey.key);
            continue;
        }
        if (!source->is_string()) {
            wrongType(b.report, *source, entry + "." + sourceKey.key, "a string");
            continue;
        }
        if (b.report.reportedAt(source->source())) {
            continue;  // a source holding a NUL names some other file
        }
        if (nameNode != nullptr) {
            if (!narrowText(b.report, *nameNode, entry + "." + nameKey.key, &fileName)) {
                continue;
            }
            std::replace(fileName.begin(), fileName.end(), '/', '\\');
        } else if (!utf8ToLatin1(fs::path(source->as_string()->get()).filename().string(), &fileName)) {
            b.report.error(source->source(), entry + "." + sourceKey.key +
                                                 " has a file name the launcher cannot write; give a " + nameKey.key);
            continue;
        }
        std::string reason;
        if (!isIncludedFileName(fileName, &reason)) {
            b.report.error((nameNode != nullptr ? nameNode : source)->source(),
                           entry + " " + nameKey.key + " " + shownText(latin1ToUtf8(fileName)) + " " + reason);
            continue;
        }
        std::vector<uint8_t> content;
        IncludedSource origin;
        if (!readSource(b, *source, &content, &origin)) {
            continue;
        }
        std::string lower = foldedName(fileName);
        if (names.count(lower) != 0) {
            b.report.error(source->source(), "two included files are both named " + fileName);
            continue;
        }
        names[lower] = fileName;
        b.block.files.push_back({fileName, std::move(content)});
        b.block.origins.push_back(origin);
    }
    // A file that is also another one's folder: neither the launcher nor an extraction
    // can write both.
    std::vector<std::string> written;
    for (const blockformat::IncludedFile& file : b.block.files) {
        written.push_back(file.name);
    }
    std::string clash = includedNameClash(written);
    if (!clash.empty()) {
        b.report.error(node->source(),
                       std::string(sourceKey.section) + ": " + latin1ToUtf8(clash) + "; no folder can hold both");
    }
}

void buildRecords(Build& b, const toml::table* table)
{
    if (table == nullptr) {
        return;
    }
    const DescriptorKey& filesKey = *findKey("files", cfg::includedFileCount);
    for (auto&& [key, node] : *table) {
        std::string name(key.str());
        char* end = nullptr;
        long long id = std::strtoll(name.c_str(), &end, 10);
        if (name.empty() || *end != 0 || id < INT32_MIN || id > INT32_MAX || std::to_string(id) != name) {
            b.report.error(key.source(), "records." + name + ": a record key must be a decimal identifier");
            continue;
        }
        if (id == cfg::includedFileCount || id == cfg::includedFileNames) {
            b.report.error(key.source(), "records." + name + " is made from [[" + filesKey.section +
                                             "]] and cannot be set here");
            continue;
        }
        std::string value;
        if (!narrowText(b.report, node, "records." + name, &value)) {
            continue;
        }
        int32_t identifier = static_cast<int32_t>(id);
        b.block.fromRecords.insert(identifier);
        // A record of the packager's order keeps its place also when no key gave it.
        const std::vector<int32_t>& order = narrowRecordOrder();
        if (b.block.narrow.count(identifier) != 0 || std::find(order.begin(), order.end(), identifier) != order.end()) {
            b.block.narrow[identifier] = value;
        } else {
            b.block.extra[identifier] = value;
        }
    }
}

} // namespace packager
