// Configuration store and its accessors. Lookups never insert: the store is read from
// several threads once start-up is over.
#include "config/config_store.h"

#include "platform/diagnostic_log.h"
#include "platform/text_format.h"

namespace {

const std::string* findNarrow(int32_t id)
{
    const auto& table = configStore().narrow;
    auto it = table.find(id);
    return it == table.end() ? nullptr : &it->second;
}

void logTruncation(int32_t id, int capacity, size_t length)
{
    logError("config string %d truncated (%d %d)", id, capacity, static_cast<int>(length));
}

} // namespace

ConfigStore& configStore()
{
    static ConfigStore store;
    return store;
}

void setConfigString(int32_t id, const std::string& value)
{
    configStore().narrow[id] = std::string(value.c_str());
}

void setConfigWideString(int32_t id, const std::wstring& value)
{
    configStore().wide[id] = std::wstring(value.c_str());
}

bool getConfigString(int32_t id, char* buffer, int capacity)
{
    if (buffer == nullptr || capacity <= 0) {
        return false;
    }
    const std::string* value = findNarrow(id);
    if (value == nullptr) {
        buffer[0] = '\0';
        return true;
    }
    if (!copyText(buffer, static_cast<size_t>(capacity), value->c_str())) {
        logTruncation(id, capacity, value->size());
        return false;
    }
    return true;
}

int getConfigInt(int32_t id)
{
    const std::string* value = findNarrow(id);
    return value == nullptr ? 0 : parseConfigInt(value->c_str());
}

std::string dupConfigString(int32_t id)
{
    const std::string* value = findNarrow(id);
    return value == nullptr ? std::string() : *value;
}

bool getConfigWString(int32_t id, wchar_t* buffer, int capacity)
{
    if (buffer == nullptr || capacity <= 0) {
        return false;
    }
    const std::string* value = findNarrow(id);
    if (value == nullptr) {
        buffer[0] = L'\0';
        return true;
    }
    if (!formatTextW(buffer, static_cast<size_t>(capacity), L"%S", value->c_str())) {
        logTruncation(id, capacity, value->size());
        return false;
    }
    return true;
}

bool getLocalizedText(int32_t id, wchar_t* buffer, int capacity)
{
    if (buffer == nullptr || capacity <= 0) {
        return false;
    }
    const auto& table = configStore().wide;
    auto it = table.find(id);
    if (it == table.end()) {
        buffer[0] = L'\0';
        return true;
    }
    if (!copyTextW(buffer, static_cast<size_t>(capacity), it->second.c_str())) {
        logTruncation(id, capacity, it->second.size());
        return false;
    }
    return true;
}
