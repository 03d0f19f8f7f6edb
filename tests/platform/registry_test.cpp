// The registry module against Wine's real registry: what each read reports for missing
// keys and values, values of another type, texts at and one past the caller's capacity,
// sub-keys past the limits, and what the writes store. Every test works in a key of its
// own below HKEY_CURRENT_USER, removed with everything in it also when the test fails.
#include "platform/registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// For the failure messages.
const char* statusName(RegistryStatus status)
{
    static const char* const names[] = {"ok", "missing", "wrongType", "tooLong", "failed"};
    return names[static_cast<int>(status)];
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static unsigned counter = 0;
        path_ = "SOFTWARE\\launcher-registry-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount()) + "-" + std::to_string(++counter);
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                                  nullptr),
                  ERROR_SUCCESS);
    }

    void TearDown() override
    {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
    }

    // Stores exactly these bytes. A byte other than NUL follows them: the system would
    // add a terminator left out of a text's size when the next byte is one.
    void setValue(const char* name, DWORD type, const std::string& bytes)
    {
        const std::string followed = bytes + "X";
        ASSERT_EQ(RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(followed.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }

    void addSubKey(const std::string& name)
    {
        HKEY sub = nullptr;
        ASSERT_EQ(RegCreateKeyExA(key_, name.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(sub);
    }

    HKEY key_ = nullptr;
    std::string path_;
};

std::string bytesOf(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

} // namespace

TEST_F(RegistryTest, KeysOpenedCreatedAndDeletedSayWhatTheyFound)
{
    enum Action { open, create, remove };
    struct Step {
        Action action;
        const char* path;
        RegistryStatus status;
        bool exists;   // afterwards
    };
    const Step steps[] = {
        {open, "a", RegistryStatus::missing, false},
        {open, "a\\b", RegistryStatus::missing, false},
        {create, "a\\b\\c", RegistryStatus::ok, true},   // with its parents
        {open, "a", RegistryStatus::ok, true},
        {remove, "a", RegistryStatus::failed, true},       // it has sub-keys
        {remove, "a\\b\\c", RegistryStatus::ok, false},
        {remove, "a\\b\\c", RegistryStatus::missing, false},
    };
    for (const Step& s : steps) {
        RegistryResult result;
        result.status = RegistryStatus::tooLong;   // no status any step gives
        if (s.action == remove) {
            result = deleteRegistryKey(key_, s.path);
        } else {
            UniqueKey key = s.action == open ? openRegistryKey(key_, s.path, KEY_READ | KEY_WOW64_64KEY, &result)
                                             : createRegistryKey(key_, s.path, KEY_SET_VALUE, &result);
            EXPECT_EQ(static_cast<bool>(key), result.ok()) << s.path;
        }
        EXPECT_STREQ(statusName(result.status), statusName(s.status)) << s.path;
        EXPECT_EQ(result.error == ERROR_FILE_NOT_FOUND, s.status == RegistryStatus::missing) << s.path;
        EXPECT_EQ(static_cast<bool>(openRegistryKey(key_, s.path)), s.exists) << s.path;
    }
}

TEST_F(RegistryTest, TextReadsReportMissingWrongTypeAndTooLong)
{
    struct Case {
        const char* name;
        DWORD type;               // REG_NONE: no value at all
        std::string stored;       // the bytes in the registry, terminator or not
        RegistryText types;
        RegistryStatus status;
        const char* text;
    };
    const RegistryText plain = RegistryText::plain;
    const size_t capacity = 8;
    const Case cases[] = {
        {"missing value", REG_NONE, "", plain, RegistryStatus::missing, ""},
        {"exact fit with terminator", REG_SZ, std::string("1234567", 8), plain, RegistryStatus::ok, "1234567"},
        {"one over with terminator", REG_SZ, std::string("12345678", 9), plain, RegistryStatus::tooLong, ""},
        {"exact fit without terminator", REG_SZ, "1234567", plain, RegistryStatus::ok, "1234567"},
        {"one over without terminator", REG_SZ, "12345678", plain, RegistryStatus::tooLong, ""},
        {"empty", REG_SZ, std::string("", 1), plain, RegistryStatus::ok, ""},
        {"no bytes", REG_SZ, "", plain, RegistryStatus::ok, ""},
        {"ends at its first NUL", REG_SZ, std::string("ab\0cd", 6), plain, RegistryStatus::ok, "ab"},
        {"number", REG_DWORD, bytesOf(65), plain, RegistryStatus::wrongType, ""},
        {"long binary: the type, not the length", REG_BINARY, std::string(64, 'a'), plain,
         RegistryStatus::wrongType, ""},
        {"list", REG_MULTI_SZ, std::string("a\0b\0", 5), plain, RegistryStatus::wrongType, ""},
        {"expandable where plain is asked", REG_EXPAND_SZ, std::string("%TEMP%", 7), plain,
         RegistryStatus::wrongType, ""},
        {"expandable, not expanded", REG_EXPAND_SZ, std::string("%TEMP%", 7), RegistryText::plainOrExpandable,
         RegistryStatus::ok, "%TEMP%"},
        {"one over, expandable", REG_EXPAND_SZ, "%TEMP%\\x", RegistryText::plainOrExpandable,
         RegistryStatus::tooLong, ""},
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::string name = "value" + std::to_string(index++);
        if (c.type != REG_NONE) {
            setValue(name.c_str(), c.type, c.stored);
        }
        std::vector<char> buffer(capacity + 16, 'x');
        buffer[capacity] = '#';   // just past the capacity: must stay untouched
        RegistryResult result = readRegistryText(key_, name.c_str(), buffer.data(), capacity, c.types);
        EXPECT_STREQ(statusName(result.status), statusName(c.status)) << c.name;
        EXPECT_STREQ(buffer.data(), c.text) << c.name;
        EXPECT_EQ(buffer[capacity], '#') << c.name;
        if (c.type != REG_NONE) {
            EXPECT_EQ(result.type, c.type) << c.name;
        }
    }
}

TEST_F(RegistryTest, NumbersAndBytesMustHaveTheirTypeAndSize)
{
    struct Case {
        const char* name;
        bool number;        // readRegistryNumber, else readRegistryBytes of 8 bytes
        DWORD type;         // REG_NONE: no value at all
        std::string stored;
        RegistryStatus status;
    };
    const std::string eight("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
    const Case cases[] = {
        {"number", true, REG_DWORD, bytesOf(0x12345678), RegistryStatus::ok},
        {"missing number", true, REG_NONE, "", RegistryStatus::missing},
        {"number as text", true, REG_SZ, std::string("1234", 5), RegistryStatus::wrongType},
        {"number as four binary bytes", true, REG_BINARY, bytesOf(0x12345678), RegistryStatus::wrongType},
        {"number of two bytes", true, REG_DWORD, "\x01\x02", RegistryStatus::wrongType},
        {"64-bit number", true, REG_QWORD, eight, RegistryStatus::wrongType},
        {"bytes", false, REG_BINARY, eight, RegistryStatus::ok},
        {"missing bytes", false, REG_NONE, "", RegistryStatus::missing},
        {"bytes one short", false, REG_BINARY, eight.substr(0, 7), RegistryStatus::wrongType},
        {"bytes one over", false, REG_BINARY, eight + "9", RegistryStatus::wrongType},
        {"bytes as a 64-bit number", false, REG_QWORD, eight, RegistryStatus::wrongType},
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::string name = "value" + std::to_string(index++);
        if (c.type != REG_NONE) {
            setValue(name.c_str(), c.type, c.stored);
        }
        char buffer[8];
        std::memset(buffer, 0x5a, sizeof buffer);
        RegistryResult result;
        size_t size = sizeof buffer;
        if (c.number) {
            DWORD value = 0xdeadbeef;
            result = readRegistryNumber(key_, name.c_str(), &value);
            std::memcpy(buffer, &value, sizeof value);
            size = sizeof value;
        } else {
            result = readRegistryBytes(key_, name.c_str(), buffer, sizeof buffer);
        }
        EXPECT_STREQ(statusName(result.status), statusName(c.status)) << c.name;
        // The value read, or zeros: never a part of another value's bytes.
        const std::string expected = c.status == RegistryStatus::ok ? c.stored : std::string(size, '\0');
        EXPECT_EQ(std::string(buffer, size), expected) << c.name;
    }
}

TEST_F(RegistryTest, SubKeyNamesUpToTheLimits)
{
    struct Case {
        const char* name;
        std::vector<std::string> subKeys;
        RegistryStatus status;
    };
    const Case cases[] = {
        {"none", {}, RegistryStatus::ok},
        {"several", {"b", "a", "17.0.9"}, RegistryStatus::ok},
        // The longest name the registry holds.
        {"name of 255 characters", {std::string(255, 'n')}, RegistryStatus::ok},
    };
    for (const Case& c : cases) {
        RegDeleteTreeA(key_, nullptr);
        for (const std::string& name : c.subKeys) {
            addSubKey(name);
        }
        RegistryResult result;
        result.status = RegistryStatus::failed;
        std::vector<std::string> names = readSubKeyNames(key_, &result);
        std::vector<std::string> expected = c.subKeys;
        std::sort(names.begin(), names.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected) << c.name;
        EXPECT_STREQ(statusName(result.status), statusName(c.status)) << c.name;
    }
}

TEST_F(RegistryTest, SubKeysPastTheCountAreLeftOut)
{
    RegDeleteTreeA(key_, nullptr);
    for (size_t i = 0; i < kRegistryMaxSubKeys; ++i) {
        addSubKey(std::to_string(i));
    }
    RegistryResult result;
    EXPECT_EQ(readSubKeyNames(key_, &result).size(), kRegistryMaxSubKeys);
    EXPECT_STREQ(statusName(result.status), "ok");

    addSubKey("one more");
    EXPECT_EQ(readSubKeyNames(key_, &result).size(), kRegistryMaxSubKeys);
    EXPECT_STREQ(statusName(result.status), "tooLong");
}

TEST_F(RegistryTest, WritesStoreWhatTheReadersRead)
{
    // Text types with their terminator (18 bytes of UTF-16 for "1.8.0_66"); others refused.
    for (DWORD type : {REG_SZ, REG_EXPAND_SZ, REG_DWORD}) {
        const std::wstring name = L"text" + std::to_wstring(type);
        const std::string narrowName(name.begin(), name.end());
        const bool text = type != REG_DWORD;
        EXPECT_EQ(writeRegistryText(key_, narrowName.c_str(), "1.8.0_66", type).ok(), text) << type;
        DWORD stored = REG_NONE;
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExW(key_, name.c_str(), nullptr, &stored, nullptr, &size),
                  text ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND)
            << type;
        if (text) {
            EXPECT_EQ(stored, type);
            EXPECT_EQ(size, 18u) << type;
        }
    }

    DWORD number = 0;
    EXPECT_TRUE(writeRegistryNumber(key_, "number", 4242).ok());
    EXPECT_TRUE(readRegistryNumber(key_, "number", &number).ok());
    EXPECT_EQ(number, 4242u);

    const uint64_t stamp = 0x0102030405060708ull;
    uint64_t readBack = 0;
    EXPECT_TRUE(writeRegistryBytes(key_, "stamp", &stamp, sizeof stamp).ok());
    EXPECT_TRUE(readRegistryBytes(key_, "stamp", &readBack, sizeof readBack).ok());
    EXPECT_EQ(readBack, stamp);
}
