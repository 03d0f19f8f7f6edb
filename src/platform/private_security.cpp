// Private security descriptors and the files and folders created with them.
#include "platform/private_security.h"

#include "platform/diagnostic_log.h"
#include "platform/paths.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstdint>
#include <vector>

namespace {

constexpr int kPrivateTempFileAttempts = 10;

constexpr wchar_t kSystemSid[] = L"S-1-5-18";
constexpr wchar_t kAdministratorsSid[] = L"S-1-5-32-544";

std::wstring sidText(PSID sid)
{
    wchar_t* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, &text)) {
        return std::wstring();
    }
    std::wstring result(text);
    LocalFree(text);
    return result;
}

} // namespace

std::wstring processAccountSid()
{
    UniqueHandleNull token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return std::wstring();
    }
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) {
        return std::wstring();
    }
    std::vector<uint64_t> buffer(size / sizeof(uint64_t) + 1);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
        return std::wstring();
    }
    return sidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

std::wstring privateSecurityText(PrivateKind kind)
{
    const std::wstring account = processAccountSid();
    if (account.empty()) {
        return std::wstring();
    }
    const wchar_t* entry = kind == PrivateKind::directory ? L"(A;OICI;FA;;;"
                           : kind == PrivateKind::file    ? L"(A;;FA;;;"
                                                          : L"(A;;GA;;;";
    std::wstring text = L"O:" + account + L"D:P";
    text += entry;
    text += L"SY)";
    text += entry;
    text += L"BA)";
    if (account != kSystemSid && account != kAdministratorsSid) {
        text += entry + account + L")";
    }
    return text;
}

PrivateSecurity::PrivateSecurity(PrivateKind kind)
{
    const std::wstring text = privateSecurityText(kind);
    if (text.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                                              &descriptor_, nullptr)) {
        logError("could not build a private security descriptor (error %d)", static_cast<int>(GetLastError()));
        descriptor_ = nullptr;
        return;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
}

PrivateSecurity::~PrivateSecurity()
{
    if (descriptor_ != nullptr) {
        LocalFree(descriptor_);
    }
}

bool createPrivateDirectory(const char* path)
{
    PrivateSecurity security(PrivateKind::directory);
    if (security.attributes() == nullptr) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return CreateDirectoryA(path, security.attributes()) != 0;
}

UniqueFile createPrivateFile(const char* path, DWORD access, DWORD share, bool replace)
{
    PrivateSecurity security(PrivateKind::file);
    if (security.attributes() == nullptr) {
        SetLastError(ERROR_ACCESS_DENIED);
        return UniqueFile();
    }
    return UniqueFile(CreateFileA(path, access, share, security.attributes(), replace ? CREATE_ALWAYS : CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool makePrivateTempFile(char* out, size_t capacity, DWORD access, DWORD share, UniqueFile& file)
{
    for (int attempt = 0; attempt < kPrivateTempFileAttempts; ++attempt) {
        if (!makeTempFileName(out, capacity)) {
            return false;
        }
        // The reserved file got the temporary directory's entries, and whoever may write
        // there may have opened it already: it goes, and the name is created anew.
        DeleteFileA(out);
        file = createPrivateFile(out, access, share, false);
        if (file) {
            return true;
        }
        logMessage("could not create private file %s (error %d)", out, static_cast<int>(GetLastError()));
    }
    return false;
}

std::wstring objectOwnerSid(HANDLE object)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return std::wstring();
    }
    std::wstring text = sidText(owner);
    LocalFree(descriptor);
    return text;
}

bool makeFilePrivate(HANDLE handle, PrivateKind kind)
{
    PrivateSecurity security(kind);
    if (security.attributes() == nullptr) {
        return false;
    }
    PSECURITY_DESCRIPTOR descriptor = security.attributes()->lpSecurityDescriptor;
    PSID owner = nullptr;
    PACL list = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) || owner == nullptr || list == nullptr) {
        return false;
    }
    const DWORD result = SetSecurityInfo(
        handle, SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, owner, nullptr,
        list, nullptr);
    SetLastError(result);
    return result == ERROR_SUCCESS;
}

bool isTrustedOwner(const std::wstring& sid)
{
    if (sid.empty()) {
        return false;
    }
    if (sid == kSystemSid || sid == kAdministratorsSid) {
        return true;
    }
    return sid == processAccountSid();
}

bool readFileSecurity(HANDLE file, FileSecurity& security)
{
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD result = GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                         &owner, nullptr, &list, nullptr, &descriptor);
    if (result != ERROR_SUCCESS) {
        SetLastError(result);
        return false;
    }
    security = FileSecurity();
    security.owner = sidText(owner);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    bool complete = !security.owner.empty() && GetSecurityDescriptorControl(descriptor, &control, &revision);
    security.isProtected = (control & SE_DACL_PROTECTED) != 0;
    security.hasAccessList = list != nullptr;
    for (DWORD index = 0; complete && list != nullptr && index < list->AceCount; ++index) {
        void* entry = nullptr;
        if (!GetAce(list, index, &entry)) {
            complete = false;
            break;
        }
        const BYTE type = static_cast<const ACE_HEADER*>(entry)->AceType;
        if (type == ACCESS_ALLOWED_ACE_TYPE) {
            const std::wstring sid = sidText(&static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart);
            if (sid.empty()) {
                complete = false;
            }
            security.granted.push_back(sid);
        } else if (type != ACCESS_DENIED_ACE_TYPE) {
            security.otherEntries = true;
        }
    }
    LocalFree(descriptor);
    return complete;
}

Privacy judgePrivacy(const FileSecurity& security, const std::wstring& account, bool protectionKept)
{
    if (account.empty() || security.owner != account) {
        return Privacy::otherOwner;
    }
    if (!security.hasAccessList || security.otherEntries) {
        return Privacy::openToOthers;
    }
    for (const std::wstring& sid : security.granted) {
        if (sid != kSystemSid && sid != kAdministratorsSid && sid != account) {
            return Privacy::openToOthers;
        }
    }
    if (protectionKept && !security.isProtected) {
        return Privacy::notProtected;
    }
    return Privacy::privateToAccount;
}

const char* privacyText(Privacy privacy)
{
    switch (privacy) {
    case Privacy::privateToAccount: return "private to this account";
    case Privacy::otherOwner: return "owned by another account";
    case Privacy::notProtected: return "its access list is inherited";
    case Privacy::openToOthers: return "open to other accounts";
    }
    return "unknown";
}

bool systemKeepsProtection()
{
    static const bool kept =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr;
    return kept;
}
