// The service's event log: the event source's registry key, the message table in the
// launcher image in each language, and the reports with their diagnostic log lines.
#include "service/event_log.h"
#include "platform/text_conversion.h"

#include "config/config_store.h"
#include "config/run_settings.h"
#include "format/record_ids.h"
#include "support/process_runner.h"
#include "support/scratch_directory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kApplicationLogKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
// Set in the environment of the copy of this program that reports the events.
constexpr char kChildVariable[] = "EVENT_LOG_TEST_CHILD";

// Switches the event log record on or off (null: absent) for one test and puts the
// process's store back afterwards.
class EventLogRecord {
public:
    explicit EventLogRecord(const char* value) : saved_(configStore())
    {
        configStore().narrow.erase(cfg::serviceEventLog);
        if (value != nullptr) {
            setConfigString(cfg::serviceEventLog, value);
        }
    }
    EventLogRecord(const EventLogRecord&) = delete;
    EventLogRecord& operator=(const EventLogRecord&) = delete;
    ~EventLogRecord() { configStore() = saved_; }

private:
    ConfigStore saved_;
};

std::string uniqueSourceName()
{
    static unsigned counter = 0;
    return "EventLogTest_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount()) + "_" +
           std::to_string(++counter);
}

bool keyExists(const std::string& name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kApplicationLogKey + name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// Removes the test's key (and one level below it) whatever the test left.
class SourceKeyCleanup {
public:
    explicit SourceKeyCleanup(std::string name) : name_(std::move(name)) {}
    SourceKeyCleanup(const SourceKeyCleanup&) = delete;
    SourceKeyCleanup& operator=(const SourceKeyCleanup&) = delete;
    ~SourceKeyCleanup()
    {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kApplicationLogKey + name_ + "\\sub").c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kApplicationLogKey + name_).c_str());
    }

private:
    std::string name_;
};

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// The values of the source's key by name; false when the key cannot be read.
bool readValues(const std::string& name, std::vector<std::pair<std::string, RegistryValue>>& values, DWORD& subkeys)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kApplicationLogKey + name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr) == ERROR_SUCCESS;
    for (DWORD index = 0; ok; ++index) {
        char valueName[256];
        DWORD nameLength = sizeof valueName;
        RegistryValue value;
        value.data.resize(4096);
        DWORD dataLength = static_cast<DWORD>(value.data.size());
        LONG result =
            RegEnumValueA(key, index, valueName, &nameLength, nullptr, &value.type, value.data.data(), &dataLength);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        ok = result == ERROR_SUCCESS;
        value.data.resize(dataLength);
        values.emplace_back(std::string(valueName, nameLength), value);
    }
    RegCloseKey(key);
    return ok;
}

// Expects exactly EventMessageFile = path (REG_EXPAND_SZ) and TypesSupported = 7 (REG_DWORD).
void expectRegistration(const std::string& name, const std::string& path)
{
    std::vector<std::pair<std::string, RegistryValue>> values;
    DWORD subkeys = 99;
    ASSERT_TRUE(readValues(name, values, subkeys)) << name;
    EXPECT_EQ(0u, subkeys);
    ASSERT_EQ(2u, values.size());
    bool sawFile = false;
    bool sawTypes = false;
    for (const auto& [valueName, value] : values) {
        if (valueName == "EventMessageFile") {
            sawFile = true;
            EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), value.type);
            std::string expected = path;
            expected.push_back('\0');
            EXPECT_EQ(expected, std::string(value.data.begin(), value.data.end()));
        } else if (valueName == "TypesSupported") {
            sawTypes = true;
            EXPECT_EQ(static_cast<DWORD>(REG_DWORD), value.type);
            ASSERT_EQ(sizeof(DWORD), value.data.size());
            DWORD types = 0;
            std::memcpy(&types, value.data.data(), sizeof types);
            EXPECT_EQ(7u, types);
        } else {
            ADD_FAILURE() << "unexpected value " << valueName;
        }
    }
    EXPECT_TRUE(sawFile);
    EXPECT_TRUE(sawTypes);
}

} // namespace

TEST(EventSource, RegistrationWritesTheTwoValuesAndRemovalDeletesTheKey)
{
    EventLogRecord on("1");
    const std::string name = uniqueSourceName();
    SourceKeyCleanup cleanup(name);

    EXPECT_TRUE(registerEventSource(widenBytes(name).c_str(), "C:\\Program Files\\Demo\\demo.exe"));
    expectRegistration(name, "C:\\Program Files\\Demo\\demo.exe");

    // A second install (from another place) replaces the message file.
    EXPECT_TRUE(registerEventSource(widenBytes(name).c_str(), "D:\\demo %ROOT%\\demo.exe"));
    expectRegistration(name, "D:\\demo %ROOT%\\demo.exe");

    EXPECT_TRUE(unregisterEventSource(widenBytes(name).c_str()));
    EXPECT_FALSE(keyExists(name));
    // Uninstalling again, or a launcher installed without the registration.
    EXPECT_TRUE(unregisterEventSource(widenBytes(name).c_str()));
    EXPECT_FALSE(keyExists(name));
}

TEST(EventSource, UnusableNamesAndPathsWriteNothing)
{
    EventLogRecord on("1");
    const std::string name = uniqueSourceName();
    SourceKeyCleanup cleanup(name);
    const std::string nested = name + "\\sub";
    struct Case {
        const char* name;
        const char* path;
    };
    const Case cases[] = {
        {name.c_str(), ""},
        {name.c_str(), nullptr},
        {nested.c_str(), "C:\\demo.exe"},
        {"", "C:\\demo.exe"},
        {nullptr, "C:\\demo.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name != nullptr ? c.name : "(null)") + " / " + (c.path != nullptr ? c.path : "(null)"));
        EXPECT_FALSE(registerEventSource(c.name != nullptr ? widenBytes(c.name).c_str() : nullptr, c.path));
        EXPECT_FALSE(keyExists(name));
    }
    // Removal refuses the same names, so that it never deletes a key other than the source's.
    EXPECT_FALSE(unregisterEventSource(L""));
    EXPECT_FALSE(unregisterEventSource(nullptr));
    EXPECT_FALSE(unregisterEventSource(widenBytes(nested).c_str()));
    EXPECT_TRUE(keyExists(""));  // the Application log's own key
}

TEST(EventSource, WithoutTheRecordNothingIsRegisteredOrRemoved)
{
    const std::string name = uniqueSourceName();
    SourceKeyCleanup cleanup(name);
    const char* const offValues[] = {nullptr, "0", ""};
    for (const char* value : offValues) {
        SCOPED_TRACE(value != nullptr ? value : "(absent)");
        EventLogRecord off(value);
        EXPECT_FALSE(eventLogEnabled());
        EXPECT_TRUE(registerEventSource(widenBytes(name).c_str(), "C:\\demo.exe"));
        EXPECT_FALSE(keyExists(name));
    }

    // A source of that name that this launcher did not register stays.
    {
        EventLogRecord on("1");
        ASSERT_TRUE(registerEventSource(widenBytes(name).c_str(), "C:\\other.exe"));
    }
    EventLogRecord off(nullptr);
    EXPECT_TRUE(unregisterEventSource(widenBytes(name).c_str()));
    expectRegistration(name, "C:\\other.exe");
}

namespace {

struct EventCase {
    ServiceEvent event;
    DWORD severity;  // 1 information, 2 warning, 3 error
    const wchar_t* english;
    const wchar_t* german;
    const wchar_t* french;
};

// The texts with the inserts "7" and "45".
const EventCase kEventCases[] = {
    {ServiceEvent::started, 1, L"The service was started.", L"Der Dienst wurde gestartet.",
     L"Le service a \u00e9t\u00e9 d\u00e9marr\u00e9."},
    {ServiceEvent::stopped, 1, L"The service was stopped.", L"Der Dienst wurde beendet.",
     L"Le service a \u00e9t\u00e9 arr\u00eat\u00e9."},
    {ServiceEvent::applicationEnded, 3, L"The application ended unexpectedly with exit code 7.",
     L"Die Anwendung wurde unerwartet mit dem Exitcode 7 beendet.",
     L"L'application s'est termin\u00e9e de mani\u00e8re inattendue avec le code de sortie 7."},
    {ServiceEvent::restarting, 2, L"Restarting the application (attempt 7, after 45 seconds).",
     L"Die Anwendung wird neu gestartet (Versuch 7, nach 45 Sekunden).",
     L"Red\u00e9marrage de l'application (tentative 7, apr\u00e8s 45 secondes)."},
    {ServiceEvent::stopTimedOut, 2, L"The application did not stop within 7 seconds and was ended.",
     L"Die Anwendung hat sich nicht innerhalb von 7 Sekunden beendet und wurde abgebrochen.",
     L"L'application ne s'est pas arr\u00eat\u00e9e dans les 7 secondes et a \u00e9t\u00e9 termin\u00e9e de force."},
    {ServiceEvent::restartLimitReached, 3,
     L"Giving up after 7 restarts within 45 seconds: the application is not restarted again.",
     L"Abbruch nach 7 Neustarts innerhalb von 45 Sekunden: die Anwendung wird nicht erneut gestartet.",
     L"Abandon apr\u00e8s 7 red\u00e9marrages en 45 secondes : l'application n'est plus red\u00e9marr\u00e9e."},
    {ServiceEvent::startFailed, 3, L"The application could not be started.",
     L"Die Anwendung konnte nicht gestartet werden.", L"L'application n'a pas pu \u00eatre d\u00e9marr\u00e9e."},
    {ServiceEvent::startRefused, 3, L"The application could not be started: 7",
     L"Die Anwendung konnte nicht gestartet werden: 7", L"L'application n'a pas pu \u00eatre d\u00e9marr\u00e9e : 7"},
    {ServiceEvent::outputNotCaptured, 2,
     L"The application's output is not written to 7: 45. The service runs on without it.",
     L"Die Ausgabe der Anwendung wird nicht in 7 geschrieben: 45. Der Dienst l\u00e4uft ohne sie weiter.",
     L"La sortie de l'application n'est pas \u00e9crite dans 7 : 45. Le service continue sans elle."},
    {ServiceEvent::hangEnded, 3,
     L"The application's VM gave no sign of life for 7 seconds and was ended; its thread dump, if it still "
     L"answered, is in its error output.",
     L"Die VM der Anwendung hat 7 Sekunden lang kein Lebenszeichen gegeben und wurde abgebrochen; ihr Thread-Dump "
     L"steht, falls sie noch antwortete, in ihrer Fehlerausgabe.",
     L"La VM de l'application n'a donn\u00e9 aucun signe de vie pendant 7 secondes et a \u00e9t\u00e9 termin\u00e9e "
     L"de force ; son vidage des threads, si elle r\u00e9pondait encore, se trouve dans sa sortie d'erreur."},
};

std::wstring launcherImage()
{
    const char* image = std::getenv("LAUNCHER_IMAGE");
    return image != nullptr ? std::wstring(image, image + std::strlen(image)) : std::wstring();
}

} // namespace

TEST(EventMessages, TheLauncherImageHoldsEveryEventInEachLanguage)
{
    const std::wstring image = launcherImage();
    ASSERT_FALSE(image.empty()) << "LAUNCHER_IMAGE is not set";
    HMODULE module = LoadLibraryExW(image.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module) << "error " << GetLastError();

    DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(L"7"), reinterpret_cast<DWORD_PTR>(L"45")};
    for (const EventCase& c : kEventCases) {
        const DWORD id = serviceEventMessageId(c.event);
        SCOPED_TRACE(static_cast<unsigned>(c.event));
        // The Event Viewer shows the low word as the event's number and the top bits as its level.
        EXPECT_EQ(static_cast<DWORD>(c.event), id & 0xFFFF);
        EXPECT_EQ(c.severity, id >> 30);

        const struct {
            LANGID language;
            const wchar_t* expected;
        } languages[] = {
            {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), c.english},
            {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), c.german},
            {MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), c.french},
        };
        for (const auto& language : languages) {
            SCOPED_TRACE(language.language);
            wchar_t text[1024];
            SetLastError(0xdeadbeef);
            DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, id,
                                     language.language, text, 1024,
                                     reinterpret_cast<va_list*>(inserts));
            ASSERT_NE(0u, n) << "error " << GetLastError();
            EXPECT_EQ(std::wstring(language.expected), std::wstring(text, n));
        }
    }
    // No message beyond the events.
    wchar_t text[64];
    EXPECT_EQ(0u, FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module, 0xC000000B,
                                 MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, 64, nullptr));
    EXPECT_EQ(0u, serviceEventMessageId(static_cast<ServiceEvent>(11)));
    FreeLibrary(module);
}

namespace {

std::wstring thisProgram()
{
    wchar_t path[MAX_PATH + 1];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    return n > 0 && n <= MAX_PATH ? std::wstring(path, n) : std::wstring();
}

std::string fileContents(const std::wstring& path)
{
    std::string contents;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot read the log";
        return contents;
    }
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        contents.append(buffer, n);
    }
    CloseHandle(file);
    return contents;
}

// The lines of every diagnostic log in the directory, and how many logs there are.
std::vector<std::string> logLinesIn(const std::wstring& directory, int& files)
{
    std::vector<std::string> lines;
    files = 0;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((directory + L"\\dpk_nlog_*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        return lines;
    }
    do {
        ++files;
        std::istringstream file(fileContents(directory + L"\\" + entry.cFileName));
        std::string line;
        while (std::getline(file, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines.push_back(line);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return lines;
}

} // namespace

// Runs only in the copy of this program that ReportsEachEventWhenTheRecordIsOn starts, with
// the diagnostic log on (it is decided once per process, so the test process cannot switch
// it on for itself).
TEST(EventReportChild, ReportsTheEvents)
{
    char value[16];
    DWORD n = GetEnvironmentVariableA(kChildVariable, value, sizeof value);
    if (n == 0 || n >= sizeof value) {
        GTEST_SKIP() << "runs as a child of EventReport tests only";
    }
    EventLogRecord record(std::strcmp(value, "absent") == 0 ? nullptr : value);
    std::strcpy(serviceName, uniqueSourceName().c_str());
    const struct {
        ServiceEvent event;
        const char* insert1;
        const char* insert2;
    } reports[] = {
        {ServiceEvent::started, nullptr, nullptr},
        {ServiceEvent::applicationEnded, "1", nullptr},
        {ServiceEvent::restarting, "2", "30"},
        {ServiceEvent::stopTimedOut, "15", nullptr},
        {ServiceEvent::restartLimitReached, "5", "600"},
        {ServiceEvent::startFailed, nullptr, nullptr},
        // A reason as the launcher gives it: any character, a line end, a percent sign.
        {ServiceEvent::startRefused, "Datei C:\\Dienste\\T\xC3\xA9st %1 \xE4\xB8\xAD\nfehlt", nullptr},
        {ServiceEvent::stopped, "ignored", "ignored"},
        {ServiceEvent::applicationEnded, nullptr, nullptr},
        {static_cast<ServiceEvent>(99), "1", "2"},
    };
    for (const auto& report : reports) {
        SetLastError(0xdeadbeef);
        reportServiceEvent(report.event, report.insert1, report.insert2);
        EXPECT_EQ(0xdeadbeefu, GetLastError());
    }
}

TEST(EventReport, EachEventIsLoggedOnlyWhenTheRecordIsOn)
{
    const std::vector<std::string> reportedLines = {
        "event 1 reported: The service was started.",
        "event 3 reported: The application ended unexpectedly with exit code 1.",
        "event 4 reported: Restarting the application (attempt 2, after 30 seconds).",
        "event 5 reported: The application did not stop within 15 seconds and was ended.",
        "event 6 reported: Giving up after 5 restarts within 600 seconds: the application is not restarted again.",
        "event 7 reported: The application could not be started.",
        "event 8 reported: The application could not be started: Datei C:\\Dienste\\T\xC3\xA9st %1 \xE4\xB8\xAD",
        "fehlt",
        "event 2 reported: The service was stopped.",
        // A missing insert is empty rather than whatever follows in memory.
        "event 3 reported: The application ended unexpectedly with exit code .",
        "ERROR: event 99 is no service event, not reported",
    };
    const struct {
        const wchar_t* record;
        bool on;
    } cases[] = {
        {L"absent", false},
        {L"0", false},
        {L"1", true},
        {L"2", true},
    };
    const std::wstring program = thisProgram();
    ASSERT_FALSE(program.empty());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.record, c.record + std::wcslen(c.record)));
        ScratchDirectory scratch;
        ProcessOptions options;
        options.setEnv = {{L"EVENT_LOG_TEST_CHILD", c.record}, {L"QUILL_LOG", L"yes"}, {L"TMP", scratch.path()}};
        options.unsetEnv = {L"DEPLOYKIT_LOG"};
        ProcessResult result =
            runProcess(commandLineOf(program, {L"--gtest_filter=EventReportChild.ReportsTheEvents"}), options);
        ASSERT_TRUE(result.started);
        ASSERT_FALSE(result.timedOut);
        EXPECT_EQ(0u, result.exitCode) << result.out << result.err;

        int files = 0;
        std::vector<std::string> lines = logLinesIn(scratch.path(), files);
        std::vector<std::string> eventLines;
        for (const std::string& line : lines) {
            if (line.rfind("event ", 0) == 0 || line.rfind("ERROR: event ", 0) == 0 || line == "fehlt") {
                eventLines.push_back(line);
            }
        }
        if (c.on) {
            EXPECT_EQ(1, files);
            EXPECT_EQ(reportedLines, eventLines);
        } else {
            // The log is not even opened: nothing at all was written.
            EXPECT_EQ(0, files);
            EXPECT_TRUE(eventLines.empty());
        }
    }
}
