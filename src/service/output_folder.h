// The folders of the application's output files that lie under the launcher's folder,
// made and opened to the service's account. Under Program Files only administrators and
// LocalSystem may write; a service under its own account (LocalService, NetworkService, a
// virtual or managed account) could not create its output files there. /install and
// /configure call grantOutputFolderAccess for each such folder with the entry's account.
//
// The security functions go through a table, the system's unless a test gives its own,
// as Wine neither resolves "NT SERVICE\x" nor keeps a folder's access list.
#pragma once

#include "model/service_entry.h"

#include <windows.h>
#include <aclapi.h>

#include <string>
#include <vector>

struct OutputFolderCalls {
    BOOL(WINAPI* lookupAccountName)(LPCWSTR system, LPCWSTR account, PSID sid, LPDWORD sidSize, LPWSTR domain,
                                    LPDWORD domainSize, PSID_NAME_USE use);
    DWORD(WINAPI* getSecurityInfo)(LPCWSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION what, PSID* owner,
                                   PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor);
    DWORD(WINAPI* setEntriesInAcl)(ULONG count, PEXPLICIT_ACCESS_W entries, PACL oldAcl, PACL* newAcl);
    DWORD(WINAPI* setSecurityInfo)(LPWSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION what, PSID owner,
                                   PSID group, PACL dacl, PACL sacl);
};

// The system's functions (ADVAPI32).
const OutputFolderCalls& systemOutputFolderCalls();

// The folders of the configured output files (standard output and error, then the
// service process's capture file) that lie below the launcher's own folder; each once, in
// the order of the records. Never the launcher's folder itself: an account that may write
// there could replace the launcher, which administrators run (an output file there is
// logged and left to accounts that may write there already).
std::vector<std::wstring> outputFoldersUnderLauncher();

// Creates `folder` (with the folders above it that are missing) and grants `account`
// read, write and delete on it and everything below it, inherited by what is made there
// later. Nothing to grant for LocalSystem. NO_ERROR, or the error of the step that failed;
// `step` (optional) names it ("creating the folder", "looking up the account", ...).
DWORD grantOutputFolderAccess(const std::wstring& folder, const servicemodel::ServiceAccount& account,
                              const char** step = nullptr, const OutputFolderCalls& calls = systemOutputFolderCalls());
