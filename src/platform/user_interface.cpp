// USER32 loaded on first use (see user_interface.h).
#include "platform/user_interface.h"

namespace desktop {
namespace {

HMODULE user32()
{
    static const HMODULE module = LoadLibraryW(L"user32.dll");
    return module;
}

// The function `name` of USER32 as a pointer of type F; null when it cannot be had.
template <typename F>
F function(const char* name)
{
    HMODULE module = user32();
    if (module == nullptr) {
        return nullptr;
    }
    // Through void*: a FARPROC is a function type of its own, converted only this way
    // without a warning about incompatible function types.
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace

int messageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    static const auto call = function<int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT)>("MessageBoxA");
    return call != nullptr ? call(owner, text, caption, type) : 0;
}

int messageBoxW(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)
{
    static const auto call = function<int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT)>("MessageBoxW");
    return call != nullptr ? call(owner, text, caption, type) : 0;
}

HWINSTA getProcessWindowStation()
{
    static const auto call = function<HWINSTA(WINAPI*)()>("GetProcessWindowStation");
    return call != nullptr ? call() : nullptr;
}

BOOL getUserObjectInformationW(HANDLE object, int index, void* info, DWORD length, DWORD* needed)
{
    static const auto call = function<BOOL(WINAPI*)(HANDLE, int, PVOID, DWORD, LPDWORD)>("GetUserObjectInformationW");
    return call != nullptr ? call(object, index, info, length, needed) : FALSE;
}

BOOL enumWindows(WNDENUMPROC callback, LPARAM parameter)
{
    static const auto call = function<BOOL(WINAPI*)(WNDENUMPROC, LPARAM)>("EnumWindows");
    return call != nullptr ? call(callback, parameter) : FALSE;
}

DWORD getWindowThreadProcessId(HWND window, DWORD* processId)
{
    static const auto call = function<DWORD(WINAPI*)(HWND, LPDWORD)>("GetWindowThreadProcessId");
    return call != nullptr ? call(window, processId) : 0;
}

BOOL isWindowVisible(HWND window)
{
    static const auto call = function<BOOL(WINAPI*)(HWND)>("IsWindowVisible");
    return call != nullptr ? call(window) : FALSE;
}

BOOL isIconic(HWND window)
{
    static const auto call = function<BOOL(WINAPI*)(HWND)>("IsIconic");
    return call != nullptr ? call(window) : FALSE;
}

BOOL showWindow(HWND window, int command)
{
    static const auto call = function<BOOL(WINAPI*)(HWND, int)>("ShowWindow");
    return call != nullptr ? call(window, command) : FALSE;
}

BOOL setForegroundWindow(HWND window)
{
    static const auto call = function<BOOL(WINAPI*)(HWND)>("SetForegroundWindow");
    return call != nullptr ? call(window) : FALSE;
}

HWND getLastActivePopup(HWND window)
{
    static const auto call = function<HWND(WINAPI*)(HWND)>("GetLastActivePopup");
    return call != nullptr ? call(window) : window;
}

} // namespace desktop
