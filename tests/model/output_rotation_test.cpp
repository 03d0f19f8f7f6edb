// The rules of an output file's rotation through the table of cases that the runtime
// library's tests and the captured output's tests also run, on a folder kept in memory,
// and the settings that go together.
#include "model/output_rotation.h"
#include "rotation_cases.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using namespace outputrotation;
using rotationcases::Action;
using rotationcases::FileEntry;

struct MemoryFile {
    uint64_t size = 0;
    bool gzip = false;
    LocalTime written;
};

// A writer of the output as the runtime library and the service process write: the rules'
// steps carried out on a map of names, compressions done at once.
class MemoryOutput {
public:
    explicit MemoryOutput(const Settings& settings) : settings_(settings) {}

    std::map<std::string, MemoryFile> folder;

    void open(const LocalTime& now)
    {
        auto current = folder.find(rotationcases::kOutputName);
        if (current == folder.end()) {
            folder[rotationcases::kOutputName].written = now;
            state_ = FileState();
        } else {
            state_ = existingFile(settings_, current->second.size, current->second.written);
        }
        carryOut(retention(settings_, rotationcases::kOutputName, names(), now));
        open_ = true;
    }

    void write(const LocalTime& now, uint64_t length)
    {
        ASSERT_TRUE(open_);
        const std::vector<Step> steps = beforeWrite(settings_, rotationcases::kOutputName, names(), state_, now, length);
        if (carryOut(steps) && !steps.empty()) {
            state_ = afterRollOver();
            carryOut(retention(settings_, rotationcases::kOutputName, names(), now));
        }
        MemoryFile& file = folder[rotationcases::kOutputName];
        file.size += length;
        file.written = now;
        afterWrite(settings_, &state_, now, length);
    }

    void close() { open_ = false; }

    std::vector<FileEntry> listing() const
    {
        std::vector<FileEntry> entries;
        for (const auto& file : folder) {
            entries.push_back({file.first, file.second.size, file.second.gzip});
        }
        return entries;
    }

private:
    std::vector<std::string> names() const
    {
        std::vector<std::string> list;
        for (const auto& file : folder) list.push_back(file.first);
        return list;
    }

    // The steps in order, each on names that must be there (and a target that must not);
    // a step against that is a fault of the rules.
    bool carryOut(const std::vector<Step>& steps)
    {
        for (const Step& step : steps) {
            auto from = folder.find(step.name);
            EXPECT_NE(from, folder.end()) << "no " << step.name;
            if (from == folder.end()) return false;
            switch (step.kind) {
            case Step::remove:
                folder.erase(from);
                break;
            case Step::rename:
            case Step::rollOver: {
                EXPECT_EQ(folder.count(step.to), 0u) << step.to << " would be replaced";
                const MemoryFile moved = from->second;
                folder.erase(from);
                folder[step.to] = moved;
                if (step.kind == Step::rollOver) folder[rotationcases::kOutputName] = MemoryFile();
                break;
            }
            case Step::truncate:
                from->second.size = 0;
                break;
            case Step::compress: {
                MemoryFile packed = from->second;
                packed.gzip = true;
                folder.erase(from);
                folder[compressedName(step.name)] = packed;
                break;
            }
            }
        }
        return true;
    }

    Settings settings_;
    FileState state_;
    bool open_ = false;
};

TEST(OutputRotationTest, tableOfCases)
{
    std::vector<rotationcases::Case> cases;
    std::string error;
    ASSERT_TRUE(rotationcases::readCases(ROTATION_CASES_FILE, &cases, &error)) << error;
    for (const rotationcases::Case& c : cases) {
        SCOPED_TRACE(c.title);
        ASSERT_EQ(settingsProblem(c.settings), "");
        MemoryOutput output(c.settings);
        for (const Action& action : c.actions) {
            SCOPED_TRACE("line " + std::to_string(action.line));
            switch (action.kind) {
            case Action::file:
                output.folder[action.entry.name] = {action.entry.size, action.entry.gzip, action.time};
                break;
            case Action::open: output.open(action.time); break;
            case Action::write: output.write(action.time, action.length); break;
            case Action::close: output.close(); break;
            case Action::expect:
                EXPECT_EQ(rotationcases::describe(output.listing()), rotationcases::describe(action.expected));
                break;
            }
        }
    }
}

TEST(OutputRotationTest, settingsThatGoTogether)
{
    struct SettingsCase {
        Roll roll;
        unsigned keep;
        unsigned keepDays;
        bool compress;
        const char* problem;
    } cases[] = {
        {Roll::none, 5, 0, false, ""},
        {Roll::daily, 0, 30, true, ""},
        {Roll::hourly, 1000, 36500, true, ""},
        {Roll::none, 5, 7, false,
         "keep_days needs roll = \"daily\" or \"hourly\": the numbered names of roll = \"none\" carry no date"},
        {Roll::none, 5, 0, true,
         "compress needs roll = \"daily\" or \"hourly\": a numbered name changes at every rotation, while its "
         "compression may still be reading it"},
        {Roll::daily, 1001, 0, false, "keep is 1001; at most 1000 rolled files are kept"},
        {Roll::daily, 5, 36501, false, "keep_days is 36501; at most 36500"},
    };
    for (const SettingsCase& c : cases) {
        Settings settings;
        settings.roll = c.roll;
        settings.keep = c.keep;
        settings.keepDays = c.keepDays;
        settings.compress = c.compress;
        EXPECT_EQ(settingsProblem(settings), c.problem) << rollText(c.roll) << " " << c.keep << " " << c.keepDays;
    }
}

TEST(OutputRotationTest, rollTextsBothWays)
{
    for (Roll roll : {Roll::none, Roll::daily, Roll::hourly}) {
        Roll read = Roll::none;
        ASSERT_TRUE(parseRoll(rollText(roll), &read));
        EXPECT_EQ(read, roll);
    }
    Roll unchanged = Roll::hourly;
    for (const char* text : {"", "Daily", "weekly", "daily "}) {
        EXPECT_FALSE(parseRoll(text, &unchanged)) << text;
    }
    EXPECT_EQ(unchanged, Roll::hourly);
}

} // namespace
