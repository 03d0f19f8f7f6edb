// The built-in texts of the launcher's messages 1000 to 1020, in English, German and
// French. The language is fixed when a launcher is built: the messages are narrow
// configuration texts, which no locale group can replace at run time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace packager {

struct MessageText {
    int32_t id;
    const char* key;   // the descriptor's name for the text
    const char* utf8;  // the text, UTF-8
};

constexpr int32_t kFirstMessageId = 1000;
constexpr int32_t kLastMessageId = 1020;

// The languages with built-in texts: "en", "de", "fr".
const std::vector<std::string>& messageLanguages();
// The 21 texts of a language, in identifier order; empty for an unknown language.
std::vector<MessageText> builtInMessages(const std::string& language);
// The descriptor name of a message identifier ("caption", ...).
const char* messageKey(int32_t id);

} // namespace packager
