// Output folders under the launcher's folder, opened to the service's account.
#include "service/output_folder.h"

#include "format/record_ids.h"
#include "jvm/launch/java_vm_launcher.h"
#include "platform/diagnostic_log.h"
#include "platform/paths.h"
#include "platform/text_conversion.h"
#include "service/output_capture.h"

#include <vector>

namespace {

// Frees what the security functions allocate, on every way out.
struct LocalMemory {
    HLOCAL memory = nullptr;
    ~LocalMemory()
    {
        if (memory != nullptr) LocalFree(memory);
    }
};

bool below(const std::wstring& path, const std::wstring& folderWithSlash)
{
    return path.size() > folderWithSlash.size() &&
           CompareStringOrdinal(path.c_str(), static_cast<int>(folderWithSlash.size()), folderWithSlash.c_str(),
                                static_cast<int>(folderWithSlash.size()), TRUE) == CSTR_EQUAL;
}

// Creates the folder and those above it that are missing.
DWORD createFolders(const std::wstring& folder)
{
    if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
        DWORD attributes = GetFileAttributesW(folder.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                   ? static_cast<DWORD>(NO_ERROR)
                   : static_cast<DWORD>(ERROR_DIRECTORY);
    }
    if (GetLastError() != ERROR_PATH_NOT_FOUND) {
        return GetLastError();
    }
    size_t slash = folder.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash < 3) {
        return ERROR_PATH_NOT_FOUND;
    }
    DWORD error = createFolders(folder.substr(0, slash));
    if (error != NO_ERROR) return error;
    return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS
               ? static_cast<DWORD>(NO_ERROR)
               : GetLastError();
}

} // namespace

const OutputFolderCalls& systemOutputFolderCalls()
{
    static const OutputFolderCalls calls = {LookupAccountNameW, GetNamedSecurityInfoW, SetEntriesInAclW,
                                            SetNamedSecurityInfoW};
    return calls;
}

std::vector<std::wstring> outputFoldersUnderLauncher()
{
    std::vector<std::wstring> folders;
    const std::wstring launcherFolder = getModuleDirW();  // ends with a backslash
    const std::pair<int, int> files[] = {{cfg::redirectStdout, cfg::stdoutFile},
                                         {cfg::redirectStderr, cfg::stderrFile}};
    std::vector<std::wstring> names;
    for (const auto& [on, path] : files) {
        names.push_back(redirectionPath(on, path));
    }
    // The service process's capture file too (service/output_capture.h).
    std::wstring capture;
    std::string problem;
    if (captureFilePath(&capture, &problem)) names.push_back(capture);
    for (const std::wstring& file : names) {
        size_t slash = file.find_last_of(L'\\');
        if (file.empty() || file[0] == L'$' || slash == std::wstring::npos) continue;
        std::wstring folder = file.substr(0, slash);
        // The launcher's own folder is never opened: an account that may write there could
        // replace the launcher, which administrators run.
        if (!below(folder, launcherFolder)) {
            if (launcherFolder.size() == folder.size() + 1 &&
                CompareStringOrdinal(folder.c_str(), static_cast<int>(folder.size()), launcherFolder.c_str(),
                                     static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL) {
                logMessage("output file %S is in the launcher's own folder, which is opened to no account",
                           file.c_str());
            }
            continue;
        }
        bool known = false;
        for (const std::wstring& earlier : folders) {
            known = known || CompareStringOrdinal(earlier.c_str(), -1, folder.c_str(), -1, TRUE) == CSTR_EQUAL;
        }
        if (!known) folders.push_back(folder);
    }
    return folders;
}

DWORD grantOutputFolderAccess(const std::wstring& folder, const servicemodel::ServiceAccount& account,
                              const char** step, const OutputFolderCalls& calls)
{
    const char* ignored = nullptr;
    const char*& at = step != nullptr ? *step : ignored;
    at = "creating the folder";
    DWORD error = createFolders(folder);
    if (error != NO_ERROR || account.kind == servicemodel::AccountKind::localSystem) {
        return error;
    }
    // ".\user" is a local account, which the lookup finds by its name alone.
    std::string name = account.name.rfind(".\\", 0) == 0 ? account.name.substr(2) : account.name;
    std::wstring wideName = toWide(name, CP_ACP);
    at = "looking up the account";
    DWORD sidSize = 0, domainSize = 0;
    SID_NAME_USE use;
    calls.lookupAccountName(nullptr, wideName.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
    if (sidSize == 0) {
        return GetLastError() != NO_ERROR ? GetLastError() : static_cast<DWORD>(ERROR_NONE_MAPPED);
    }
    std::vector<BYTE> sid(sidSize);
    std::vector<wchar_t> domain(domainSize + 1);
    if (!calls.lookupAccountName(nullptr, wideName.c_str(), sid.data(), &sidSize, domain.data(), &domainSize, &use)) {
        return GetLastError();
    }
    at = "reading the folder's access list";
    std::wstring path = folder;
    PACL dacl = nullptr;
    LocalMemory descriptor;
    error = calls.getSecurityInfo(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                  reinterpret_cast<PSECURITY_DESCRIPTOR*>(&descriptor.memory));
    if (error != NO_ERROR) return error;
    EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
    access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(sid.data());
    at = "granting the access";
    LocalMemory changed;
    error = calls.setEntriesInAcl(1, &access, dacl, reinterpret_cast<PACL*>(&changed.memory));
    if (error != NO_ERROR) return error;
    return calls.setSecurityInfo(&path[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 static_cast<PACL>(changed.memory), nullptr);
}
