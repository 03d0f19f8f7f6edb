// The run's settings, empty or false until start-up sets them.
#include "config/run_settings.h"

#include "platform/text_conversion.h"

#include <cstring>
#include <cwchar>

wchar_t serviceNameW[kServiceNameCapacity] = L"";
char serviceName[kServiceNameCapacity] = "";
bool serviceMode = true;
bool noRedirect = false;
char flavour = '\0';
bool interactive = true;

bool setServiceName(const std::wstring& name)
{
    const std::string narrow = narrowForDisplay(name);
    if (name.size() >= kServiceNameCapacity || narrow.size() >= kServiceNameCapacity) {
        return false;
    }
    std::wmemcpy(serviceNameW, name.c_str(), name.size() + 1);
    std::memcpy(serviceName, narrow.c_str(), narrow.size() + 1);
    return true;
}

bool setConfiguredServiceName(const std::string& latin1)
{
    return setServiceName(widenBytes(latin1));
}
