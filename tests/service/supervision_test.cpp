// The supervision settings as the records give them, and the restart policy: which ends
// restart, how the delays grow, when the count resets and when the service gives up.
#include "config/config_store.h"
#include "service/supervision.h"

#include "support/empty_config_store.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

class SupervisionPlanTest : public EmptyConfigStoreTest {};

TEST_F(SupervisionPlanTest, RecordsGiveThePlanAndTheirAbsenceTheFormerBehaviour)
{
    // None of the records: wait for ever after the stop line, never restart.
    SupervisionPlan plan = readSupervisionPlan();
    EXPECT_EQ(0u, plan.stopTimeoutMs);
    EXPECT_EQ(RestartMode::never, plan.restart);

    const std::map<int32_t, std::string> records = {{30000, "30"}, {30001, "1"}, {30002, "2"},
                                                    {30003, "1"},  {30004, "-5"}, {30005, "0"}};
    for (const auto& record : records) setConfigString(record.first, record.second);
    plan = readSupervisionPlan();
    EXPECT_EQ(30000u, plan.stopTimeoutMs);
    EXPECT_EQ(RestartMode::onFailure, plan.restart);
    EXPECT_EQ(2000u, plan.restartDelayMs);
    EXPECT_EQ(2000u, plan.restartDelayMaxMs) << "the longest delay is never shorter than the first";
    EXPECT_EQ(0u, plan.restartResetMs) << "negative seconds count as none";
    EXPECT_EQ(0, plan.restartLimit);

    // Values beyond a DWORD of milliseconds are held at thirty days; unknown modes never restart.
    setConfigString(30000, "99999999999");
    setConfigString(30001, "7");
    plan = readSupervisionPlan();
    EXPECT_EQ(30u * 24 * 3600 * 1000, plan.stopTimeoutMs);
    EXPECT_EQ(RestartMode::never, plan.restart);
}

TEST_F(SupervisionPlanTest, TheHangTimeoutIsOffWithoutTheRecordAndNeverBelowItsShortest)
{
    EXPECT_EQ(0u, readSupervisionPlan().hangTimeoutMs);
    const struct {
        const char* record;
        DWORD ms;
    } cases[] = {
        {"0", 0}, {"-3", 0}, {"1", 10000}, {"9", 10000}, {"10", 10000}, {"600", 600000},
        {"99999999999", 30u * 24 * 3600 * 1000},
    };
    for (const auto& c : cases) {
        setConfigString(30020, c.record);
        EXPECT_EQ(c.ms, readSupervisionPlan().hangTimeoutMs) << c.record;
    }
}

struct End {
    DWORD exitCode;
    DWORD ranMs;
    RestartDecision::Action action;
    DWORD delayMs;
    int attempt;
};

void expectDecisions(const SupervisionPlan& plan, const std::vector<End>& ends)
{
    RestartPolicy policy(plan);
    for (size_t i = 0; i < ends.size(); ++i) {
        SCOPED_TRACE("end " + std::to_string(i + 1));
        const RestartDecision decision = policy.decide(ends[i].exitCode, ends[i].ranMs);
        EXPECT_EQ(ends[i].action, decision.action);
        if (decision.action != RestartDecision::end) {
            EXPECT_EQ(ends[i].delayMs, decision.delayMs);
            EXPECT_EQ(ends[i].attempt, decision.attempt);
        }
    }
}

SupervisionPlan planOf(RestartMode mode, DWORD delay, DWORD delayMax, DWORD reset, int limit)
{
    SupervisionPlan plan;
    plan.restart = mode;
    plan.restartDelayMs = delay;
    plan.restartDelayMaxMs = delayMax;
    plan.restartResetMs = reset;
    plan.restartLimit = limit;
    return plan;
}

constexpr auto kEnd = RestartDecision::end;
constexpr auto kRestart = RestartDecision::restart;
constexpr auto kGiveUp = RestartDecision::giveUp;

TEST(RestartPolicy, ModesDecideWhichEndsRestart)
{
    expectDecisions(planOf(RestartMode::never, 1000, 60000, 300000, 5), {{3, 10, kEnd, 0, 0}, {0, 10, kEnd, 0, 0}});
    expectDecisions(planOf(RestartMode::onFailure, 1000, 60000, 300000, 5),
                    {{0, 10, kEnd, 0, 0}, {3, 10, kRestart, 1000, 1}, {0xC0000005, 10, kRestart, 2000, 2}});
    expectDecisions(planOf(RestartMode::always, 1000, 60000, 300000, 5),
                    {{0, 10, kRestart, 1000, 1}, {3, 10, kRestart, 2000, 2}});
}

TEST(RestartPolicy, DelaysDoubleUpToTheMaximumAndTheLimitGivesUp)
{
    expectDecisions(planOf(RestartMode::onFailure, 1000, 5000, 300000, 4),
                    {{1, 10, kRestart, 1000, 1},
                     {1, 10, kRestart, 2000, 2},
                     {1, 10, kRestart, 4000, 3},
                     {1, 10, kRestart, 5000, 4},
                     {1, 10, kGiveUp, 0, 4}});
    // No limit; no delay stays no delay.
    std::vector<End> ends;
    for (int i = 1; i <= 50; ++i) ends.push_back({1, 10, kRestart, 0, i});
    expectDecisions(planOf(RestartMode::onFailure, 0, 0, 300000, 0), ends);
    // The longest delay near the top of a DWORD does not wrap when doubled.
    expectDecisions(planOf(RestartMode::onFailure, 2000000000u, 4000000000u, 300000, 0),
                    {{1, 10, kRestart, 2000000000u, 1}, {1, 10, kRestart, 4000000000u, 2},
                     {1, 10, kRestart, 4000000000u, 3}});
}

TEST(RestartPolicy, ALongRunResetsTheCountAndTheDelay)
{
    expectDecisions(planOf(RestartMode::onFailure, 1000, 60000, 300000, 2),
                    {{1, 10, kRestart, 1000, 1},
                     {1, 10, kRestart, 2000, 2},
                     {1, 300000, kRestart, 1000, 1},
                     {1, 299999, kRestart, 2000, 2},
                     {1, 10, kGiveUp, 0, 2}});
}

} // namespace
