// The environment record's encoding and what a setting makes of a variable.
#include "model/environment.h"

namespace environmentmodel {

namespace {

constexpr char16_t kEnd = u'\n';
constexpr char16_t kEscape = u'\\';
constexpr char16_t kEquals = u'=';

struct OperationLetter {
    Operation operation;
    char16_t letter;
};
const OperationLetter kLetters[] = {
    {Operation::set, u's'},
    {Operation::prepend, u'p'},
    {Operation::append, u'a'},
    {Operation::remove, u'r'},
};

char16_t letterOf(Operation operation)
{
    for (const OperationLetter& entry : kLetters) {
        if (entry.operation == operation) {
            return entry.letter;
        }
    }
    return u's';
}

bool operationOf(char16_t letter, Operation* operation)
{
    for (const OperationLetter& entry : kLetters) {
        if (entry.letter == letter) {
            *operation = entry.operation;
            return true;
        }
    }
    return false;
}

void appendEscaped(std::u16string& out, const std::u16string& text)
{
    for (char16_t c : text) {
        if (c == kEscape) {
            out += u"\\\\";
        } else if (c == kEnd) {
            out += u"\\n";
        } else {
            out += c;
        }
    }
}

// Reads an escaped text from `at` up to the first of `stops` outside an escape, which is
// left at `at`. False for an escape other than "\\" and "\n", and for a text that ends
// before a stop.
bool readEscaped(const std::u16string& record, size_t* at, const std::u16string& stops, std::u16string* out,
                 std::string* reason)
{
    size_t i = *at;
    for (; i < record.size() && stops.find(record[i]) == std::u16string::npos; ++i) {
        char16_t c = record[i];
        if (c != kEscape) {
            *out += c;
            continue;
        }
        char16_t next = i + 1 < record.size() ? record[i + 1] : u'\0';
        if (next == kEscape) {
            *out += kEscape;
        } else if (next == u'n') {
            *out += kEnd;
        } else {
            *reason = "has an unknown escape at character " + std::to_string(i);
            return false;
        }
        ++i;
    }
    if (i == record.size()) {
        *reason = "ends inside an entry";
        return false;
    }
    *at = i;
    return true;
}

bool isSeparator(char16_t c)
{
    return c == kListSeparator;
}

} // namespace

std::string nameProblem(const std::u16string& name)
{
    if (name.empty()) {
        return "is empty";
    }
    if (name.find(kEquals) != std::u16string::npos) {
        return "holds '='";
    }
    if (name.find(u'\0') != std::u16string::npos) {
        return "holds a NUL character";
    }
    return std::string();
}

std::string valueProblem(const std::u16string& value)
{
    if (value.find(u'\0') != std::u16string::npos) {
        return "holds a NUL character";
    }
    if (value.size() > kLongestValue) {
        return "has " + std::to_string(value.size()) + " characters; a variable holds at most " +
               std::to_string(kLongestValue);
    }
    return std::string();
}

std::u16string encodeSettings(const std::vector<Setting>& settings)
{
    std::u16string out;
    for (const Setting& setting : settings) {
        out += letterOf(setting.operation);
        appendEscaped(out, setting.name);
        out += kEquals;
        if (setting.operation != Operation::remove) {
            appendEscaped(out, setting.value);
        }
        out += kEnd;
    }
    return out;
}

bool decodeSettings(const std::u16string& record, std::vector<Setting>* settings, std::string* reason)
{
    std::vector<Setting> decoded;
    size_t at = 0;
    while (at < record.size()) {
        const std::string entry = "entry " + std::to_string(decoded.size() + 1) + " ";
        Setting setting;
        if (!operationOf(record[at], &setting.operation)) {
            *reason = entry + "has no operation the launcher knows";
            return false;
        }
        ++at;
        std::string why;
        if (!readEscaped(record, &at, std::u16string{kEquals, kEnd}, &setting.name, &why)) {
            *reason = entry + why;
            return false;
        }
        if (record[at] != kEquals) {
            *reason = entry + "has no '=' after its name";
            return false;
        }
        ++at;
        if (!readEscaped(record, &at, std::u16string{kEnd}, &setting.value, &why)) {
            *reason = entry + why;
            return false;
        }
        ++at;
        std::string problem = nameProblem(setting.name);
        if (problem.empty()) {
            problem = valueProblem(setting.value);
            problem = problem.empty() ? problem : "value " + problem;
        } else {
            problem = "name " + problem;
        }
        if (problem.empty() && setting.operation == Operation::remove && !setting.value.empty()) {
            problem = "removes a variable but has a value";
        }
        if (!problem.empty()) {
            *reason = entry + problem;
            return false;
        }
        decoded.push_back(std::move(setting));
    }
    *settings = std::move(decoded);
    return true;
}

Variable applySetting(Operation operation, const Variable& current, const std::u16string& value)
{
    Variable result;
    switch (operation) {
    case Operation::set:
        result.value = value;
        break;
    case Operation::prepend:
    case Operation::append: {
        const std::u16string& old = current.present ? current.value : std::u16string();
        const std::u16string& first = operation == Operation::prepend ? value : old;
        const std::u16string& second = operation == Operation::prepend ? old : value;
        result.value = first;
        if (first.empty() || second.empty()) {
            result.value += second;
        } else if (isSeparator(first.back()) && isSeparator(second.front())) {
            result.value.append(second, 1, std::u16string::npos);
        } else {
            if (!isSeparator(first.back()) && !isSeparator(second.front())) {
                result.value += kListSeparator;
            }
            result.value += second;
        }
        break;
    }
    case Operation::remove:
        break;
    }
    result.present = !result.value.empty();
    return result;
}

} // namespace environmentmodel
