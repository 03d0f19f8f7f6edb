// Loading the Java VM library. The search may accept several candidates whose library
// does not load; the source of the last one decides which message helps the user.
#include "jvm/discovery/jvm_library.h"

#include "config/config_store.h"
#include "config/messages.h"
#include "config/variable_expansion.h"
#include "format/record_ids.h"
#include "jvm/discovery/java_probe.h"
#include "jvm/discovery/jvm_search.h"
#include "platform/diagnostic_log.h"
#include "platform/text_format.h"

#include <windows.h>

#include <cstring>
#include <string>

CreateJavaVmFunction createJavaVmEntry = nullptr;

namespace {

// The rejected runtimes the no-runtime message names; the diagnostic log has them all.
constexpr size_t kRejectedRuntimesShown = 8;

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

// The configured no-runtime message, then the runtimes that were found and why each was
// rejected: the stored text stays as it is, the names follow it.
void showNoRuntimeFound()
{
    char message[kTextCapacity];
    showCut(getConfigString(cfg::msgNoJvmFound, message, sizeof message));  // only shown
    std::string text = substituteArgument(message, "64");
    const std::string rejected = rejectedRuntimesText(kRejectedRuntimesShown);
    if (!rejected.empty()) {
        text += "\n\n" + rejected;
    }
    showError(text.c_str());
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
            showNoRuntimeFound();
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
