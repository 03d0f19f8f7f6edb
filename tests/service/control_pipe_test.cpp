// The service process's control pipe in-process: the name it takes only as the first
// instance, its access list, and the exchange of a request line and its answer.
#include "service/control_pipe.h"

#include "config/run_settings.h"
#include "platform/handle.h"
#include "platform/private_security.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>

namespace {

std::wstring uniqueName(const wchar_t* what)
{
    return std::wstring(L"control-pipe-test-") + what + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount());
}

UniqueFile connect(const std::wstring& pipe, DWORD access)
{
    return UniqueFile(CreateFileW(pipe.c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

// The whole answer the server gives to `request` before it ends the connection.
std::string askPipe(const std::wstring& pipe, const std::string& request)
{
    // The server takes the next client once it has let the last one go.
    UniqueFile client = connect(pipe, GENERIC_READ | GENERIC_WRITE);
    for (int i = 0; !client && GetLastError() == ERROR_PIPE_BUSY && i < 10; ++i) {
        WaitNamedPipeW(pipe.c_str(), 5000);
        client = connect(pipe, GENERIC_READ | GENERIC_WRITE);
    }
    if (!client) return "no connection " + std::to_string(GetLastError());
    DWORD written = 0;
    if (!WriteFile(client.get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr)) {
        return "";  // the server let go before it took the whole line
    }
    std::string answer;
    char block[64];
    DWORD read = 0;
    while (answer.find('\n') == std::string::npos && ReadFile(client.get(), block, sizeof block, &read, nullptr) &&
           read > 0) {
        answer.append(block, read);
    }
    return answer;
}

TEST(ControlPipe, TheNameIsTakenOnlyAsItsFirstInstance)
{
    EXPECT_EQ(L"\\\\.\\pipe\\quill-service-My Svc", controlPipeName(L"My Svc"));
    EXPECT_EQ(256u, controlPipeName(std::wstring(256 - 23, L'n')).size());
    EXPECT_EQ(L"", controlPipeName(std::wstring(256 - 22, L'n'))) << "longer than a pipe's name may be";

    // Another process's pipe of that name first: the service takes none. (Wine makes a
    // further instance of a pipe that allows several despite the flag that asks for the
    // first; one that allows one instance it refuses as Windows does.)
    const std::wstring taken = uniqueName(L"taken");
    ASSERT_TRUE(setServiceName(taken));
    UniqueFile squatter(CreateNamedPipeW(controlPipeName(taken).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 64, 64,
                                         0, nullptr));
    ASSERT_TRUE(squatter);
    EXPECT_FALSE(startControlPipe());

    // Its own: nobody gets a second instance.
    const std::wstring own = uniqueName(L"own");
    ASSERT_TRUE(setServiceName(own));
    ASSERT_TRUE(startControlPipe());
    SetLastError(0xdeadbeef);
    UniqueFile second(CreateNamedPipeW(controlPipeName(own).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 64, 64, 0,
                                       nullptr));
    EXPECT_FALSE(second);
    EXPECT_NE(0xdeadbeefu, GetLastError());
}

TEST(ControlPipe, OnlyTheAccountSystemAndAdministratorsAreLetIn)
{
    const std::wstring name = uniqueName(L"access");
    ASSERT_TRUE(setServiceName(name));
    ASSERT_TRUE(startControlPipe());
    UniqueFile client = connect(controlPipeName(name), READ_CONTROL | GENERIC_READ | GENERIC_WRITE);
    ASSERT_TRUE(client) << GetLastError();
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              GetSecurityInfo(client.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor));
    ASSERT_NE(nullptr, dacl) << "a null access list lets everybody in";
    const std::wstring account = processAccountSid();
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &entry));
        auto* header = static_cast<ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        LPWSTR sid = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidW(&static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart, &sid));
        const std::wstring text = sid;
        LocalFree(sid);
        EXPECT_TRUE(text == L"S-1-5-18" || text == L"S-1-5-32-544" || text == account)
            << std::string(text.begin(), text.end()) << " may reach the pipe";
    }
    LocalFree(descriptor);
}

TEST(ControlPipe, ADumpRequestIsAnsweredAndAnythingElseIsNot)
{
    const std::wstring name = uniqueName(L"exchange");
    ASSERT_TRUE(setServiceName(name));
    ASSERT_TRUE(startControlPipe());
    const std::wstring pipe = controlPipeName(name);
    // A client that comes and goes at once, perhaps before the server waits for one.
    connect(pipe, GENERIC_READ | GENERIC_WRITE).reset();
    // No child offers dumps in this program; the server takes one client after another.
    EXPECT_EQ("not running\n", askPipe(pipe, "dump\n"));
    EXPECT_EQ("not running\n", askPipe(pipe, "dump\r\n"));
    EXPECT_EQ("", askPipe(pipe, "stop\n"));
    EXPECT_EQ("", askPipe(pipe, std::string(200, 'd') + "\n")) << "a line longer than any request";
    EXPECT_EQ("not running\n", askPipe(pipe, "dump\n")) << "the server still answers";
}

} // namespace
