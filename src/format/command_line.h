// The launcher's command-line form, used for its own command line, for the configured VM
// options and default arguments, and by the packager that writes those records: a blank
// (U+0020 only) separates arguments; double and single quotes group and are dropped;
// there is no escape character; an unclosed quote runs to the end of the text.
// Pure functions, portable C++.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// An ordered list of owned wide strings; removing an element keeps the others' order.
struct ArgumentList {
    std::vector<std::wstring> items;

    void append(const std::wstring& item) { items.push_back(item); }
    void removeFirst() { if (!items.empty()) items.erase(items.begin()); }
    void removeLast() { if (!items.empty()) items.pop_back(); }
    size_t size() const { return items.size(); }
    bool empty() const { return items.empty(); }
    const std::wstring& operator[](size_t index) const { return items[index]; }
    const std::wstring& first() const { return items.front(); }
    const std::wstring& last() const { return items.back(); }
};

// Appends the arguments of `text` (null: none).
void splitCommandLine(const wchar_t* text, ArgumentList& arguments);
// The same splitter on narrow text.
std::vector<std::string> splitCommandLine(const std::string& text);

// The process command line after the program's name and the blanks that follow it. The
// name is `modulePath` (the executable's own path, null or empty for none) when the line
// starts with it unquoted, in any case: the service manager runs an image path that was
// registered without quotes as it stands, blanks and all. Otherwise the name ends at the
// first character of code 32 or below outside double quotes, as Windows reads it.
const wchar_t* commandLineArguments(const wchar_t* commandLine, const wchar_t* modulePath);
const char* commandLineArguments(const char* commandLine, const char* modulePath);

// How one argument is written so that the splitter gives it back unchanged: "" as it
// stands, or enclosed in the quote returned; null for an argument holding both quotes,
// which the splitter cannot give back.
const wchar_t* commandLineQuote(const std::wstring& argument);

// Joins arguments so that the splitter gives them back unchanged. An argument that is
// empty or holds a blank or a quote is enclosed in the quote it does not contain. False
// (with the index in *bad, when given) for an argument holding both quotes, which the
// splitter cannot give back.
bool joinCommandLine(const std::vector<std::string>& arguments, std::string* text, size_t* bad);
bool joinCommandLine(const std::vector<std::wstring>& arguments, std::wstring* text, size_t* bad);
