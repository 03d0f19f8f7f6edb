// Reading the nodes of a descriptor's TOML tree: a sub-table, a text in the launcher's
// encoding, the keys of a table checked against those it may hold, each with its error at
// the node when the node is not what the key needs.
#pragma once

#include "packaging/descriptor/keys.h"
#include "packaging/descriptor/report.h"
#include "packaging/descriptor/toml.h"

#include <string>
#include <vector>

namespace packager {

using Path = std::string;  // dotted key path for messages, such as "service.name"

// "key must be <wanted>, not <what the node is>".
void wrongType(Report& report, const toml::node& node, const Path& key, const char* wanted);
// Reports every key of `table` that is not in `known`; `prefix` goes in front of the key
// in the message ("java.").
void checkKeys(Report& report, const toml::table& table, const Path& prefix, const std::vector<std::string>& known);
// A sub-table; null (and an error when the key holds something else) when absent.
const toml::table* section(Report& report, const toml::table& parent, const char* key, const Path& path);
// A string converted to the launcher's narrow texts (ISO-8859-1).
bool narrowText(Report& report, const toml::node& node, const Path& key, std::string* out);
// The node of a key in its section's table; null when either is absent.
const toml::node* keyNode(const toml::table* table, const DescriptorKey& key);

} // namespace packager
