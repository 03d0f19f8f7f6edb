// The application's environment variables as the launcher sets them: the settings of the
// environment record (30012) in the order they were written, the one encoding of that
// record, which the packager writes and reads back and the launcher reads, and what a
// setting makes of a variable's value. Portable C++ without any system header; texts are
// UTF-16, as Windows keeps its environment, so that any value survives.
//
// The record holds one entry per setting, each ended by a line feed:
//   <operation><name>=<value>LF
// with the operation a letter: 's' sets, 'p' prepends, 'a' appends, 'r' removes (its value
// is empty). In names and values a backslash is written "\\" and a line feed "\n"; no other
// escape exists. A name holds no '=', so the first '=' ends it. A record that does not
// have exactly this form is refused as a whole: the launcher never sets half of it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace environmentmodel {

enum class Operation { set, prepend, append, remove };

struct Setting {
    Operation operation = Operation::set;
    std::u16string name;
    std::u16string value;  // empty for remove
};

// Between the elements of a list variable such as PATH.
constexpr char16_t kListSeparator = u';';
// The longest value, in characters, an environment variable can hold.
constexpr size_t kLongestValue = 32767;

// Empty when the system takes `name` as a variable's name; otherwise why not, as a phrase
// about the name ("is empty", "holds '='", "holds a NUL character").
std::string nameProblem(const std::u16string& name);
// Empty when a setting's value can be stored and set; otherwise why not ("holds a NUL
// character", "has 40000 characters; a variable holds at most 32767").
std::string valueProblem(const std::u16string& value);

// The record's text. Every name must pass nameProblem and every value valueProblem (a
// remove's value is left out); an empty list gives the empty text, which is no record.
std::u16string encodeSettings(const std::vector<Setting>& settings);
// The settings of a record's text, in order; false, with what is wrong in `reason`, for a
// text encodeSettings does not give for any settings.
bool decodeSettings(const std::u16string& record, std::vector<Setting>* settings, std::string* reason);

// A variable's value before or after a setting: whether it is set, and its text.
struct Variable {
    bool present = false;
    std::u16string value;
};
// What a setting makes of a variable, given the setting's value as expanded. Set gives the
// value; an empty one removes the variable, as the C runtime cannot hold an empty value,
// so that the system's environment and the C runtime's copy agree. Prepend and append join
// the value and the current one with kListSeparator, without a second separator where
// one of them already has one at the joint and without any when either is empty. Remove
// removes it.
Variable applySetting(Operation operation, const Variable& current, const std::u16string& value);

} // namespace environmentmodel
