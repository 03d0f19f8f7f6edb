// The service commands' own judgements, called in-process: whether an existing entry runs
// this program, what /status adds to "Not running.", and the second line of a failure.
#include "service/service_commands.h"

#include "service/service_exit_codes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ServiceCommands, ImagePathRunsTheProgramQuotedOrNot)
{
    const std::wstring program = L"C:\\Program Files\\app\\bin\\app.exe";
    struct Case {
        const wchar_t* imagePath;
        bool runs;
    };
    const Case cases[] = {
        {L"\"C:\\Program Files\\app\\bin\\app.exe\"", true},
        {L"\"c:\\program files\\APP\\bin\\App.EXE\" own -x", true},
        // Unquoted, as an installer package writes it: the blanks belong to the path.
        {L"C:\\Program Files\\app\\bin\\app.exe", true},
        {L"C:\\Program Files\\app\\bin\\app.exe own", true},
        {L"C:\\Program Files\\app\\bin\\app.exe\town", true},
        // Another program, or this one's name as the start of another.
        {L"C:\\Program Files\\app\\bin\\app.exe2", false},
        {L"\"C:\\Program Files\\app\\bin\\app.exe2\"", false},
        {L"\"C:\\Program Files\\app\\bin\\app.ex\"e", false},
        {L"C:\\Program Files\\other\\app.exe", false},
        {L"\"C:\\Program Files\\app\\bin\\app.exe", false},  // an unclosed quote runs nothing
        {L"C:\\Program", false},
        {L"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.runs, imagePathRuns(c.imagePath, program)) << ::testing::PrintToString(std::wstring(c.imagePath));
    }
    EXPECT_FALSE(imagePathRuns(L"", L""));
}

TEST(ServiceCommands, StateDetailNamesPendingStatesAndHowAServiceEnded)
{
    struct Case {
        DWORD state;
        DWORD win32ExitCode;
        DWORD specificCode;
        DWORD processId;
        std::string detail;
    };
    const Case cases[] = {
        {SERVICE_STOPPED, 0, 0, 0, ""},
        {SERVICE_STOPPED, ERROR_SERVICE_NEVER_STARTED, 0, 0, ""},
        {SERVICE_RUNNING, 0, 0, 12, ""},
        {SERVICE_STOP_PENDING, 0, 0, 1234, "Stopping: a stop is under way, and its process (id 1234) still runs."},
        {SERVICE_STOP_PENDING, 0, 0, 0, "Stopping: a stop is under way."},
        {SERVICE_START_PENDING, 0, 0, 88, "Starting: the service is start pending, and its process (id 88) runs."},
        {SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, kServiceCodeEndedAtDeadline, 0,
         "Stopped at the stop deadline: the application did not end in time and was ended (service-specific exit "
         "code 5001)."},
        {SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, kServiceCodeNotStarted, 0,
         "Failed: the application could not be started (service-specific exit code 5000)."},
        {SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, 77, 0, "Failed with the service-specific exit code 77."},
    };
    for (const Case& c : cases) {
        SERVICE_STATUS_PROCESS status{};
        status.dwCurrentState = c.state;
        status.dwWin32ExitCode = c.win32ExitCode;
        status.dwServiceSpecificExitCode = c.specificCode;
        status.dwProcessId = c.processId;
        EXPECT_EQ(c.detail, stateDetail(status)) << c.state << " " << c.win32ExitCode << " " << c.specificCode;
    }
    // Any other exit code with the system's words for it.
    SERVICE_STATUS_PROCESS crashed{};
    crashed.dwCurrentState = SERVICE_STOPPED;
    crashed.dwWin32ExitCode = ERROR_PROCESS_ABORTED;
    const std::string detail = stateDetail(crashed);
    EXPECT_EQ(0u, detail.rfind("Failed with exit code 1067: ", 0)) << detail;
    EXPECT_GT(detail.size(), std::string("Failed with exit code 1067: .").size()) << detail;
}

// Wine's service manager does not log a service on with its account, so a start never
// fails with 1069 there: the explanation /start prints after that failure is checked here.
TEST(ServiceCommands, LogonFailureExplainsTheUsualCauses)
{
    const std::string line = errorExplanation(ERROR_SERVICE_LOGON_FAILED);
    EXPECT_EQ(0u, line.rfind("  ", 0)) << line;
    EXPECT_NE(std::string::npos, line.find(" (error 1069). ")) << line;
    for (const char* cause : {"the right \"Log on as a service\"", "a domain policy may have removed it again",
                              "its password has changed", "the account does not exist, is disabled"}) {
        EXPECT_NE(std::string::npos, line.find(cause)) << cause << "\n" << line;
    }
    EXPECT_NE(std::string::npos, errorExplanation(ERROR_SERVICE_CANNOT_ACCEPT_CTRL).find("(error 1061). The service "
                                                                                          "is starting or stopping"));
}

} // namespace
