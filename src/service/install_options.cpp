// The install options as the service manager takes them.
#include "service/install_options.h"

DWORD serviceStartType(servicemodel::StartType type)
{
    switch (type) {
    case servicemodel::StartType::automatic: return SERVICE_AUTO_START;
    case servicemodel::StartType::disabled: return SERVICE_DISABLED;
    case servicemodel::StartType::demand: break;
    }
    return SERVICE_DEMAND_START;
}

const char* serviceStartName(const servicemodel::ServiceAccount& account)
{
    return account.kind == servicemodel::AccountKind::localSystem || account.name.empty() ? nullptr
                                                                                          : account.name.c_str();
}

DWORD serviceTypeOf(const servicemodel::ServiceAccount& account, bool interactive)
{
    return SERVICE_WIN32_OWN_PROCESS | (interactive && account.mayInteract() ? SERVICE_INTERACTIVE_PROCESS : 0);
}

SC_ACTION failureAction(const servicemodel::Recovery& recovery)
{
    const bool restarts = recovery.valid && recovery.restartSeconds > 0;
    return SC_ACTION{restarts ? SC_ACTION_RESTART : SC_ACTION_NONE, restarts ? recovery.restartDelayMs() : 0};
}
