// The window functions of USER32 that the launcher needs, loaded on first use. Importing
// USER32 would make every start load the window system (under some systems its fonts
// too), although only error messages and the single-instance hand-over use it. Each
// function behaves as its namesake; when USER32 or the function cannot be had it fails
// the way its namesake fails, without touching its output arguments.
#pragma once

#include <windows.h>

namespace desktop {

int messageBoxA(HWND owner, const char* text, const char* caption, UINT type);      // 0 on failure
int messageBoxW(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);  // 0 on failure
HWINSTA getProcessWindowStation();                                                  // null on failure
BOOL getUserObjectInformationW(HANDLE object, int index, void* info, DWORD length, DWORD* needed);
BOOL enumWindows(WNDENUMPROC callback, LPARAM parameter);
DWORD getWindowThreadProcessId(HWND window, DWORD* processId);  // 0 on failure
BOOL isWindowVisible(HWND window);
BOOL isIconic(HWND window);
BOOL showWindow(HWND window, int command);
BOOL setForegroundWindow(HWND window);
HWND getLastActivePopup(HWND window);  // the window itself on failure

} // namespace desktop
