// The command line: the one splitter of the launcher, and the reading of the service
// commands from the narrow command-line tail. Pure functions of their inputs.
#pragma once

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

// Appends the arguments of `text`: a blank (U+0020 only) separates; double and single
// quotes group and are dropped; there is no escape character; an unclosed quote runs to
// the end of the text.
void splitCommandLine(const wchar_t* text, ArgumentList& arguments);

// The process command line without the program name (which ends at the first character
// of code 32 or below outside double quotes) and the characters of code 32 or below after it.
const char* commandLineTail(const char* commandLine);

// What the narrow tail says about a service command.
struct ServiceCommandLine {
    bool hasCommandPrefix = false;  // starts with '/', '-', "--" or "/-"
    std::string word;               // the command word, without its prefix
    bool interactive = true;        // false once "non-interactive" precedes the name
    bool nameGiven = false;
    std::string name;               // everything after the blank, blanks included
};

ServiceCommandLine parseServiceCommandLine(const char* tail);
