// Test double of a library that a runtime's jvm.dll depends on (as it depends on the C
// runtime library beside it): when loaded, it appends its own path to the file that the
// environment variable JVMDEP_RECORD names, so that a test sees which copy was found.
#include <windows.h>

extern "C" __declspec(dllexport) int standinDependency()
{
    return 1;
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t record[MAX_PATH];
    wchar_t path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"JVMDEP_RECORD", record, MAX_PATH);
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || length == 0 || length >= MAX_PATH) return TRUE;
    HANDLE file = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return TRUE;
    char line[MAX_PATH * 3];
    const int size = WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), line, sizeof line - 1, nullptr,
                                         nullptr);
    if (size > 0) {
        line[size] = '\n';
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(size) + 1, &written, nullptr);
    }
    CloseHandle(file);
    return TRUE;
}
