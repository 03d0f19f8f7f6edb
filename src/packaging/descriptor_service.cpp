// [service]: the keys its kinds read, then the launcher kind (service.start and
// launcher.kind share one record), the description and its translations, which are wide
// texts.
#include "format/record_ids.h"
#include "packaging/descriptor_build.h"
#include "packaging/descriptor_text.h"

namespace packager {

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

// The stored kind: a service launcher's is also the one that installs with automatic
// start; graphical and message-box launchers install with demand start.
void launcherKind(Builder& b, const toml::table* service, const toml::table* launcher)
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
            b.error(startNode->source(), keyPath(startKey) + " \"" + startNode->as_string()->get() + "\" needs " +
                                             keyPath(kindKey) + " \"" + kindKey.words[0].word +
                                             "\" (the launcher installs other kinds with demand start)");
        }
        b.narrow[cfg::launcherKind] = kind;
    } else if (hasStart) {
        b.narrow[cfg::launcherKind] = start;
    }
}

void description(Builder& b, const toml::table* service)
{
    const DescriptorKey& key = *findKey("service", cfg::serviceDescription);
    const toml::node* node = keyNode(service, key);
    b.description = utf8ToUtf16(key.defaultValue);
    if (node != nullptr) {
        if (!node->is_string()) {
            wrongType(b, *node, keyPath(key), "a string");
        } else {
            b.description = utf8ToUtf16(node->as_string()->get());
        }
    }
}

void translations(Builder& b, const toml::table* service)
{
    const DescriptorKey* key = findKeyOfKind(KeyKind::translations);
    const Path path = keyPath(*key);
    const toml::table* table = service == nullptr ? nullptr : section(b, *service, key->key, path);
    if (table == nullptr) {
        return;
    }
    // A table iterates in key order, which is also the order the launcher needs: a
    // prefix sorts before every longer code it is the start of, so "de_CH" is applied
    // after "de" and wins for a Swiss user.
    for (auto&& [name, node] : *table) {
        std::string prefix(name.str());
        if (!isLocalePrefix(prefix)) {
            b.error(name.source(), "'" + prefix + "' is no locale code (such as \"de\", \"de_CH\" or \"pt_BR\")");
        } else if (!node.is_string()) {
            wrongType(b, node, path + "." + prefix, "a string");
        } else {
            b.groups.push_back({prefix, {{key->record, utf8ToUtf16(node.as_string()->get())}}});
        }
    }
}

} // namespace

void buildService(Builder& b, const toml::table* service, const toml::table* launcher)
{
    buildKeys(b, service, "service");
    launcherKind(b, service, launcher);
    description(b, service);
    translations(b, service);
}

} // namespace packager
