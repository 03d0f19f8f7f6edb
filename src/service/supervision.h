// How the service process supervises its child beyond starting it: the deadline after
// the stop line, and restarting an application that ended by itself. Both are off in a
// block without their records: the service then waits for its child for ever and ends
// with it.
#pragma once

#include <windows.h>

#include <cstdint>

enum class RestartMode { never = 0, onFailure = 1, always = 2 };

struct SupervisionPlan {
    DWORD stopTimeoutMs = 0;  // 0: wait for the child for ever after the stop line
    RestartMode restart = RestartMode::never;
    DWORD restartDelayMs = 1000;
    DWORD restartDelayMaxMs = 60000;
    DWORD restartResetMs = 300000;  // a child that ran this long resets count and delay
    int restartLimit = 5;           // restarts within that window; 0: no limit
    // 0: the child's alive signal is not watched; else the child is ended after this long
    // without one (servicemodel::kShortestHangSeconds at least).
    DWORD hangTimeoutMs = 0;
};

// The plan of this launcher's configuration records.
SupervisionPlan readSupervisionPlan();

// What to do when the child ended without a stop request.
struct RestartDecision {
    enum Action { end, restart, giveUp } action = end;
    DWORD delayMs = 0;   // restart: wait this long first
    int attempt = 0;     // restart: its number since the last reset; giveUp: restarts made
};

// The restarts of one service run: growing delays, the limit and its reset.
class RestartPolicy {
public:
    explicit RestartPolicy(const SupervisionPlan& plan) : plan_(plan), nextDelayMs_(plan.restartDelayMs) {}
    // The child ended with `exitCode` after running `ranMs`.
    RestartDecision decide(DWORD exitCode, DWORD ranMs);

private:
    SupervisionPlan plan_;
    DWORD nextDelayMs_;
    int count_ = 0;
};
