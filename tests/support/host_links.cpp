// Test support: links made and removed by the host's programs; see the header.
#include "support/host_links.h"

#include <windows.h>

#include <vector>

namespace {

constexpr DWORD kHostCommandMs = 20000;

// Wine's own export, by which a Windows path is turned into the host's path.
using UnixName = char*(CDECL*)(const wchar_t*);

UnixName unixNameFunction()
{
    return reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
}

// The argument in double quotes, as Wine splits the command line of a host program.
std::string quoted(const std::string& argument)
{
    return "\"" + argument + "\"";
}

// Starts a host program (/bin/<program>) with the given options, the paths (Windows paths,
// given to the program as host paths), then the trailing arguments. The process handle of
// a host program ends before the program does, so the caller waits for what it does, with
// a deadline.
bool startHostCommand(const char* program, const std::vector<std::string>& options,
                      const std::vector<std::wstring>& paths, const std::vector<std::string>& trailing = {})
{
    const UnixName unixName = unixNameFunction();
    if (unixName == nullptr) return false;
    std::string command = std::string("Z:\\bin\\") + program;
    for (const std::string& option : options) command += " " + option;
    for (const std::wstring& path : paths) {
        char* name = unixName(path.c_str());
        if (name == nullptr) return false;
        command += " " + quoted(name);
        HeapFree(GetProcessHeap(), 0, name);
    }
    for (const std::string& argument : trailing) command += " " + argument;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Waits until the path is a link (present) or gone (not present); false at the deadline.
bool awaitLink(const std::wstring& path, bool present)
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start < kHostCommandMs; Sleep(20)) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (!present && attributes == INVALID_FILE_ATTRIBUTES) return true;
        if (present && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return true;
        }
    }
    return false;
}

} // namespace

bool hostProgramsAvailable()
{
    return unixNameFunction() != nullptr;
}

bool makeHostLink(const std::wstring& link, const std::wstring& target)
{
    return startHostCommand("ln", {"-s"}, {target, link}) && awaitLink(link, true);
}

bool removeHostLink(const std::wstring& link)
{
    // rm without -r removes a link, never what it points to.
    return startHostCommand("rm", {"-f"}, {link}) && awaitLink(link, false);
}

bool startRemovingHostLinksIn(const std::wstring& folder)
{
    // find does not follow links; -delete removes the link itself.
    return startHostCommand("find", {}, {folder}, {"-mindepth", "1", "-maxdepth", "1", "-type", "l", "-delete"});
}
