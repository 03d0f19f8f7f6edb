// The in-process launch, strictly in this order: included files, the configured
// environment variables, native libraries in front of PATH, the service child's console
// handler, the single-instance guard, the Java runtime, then the VM and the application's
// main. Every failure before main runs ends the process with exit code 1 and removes the
// launcher's temporary directory.
#include "launcher/launch_sequence.h"

#include "config/config_store.h"
#include "config/environment_settings.h"
#include "config/included_files.h"
#include "config/messages.h"
#include "config/variable_expansion.h"
#include "format/record_ids.h"
#include "instance/single_instance.h"
#include "jvm/discovery/jvm_library.h"
#include "jvm/launch/java_vm_launcher.h"
#include "platform/diagnostic_log.h"
#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/text_format.h"
#include "service/service_main.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

void prependNativeLibraryPath()
{
    char directories[kTextCapacity];
    const bool whole = getConfigString(cfg::nativeLibraryDirectories, directories, sizeof directories);
    logMessage("native lib dir is %s", directories);
    // A cut list ends in a cut directory and loses those behind it: none goes in front of PATH.
    if (!whole || !expandVariablesA(directories, sizeof directories)) {
        logTooLong("native library directories");
        return;
    }

    std::string result;
    std::string entry;
    auto addEntry = [&result](const std::string& text) {
        char resolved[kTextCapacity];
        // An absolute entry is kept; a relative one goes behind the executable's directory.
        // A cut one would be another directory.
        if (text.empty() || !resolvePath(resolved, sizeof resolved, text.c_str())) return;
        if (!result.empty()) result += ';';
        result += resolved;
    };
    for (const char* p = directories; *p != '\0'; ++p) {
        if (*p == ';') {
            addEntry(entry);
            entry.clear();
        } else {
            entry += *p;
        }
    }
    addEntry(entry);
    if (!result.empty() && result.back() != ';') {
        result += ';';
    }

    // PATH is read whole: a cut PATH written back would lose directories for good.
    result += environmentValue("PATH");
    // A value too long for the system leaves PATH as it was, rather than stored cut.
    if (setEnvironmentValue("PATH", result)) {
        logMessage("Setting PATH (native libs) %s", result.c_str());
    } else {
        logMessage("Setting PATH (native libs) %s failed with error %d", result.c_str(),
                   static_cast<int>(GetLastError()));
    }
}

void launchApplication(ArgumentList& arguments, bool serviceChild)
{
    if (extractIncludedFiles() != 0) {
        fatalConfigError(cfg::msgInternalError, "16");
    }
    // The configured environment first, before anything of the start reads it, and after
    // the extraction, whose directory the launcher chooses by its own rules and which
    // ${launcher:sys.launcherTempDirectory} names.
    applyEnvironmentSettings();
    prependNativeLibraryPath();
    if (serviceChild) {
        logMessage("registering ConsoleCtrlHandler");
        SetConsoleCtrlHandler(consoleCtrlHandler, TRUE);
    }
    enforceSingleInstance();
    if (!LoadDLL(true)) {
        exitLauncher(1);
    }
    if (!runJavaApplication(arguments, true)) {
        exitLauncher(1);
    }
}
