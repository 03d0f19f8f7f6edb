// The table of rotation cases (tests/model/rotation_cases.txt) read into cases, for every
// C++ test that runs it: the model's rules on a folder kept in memory, and the service's
// captured output on a real folder. Portable C++.
#pragma once

#include "model/output_rotation.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rotationcases {

struct FileEntry {
    std::string name;
    uint64_t size = 0;
    bool gzip = false;  // a gzip file holding `size` bytes
    bool operator==(const FileEntry& other) const
    {
        return name == other.name && size == other.size && gzip == other.gzip;
    }
};

struct Action {
    enum Kind { file, open, write, close, expect };
    Kind kind = file;
    int line = 0;
    outputrotation::LocalTime time;
    bool hasTime = false;
    FileEntry entry;                 // file
    uint64_t length = 0;             // write
    std::vector<FileEntry> expected; // expect, sorted by name
};

struct Case {
    std::string title;
    outputrotation::Settings settings;
    std::vector<Action> actions;
};

// The cases of the table at `path`; false, with the line and what is wrong in `error`.
bool readCases(const std::string& path, std::vector<Case>* cases, std::string* error);

// "app.log=20 app.log.2026-03-01.1=gz:9", sorted by name, for messages.
std::string describe(std::vector<FileEntry> entries);

// The output file's name in every case.
constexpr char kOutputName[] = "app.log";

} // namespace rotationcases
