// The nesting check and the parse of a descriptor.
#include "packaging/descriptor/parse.h"

#include "packaging/descriptor/report.h"

#include <cstdint>

namespace packager {

namespace {

// A TOML text read far enough to know how deeply it nests: strings and comments skipped,
// lines and columns counted as toml++ counts them (a column per character).
class NestingScan {
public:
    explicit NestingScan(const std::string& text) : text_(text) {}

    // Where the text first nests deeper than `deepest` levels: each step of a table
    // header or dotted key, each array of tables and each bracket or brace of a value
    // is a level. False when it never does. What is not TOML is passed over; the parser
    // reports it, and reads no further than that.
    bool tooDeep(size_t deepest, toml::source_position* where)
    {
        size_t tableDepth = 0;  // of the last [table] or [[array]] header
        struct Open {
            char bracket;
            size_t depth;  // of the array or inline table it opened
        };
        std::vector<Open> open;
        size_t valueDepth = 0;  // of the value that comes next
        bool expectKey = true;
        while (at_ < text_.size()) {
            char c = text_[at_];
            *where = {line_, column_};
            if (c == '\n') {
                advance();
                expectKey = expectKey || open.empty();
            } else if (c == ' ' || c == '\t' || c == '\r') {
                advance();
            } else if (c == '#') {
                skipComment();
            } else if ((c == ']' || c == '}') && !open.empty()) {
                advance();
                open.pop_back();
                expectKey = false;
                if (!open.empty() && open.back().bracket == '[') {
                    valueDepth = open.back().depth + 1;
                }
            } else if (c == ',') {
                advance();
                expectKey = !open.empty() && open.back().bracket == '{';
                if (!open.empty() && open.back().bracket == '[') {
                    valueDepth = open.back().depth + 1;
                }
            } else if (expectKey && c == '[' && open.empty()) {
                // A header: its steps, and one more for the array of an array of tables.
                advance();
                size_t steps = 1;
                if (at_ < text_.size() && text_[at_] == '[') {
                    advance();
                    ++steps;
                }
                steps += countSteps(']');
                while (at_ < text_.size() && text_[at_] == ']') {
                    advance();
                }
                if (steps > deepest) {
                    return true;
                }
                tableDepth = steps;
            } else if (expectKey) {
                size_t from = at_;
                size_t depth = (open.empty() ? tableDepth : open.back().depth) + 1 + countSteps('=');
                if (at_ == from && c != '=') {
                    advance();  // no key at all
                } else if (at_ < text_.size() && text_[at_] == '=') {
                    if (depth > deepest) {
                        return true;
                    }
                    advance();
                    valueDepth = depth;
                    expectKey = false;
                }
            } else if (valueDepth > deepest) {
                return true;  // a value, or an element of an array, this deep
            } else if (c == '[' || c == '{') {
                advance();
                open.push_back({c, valueDepth});
                expectKey = c == '{';
                valueDepth += c == '[' ? 1 : 0;
            } else if (c == '"' || c == '\'') {
                skipString();
            } else {
                advance();
            }
        }
        return false;
    }

private:
    void advance()
    {
        unsigned char c = static_cast<unsigned char>(text_[at_++]);
        if (c == '\n') {
            ++line_;
            column_ = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++column_;
        }
    }

    void skipComment()
    {
        while (at_ < text_.size() && text_[at_] != '\n') {
            advance();
        }
    }

    // From a quote to behind the string it opens; a single-line string also ends at its
    // line's end (where the parser will report it).
    void skipString()
    {
        char quote = text_[at_];
        bool multiLine = text_.compare(at_, 3, std::string(3, quote)) == 0;
        for (int i = multiLine ? 3 : 1; i > 0; --i) {
            advance();
        }
        while (at_ < text_.size()) {
            char c = text_[at_];
            if (c == '\\' && quote == '"') {
                advance();
                if (at_ < text_.size()) {
                    advance();
                }
            } else if (c == '\n' && !multiLine) {
                return;
            } else if (c == quote && (!multiLine || text_.compare(at_, 3, std::string(3, quote)) == 0)) {
                // A multi-line string may end in one or two quotes of its own.
                for (int i = multiLine ? 5 : 1; i > 0 && at_ < text_.size() && text_[at_] == quote; --i) {
                    advance();
                }
                return;
            } else {
                advance();
            }
        }
    }

    // The dots of a key or header up to `end` (or the line's end, a comment, or a bracket
    // or brace of a value, where a key is no more), quoted parts skipped.
    size_t countSteps(char end)
    {
        size_t dots = 0;
        while (at_ < text_.size()) {
            char c = text_[at_];
            if (c == end || c == '\n' || c == '#' || c == '[' || c == ']' || c == '{' || c == '}' || c == ',') {
                break;
            }
            if (c == '"' || c == '\'') {
                skipString();
                continue;
            }
            dots += c == '.';
            advance();
        }
        return dots;
    }

    const std::string& text_;
    size_t at_ = 0;
    uint32_t line_ = 1;
    uint32_t column_ = 1;
};

} // namespace

bool parseDescriptor(const std::string& text, const std::string& path, ParsedDescriptor* descriptor,
                     std::vector<Diagnostic>* errors)
{
    Report report(path);
    toml::source_position tooDeep{};
    if (NestingScan(text).tooDeep(kDeepestNesting, &tooDeep)) {
        report.error(toml::source_region{tooDeep, tooDeep, nullptr},
                     "tables, arrays and dotted keys nest more than " + std::to_string(kDeepestNesting) +
                         " levels deep here; a descriptor needs no more than 4");
    } else {
        toml::parse_result parsed = toml::parse(text, path);
        if (parsed) {
            descriptor->path = path;
            descriptor->root = std::move(parsed).table();
            return true;
        }
        report.error(parsed.error().source(), std::string(parsed.error().description()));
    }
    errors->insert(errors->end(), report.errors().begin(), report.errors().end());
    return false;
}

} // namespace packager
