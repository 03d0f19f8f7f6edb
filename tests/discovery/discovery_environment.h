// Shared ground of the discovery tests: the diagnostic log turned on for the whole test
// program, the lines a test added to it, registry keys that remove themselves, and a
// fixture that restores the configuration and removes the version cache entries of its
// runtimes.
#pragma once

#include "config/config_store.h"
#include "support/test_launcher.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// Configuration identifiers the discovery code reads.
constexpr int32_t kLauncherKindId = 107;
constexpr int32_t kAllowPrereleaseId = 130;
constexpr int32_t kRequireJdkId = 131;
constexpr int32_t kApplicationId = 160;
constexpr int32_t kSkipJavaSoftId = 165;

// The log lines written since the cursor was made, without their line ends.
class LogCursor {
public:
    LogCursor();
    std::vector<std::string> lines() const;
    bool has(const std::string& line) const;
    // How many lines begin with `prefix`.
    size_t countStartingWith(const std::string& prefix) const;

private:
    size_t offset_ = 0;
};

// A registry key made for one test: `parent`\`leaf` is created (with any missing
// parents) and removed with its sub-keys when the guard ends, also when the test fails;
// parents it created go too when nothing else is left in them.
class ScopedKey {
public:
    ScopedKey(HKEY root, const std::string& parent, const std::string& leaf);
    ~ScopedKey();
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    const std::string& path() const { return path_; }
    bool setString(const char* name, const std::string& value) const;

private:
    HKEY root_;
    std::string path_;
    std::vector<std::string> createdParents_;   // innermost first
};

// A value set for one test and removed when the guard ends; keys it had to create go too
// when nothing else is left in them.
class ScopedValue {
public:
    ScopedValue(HKEY root, const std::string& path, const std::string& name, const std::string& value);
    ~ScopedValue();
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

private:
    HKEY root_;
    std::string path_;
    std::string name_;
    std::vector<std::string> createdKeys_;   // innermost first
};

bool keyExists(HKEY root, const std::string& path);
// A value as raw bytes; false when it cannot be read.
bool readValue(HKEY root, const std::string& path, const char* name, std::vector<uint8_t>& bytes, DWORD* type);

// Saves and restores the configuration, sets the discovery settings to their defaults,
// gives each test a fresh directory, and removes the version cache entries of the
// executables inside it.
class DiscoveryTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A path inside the test directory, narrow as the launcher takes it.
    std::string pathIn(const std::wstring& relative) const;
    // The resolved (absolute, lower-case) form of a path, as checkJavaExe leaves it.
    static std::string resolved(const std::string& path);

    std::unique_ptr<ScratchDirectory> directory_;

private:
    ConfigStore saved_;
};
