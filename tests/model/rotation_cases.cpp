// The table of rotation cases, read.
#include "rotation_cases.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace rotationcases {

namespace {

bool parseCount(const std::string& text, uint64_t* value)
{
    if (text.empty() || text.size() > 18) return false;
    uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + static_cast<uint64_t>(c - '0');
    }
    *value = result;
    return true;
}

bool parseSize(const std::string& text, FileEntry* entry)
{
    entry->gzip = text.compare(0, 3, "gz:") == 0;
    return parseCount(entry->gzip ? text.substr(3) : text, &entry->size);
}

bool parseSettings(std::istringstream& words, outputrotation::Settings* settings)
{
    std::string word;
    while (words >> word) {
        const size_t equals = word.find('=');
        if (equals == std::string::npos) return false;
        const std::string key = word.substr(0, equals);
        const std::string value = word.substr(equals + 1);
        uint64_t number = 0;
        if (key == "roll") {
            if (!outputrotation::parseRoll(value, &settings->roll)) return false;
        } else if (key == "compress") {
            if (value != "true" && value != "false") return false;
            settings->compress = value == "true";
        } else if (!parseCount(value, &number)) {
            return false;
        } else if (key == "max_size") {
            settings->maxSize = number;
        } else if (key == "keep") {
            settings->keep = static_cast<unsigned>(number);
        } else if (key == "keep_days") {
            settings->keepDays = static_cast<unsigned>(number);
        } else {
            return false;
        }
    }
    return true;
}

bool byName(const FileEntry& a, const FileEntry& b)
{
    return a.name < b.name;
}

} // namespace

bool readCases(const std::string& path, std::vector<Case>* cases, std::string* error)
{
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
        ++number;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty() || text[0] == '#') continue;
        std::istringstream words(text);
        std::string verb;
        words >> verb;
        auto fail = [&](const char* what) {
            *error = path + ":" + std::to_string(number) + ": " + what + ": " + text;
            return false;
        };
        if (verb == "case") {
            Case c;
            c.title = text.substr(5);
            cases->push_back(c);
            continue;
        }
        if (cases->empty()) return fail("no case begun");
        Case& current = cases->back();
        if (verb == "settings") {
            if (!parseSettings(words, &current.settings)) return fail("settings not understood");
            continue;
        }
        Action action;
        action.line = number;
        std::string first, second, third;
        if (verb == "file") {
            action.kind = Action::file;
            words >> action.entry.name >> second >> third;
            if (action.entry.name.empty() || !parseCount(second, &action.entry.size)) return fail("file not understood");
            action.entry.gzip = action.entry.name.size() > 3 &&
                                action.entry.name.compare(action.entry.name.size() - 3, 3, ".gz") == 0;
            action.hasTime = !third.empty();
            if (action.hasTime && !outputrotation::parseLocalTime(third, &action.time)) return fail("time not understood");
        } else if (verb == "open" || verb == "write") {
            action.kind = verb == "open" ? Action::open : Action::write;
            words >> first >> second;
            action.hasTime = true;
            if (!outputrotation::parseLocalTime(first, &action.time)) return fail("time not understood");
            if (action.kind == Action::write && !parseCount(second, &action.length)) return fail("length not understood");
        } else if (verb == "close") {
            action.kind = Action::close;
        } else if (verb == "expect") {
            action.kind = Action::expect;
            std::string word;
            while (words >> word) {
                const size_t equals = word.find('=');
                FileEntry entry;
                entry.name = word.substr(0, equals);
                if (equals == std::string::npos || !parseSize(word.substr(equals + 1), &entry)) {
                    return fail("expected file not understood");
                }
                action.expected.push_back(entry);
            }
            std::sort(action.expected.begin(), action.expected.end(), byName);
        } else {
            return fail("unknown line");
        }
        current.actions.push_back(action);
    }
    if (cases->empty()) {
        *error = path + " holds no case";
        return false;
    }
    return true;
}

std::string describe(std::vector<FileEntry> entries)
{
    std::sort(entries.begin(), entries.end(), byName);
    std::string text;
    for (const FileEntry& entry : entries) {
        if (!text.empty()) text += ' ';
        text += entry.name + "=" + (entry.gzip ? "gz:" : "") + std::to_string(entry.size);
    }
    return text;
}

} // namespace rotationcases
