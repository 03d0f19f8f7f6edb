// The discovery tests' shared ground; see the header.
#include "discovery_environment.h"

#include "jvm/discovery/java_probe.h"
#include "platform/diagnostic_log.h"
#include "platform/paths.h"
#include "platform/text_format.h"
#include "support/scratch_directory.h"
#include "support/test_runtime.h"

#include <algorithm>
#include <memory>

namespace {

// The log must be on before the first line is written, and the probes' temporary files
// must land where the tests can see them: both are decided by the environment, here,
// before main runs.
class LogEnvironment : public testing::Environment {
public:
    LogEnvironment() : directory_(std::make_unique<ProgramLogDirectory>(L"discovery_tests")) {}
    void SetUp() override
    {
        ASSERT_FALSE(directory_->path().empty()) << "no folder for the log";
        ASSERT_NE(logFilePath(), nullptr) << "the diagnostic log did not start";
    }
    void TearDown() override { directory_.reset(); }

private:
    std::unique_ptr<ProgramLogDirectory> directory_;
};

testing::Environment* const logEnvironment = testing::AddGlobalTestEnvironment(new LogEnvironment());

std::string logText()
{
    const wchar_t* path = logFilePath();
    return path != nullptr ? readText(path) : std::string();
}

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

} // namespace

LogCursor::LogCursor() : offset_(logText().size()) {}

std::vector<std::string> LogCursor::lines() const
{
    std::string text = logText();
    return linesOf(offset_ < text.size() ? text.substr(offset_) : std::string());
}

bool LogCursor::has(const std::string& line) const
{
    std::vector<std::string> all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
}

size_t LogCursor::countStartingWith(const std::string& prefix) const
{
    std::vector<std::string> all = lines();
    return static_cast<size_t>(std::count_if(all.begin(), all.end(), [&](const std::string& line) {
        return line.compare(0, prefix.size(), prefix) == 0;
    }));
}

bool keyExists(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool readValue(HKEY root, const std::string& path, const char* name, std::vector<uint8_t>& bytes, DWORD* type)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        bytes.assign(size, 0);
        status = RegQueryValueExA(key, name, nullptr, type, bytes.data(), &size);
        bytes.resize(size);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

ScopedKey::ScopedKey(HKEY root, const std::string& parent, const std::string& leaf)
    : root_(root), path_(parent + "\\" + leaf)
{
    // Parents that do not exist yet are ours to remove again.
    for (std::string path = parent; !path.empty() && !keyExists(root, path);) {
        createdParents_.push_back(path);
        size_t separator = path.find_last_of('\\');
        path = separator == std::string::npos ? std::string() : path.substr(0, separator);
    }
    if (keyExists(root, path_)) {
        ADD_FAILURE() << path_ << " exists already: left behind by another test?";
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create " << path_;
        return;
    }
    RegCloseKey(key);
}

ScopedKey::~ScopedKey()
{
    RegDeleteTreeA(root_, path_.c_str());
    RegDeleteKeyA(root_, path_.c_str());
    for (const std::string& parent : createdParents_) {
        // Fails, as it should, while anything else lives below the parent.
        RegDeleteKeyA(root_, parent.c_str());
    }
}

bool ScopedKey::setString(const char* name, const std::string& value) const
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_, path_.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    LONG status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

ScopedValue::ScopedValue(HKEY root, const std::string& path, const std::string& name, const std::string& value)
    : root_(root), path_(path), name_(name)
{
    for (std::string key = path; !key.empty() && !keyExists(root, key);) {
        createdKeys_.push_back(key);
        size_t separator = key.find_last_of('\\');
        key = separator == std::string::npos ? std::string() : key.substr(0, separator);
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create " << path;
        return;
    }
    if (RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot set " << path << "\\" << name;
    }
    RegCloseKey(key);
}

ScopedValue::~ScopedValue()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_, path_.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name_.c_str());
        RegCloseKey(key);
    }
    for (const std::string& created : createdKeys_) {
        DWORD subKeys = 1;
        DWORD values = 1;
        if (RegOpenKeyExA(root_, created.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            continue;
        }
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(key);
        if (subKeys != 0 || values != 0) {
            break;   // someone else uses it now
        }
        RegDeleteKeyA(root_, created.c_str());
    }
}

void DiscoveryTest::SetUp()
{
    saved_ = configStore();
    setConfigString(kLauncherKindId, "4");
    setConfigString(kAllowPrereleaseId, "0");
    setConfigString(kRequireJdkId, "0");
    setConfigString(kApplicationId, "");
    setConfigString(kSkipJavaSoftId, "0");
    directory_ = std::make_unique<ScratchDirectory>();
}

void DiscoveryTest::TearDown()
{
    // Every cache entry of an executable in this test's directory; the directory name is
    // unique, so entries of other tests and of real runtimes stay.
    std::string marker = "/" + lowerCase(narrowPath(directory_->path().substr(directory_->path().find_last_of(L'\\') + 1))) + "/";
    HKEY cache = nullptr;
    std::string cacheKey(kVersionCacheKey);
    cacheKey.pop_back();
    if (RegOpenKeyExA(HKEY_CURRENT_USER, cacheKey.c_str(), 0, KEY_READ | KEY_WRITE, &cache) == ERROR_SUCCESS) {
        std::vector<std::string> ours;
        char name[1024];
        for (DWORD index = 0;; ++index) {
            DWORD size = sizeof name;
            LONG status = RegEnumKeyExA(cache, index, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status == ERROR_SUCCESS && lowerCase(name).find(marker) != std::string::npos) {
                ours.emplace_back(name);
            }
        }
        for (const std::string& key : ours) {
            RegDeleteKeyA(cache, key.c_str());
        }
        RegCloseKey(cache);
    }
    directory_.reset();
    configStore() = saved_;
}

std::string DiscoveryTest::pathIn(const std::wstring& relative) const
{
    return narrowPath(directory_->file(relative));
}

std::string DiscoveryTest::resolved(const std::string& path)
{
    char out[kTextCapacity];
    EXPECT_TRUE(getFullPath(out, sizeof out, path.c_str(), false)) << path;
    return out;
}
