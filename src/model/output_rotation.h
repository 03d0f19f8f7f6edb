// The naming and retention rules of an output file: when a write rolls the file over (a
// new period of `roll`, or the size limit), what the rolled file is called, which rolled
// files are kept, which are removed and which are compressed. The runtime library
// (java/, RotatingFileOutput) follows the same rules for the application's output files,
// the service process (service/output_capture) for the child's captured output; one table
// of cases (tests/model/rotation_cases.txt) runs through both. Portable C++ without any
// system header: the callers list the folder, read the clock and carry out the steps.
//
// Names, for an output file <name> (such as "app.log"):
//   roll "none":    <name>.1 is the newest rolled file, <name>.2 the one before, and so on;
//                   a rotation moves each up one number and removes those beyond `keep`.
//   roll "daily":   <name>.<YYYY-MM-DD>.<n>, roll "hourly": <name>.<YYYY-MM-DD_HH>.<n>: the
//                   period in which the file was written, and n = 1, 2, ... for each file
//                   rolled within that period (the size limit, a restart that finds the file
//                   of an earlier period), the next number above every one that period has.
//                   Sorted by period, then by number, the names are in the order written.
//                   A compressed file is <rolled name>.gz; a compression under way writes
//                   <rolled name>.gz.partial, renamed to .gz once complete.
// Only names of exactly these forms, with digits where digits are and a real date, are
// this output's own: nothing else in the folder is ever counted, renamed or removed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace outputrotation {

enum class Roll { none, daily, hourly };

// "none", "daily" or "hourly"; false for any other text.
bool parseRoll(const std::string& text, Roll* roll);
const char* rollText(Roll roll);

// The most rolled files kept, the most days.
constexpr unsigned kMaxKeep = 1000;
constexpr unsigned kMaxKeepDays = 36500;

struct Settings {
    Roll roll = Roll::none;
    uint64_t maxSize = 0;  // 0: no limit
    unsigned keep = 5;
    unsigned keepDays = 0;  // 0: no age limit
    bool compress = false;
};

// Empty when the settings go together; otherwise why not, as a sentence. keep_days and
// compress need a roll by time: a numbered name carries no date, and its number changes at
// every rotation, under a compression that may still be reading it.
std::string settingsProblem(const Settings& settings);

// A wall-clock time of the machine's zone.
struct LocalTime {
    int year = 1970;
    int month = 1;  // 1 to 12
    int day = 1;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Days from 1970-01-01 to the date (negative before it).
long daysFromCivil(int year, int month, int day);
// "2026-03-01T23:59:30" (seconds may be left out); false for anything else.
bool parseLocalTime(const std::string& text, LocalTime* time);

// The period of a time: "2026-03-01" (daily), "2026-03-01_23" (hourly), "" (none).
std::string periodOf(Roll roll, const LocalTime& time);

enum class Form { plain, compressed, partial };

// A rolled file of the dated forms.
struct RolledName {
    std::string period;
    uint64_t number = 0;
    Form form = Form::plain;
};

// The dated rolled file of `base` that `name` is; false for every other name.
bool parseRolledName(const std::string& base, const std::string& name, RolledName* rolled);
// The number of a numbered rolled file "<base>.<n>" (roll "none"); 0 for every other name.
uint64_t numberedName(const std::string& base, const std::string& name);

std::string rolledName(const std::string& base, const std::string& period, uint64_t number);
std::string compressedName(const std::string& plainName);  // + ".gz"
std::string partialName(const std::string& plainName);     // + ".gz.partial"

// One step on the folder, carried out by the caller in order; the first that fails ends
// the sequence, and what it did stays (each step leaves every byte in some file).
struct Step {
    enum Kind {
        remove,    // remove `name`
        rename,    // `name` to `to`, replacing nothing: `to` does not exist
        rollOver,  // the current file to `to`; then a new current file begins
        truncate,  // empty the current file (roll "none" with nothing kept)
        compress,  // `name` to compressedName(name) in the background (see below)
    };
    Kind kind = remove;
    std::string name;
    std::string to;
};

// What a writer of an output keeps of its current file.
struct FileState {
    uint64_t size = 0;
    // The period the current file's content was written in ("" when it is empty, or when
    // the output does not roll by time). Never goes back: after a clock set back, writes
    // stay in the file of the later period until a period after it begins.
    std::string period;
};

// The state of an existing current file of `size` bytes last written at `written`.
FileState existingFile(const Settings& settings, uint64_t size, const LocalTime& written);

// The steps before a write of `length` bytes at `now`, given the names in the folder:
// either nothing, or a rollOver (with the steps that make room for it before it), or a
// truncate. The rollOver's target never exists.
std::vector<Step> beforeWrite(const Settings& settings, const std::string& base, const std::vector<std::string>& names,
                              const FileState& state, const LocalTime& now, uint64_t length);

// The state after `length` bytes were written at `now` (the steps before it done or not).
void afterWrite(const Settings& settings, FileState* state, const LocalTime& now, uint64_t length);
// The state of the new, empty current file after a rollOver or truncate.
FileState afterRollOver();

// Retention, at the start and after each roll over: the removals of the dated rolled
// files beyond `keep` (newest first, by period and number; a file and its .gz count once)
// and of those whose date is more than `keepDays` days before `now`'s date; then, with
// `compress`, a compress step for each plain rolled file that stays. A .gz.partial left
// beside its plain file is removed before its compression begins again. Nothing for roll
// "none" (its rotation removes what it does not keep).
std::vector<Step> retention(const Settings& settings, const std::string& base, const std::vector<std::string>& names,
                            const LocalTime& now);

// A compression of a plain rolled file, as the caller carries it out without holding up a
// write: the whole file gzip-compressed into partialName(name), which then replaces
// compressedName(name); then the plain file is removed. A failure at any point leaves the
// plain file, and the next retention tries again.

} // namespace outputrotation
