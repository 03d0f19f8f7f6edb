// The built-in texts of the launcher's messages, in English, German and French. The
// language is fixed when a launcher is built: the messages are narrow configuration
// texts, which no locale group can replace at run time. Their descriptor keys are in the
// key table (keys.h).
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
// True for the messages that say no runtime was found, whose built-in texts end with the
// version range.
bool namesVersionRange(int32_t id);
// The sentence those texts end with for a launcher's version range, UTF-8 ("The
// application needs Java 11 or later."); empty for the default range (1.8 or later, the
// range of every launcher built before), so that such launchers keep their texts.
std::string versionRangeSentence(const std::string& language, const std::string& minimum, const std::string& maximum);

} // namespace packager
