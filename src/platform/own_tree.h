// What the launcher removes from a folder that other accounts may write (the system's
// temporary directory, for a service): only what it can prove, from a handle, that its
// own account made privately, and through handles from there on, so that no name another
// account chose or changed leads the removal anywhere else.
//
// A folder is opened without following a reparse point and held without delete sharing,
// so that it can be neither renamed nor replaced while it is judged and emptied; its owner
// and access list are read from that handle. Below it, each entry is opened relative to
// its parent's handle by the name the listing gave (wide, so no character is mapped to
// another), checked to be the entry that was listed, and deleted through its own handle.
#pragma once

#include "platform/handle.h"
#include "platform/private_security.h"

#include <windows.h>

#include <string>

// Whose a file or folder is, as far as the launcher may act on it.
struct OwnershipRule {
    std::wstring account;  // the SID text the owner must be
    bool protectionKept;   // whether the system keeps the protected flag (it is then asked for)
};
// The rule for this process: its own account.
OwnershipRule thisProcessOwnership();

enum class Provenance {
    own,          // made privately by the rule's account: the handle is held
    absent,       // nothing of that name
    held,         // another process has it open without sharing
    link,         // a reparse point (link, junction, mount point)
    otherKind,    // a file where a folder was expected, or the reverse
    notPrivate,   // see the privacy that the log line gives
    unreadable,   // it could not be opened or its descriptor read (GetLastError tells)
};

// Opens `path` (a directory when `directory` is set, else a file) for deletion, sharing
// read and write only, and judges it. `own` leaves the handle in `opened`; anything else
// leaves `opened` empty, and for notPrivate sets `privacy`.
Provenance openOwn(const wchar_t* path, bool directory, const OwnershipRule& rule, UniqueFile& opened,
                   Privacy* privacy = nullptr);

// Deletes what the handle (opened with DELETE access) names once the handle is closed.
bool markForDeletion(HANDLE handle);

// Removes everything below the held directory, then the directory itself, through
// handles. A link below it is never entered or followed (it stays, and so does its
// folder); an entry that is not the one listed, a file still open elsewhere, a read-only
// file with other names (clearing the flag would change the file behind them) all stay
// and are logged with `shownPath` in front. True when the directory is gone.
bool removeOwnTree(UniqueFile directory, const std::wstring& shownPath);

// For tests: called with each directory's shown path after it was listed and before any
// entry of it is opened, the moment another process would have to change it in.
void setTreeListedHookForTesting(void (*hook)(const std::wstring& directory));
