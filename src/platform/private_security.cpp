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
constexpr wchar_t kLocalServiceSid[] = L"S-1-5-19";
constexpr wchar_t kNetworkServiceSid[] = L"S-1-5-20";
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

bool isTrustedOwner(const std::wstring& sid)
{
    if (sid.empty()) {
        return false;
    }
    for (const wchar_t* trusted : {kSystemSid, kLocalServiceSid, kNetworkServiceSid, kAdministratorsSid}) {
        if (sid == trusted) {
            return true;
        }
    }
    return sid == processAccountSid();
}
