// The reference of the descriptor's keys (`packager keys`, committed as
// docs/descriptor.md), made from the key table.
#pragma once

#include <string>

namespace packager {

// Markdown: a short introduction, then per section its keys with type, default, record
// and what each sets.
std::string keyReference();

} // namespace packager
