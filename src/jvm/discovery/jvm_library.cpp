// Loading the Java VM library. The search may accept several candidates whose library
// does not load; the source of the last one decides which message helps the user.
#include "jvm/discovery/jvm_library.h"

#include "config/config_store.h"
#include "config/messages.h"
#include "config/variable_expansion.h"
#include "config/user_locale.h"
#include "format/record_ids.h"
#include "jvm/discovery/java_probe.h"
#include "jvm/discovery/jvm_search.h"
#include "platform/diagnostic_log.h"
#include "platform/text_conversion.h"
#include "platform/text_format.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

CreateJavaVmFunction createJavaVmEntry = nullptr;

namespace {

// The directory of the Java executable (trailing backslash kept) followed by "..".
void setJvmHome(const char* javaExecutable)
{
    size_t length = std::strlen(javaExecutable);
    size_t nameLength = executableNameLength(javaExecutable);
    int directoryLength = length >= nameLength ? static_cast<int>(length - nameLength) : 0;
    if (!formatText(jvmHome, sizeof jvmHome, "%.*s..", directoryLength, javaExecutable)) {
        jvmHome[0] = '\0';  // a cut home would name another directory
        logError("jvm home of %s too long", javaExecutable);
    }
}

// The message that no runtime fits: the configured text, and the runtimes that were found
// but rejected (with their version), so that the user learns what is there and what is not
// enough. A message whose text names no runtime is the configured text alone.
void showNoRuntimeMessage()
{
    wchar_t configured[kTextCapacity];
    getConfigWString(cfg::msgNoJvmFound, configured, kTextCapacity);
    std::wstring message = substituteArgumentW(configured, L"64");
    const std::vector<std::string>& rejected = rejectedRuntimes();
    if (!rejected.empty()) {
        const wchar_t* heading = L"Found and rejected:";
        if (std::strcmp(localeLanguage, "de") == 0) {
            heading = L"Gefunden und nicht verwendet:";
        } else if (std::strcmp(localeLanguage, "fr") == 0) {
            heading = L"Trouv\u00e9es et \u00e9cart\u00e9es :";
        }
        if (!message.empty() && message.back() != L'\n') {
            message += L'\n';
        }
        message += heading;
        for (const std::string& runtime : rejected) {
            message += L"\n  " + toWide(runtime, fileApiCodePage());
        }
    }
    showErrorW(message.c_str());
}

} // namespace

bool LoadDLL(bool reportErrors)
{
    char javaExecutable[kTextCapacity] = "";
    char sourceText[kTextCapacity] = "";
    logMessage("LoadDLL (%d, %s, %d)", reportErrors ? 1 : 0, "(null)", 0);

    JvmSource source = JvmSource::None;
    HMODULE module = findJvm(javaExecutable, sizeof javaExecutable, &source, sourceText, sizeof sourceText);
    if (source == JvmSource::None) {
        logError("No JVM found");
        if (reportErrors) {
            showNoRuntimeMessage();
        }
        return false;
    }

    setJvmHome(javaExecutable);
    if (module == nullptr) {
        logError("Could not get DLL-Handle.");
    }
    FARPROC entry = module != nullptr ? GetProcAddress(module, "JNI_CreateJavaVM") : nullptr;
    // GetProcAddress returns a generic function pointer; the export has the JNI signature.
    createJavaVmEntry = reinterpret_cast<CreateJavaVmFunction>(reinterpret_cast<void*>(entry));
    if (createJavaVmEntry == nullptr) {
        logError("Could not load functions");
    }
    if (module != nullptr && createJavaVmEntry != nullptr) {
        logMessage("Loading of JVM-DLL successful");
        return true;
    }
    if (reportErrors) {
        switch (source) {
        case JvmSource::SearchPath: showConfigMessage(cfg::msgNoJvmFound, "64"); break;
        case JvmSource::Directory: showConfigMessage(cfg::msgJvmDamaged, sourceText); break;
        case JvmSource::EnvironmentVariable: showConfigMessage(cfg::msgJvmVariableUnusable, sourceText); break;
        case JvmSource::Registry:
        case JvmSource::None: break;
        }
        showConfigMessageW(cfg::msgJvmNotStartable, nullptr);
    }
    return false;
}
