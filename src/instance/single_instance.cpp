// Single-instance guard.
#include "instance/single_instance.h"

#include "config/config_store.h"
#include "config/messages.h"
#include "format/record_ids.h"
#include "platform/diagnostic_log.h"
#include "platform/handle.h"
#include "platform/paths.h"
#include "platform/private_security.h"
#include "platform/registry.h"
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
    // A cut path could be another launcher's: the path as the system gave it is this one's.
    return getFullPath(path, sizeof path, getModulePath(), false) ? path : getModulePath();
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

// For a name in the global namespace that exists already (opened, or refused): true when
// its object is another launcher's, false (logged) when somebody else made it first. A
// launcher's object is owned by the account it runs as; one whose owner is an ordinary
// account other than this one, or that cannot be opened at all, is not an instance this
// process defers to.
bool isSecondInstance(HANDLE semaphore, DWORD code)
{
    if (semaphore != nullptr) {
        const std::wstring owner = objectOwnerSid(semaphore);
        if (isTrustedOwner(owner)) {
            return true;
        }
        logError("the single-instance object %s was made by another account (%S), not by a launcher; "
                 "going on as the first instance",
                 instanceSemaphoreName.c_str(), owner.empty() ? L"unknown" : owner.c_str());
        return false;
    }
    logError("the single-instance object %s exists and cannot be opened (error %d), not a launcher's; "
             "going on as the first instance",
             instanceSemaphoreName.c_str(), static_cast<int>(code));
    return false;
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
    UniqueKey key = createRegistryKey(HKEY_CURRENT_USER, kPidsKey);
    if (!key) {
        return;
    }
    writeRegistryNumber(key.get(), canonicalModulePath().c_str(), GetCurrentProcessId());
}

DWORD readRecordedProcessId()
{
    UniqueKey key = openRegistryKey(HKEY_CURRENT_USER, kPidsKey);
    if (!key) {
        return 0;
    }
    DWORD id = 0;
    readRegistryNumber(key.get(), canonicalModulePath().c_str(), &id);
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
        const bool global = prefix[0] == 'G';
        // Every user may create objects in the global namespace. A launcher's own object
        // there is private and owned by its account, so that one that another user made
        // first can be told apart and does not keep the service from starting.
        PrivateSecurity security(PrivateKind::object);
        HANDLE semaphore =
            CreateSemaphoreA(global ? security.attributes() : nullptr, 1, 1, instanceSemaphoreName.c_str());
        DWORD code = GetLastError();
        logMessage("semaphore name %s, code %d, value %p", instanceSemaphoreName.c_str(), static_cast<int>(code),
                   static_cast<void*>(semaphore));
        const bool found = code == ERROR_ALREADY_EXISTS || semaphore == nullptr;
        if (global && found && !isSecondInstance(semaphore, code)) {
            if (semaphore != nullptr) {
                CloseHandle(semaphore);
            }
            recordProcessId();
            return;
        }
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
