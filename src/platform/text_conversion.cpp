// Narrow and wide text conversions; see the header for the code page of each.
#include "platform/text_conversion.h"

std::wstring widenBytes(const std::string& text)
{
    std::wstring wide;
    wide.reserve(text.size());
    for (unsigned char c : text) {
        wide += static_cast<wchar_t>(c);
    }
    return wide;
}

std::string narrowForDisplay(const std::wstring& text)
{
    std::string narrow;
    narrow.reserve(text.size());
    for (wchar_t c : text) {
        if (c <= 0xFF) {
            narrow += static_cast<char>(c);
            continue;
        }
        char bytes[8];
        BOOL usedDefault = FALSE;
        int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &c, 1, bytes, sizeof bytes, "?", &usedDefault);
        if (n <= 0) {
            narrow += '?';
        } else {
            narrow.append(bytes, static_cast<size_t>(n));
        }
    }
    return narrow;
}

UINT fileApiCodePage()
{
    return AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

std::wstring toWide(const std::string& text, UINT codePage)
{
    if (text.empty()) {
        return std::wstring();
    }
    int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) {
        return widenBytes(text);
    }
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string toNarrow(const std::wstring& text, UINT codePage, bool* replaced)
{
    if (replaced != nullptr) {
        *replaced = false;
    }
    if (text.empty()) {
        return std::string();
    }
    BOOL usedDefault = FALSE;
    // UTF-8 and UTF-7 refuse a default character; no character can be lost there.
    bool canReplace = codePage != CP_UTF8 && codePage != CP_UTF7;
    int n = WideCharToMultiByte(codePage, canReplace ? WC_NO_BEST_FIT_CHARS : 0, text.data(),
                                static_cast<int>(text.size()), nullptr, 0, canReplace ? "?" : nullptr,
                                canReplace ? &usedDefault : nullptr);
    if (n <= 0) {
        if (replaced != nullptr) {
            *replaced = true;
        }
        return std::string(text.size(), '?');
    }
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, canReplace ? WC_NO_BEST_FIT_CHARS : 0, text.data(), static_cast<int>(text.size()),
                        &narrow[0], n, canReplace ? "?" : nullptr, canReplace ? &usedDefault : nullptr);
    if (replaced != nullptr && usedDefault) {
        *replaced = true;
    }
    return narrow;
}
