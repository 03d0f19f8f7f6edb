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
#include <vector>

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

// Makes an object that this process just made and holds (`handle` opened with WRITE_DAC
// and WRITE_OWNER) private, as if it had been created with the descriptor of `kind`.
bool makeFilePrivate(HANDLE handle, PrivateKind kind);

// The SID text of a kernel object's owner; empty when it cannot be read.
std::wstring objectOwnerSid(HANDLE object);

// True for owners that only the system or an administrator can be, or this process's
// own account: SYSTEM, the Administrators group, the account the process runs as. LOCAL
// SERVICE and NETWORK SERVICE are such an owner only to a process of that account: any
// service of theirs may create objects too.
bool isTrustedOwner(const std::wstring& sid);

// What a file's or folder's descriptor says about who may reach it, read from a handle.
struct FileSecurity {
    std::wstring owner;                 // SID text
    bool hasAccessList = false;         // false: a null DACL, which lets everybody in
    bool isProtected = false;           // nothing is inherited from the parent
    std::vector<std::wstring> granted;  // SIDs of the entries that allow access
    bool otherEntries = false;          // entries of a kind other than plain allow or deny
};

// Reads owner and access list of an open file or folder (READ_CONTROL); false when the
// system cannot tell.
bool readFileSecurity(HANDLE file, FileSecurity& security);

// Whether a file or folder is as private as the launcher makes its own: owned by
// `account`, a protected access list (where the system keeps that flag) that lets in
// nobody but SYSTEM, the Administrators group and `account`. Deny entries only take away
// and are allowed.
enum class Privacy { privateToAccount, otherOwner, notProtected, openToOthers };
Privacy judgePrivacy(const FileSecurity& security, const std::wstring& account, bool protectionKept);
const char* privacyText(Privacy privacy);

// Whether the system keeps a folder's "protected" flag. Wine keeps no descriptor for
// files at all: it shows entries made from the Unix mode bits, with this process's
// account as owner and without the flag, so under Wine the flag cannot be asked for.
bool systemKeepsProtection();
