// Test support: reading who may get at a file or folder, as a test would check that only
// the launcher's own account, SYSTEM and the administrators can.
#pragma once

#include <string>
#include <vector>

// The entries of an access list in SDDL form ("D:P(A;OICI;FA;;;SY)(...)") that grant
// something to Everyone, the Users group or Authenticated Users, in their aliases or SIDs.
inline std::vector<std::string> entriesForEverybody(const std::string& sddl)
{
    std::vector<std::string> found;
    for (size_t open = sddl.find('('); open != std::string::npos; open = sddl.find('(', open + 1)) {
        const size_t close = sddl.find(')', open);
        if (close == std::string::npos) break;
        const std::string entry = sddl.substr(open, close - open + 1);
        const std::string trustee = entry.substr(entry.rfind(';') + 1, entry.size() - entry.rfind(';') - 2);
        for (const char* everybody : {"WD", "BU", "AU", "S-1-1-0", "S-1-5-32-545", "S-1-5-11"}) {
            if (trustee == everybody && entry.compare(0, 3, "(A;") == 0) found.push_back(entry);
        }
    }
    return found;
}

#ifdef _WIN32
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

// The access list of a file or folder in SDDL form; "<unreadable>" when it cannot be read.
inline std::string accessListOf(const std::wstring& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    char* text = nullptr;
    std::string result = "<unreadable>";
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                              nullptr, &descriptor) == ERROR_SUCCESS &&
        ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr)) {
        result = text;
    }
    LocalFree(text);
    LocalFree(descriptor);
    return result;
}

// The same for an ASCII path.
inline std::string accessListOf(const std::string& path)
{
    return accessListOf(std::wstring(path.begin(), path.end()));
}
#endif
