// The stand-in jvm.dll's timing file, which the start-up bench reads: one line per
// JNI_CreateJavaVM call with the microseconds since the calling process was created. A
// wrong unit or a line in the record would make the bench's figure, or every test that
// compares records, wrong without anyone noticing.
#include "support/launch_environment.h"

#include <windows.h>

namespace {

using jnistandin::Behaviour;

long long nowMicroseconds()
{
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    return static_cast<long long>((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10;
}

std::vector<std::string> keysOf(const jnistandin::Record& record)
{
    std::vector<std::string> keys;
    for (const jnistandin::RecordLine& line : record.lines()) keys.push_back(line.key);
    return keys;
}

class StandinTiming : public LaunchTest {
protected:
    std::wstring timingPath() const { return dir.file(L"jvm.timing"); }
};

TEST_F(StandinTiming, NotesTheTimeFromProcessStartToTheVmCallBesideAnUnchangedRecord)
{
    std::wstring exe = package(block());
    LaunchRun plain = run(exe, {L"/run"});
    ASSERT_EQ(0u, plain.exitCode()) << plain.describe();
    EXPECT_FALSE(pathExists(timingPath()));

    Behaviour timed;
    timed.timing = toUtf8(timingPath());
    long long before = nowMicroseconds();
    LaunchRun run = this->run(exe, {L"/run"}, timed);
    long long wall = nowMicroseconds() - before;
    ASSERT_EQ(0u, run.exitCode()) << run.describe();

    // The record is the one a run without timing makes, line for line.
    EXPECT_EQ(joinLines(keysOf(plain.record)), joinLines(keysOf(run.record)));
    EXPECT_EQ(0u, run.record.count(jnistandin::kTimingKey));

    std::vector<std::string> lines = linesOf(readText(timingPath()));
    ASSERT_EQ(1u, lines.size()) << readText(timingPath());
    std::string prefix = std::string(jnistandin::kTimingKey) + " ";
    ASSERT_EQ(prefix, lines[0].substr(0, prefix.size())) << lines[0];
    long long sinceStart = std::stoll(lines[0].substr(prefix.size()));
    // The launcher's process was made after `before` and called the VM before it ended:
    // in microseconds the figure lies between the two; in milliseconds or in the 100 ns of
    // a FILETIME it would not (a few milliseconds allowed for the creation time's clock).
    EXPECT_GT(sinceStart, 1000) << "a process start under a millisecond is not plausible";
    EXPECT_LT(sinceStart, wall + 5000) << "run took " << wall << " us";
}

// Every call adds its own line, so that the bench can count a series' calls and take the
// median of their figures.
TEST_F(StandinTiming, EachCallAddsALine)
{
    std::wstring exe = package(block());
    Behaviour timed;
    timed.timing = toUtf8(timingPath());
    for (int i = 0; i < 3; ++i) {
        LaunchRun run = this->run(exe, {L"/run"}, timed);
        ASSERT_EQ(0u, run.exitCode()) << run.describe();
        EXPECT_EQ(1u, run.record.count("JNI_CreateJavaVM")) << run.describe();
    }
    std::vector<std::string> lines = linesOf(readText(timingPath()));
    EXPECT_EQ(3u, lines.size()) << readText(timingPath());
    for (const std::string& line : lines) {
        EXPECT_EQ(0u, line.find(jnistandin::kTimingKey)) << line;
    }
}

} // namespace
