// The right to log on as a service ("SeServiceLogonRight") for the account of a service
// entry. The service manager takes any account without it, and the service then fails at
// every start with error 1069; /install grants it through the local security policy
// (LSA) instead, when the configuration asks for it and the account does not hold it yet.
//
// How /install uses it: after the install plan (start, account, password) is complete
// and before anything touches the service manager (not even the stop of a running
// service), when
//     servicemodel::grantsLogonRight(dupConfigString(cfg::serviceGrantLogonRight), account)
// holds, it calls ensureLogonRight(account) and prints logonRightLine(result) when that
// line is not empty. A result of `failed` refuses the install like any other refused
// plan: the line says that nothing was installed, explainError(result.error) may follow,
// and the existing service stays as it was. The grant itself stays when a later step of
// the install fails: the right is the account's, not the entry's.
//
// Every LSA call goes through a table of functions, the system's unless a test gives its
// own, so that a test sees the calls and makes them fail.
#pragma once

#include "model/service_entry.h"

#include <windows.h>
#include <ntsecapi.h>

#include <string>

struct LogonRightCalls {
    BOOL(WINAPI* lookupAccountName)(LPCWSTR system, LPCWSTR account, PSID sid, LPDWORD sidSize, LPWSTR domain,
                                    LPDWORD domainSize, PSID_NAME_USE use);
    NTSTATUS(NTAPI* openPolicy)(PLSA_UNICODE_STRING system, PLSA_OBJECT_ATTRIBUTES attributes, ACCESS_MASK access,
                                PLSA_HANDLE policy);
    NTSTATUS(NTAPI* enumerateAccountRights)(LSA_HANDLE policy, PSID sid, PLSA_UNICODE_STRING* rights, PULONG count);
    NTSTATUS(NTAPI* addAccountRights)(LSA_HANDLE policy, PSID sid, PLSA_UNICODE_STRING rights, ULONG count);
    NTSTATUS(NTAPI* freeMemory)(PVOID buffer);
    NTSTATUS(NTAPI* close)(LSA_HANDLE policy);
};

// The system's functions (ADVAPI32).
const LogonRightCalls& systemLogonRightCalls();

enum class LogonRightOutcome {
    notNeeded,    // LocalSystem, a built-in or a virtual account: nothing to grant
    alreadyHeld,  // the account holds the right itself
    granted,      // the account was given the right
    failed,       // the account does not hold it and could not be given it
};

struct LogonRightResult {
    LogonRightOutcome outcome = LogonRightOutcome::notNeeded;
    std::string account;  // the account's name as the configuration gives it
    DWORD error = 0;      // failed: the system's error code
    const char* step = "";  // failed: the step that failed ("looking up the account", ...)
};

// The account holds the right afterwards, unless the result says `failed`. A local
// account ".\user" is looked up as COMPUTER\user; "user@domain" and "DOMAIN\name$" as
// they stand.
LogonRightResult ensureLogonRight(const servicemodel::ServiceAccount& account,
                                  const LogonRightCalls& calls = systemLogonRightCalls());

// The console line of a result, with its line end: "The account CORP\alice was granted
// the right to log on as a service.", or for a failure the step, the error and "nothing
// was installed"; "" when there is nothing to say (not needed, already held).
std::string logonRightLine(const LogonRightResult& result);
