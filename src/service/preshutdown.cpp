// The pre-shutdown timeout of a service entry.
#include "service/preshutdown.h"

#include "config/config_store.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"

servicemodel::Shutdown configuredShutdown()
{
    return servicemodel::shutdownOf(dupConfigString(cfg::servicePreshutdown), dupConfigString(cfg::serviceStopTimeout));
}

DWORD setPreshutdownTimeout(SC_HANDLE service, const servicemodel::Shutdown& shutdown, ChangeConfig2Call changeConfig2)
{
    if (!shutdown.preshutdown || shutdown.timeoutMs == 0) {
        return NO_ERROR;
    }
    if (changeConfig2 == nullptr) {
        // Looked up as the other settings of this level are: a system without the function
        // still installs the service, with the system's default.
        HMODULE advapi = GetModuleHandleA("advapi32.dll");
        FARPROC entry = advapi != nullptr ? GetProcAddress(advapi, "ChangeServiceConfig2W") : nullptr;
        changeConfig2 = reinterpret_cast<ChangeConfig2Call>(reinterpret_cast<void*>(entry));
        if (changeConfig2 == nullptr) {
            return ERROR_PROC_NOT_FOUND;
        }
    }
    SERVICE_PRESHUTDOWN_INFO info{shutdown.timeoutMs};
    if (!changeConfig2(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &info)) {
        const DWORD error = GetLastError();
        logMessage("could not set the pre-shutdown timeout of %lu ms (error %lu)",
                   static_cast<unsigned long>(shutdown.timeoutMs), error);
        return error;
    }
    logMessage("pre-shutdown timeout set to %lu ms", static_cast<unsigned long>(shutdown.timeoutMs));
    return NO_ERROR;
}
