// What the launcher creates and then trusts (the folder of the included files, the output
// file of a version probe, a service's single-instance object) is private from the
// moment it exists: its owner is the account the process runs as, full access goes to
// SYSTEM, the Administrators group and that account, and nobody else has an entry. No
// entry is inherited from the parent, so a temporary directory that everybody may write
// (the system's, where a service's files go) passes nothing on.
#pragma once

#include "platform/handle.h"

#include <windows.h>

#include <string>

enum class PrivateKind {
    directory,  // entries that folders and files created inside inherit
    file,
    object,     // kernel objects: semaphores, events
};

// The SID text of the account the process runs as ("S-1-5-18" for LocalSystem); empty
// when the token cannot be read.
std::wstring processAccountSid();

// The descriptor for `kind` in SDDL form, for example
// "O:S-1-5-18D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)" for a directory of LocalSystem (an
// account that is SYSTEM or the Administrators group gets no entry of its own); empty
// when the process's account cannot be read.
std::wstring privateSecurityText(PrivateKind kind);

// A private descriptor ready for a create call. attributes() is null when it could not
// be built (logged): callers then refuse to create, they never fall back to defaults.
class PrivateSecurity {
public:
    explicit PrivateSecurity(PrivateKind kind);
    ~PrivateSecurity();
    PrivateSecurity(const PrivateSecurity&) = delete;
    PrivateSecurity& operator=(const PrivateSecurity&) = delete;

    SECURITY_ATTRIBUTES* attributes() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

// Creates `path` as a new private directory. False when anything of that name exists
// already (never reused: whoever made it may have put files there) or when it cannot be
// made; GetLastError tells which.
bool createPrivateDirectory(const char* path);

// Creates `path` as a new private file (CREATE_NEW), or overwrites a file inside a private
// directory of this run (CREATE_ALWAYS, `replace`), opened with `access` and `share`.
UniqueFile createPrivateFile(const char* path, DWORD access, DWORD share, bool replace);

// A new private file in the temporary directory, under a unique name written to `out`:
// the name the system reserves is taken away and created again privately, as the
// reserved file carries the directory's entries. False when no private file could be
// made in a few attempts or the name does not fit `capacity`.
bool makePrivateTempFile(char* out, size_t capacity, DWORD access, DWORD share, UniqueFile& file);

// The SID text of a kernel object's owner; empty when it cannot be read.
std::wstring objectOwnerSid(HANDLE object);

// True for owners that only the system or an administrator can be, or this process's
// own account: SYSTEM, LOCAL SERVICE, NETWORK SERVICE, the Administrators group.
bool isTrustedOwner(const std::wstring& sid);
