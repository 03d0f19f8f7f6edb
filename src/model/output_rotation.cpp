// The naming and retention rules of an output file.
#include "model/output_rotation.h"

#include <algorithm>
#include <cstdio>

namespace outputrotation {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// `count` digits of `text` from `at`; false when any is no digit.
bool digits(const std::string& text, size_t at, size_t count, int* value)
{
    if (at + count > text.size()) return false;
    int result = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (!isDigit(text[i])) return false;
        result = result * 10 + (text[i] - '0');
    }
    *value = result;
    return true;
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool validDate(int year, int month, int day)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1) return false;
    const int last = kDays[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0);
    return day <= last;
}

// "YYYY-MM-DD" or "YYYY-MM-DD_HH" with a real date and hour; `dayNumber` and `hour` (-1
// for a daily period) give its order.
bool parsePeriod(const std::string& text, long* dayNumber, int* hour)
{
    int year = 0, month = 0, day = 0;
    if ((text.size() != 10 && text.size() != 13) || !digits(text, 0, 4, &year) || text[4] != '-' ||
        !digits(text, 5, 2, &month) || text[7] != '-' || !digits(text, 8, 2, &day) || !validDate(year, month, day)) {
        return false;
    }
    *hour = -1;
    if (text.size() == 13 && (text[10] != '_' || !digits(text, 11, 2, hour) || *hour > 23)) {
        return false;
    }
    *dayNumber = daysFromCivil(year, month, day);
    return true;
}

// A count of decimal digits without a leading zero, from 1 to 10^15; 0 otherwise.
uint64_t positiveNumber(const std::string& text)
{
    if (text.empty() || text.size() > 15 || text[0] == '0') return 0;
    uint64_t value = 0;
    for (char c : text) {
        if (!isDigit(c)) return 0;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A rolled file of the dated forms with its plain name and order.
struct Entry {
    std::string plain;
    long dayNumber = 0;
    int hour = -1;
    uint64_t number = 0;
    bool hasPlain = false;
    bool hasCompressed = false;
    bool hasPartial = false;
};

bool newerFirst(const Entry& a, const Entry& b)
{
    if (a.dayNumber != b.dayNumber) return a.dayNumber > b.dayNumber;
    if (a.hour != b.hour) return a.hour > b.hour;
    return a.number > b.number;
}

std::vector<Entry> datedEntries(const std::string& base, const std::vector<std::string>& names)
{
    std::vector<Entry> entries;
    for (const std::string& name : names) {
        RolledName rolled;
        if (!parseRolledName(base, name, &rolled)) continue;
        const std::string plain = rolledName(base, rolled.period, rolled.number);
        auto found = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.plain == plain; });
        if (found == entries.end()) {
            Entry entry;
            entry.plain = plain;
            parsePeriod(rolled.period, &entry.dayNumber, &entry.hour);
            entry.number = rolled.number;
            entries.push_back(entry);
            found = entries.end() - 1;
        }
        if (rolled.form == Form::plain) found->hasPlain = true;
        if (rolled.form == Form::compressed) found->hasCompressed = true;
        if (rolled.form == Form::partial) found->hasPartial = true;
    }
    std::sort(entries.begin(), entries.end(), newerFirst);
    return entries;
}

bool contains(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The steps of a rotation of numbered names: the files from .keep on go (up to the first
// gap, which also removes what a larger count left), the others move up one, and the
// current file becomes .1.
std::vector<Step> numberedRotation(const Settings& settings, const std::string& base,
                                   const std::vector<std::string>& names)
{
    std::vector<Step> steps;
    if (settings.keep == 0) {
        steps.push_back({Step::truncate, base, std::string()});
        return steps;
    }
    auto numbered = [&](uint64_t number) { return base + "." + std::to_string(number); };
    uint64_t last = settings.keep;
    while (contains(names, numbered(last))) {
        ++last;
    }
    for (uint64_t number = last - 1; number >= settings.keep; --number) {
        steps.push_back({Step::remove, numbered(number), std::string()});
    }
    // Each move's target was just removed or moved on, so nothing is ever replaced.
    for (uint64_t number = settings.keep - 1; number >= 1; --number) {
        if (contains(names, numbered(number))) {
            steps.push_back({Step::rename, numbered(number), numbered(number + 1)});
        }
    }
    steps.push_back({Step::rollOver, base, numbered(1)});
    return steps;
}

} // namespace

bool parseRoll(const std::string& text, Roll* roll)
{
    if (text == "none") {
        *roll = Roll::none;
    } else if (text == "daily") {
        *roll = Roll::daily;
    } else if (text == "hourly") {
        *roll = Roll::hourly;
    } else {
        return false;
    }
    return true;
}

const char* rollText(Roll roll)
{
    switch (roll) {
    case Roll::daily: return "daily";
    case Roll::hourly: return "hourly";
    case Roll::none: break;
    }
    return "none";
}

std::string settingsProblem(const Settings& settings)
{
    if (settings.keep > kMaxKeep) {
        return "keep is " + std::to_string(settings.keep) + "; at most " + std::to_string(kMaxKeep) +
               " rolled files are kept";
    }
    if (settings.keepDays > kMaxKeepDays) {
        return "keep_days is " + std::to_string(settings.keepDays) + "; at most " + std::to_string(kMaxKeepDays);
    }
    if (settings.roll == Roll::none && settings.keepDays != 0) {
        return "keep_days needs roll = \"daily\" or \"hourly\": the numbered names of roll = \"none\" carry no date";
    }
    if (settings.roll == Roll::none && settings.compress) {
        return "compress needs roll = \"daily\" or \"hourly\": a numbered name changes at every rotation, while "
               "its compression may still be reading it";
    }
    return std::string();
}

long daysFromCivil(int year, int month, int day)
{
    // The proleptic Gregorian calendar's day count, shifted so that March begins the year.
    const long y = year - (month <= 2 ? 1 : 0);
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yearOfEra = y - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool parseLocalTime(const std::string& text, LocalTime* time)
{
    LocalTime t;
    if ((text.size() != 16 && text.size() != 19) || !digits(text, 0, 4, &t.year) || text[4] != '-' ||
        !digits(text, 5, 2, &t.month) || text[7] != '-' || !digits(text, 8, 2, &t.day) || text[10] != 'T' ||
        !digits(text, 11, 2, &t.hour) || text[13] != ':' || !digits(text, 14, 2, &t.minute) ||
        !validDate(t.year, t.month, t.day) || t.hour > 23 || t.minute > 59) {
        return false;
    }
    if (text.size() == 19 && (text[16] != ':' || !digits(text, 17, 2, &t.second) || t.second > 59)) {
        return false;
    }
    *time = t;
    return true;
}

std::string periodOf(Roll roll, const LocalTime& time)
{
    char text[32];
    switch (roll) {
    case Roll::daily:
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", time.year, time.month, time.day);
        return text;
    case Roll::hourly:
        std::snprintf(text, sizeof text, "%04d-%02d-%02d_%02d", time.year, time.month, time.day, time.hour);
        return text;
    case Roll::none: break;
    }
    return std::string();
}

bool parseRolledName(const std::string& base, const std::string& name, RolledName* rolled)
{
    if (base.empty() || name.size() <= base.size() + 1 || name.compare(0, base.size(), base) != 0 ||
        name[base.size()] != '.') {
        return false;
    }
    std::string rest = name.substr(base.size() + 1);
    Form form = Form::plain;
    if (endsWith(rest, ".gz.partial")) {
        form = Form::partial;
        rest.resize(rest.size() - 11);
    } else if (endsWith(rest, ".gz")) {
        form = Form::compressed;
        rest.resize(rest.size() - 3);
    }
    const size_t dot = rest.find('.');
    if (dot == std::string::npos) return false;
    const std::string period = rest.substr(0, dot);
    long dayNumber = 0;
    int hour = 0;
    const uint64_t number = positiveNumber(rest.substr(dot + 1));
    if (!parsePeriod(period, &dayNumber, &hour) || number == 0) return false;
    rolled->period = period;
    rolled->number = number;
    rolled->form = form;
    return true;
}

uint64_t numberedName(const std::string& base, const std::string& name)
{
    if (base.empty() || name.size() <= base.size() + 1 || name.compare(0, base.size(), base) != 0 ||
        name[base.size()] != '.') {
        return 0;
    }
    return positiveNumber(name.substr(base.size() + 1));
}

std::string rolledName(const std::string& base, const std::string& period, uint64_t number)
{
    return base + "." + period + "." + std::to_string(number);
}

std::string compressedName(const std::string& plainName)
{
    return plainName + ".gz";
}

std::string partialName(const std::string& plainName)
{
    return plainName + ".gz.partial";
}

FileState existingFile(const Settings& settings, uint64_t size, const LocalTime& written)
{
    FileState state;
    state.size = size;
    if (size > 0) state.period = periodOf(settings.roll, written);
    return state;
}

std::vector<Step> beforeWrite(const Settings& settings, const std::string& base, const std::vector<std::string>& names,
                              const FileState& state, const LocalTime& now, uint64_t length)
{
    std::vector<Step> steps;
    if (state.size == 0 || length == 0) return steps;
    const std::string nowPeriod = periodOf(settings.roll, now);
    // The fixed-width periods compare as texts in the order of time.
    const bool periodEnded = settings.roll != Roll::none && !state.period.empty() && nowPeriod > state.period;
    const bool full = settings.maxSize != 0 && length > settings.maxSize - std::min(settings.maxSize, state.size);
    if (!periodEnded && !full) return steps;
    if (settings.roll == Roll::none) return numberedRotation(settings, base, names);
    const std::string period = state.period.empty() ? nowPeriod : state.period;
    uint64_t highest = 0;
    for (const std::string& name : names) {
        RolledName rolled;
        if (parseRolledName(base, name, &rolled) && rolled.period == period) {
            highest = std::max(highest, rolled.number);
        }
    }
    steps.push_back({Step::rollOver, base, rolledName(base, period, highest + 1)});
    return steps;
}

void afterWrite(const Settings& settings, FileState* state, const LocalTime& now, uint64_t length)
{
    if (length == 0) return;
    state->size += length;
    const std::string nowPeriod = periodOf(settings.roll, now);
    if (nowPeriod > state->period) state->period = nowPeriod;
}

FileState afterRollOver()
{
    return FileState();
}

std::vector<Step> retention(const Settings& settings, const std::string& base, const std::vector<std::string>& names,
                            const LocalTime& now)
{
    std::vector<Step> steps;
    if (settings.roll == Roll::none) return steps;
    const long oldestDay = daysFromCivil(now.year, now.month, now.day) - static_cast<long>(settings.keepDays);
    const std::vector<Entry> entries = datedEntries(base, names);
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        const bool tooOld = settings.keepDays != 0 && entry.dayNumber < oldestDay;
        if (i >= settings.keep || tooOld) {
            if (entry.hasPartial) steps.push_back({Step::remove, partialName(entry.plain), std::string()});
            if (entry.hasCompressed) steps.push_back({Step::remove, compressedName(entry.plain), std::string()});
            if (entry.hasPlain) steps.push_back({Step::remove, entry.plain, std::string()});
        }
    }
    if (!settings.compress) return steps;
    for (size_t i = 0; i < entries.size() && i < settings.keep; ++i) {
        const Entry& entry = entries[i];
        const bool tooOld = settings.keepDays != 0 && entry.dayNumber < oldestDay;
        if (tooOld || !entry.hasPlain) continue;
        if (entry.hasPartial) steps.push_back({Step::remove, partialName(entry.plain), std::string()});
        steps.push_back({Step::compress, entry.plain, std::string()});
    }
    return steps;
}

} // namespace outputrotation
