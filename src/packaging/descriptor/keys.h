// The keys of the service descriptor, in one table: for each key its section, the record
// it sets, how the TOML value maps to the record's text (its kind), the packager's
// default and what it is for. `packager build` reads descriptors by it, `packager
// inspect` writes them by it and `packager keys` documents it, so a key added here is
// read, written back and documented alike. Pure data, portable C++.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace packager {

enum class KeyKind {
    text,            // a string, stored as it stands (ISO-8859-1)
    flag,            // true or false
    integer,         // a 32-bit integer within the key's bounds, in decimal
    list,            // an array of non-empty strings, joined with the key's separator
    commandLine,     // an array of arguments, quoted as the launcher splits them, or one string
    version,         // a Java version such as "1.8" or "17.0.2"
    choice,          // one of the key's words, stored as the word's code
    className,       // a Java class name such as "com.example.Main"
    directoryName,   // one directory name
    outputFile,      // a file that the application's output goes to; naming one switches it on
    classPath,       // class path entries (an array of tables)
    searchSequence,  // where to look for a Java runtime (an array of tables)
    wideText,        // a string of any characters (a wide record)
    translations,    // locale codes to strings (locale groups)
    setting,         // true or false for the packager itself; sets no record
    language,        // the language of the built-in message texts; sets no record itself
    message,         // a message text; the language's text unless given
    filePath,        // a file on the packaging machine
    account,         // the account a service runs as ("LocalSystem", "DOMAIN\user", ...)
    recovery,        // the service manager's restart action: an inline table of three keys
    byteSize,        // bytes, as an integer or a string with a unit ("10 MB"), stored in decimal
    environment,     // the application's environment variables: a table of names (a wide record)
};

// Who maps a key between descriptor and record.
enum class KeyCode {
    table,       // its kind alone, both ways
    ownReading,  // its section's code reads it (it depends on other keys); its kind writes it
    own,         // its section's code, both ways
};

// A word of a choice and the record text it stands for. A word may stand for several
// texts; the first is the one a build writes. A word with a linked text also sets the
// key's linked record to it; a word without one leaves that record out of the block.
struct ChoiceWord {
    const char* word;
    const char* stored;
    const char* linked = nullptr;
};

struct DescriptorKey {
    const char* section;       // "service", "splash.status"; "files" for a [[files]] entry
    const char* key;           // "name"
    int32_t record;            // its cfg:: identifier; 0 for a key that sets no record
    KeyKind kind;
    // The record's text when the descriptor does not give the key, in the record's own
    // encoding (a setting's in a flag's); null when another key of the same record
    // holds the default, or when the default is not one text (messages, files).
    const char* defaultValue;
    const char* summary;       // what it sets, for the key reference
    KeyCode code = KeyCode::table;
    // For a key the launcher cannot do without: what the launcher needs it for.
    const char* required = nullptr;
    char separator = 0;                  // list: between the elements
    const ChoiceWord* words = nullptr;   // choice, language: ended by a null word
    // outputFile: the record of its redirection switch; choice: the record its words'
    // linked texts go to
    int32_t linked = 0;
    const char* defaultText = nullptr;   // the default as the key reference shows it, when
                                         // it is not the default value in TOML form
    int32_t minimum = std::numeric_limits<int32_t>::min();  // integer: the bounds, inclusive
    int32_t maximum = std::numeric_limits<int32_t>::max();
    const char* typeText = nullptr;      // the type as the key reference shows it, for a key
                                         // that its section's own code reads
};

struct DescriptorSection {
    const char* name;     // "splash.status"
    const char* heading;  // as it stands in a descriptor: "[splash.status]", "[[files]]"
    const char* summary;
};

// Every key, section by section in the order `inspect` writes them.
const std::vector<DescriptorKey>& descriptorKeys();
// Every section, in that order.
const std::vector<DescriptorSection>& descriptorSections();

// The key of `record` in `section`; null when there is none.
const DescriptorKey* findKey(const std::string& section, int32_t record);
// The first key of a kind; null when none has it.
const DescriptorKey* findKeyOfKind(KeyKind kind);
// The first key that sets `record`, else the first whose words set it as their linked
// record; null when none does.
const DescriptorKey* keyOfRecord(int32_t record);
// The default text of a record: that of the key that holds it; null when no key does.
const char* recordDefault(int32_t record);
// The key's full name: "service.name".
std::string keyPath(const DescriptorKey& key);

// The record texts of a flag.
const char* flagText(bool on);

} // namespace packager
