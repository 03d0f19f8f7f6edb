// The built-in texts of the launcher's messages, in English, German and French. The
// language is fixed when a launcher is built: the messages are narrow configuration
// texts, which no locale group can replace at run time. Their descriptor keys are in the
// key table (descriptor_keys.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace packager {

struct MessageText {
    int32_t id;
    const char* utf8;  // the text, UTF-8
};

// The languages with built-in texts: "en", "de", "fr".
const std::vector<std::string>& messageLanguages();
// The texts of a language, one per message record from cfg::kFirstMessageId to
// cfg::kLastMessageId, in identifier order; empty for an unknown language.
std::vector<MessageText> builtInMessages(const std::string& language);
// The sentence the built-in no-runtime texts end with when the descriptor gives a version
// range, UTF-8 ("The application needs Java 11 or later."); empty when both bounds are.
std::string versionRangeSentence(const std::string& language, const std::string& minimum, const std::string& maximum);

} // namespace packager
