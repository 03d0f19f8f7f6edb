// Supervision settings and the restart policy.
#include "service/supervision.h"

#include "config/config_store.h"
#include "format/record_ids.h"
#include "model/service_entry.h"

namespace {

// Seconds of a record as milliseconds, within [0, maxSeconds]; `fallback` seconds when the
// record is absent.
DWORD recordSecondsMs(int32_t id, int fallback, int maxSeconds)
{
    const ConfigStore& store = configStore();
    int seconds = store.narrow.count(id) != 0 ? getConfigInt(id) : fallback;
    if (seconds < 0) seconds = 0;
    if (seconds > maxSeconds) seconds = maxSeconds;
    return static_cast<DWORD>(seconds) * 1000u;
}

// Longer than any sensible setting, short enough that milliseconds fit a DWORD: the bound
// the pre-shutdown timeout is computed with too.
constexpr int kMaxSeconds = static_cast<int>(servicemodel::kLongestStopSeconds);

} // namespace

SupervisionPlan readSupervisionPlan()
{
    SupervisionPlan plan;
    plan.stopTimeoutMs = recordSecondsMs(cfg::serviceStopTimeout, 0, kMaxSeconds);
    const int mode = getConfigInt(cfg::serviceRestart);
    plan.restart = mode == 1 ? RestartMode::onFailure : mode == 2 ? RestartMode::always : RestartMode::never;
    plan.restartDelayMs = recordSecondsMs(cfg::serviceRestartDelay, 1, kMaxSeconds);
    plan.restartDelayMaxMs = recordSecondsMs(cfg::serviceRestartDelayMax, 60, kMaxSeconds);
    if (plan.restartDelayMaxMs < plan.restartDelayMs) plan.restartDelayMaxMs = plan.restartDelayMs;
    plan.restartResetMs = recordSecondsMs(cfg::serviceRestartReset, 300, kMaxSeconds);
    const ConfigStore& store = configStore();
    plan.restartLimit = store.narrow.count(cfg::serviceRestartLimit) != 0 ? getConfigInt(cfg::serviceRestartLimit) : 5;
    if (plan.restartLimit < 0) plan.restartLimit = 0;
    plan.hangTimeoutMs = recordSecondsMs(cfg::serviceHangTimeout, 0, kMaxSeconds);
    constexpr DWORD kShortestHangMs = servicemodel::kShortestHangSeconds * 1000u;
    if (plan.hangTimeoutMs != 0 && plan.hangTimeoutMs < kShortestHangMs) {
        plan.hangTimeoutMs = kShortestHangMs;
    }
    return plan;
}

RestartDecision RestartPolicy::decide(DWORD exitCode, DWORD ranMs)
{
    RestartDecision decision;
    const bool wanted = plan_.restart == RestartMode::always || (plan_.restart == RestartMode::onFailure && exitCode != 0);
    if (!wanted) {
        return decision;
    }
    if (ranMs >= plan_.restartResetMs) {
        count_ = 0;
        nextDelayMs_ = plan_.restartDelayMs;
    }
    if (plan_.restartLimit > 0 && count_ >= plan_.restartLimit) {
        decision.action = RestartDecision::giveUp;
        decision.attempt = count_;
        return decision;
    }
    decision.action = RestartDecision::restart;
    decision.delayMs = nextDelayMs_;
    decision.attempt = ++count_;
    nextDelayMs_ = nextDelayMs_ > plan_.restartDelayMaxMs / 2 ? plan_.restartDelayMaxMs : nextDelayMs_ * 2;
    return decision;
}
