// [service]: the keys its kinds read and the bounds of the restart delay, then the launcher
// kind (service.start and launcher.kind share one record; a delayed or disabled start adds
// the start mode record), the description and its translations, which are wide texts.
#include "format/record_ids.h"
#include "model/service_entry.h"
#include "packaging/descriptor/sections.h"
#include "packaging/descriptor/text.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace packager {

namespace fs = std::filesystem;

namespace {

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

// The word a choice node gives; null when it gives none of the key's words.
const ChoiceWord* wordOf(const DescriptorKey& key, const toml::node& node)
{
    for (const ChoiceWord* word = key.words; node.is_string() && word->word != nullptr; ++word) {
        if (node.as_string()->get() == word->word) {
            return word;
        }
    }
    return nullptr;
}

// The stored kind: a service launcher's is also the one that installs with automatic
// start; graphical and message-box launchers install with demand start. A delayed or
// disabled start is an automatic-start kind with a start mode record.
void launcherKind(Build& b, const toml::table* service, const toml::table* launcher)
{
    const DescriptorKey& startKey = *findKey("service", cfg::launcherKind);
    const DescriptorKey& kindKey = *findKey("launcher", cfg::launcherKind);
    const std::string automatic = startKey.defaultValue;
    const toml::node* startNode = keyNode(service, startKey);
    const toml::node* kindNode = keyNode(launcher, kindKey);
    std::string start;
    std::string kind;
    bool hasStart = startNode != nullptr && encodeValue(b, startKey, *startNode, *service, &start);
    bool hasKind = kindNode != nullptr && encodeValue(b, kindKey, *kindNode, *launcher, &kind);
    if (hasKind && kind != automatic) {
        if (hasStart && start == automatic) {
            b.report.error(startNode->source(),
                           keyPath(startKey) + " " + shownText(startNode->as_string()->get()) + " needs " +
                               keyPath(kindKey) + " \"" + kindKey.words[0].word +
                               "\" (the launcher installs other kinds with demand start)");
        }
        b.block.narrow[cfg::launcherKind] = kind;
    } else if (hasStart) {
        b.block.narrow[cfg::launcherKind] = start;
        const ChoiceWord* word = wordOf(startKey, *startNode);
        if (word != nullptr && word->linked != nullptr) {
            b.block.narrow[startKey.linked] = word->linked;
        }
    }
}

// The restart delay grows from restart_delay to restart_delay_max; a maximum below the
// first delay would leave the launcher to guess which one holds.
void checkRestartDelays(Build& b, const toml::table* service)
{
    const DescriptorKey& firstKey = *findKey("service", cfg::serviceRestartDelay);
    const DescriptorKey& longestKey = *findKey("service", cfg::serviceRestartDelayMax);
    const std::string& first = b.block.narrow[firstKey.record];
    const std::string& longest = b.block.narrow[longestKey.record];
    for (const DescriptorKey* key : {&firstKey, &longestKey}) {
        const toml::node* node = keyNode(service, *key);
        if (node != nullptr && b.report.reportedAt(node->source())) {
            return;  // a refused value is no bound to compare with
        }
    }
    if (std::strtol(first.c_str(), nullptr, 10) <= std::strtol(longest.c_str(), nullptr, 10)) {
        return;
    }
    // At the maximum when the descriptor gives it, else at the delay.
    const toml::node* where = keyNode(service, longestKey);
    where = where != nullptr ? where : keyNode(service, firstKey);
    b.report.error(where != nullptr ? where->source() : toml::source_region{},
                   keyPath(longestKey) + " " + longest + " is below " + keyPath(firstKey) + " " + first +
                       ": the longest delay before a restart cannot be shorter than the first");
}

// A hang timeout of a few seconds would end VMs that are only busy: a long collection may
// hold every thread, the alive signal's too.
void checkHangTimeout(Build& b, const toml::table* service)
{
    const DescriptorKey& key = *findKey("service", cfg::serviceHangTimeout);
    const toml::node* node = keyNode(service, key);
    if (node == nullptr || b.report.reportedAt(node->source())) {
        return;
    }
    const long seconds = std::strtol(b.block.narrow[key.record].c_str(), nullptr, 10);
    if (seconds == 0) {
        return;
    }
    if (seconds < static_cast<long>(servicemodel::kShortestHangSeconds)) {
        b.report.error(node->source(), keyPath(key) + " " + std::to_string(seconds) + " is below " +
                                           std::to_string(servicemodel::kShortestHangSeconds) +
                                           " seconds, within which a busy VM's collector may hold every thread; 0 "
                                           "turns the watch off");
        return;
    }
    const DescriptorKey& stopKey = *findKey("service", cfg::serviceStopTimeout);
    const long stopSeconds = std::strtol(b.block.narrow[stopKey.record].c_str(), nullptr, 10);
    if (seconds < stopSeconds) {
        b.report.note(keyPath(key) + " " + std::to_string(seconds) + " is below " + keyPath(stopKey) + " " +
                      std::to_string(stopSeconds) +
                      ": a VM that gives no sign of life is ended sooner than one that does not stop");
    }
}

void description(Build& b, const toml::table* service)
{
    const DescriptorKey& key = *findKey("service", cfg::serviceDescription);
    const toml::node* node = keyNode(service, key);
    b.block.description = utf8ToUtf16(key.defaultValue);
    if (node != nullptr) {
        if (!node->is_string()) {
            wrongType(b.report, *node, keyPath(key), "a string");
        } else {
            b.block.description = utf8ToUtf16(node->as_string()->get());
        }
    }
}

void translations(Build& b, const toml::table* service)
{
    const DescriptorKey* key = findKeyOfKind(KeyKind::translations);
    const Path path = keyPath(*key);
    const toml::table* table = service == nullptr ? nullptr : section(b.report, *service, key->key, path);
    if (table == nullptr) {
        return;
    }
    // A table iterates in key order, which is also the order the launcher needs: a
    // prefix sorts before every longer code it is the start of, so "de_CH" is applied
    // after "de" and wins for a Swiss user.
    for (auto&& [name, node] : *table) {
        std::string prefix(name.str());
        if (!isLocalePrefix(prefix)) {
            b.report.error(name.source(),
                           "'" + prefix + "' is no locale code (such as \"de\", \"de_CH\" or \"pt_BR\")");
        } else if (!node.is_string()) {
            wrongType(b.report, node, path + "." + prefix, "a string");
        } else {
            b.block.groups.push_back({prefix, {{key->record, utf8ToUtf16(node.as_string()->get())}}});
        }
    }
}

} // namespace

void buildService(Build& b, const toml::table* service, const toml::table* launcher)
{
    buildKeys(b, service, "service");
    checkRestartDelays(b, service);
    checkHangTimeout(b, service);
    launcherKind(b, service, launcher);
    description(b, service);
    translations(b, service);
}

void noteUnwatchedHangTimeout(Build& b)
{
    const DescriptorKey& key = *findKey("service", cfg::serviceHangTimeout);
    if (std::strtol(b.block.narrow[key.record].c_str(), nullptr, 10) <= 0) {
        return;
    }
    const std::string& flavour = b.block.narrow[cfg::flavourLetter];
    if (!flavour.empty() && flavour[0] == 'd') {
        b.report.note(keyPath(key) + " watches nothing here: the deploykit flavour's runtime does not signal that "
                                     "its VM is alive, and /dump gets no answer from it");
        return;
    }
    // The jar's entry names stand uncompressed in its directory.
    static const std::string kSignalsClass = "com/quill/runtime/ServiceSignals.class";
    const std::string jarName = fs::path(b.settings.runtimeLibrary).filename().string();
    for (const blockformat::IncludedFile& file : b.block.files) {
        if (b.settings.runtimeLibrary.empty() || file.name != jarName) {
            continue;
        }
        if (std::search(file.content.begin(), file.content.end(), kSignalsClass.begin(), kSignalsClass.end()) ==
            file.content.end()) {
            b.report.note(keyPath(key) + " watches nothing here: the runtime library jar " +
                          b.settings.runtimeLibrary +
                          " is older than the watch and does not signal that its VM is alive");
        }
        return;
    }
}

void checkServiceName(Build& b, const toml::table* service)
{
    const DescriptorKey& key = *findKey("service", cfg::serviceName);
    const toml::node* node = keyNode(service, key);
    if (node == nullptr || !node->is_string() || b.report.reportedAt(node->source())) {
        return;
    }
    // The service manager refuses these at /install; the build is the time to say so.
    const std::string& name = node->as_string()->get();
    size_t characters = 0;
    for (char c : name) {
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    if (name.find_first_of("/\\") != std::string::npos) {
        b.report.error(node->source(), keyPath(key) + " " + shownText(name) +
                                           " holds '/' or '\\', which the service manager does not accept in a "
                                           "service name");
    } else if (characters > kLongestServiceName) {
        b.report.error(node->source(), keyPath(key) + " has " + std::to_string(characters) +
                                           " characters; the service manager accepts at most " +
                                           std::to_string(kLongestServiceName));
    }
}

} // namespace packager
