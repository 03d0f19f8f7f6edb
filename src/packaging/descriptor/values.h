// Record texts back to descriptor values, kind by kind: the TOML text of a value that a
// build turns into exactly the record's text, or none when no value of the key can.
// `inspect` writes by these; the build's side of each kind is encodeValue
// (sections.h). Pure functions, internal to the packager.
#pragma once

#include "packaging/descriptor/keys.h"

#include <optional>
#include <string>

namespace packager {

using TomlValue = std::optional<std::string>;

TomlValue decodeValue(const DescriptorKey& key, const std::string& record);
TomlValue decodeClassPath(const std::string& record);
TomlValue decodeSearchSequence(const std::string& record);
// The word of a choice for its record's text and the text of the key's linked record
// (null when the block has none).
TomlValue decodeChoice(const std::string& record, const ChoiceWord* words, const std::string* linked);

// A narrow text (ISO-8859-1) as a TOML string.
std::string tomlText(const std::string& latin1);

// True for a name such as "com.example.Main": identifiers separated by single dots.
bool isJavaClassName(const std::string& name);
// True for one directory name that fits the launcher's buffer for it.
bool isJvmDirectoryName(const std::string& name);
// True for an account a descriptor may give: one the service model takes
// (model/service_entry.h), and not empty; else false, with what is wrong in `reason` (when
// not null), such as "has more than one '\'".
bool isServiceAccount(const std::string& account, std::string* reason);

// A size as a descriptor writes it in a string: a number of bytes, or a number, blanks
// and a unit "KB", "MB" or "GB" (of 1024 bytes, 1024 KB and 1024 MB; any case), such as
// "10 MB". False, with what is wrong in `reason`, for any other text or one too large for
// 64 bits.
bool parseByteSize(const std::string& text, int64_t* bytes, std::string* reason);

} // namespace packager
