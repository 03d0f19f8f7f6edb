// Single-instance guard.
#include "instance/single_instance.h"

#include "config/config_store.h"
#include "config/messages.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/handle.h"
#include "platform/paths.h"
#include "platform/text_format.h"
#include "platform/user_interface.h"

std::string instanceSemaphoreName;

namespace {

constexpr int kLastCounter = 100000;
constexpr int kPidRereads = 50;
constexpr DWORD kPidRereadDelayMs = 100;

// Held for the life of the process: the semaphore marks this instance.
HANDLE instanceSemaphore = nullptr;
DWORD windowOwner = 0;
bool restoreWindows = false;

std::string canonicalModulePath()
{
    char path[kTextCapacity];
    getFullPath(path, sizeof path, getModulePath(), false);
    return path;
}

BOOL CALLBACK activateWindow(HWND window, LPARAM)
{
    DWORD owner = 0;
    desktop::getWindowThreadProcessId(window, &owner);
    if (owner != windowOwner || !desktop::isWindowVisible(window)) {
        return TRUE;
    }
    logMessage("found window %p", static_cast<void*>(window));
    if (restoreWindows && desktop::isIconic(window)) {
        logMessage("restore");
        desktop::showWindow(window, SW_RESTORE);
    }
    logMessage("foreground");
    desktop::setForegroundWindow(window);
    logMessage("popup");
    desktop::setForegroundWindow(desktop::getLastActivePopup(window));
    logMessage("done");
    return TRUE;
}

} // namespace

std::string mangleSemaphorePath(const std::string& canonicalPath)
{
    std::string mangled = canonicalPath;
    for (char& c : mangled) {
        if (c == '\\' || c == ' ') c = '_';
    }
    return mangled;
}

void recordProcessId()
{
    UniqueKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kPidsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    DWORD id = GetCurrentProcessId();
    RegSetValueExA(key.get(), canonicalModulePath().c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&id),
                   sizeof id);
}

DWORD readRecordedProcessId()
{
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kPidsKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD id = 0;
    DWORD size = sizeof id;
    if (RegQueryValueExA(key.get(), canonicalModulePath().c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&id),
                         &size) != ERROR_SUCCESS ||
        size != sizeof id) {
        return 0;
    }
    return id;
}

void activateInstanceWindows(DWORD processId, bool restore)
{
    windowOwner = processId;
    restoreWindows = restore;
    desktop::enumWindows(activateWindow, 0);
}

void enforceSingleInstance()
{
    const std::string prefix = getConfigInt(cfg::globalInstanceObjects) != 0 ? "Global\\" : "Local\\";
    const std::string base = prefix + mangleSemaphorePath(canonicalModulePath());

    if (getConfigInt(cfg::singleInstance) != 0) {
        logMessage("single instance mode");
        instanceSemaphoreName = base;
        HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 1, instanceSemaphoreName.c_str());
        DWORD code = GetLastError();
        logMessage("semaphore name %s, code %d, value %p", instanceSemaphoreName.c_str(), static_cast<int>(code),
                   static_cast<void*>(semaphore));
        if (code == ERROR_ALREADY_EXISTS) {
            CloseHandle(semaphore);
            // The first instance records its id right after taking the semaphore.
            DWORD other = readRecordedProcessId();
            for (int i = 0; other == 0 && i < kPidRereads; ++i) {
                Sleep(kPidRereadDelayMs);
                other = readRecordedProcessId();
            }
            logMessage("other pid %d", static_cast<int>(other));
            if (other != 0 && getConfigInt(cfg::bringToFront) != 0) {
                activateInstanceWindows(other, true);
            }
            logMessage("exiting");
            exitLauncher(0);
        }
        instanceSemaphore = semaphore;
        recordProcessId();
        return;
    }

    HANDLE semaphore = nullptr;
    DWORD code = 0;
    for (int counter = 0;; ++counter) {
        instanceSemaphoreName = base + std::to_string(counter);
        semaphore = CreateSemaphoreA(nullptr, 1, 1, instanceSemaphoreName.c_str());
        code = GetLastError();
        if (code != ERROR_ALREADY_EXISTS || counter >= kLastCounter) {
            break;
        }
        CloseHandle(semaphore);
    }
    instanceSemaphore = semaphore;
    logMessage("semaphore name %s, code %d, value %p", instanceSemaphoreName.c_str(), static_cast<int>(code),
               static_cast<void*>(semaphore));
}
