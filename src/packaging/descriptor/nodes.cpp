// Nodes of the TOML tree, read with their errors.
#include "packaging/descriptor/nodes.h"

#include "packaging/descriptor/text.h"

namespace packager {

namespace {

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

} // namespace

void wrongType(Report& report, const toml::node& node, const Path& key, const char* wanted)
{
    report.error(node.source(), key + " must be " + wanted + ", not " + typeName(node));
}

void checkKeys(Report& report, const toml::table& table, const Path& prefix, const std::vector<std::string>& known)
{
    for (auto&& [key, node] : table) {
        (void)node;
        bool found = false;
        for (const std::string& name : known) {
            found = found || key.str() == name;
        }
        if (!found) {
            report.error(key.source(), "unknown key '" + prefix + std::string(key.str()) + "'");
        }
    }
}

const toml::table* section(Report& report, const toml::table& parent, const char* key, const Path& path)
{
    const toml::node* node = parent.get(key);
    if (node == nullptr) {
        return nullptr;
    }
    if (!node->is_table()) {
        wrongType(report, *node, path, "a table");
        return nullptr;
    }
    return node->as_table();
}

bool narrowText(Report& report, const toml::node& node, const Path& key, std::string* out)
{
    if (!node.is_string()) {
        wrongType(report, node, key, "a string");
        return false;
    }
    if (!utf8ToLatin1(node.as_string()->get(), out)) {
        report.error(node.source(),
                     key + " holds a character the launcher cannot show (only ISO-8859-1 text is possible)");
        return false;
    }
    return true;
}

const toml::node* keyNode(const toml::table* table, const DescriptorKey& key)
{
    return table == nullptr ? nullptr : table->get(key.key);
}

} // namespace packager
