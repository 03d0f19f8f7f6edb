// [messages]: the built-in texts of a language, and the texts the descriptor replaces.
#include "format/record_ids.h"
#include "packaging/descriptor/sections.h"
#include "packaging/descriptor/text.h"
#include "packaging/descriptor/message_texts.h"

namespace packager {

namespace {

// "\"en\", \"de\" or \"fr\""
std::string languageList()
{
    const std::vector<std::string>& languages = messageLanguages();
    std::string list;
    for (size_t i = 0; i < languages.size(); ++i) {
        list += std::string(i == 0 ? "" : i + 1 == languages.size() ? " or " : ", ") + "\"" + languages[i] + "\"";
    }
    return list;
}

} // namespace

void buildMessages(Build& b, const toml::table* table)
{
    const DescriptorKey& languageKey = *findKeyOfKind(KeyKind::language);
    std::string language = languageKey.defaultValue;
    const toml::node* languageNode = keyNode(table, languageKey);
    if (languageNode != nullptr) {
        if (!languageNode->is_string()) {
            wrongType(b.report, *languageNode, keyPath(languageKey), "a string");
        } else if (builtInMessages(languageNode->as_string()->get()).empty()) {
            b.report.error(languageNode->source(), keyPath(languageKey) + " must be " + languageList() + ", not " +
                                                       shownText(languageNode->as_string()->get()));
        } else {
            language = languageNode->as_string()->get();
        }
    }
    // The built-in texts that say no runtime was found also say which Java the
    // application needs: a user then knows what to install. With the default range they
    // stay as they always were.
    std::string range =
        versionRangeSentence(language, b.block.narrow[cfg::minJavaVersion], b.block.narrow[cfg::maxJavaVersion]);
    for (const MessageText& message : builtInMessages(language)) {
        std::string text = message.utf8;
        if (!range.empty() && namesVersionRange(message.id)) {
            text += "\n" + range;
        }
        std::string value;
        utf8ToLatin1(text, &value);
        b.block.narrow[message.id] = value;
    }
    if (table == nullptr) {
        return;
    }
    for (auto&& [name, node] : *table) {
        std::string key(name.str());
        const DescriptorKey* message = nullptr;
        for (const DescriptorKey& candidate : descriptorKeys()) {
            if (candidate.kind == KeyKind::message && key == candidate.key) {
                message = &candidate;
            }
        }
        std::string value;
        if (key == languageKey.key) {
            continue;
        } else if (message == nullptr) {
            b.report.error(name.source(), "unknown key '" + std::string(languageKey.section) + "." + key + "'");
        } else if (narrowText(b.report, node, keyPath(*message), &value)) {
            b.block.narrow[message->record] = value;
        }
    }
}

} // namespace packager
