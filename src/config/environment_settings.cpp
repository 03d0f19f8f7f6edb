// The environment record applied to this process: decoded by the model
// (model/environment.h), each value expanded, each result set through platform/environment.
#include "config/environment_settings.h"

#include "config/config_store.h"
#include "config/messages.h"
#include "config/variable_expansion.h"
#include "format/record_ids.h"
#include "model/environment.h"
#include "platform/diagnostic_log.h"
#include "platform/environment.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

using environmentmodel::Operation;

// The internal error codes of the fatal exit: the record cannot be read, a variable
// cannot be set.
const char kUnreadableRecord[] = "21";
const char kNotSet[] = "22";

const char* operationName(Operation operation)
{
    switch (operation) {
    case Operation::set: return "set";
    case Operation::prepend: return "prepend";
    case Operation::append: return "append";
    case Operation::remove: return "remove";
    }
    return "";
}

// UTF-16 both: wchar_t is two bytes on Windows.
std::wstring wideOf(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::u16string utf16Of(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}

// The setting's value with the launcher's variables and ${NAME} of the environment as it
// is now expanded; false when the result does not fit a variable.
bool expandedValue(const std::u16string& value, std::wstring* out)
{
    std::vector<wchar_t> buffer(kEnvironmentValueCapacity + 1, L'\0');
    // The model refuses longer values: the copy always fits and is terminated.
    std::copy(value.begin(), value.end(), buffer.begin());
    if (!expandVariables(buffer.data(), buffer.size(), false)) {
        return false;
    }
    out->assign(buffer.data());
    return true;
}

} // namespace

void applyEnvironmentSettings()
{
    const std::map<int32_t, std::wstring>& wide = configStore().wide;
    auto found = wide.find(cfg::environmentVariables);
    if (found == wide.end()) {
        return;
    }
    std::vector<environmentmodel::Setting> settings;
    std::string reason;
    if (!environmentmodel::decodeSettings(utf16Of(found->second), &settings, &reason)) {
        logMessage("environment record unreadable: %s", reason.c_str());
        fatalConfigError(cfg::msgInternalError, kUnreadableRecord);
    }
    for (const environmentmodel::Setting& setting : settings) {
        const std::wstring name = wideOf(setting.name);
        const char* operation = operationName(setting.operation);
        std::wstring value;
        if (setting.operation != Operation::remove && !expandedValue(setting.value, &value)) {
            logMessage("environment variable %S (%s): the expanded value is longer than a variable holds",
                       name.c_str(), operation);
            fatalConfigError(cfg::msgInternalError, kNotSet);
        }
        environmentmodel::Variable current;
        std::wstring currentValue;
        current.present = environmentValueW(name.c_str(), &currentValue);
        current.value = utf16Of(currentValue);
        const environmentmodel::Variable result = environmentmodel::applySetting(setting.operation, current, utf16Of(value));
        const std::wstring resultValue = wideOf(result.value);
        if (!setEnvironmentValueW(name.c_str(), result.present ? &resultValue : nullptr)) {
            logMessage("environment variable %S (%s): setting it failed with error %d (%d characters)", name.c_str(),
                       operation, static_cast<int>(GetLastError()), static_cast<int>(resultValue.size()));
            fatalConfigError(cfg::msgInternalError, kNotSet);
        }
        if (result.present) {
            logMessage("environment variable %S (%s) is %S", name.c_str(), operation, resultValue.c_str());
        } else {
            logMessage("environment variable %S (%s) is not set", name.c_str(), operation);
        }
    }
}
