// VM creation and the call of the launcher runtime class.
#include "jvm/launch/java_vm_launcher.h"

#include "config/config_store.h"
#include "config/included_files.h"
#include "config/messages.h"
#include "config/run_settings.h"
#include "config/start_failure_report.h"
#include "config/variable_expansion.h"
#include "format/record_ids.h"
#include "instance/single_instance.h"
#include "jvm/discovery/jvm_library.h"
#include "jvm/launch/class_path.h"
#include "jvm/launch/service_signal_natives.h"
#include "platform/diagnostic_log.h"
#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/text_conversion.h"
#include "platform/text_format.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

JavaVM* javaVm = nullptr;
JNIEnv* mainEnv = nullptr;

namespace {

constexpr int kSplashTextCapacity = 2000;
constexpr int kDefaultArgumentsCapacity = 2000;
constexpr char kSplashSignature[] =
    "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V";

// Option strings and the options array live until the process ends, as the VM expects.
std::vector<std::string>* vmOptionTexts = nullptr;
std::vector<JavaVMOption>* vmOptionArray = nullptr;

std::string property(const char* name, const std::string& value)
{
    return std::string("-D") + name + "=" + value;
}


// Called by the VM when it ends through System.exit or Runtime.halt, after the shutdown
// hooks and before the VM ends the process with `code` itself: the cleanup of the fatal exit,
// without taking the ending away from the VM (which flushes its own buffers).
void JNICALL vmExitHook(jint code)
{
    logMessage("the VM exits with code %d", static_cast<int>(code));
    removeLauncherTempDir();
    fflush(stdout);
    fflush(stderr);
}

bool createJavaVm(const VmOptionList& options)
{
    vmOptionTexts = new std::vector<std::string>(options);
    // Last, so that it wins over an "exit" that a configuration might hold.
    vmOptionTexts->push_back(kVmExitHookOption);
    vmOptionArray = new std::vector<JavaVMOption>(vmOptionTexts->size());
    for (size_t i = 0; i < vmOptionTexts->size(); ++i) {
        (*vmOptionArray)[i].optionString = &(*vmOptionTexts)[i][0];
        (*vmOptionArray)[i].extraInfo = nullptr;
    }
    vmOptionArray->back().extraInfo = reinterpret_cast<void*>(&vmExitHook);
    JavaVMInitArgs initArgs{};
    initArgs.version = JNI_VERSION_1_2;
    initArgs.nOptions = static_cast<jint>(vmOptionArray->size());
    initArgs.options = vmOptionArray->empty() ? nullptr : vmOptionArray->data();
    initArgs.ignoreUnrecognized = JNI_TRUE;

    logMessage("Creating JVM");
    JavaVM* vm = nullptr;
    const jint created =
        createJavaVmEntry != nullptr ? createJavaVmEntry(&vm, reinterpret_cast<void**>(&mainEnv), &initArgs) : JNI_ERR;
    if (created != JNI_OK) {
        // The VM prints its own reason on standard error; a service's child tells the
        // service process too, which would otherwise take the end for the application's.
        const std::wstring text = L"The Java VM could not be created (JNI_CreateJavaVM returned " +
                                  std::to_wstring(created) + L"): an option of the VM may be wrong, or memory short.";
        logMessage("error before the application's main: %S", text.c_str());
        reportStartFailure(text);
        return false;
    }
    javaVm = vm;
    return true;
}

void handOverSplashSettings()
{
    jclass splashClass = mainEnv->FindClass("com/quill/runtime/WinLauncher");
    if (splashClass == nullptr) {
        logError("could not find main class for splash properties");
        // The lookup left a pending exception; the runtime class is looked up next.
        mainEnv->ExceptionClear();
        return;
    }
    jmethodID method = mainEnv->GetStaticMethodID(splashClass, "initAwtSplashConfig", kSplashSignature);
    if (method == nullptr) {
        logError("could not find method for splash properties");
        mainEnv->ExceptionClear();
        return;
    }
    auto text = [](int id) {
        char value[kSplashTextCapacity];
        showCut(getConfigString(id, value, sizeof value));  // only shown on the splash screen
        return mainEnv->NewStringUTF(value);
    };
    jstring statusText = text(cfg::statusLineText);
    jstring statusColour = text(cfg::statusLineColour);
    jstring versionText = text(cfg::versionLineText);
    jstring versionColour = text(cfg::versionLineColour);
    mainEnv->CallStaticVoidMethod(
        splashClass, method, static_cast<jboolean>(JNI_TRUE),
        static_cast<jboolean>(getConfigInt(cfg::splashSecondFlag) != 0 ? JNI_TRUE : JNI_FALSE), statusText,
        static_cast<jint>(getConfigInt(cfg::statusLineX)), static_cast<jint>(getConfigInt(cfg::statusLineY)),
        statusColour, static_cast<jint>(getConfigInt(cfg::statusLineFontSize)),
        static_cast<jint>(getConfigInt(cfg::statusLineFontWeight)), versionText,
        static_cast<jint>(getConfigInt(cfg::versionLineX)), static_cast<jint>(getConfigInt(cfg::versionLineY)),
        versionColour, static_cast<jint>(getConfigInt(cfg::versionLineFontSize)),
        static_cast<jint>(getConfigInt(cfg::versionLineFontWeight)));
    mainEnv->DeleteLocalRef(statusText);
    mainEnv->DeleteLocalRef(statusColour);
    mainEnv->DeleteLocalRef(versionText);
    mainEnv->DeleteLocalRef(versionColour);
}

bool checkFirstRun()
{
    // A cut directory is another one, whose marker does not count.
    char installDir[kSplashTextCapacity];
    char full[kTextCapacity];
    char marker[kTextCapacity];
    if (!getConfigString(cfg::installationDirectory, installDir, sizeof installDir) ||
        !getFullPath(full, sizeof full, installDir, true) ||
        !formatText(marker, sizeof marker, "%s\\.deploykit\\firstrun", full) || !fileExists(marker)) {
        return true;
    }
    jclass firstRunClass = mainEnv->FindClass("com/deploykit/runtime/launcher/FirstRun");
    if (firstRunClass == nullptr) {
        fatalConfigError(cfg::msgInternalError, "14");
    }
    jmethodID method = mainEnv->GetStaticMethodID(firstRunClass, "firstRun", "()Z");
    if (method == nullptr) {
        fatalConfigError(cfg::msgInternalError, "15");
    }
    jboolean result = mainEnv->CallStaticBooleanMethod(firstRunClass, method);
    if (mainEnv->ExceptionOccurred() != nullptr) {
        mainEnv->ExceptionDescribe();
        return false;
    }
    return result != JNI_FALSE;
}

// The description of an exception (Throwable.toString); empty when it cannot be had. Leaves
// no exception pending.
std::wstring describeException(jthrowable thrown)
{
    std::wstring text;
    jclass throwable = mainEnv->FindClass("java/lang/Throwable");
    jmethodID toString =
        throwable != nullptr ? mainEnv->GetMethodID(throwable, "toString", "()Ljava/lang/String;") : nullptr;
    jstring description = toString != nullptr ? static_cast<jstring>(mainEnv->CallObjectMethod(thrown, toString))
                                              : nullptr;
    if (description != nullptr && mainEnv->ExceptionOccurred() == nullptr) {
        const jsize length = mainEnv->GetStringLength(description);
        if (const jchar* chars = mainEnv->GetStringChars(description, nullptr)) {
            text.assign(reinterpret_cast<const wchar_t*>(chars), static_cast<size_t>(length));
            mainEnv->ReleaseStringChars(description, chars);
        }
    }
    mainEnv->ExceptionClear();
    if (description != nullptr) mainEnv->DeleteLocalRef(description);
    if (throwable != nullptr) mainEnv->DeleteLocalRef(throwable);
    return text;
}

// The runtime class ends the VM itself when the application's main throws (as
// System.exit(1)); an exception that comes back from it is its own, from before the
// application's main: an output file it cannot open, a main class it cannot find. In a
// service's child that is a start failure like those the launcher shows, with the
// exception's description as its reason. The exception stays pending for its description
// on standard error.
void reportRuntimeStartFailure()
{
    if (!startFailureReportOpen()) {
        return;
    }
    jthrowable thrown = mainEnv->ExceptionOccurred();
    mainEnv->ExceptionClear();
    std::wstring text = describeException(thrown);
    if (text.empty()) {
        text = L"The launcher's runtime class ended with an exception before the application's main.";
    }
    logMessage("error before the application's main: %S", text.c_str());
    reportStartFailure(text);
    mainEnv->Throw(thrown);
}

bool invokeLauncherMain(const ArgumentList& arguments)
{
    if (flavour == 'd' && !checkFirstRun()) {
        logMessage("checkFirstRun stopped further execution");
        return true;
    }
    const char* className = launcherRuntimeClass();
    logMessage("main class: %s", className);
    jclass mainClass = mainEnv->FindClass(className);
    if (mainClass == nullptr) {
        logError("could not find main class");
        fatalConfigErrorW(cfg::msgMainClassNotLoadable, nullptr);
    }
    jmethodID mainMethod = mainEnv->GetStaticMethodID(mainClass, "main", "([Ljava/lang/String;)V");
    if (mainMethod == nullptr) {
        logError("could not find main method");
        fatalConfigErrorW(cfg::msgMainMethodNotFound, nullptr);
    }

    registerServiceSignalNatives(mainEnv);
    const std::vector<std::wstring> parameters = mainArguments(arguments);
    logMessage("param count: %d", static_cast<int>(parameters.size()));
    jclass stringClass = mainEnv->FindClass("java/lang/String");
    jobjectArray array = stringClass != nullptr
                             ? mainEnv->NewObjectArray(static_cast<jsize>(parameters.size()), stringClass, nullptr)
                             : nullptr;
    if (array == nullptr) {
        // No argument array means no call of main; the launch ends with exit code 1.
        logError("could not create the argument array (paramArray)");
        return false;
    }
    for (size_t i = 0; i < parameters.size(); ++i) {
        logMessage("param %d: %S", static_cast<int>(i), parameters[i].c_str());
        jstring value = mainEnv->NewString(reinterpret_cast<const jchar*>(parameters[i].data()),
                                           static_cast<jsize>(parameters[i].size()));
        if (value == nullptr) {
            logError("could not create argument %d (jstr)", static_cast<int>(i));
            return false;
        }
        mainEnv->SetObjectArrayElement(array, static_cast<jsize>(i), value);
    }
    logMessage("calling main");
    mainEnv->CallStaticVoidMethod(mainClass, mainMethod, array);
    logMessage("main returned");
    if (mainEnv->ExceptionOccurred() != nullptr) {
        logError("an exception occured");
        reportRuntimeStartFailure();
        mainEnv->ExceptionDescribe();
        exitVm(1);
        return false;
    }
    return true;
}

// The size limit of the output files goes to the runtime library, which rotates them. A
// block without the records (an older packager's) passes nothing, and the files grow as
// they always have. The size is passed as it stands: the runtime library is the one
// reader of it and refuses a value that is no byte count, naming it.
void addOutputLimitProperties(VmOptionList& properties)
{
    const ConfigStore& store = configStore();
    if (store.narrow.count(cfg::outputMaxSize) != 0) {
        properties.push_back(property("quill.outputMaxSize", dupConfigString(cfg::outputMaxSize)));
    }
    if (store.narrow.count(cfg::outputKeep) != 0) {
        properties.push_back(property("quill.outputKeep", std::to_string(getConfigInt(cfg::outputKeep))));
    }
    // The roll by time, the age limit and compression likewise, each only when its record
    // is there; the runtime library refuses a value it does not know, naming it.
    if (store.narrow.count(cfg::outputRoll) != 0) {
        properties.push_back(property("quill.outputRoll", dupConfigString(cfg::outputRoll)));
    }
    if (store.narrow.count(cfg::outputKeepDays) != 0) {
        properties.push_back(property("quill.outputKeepDays", std::to_string(getConfigInt(cfg::outputKeepDays))));
    }
    if (store.narrow.count(cfg::outputCompress) != 0) {
        properties.push_back(property("quill.outputCompress", getConfigInt(cfg::outputCompress) != 0 ? "true" : "false"));
    }
}

} // namespace

std::wstring redirectionPath(int switchId, int pathId)
{
    if (getConfigInt(switchId) == 0) {
        return std::wstring();
    }
    // A cut path is another file: the output then stays where it goes without redirection.
    wchar_t path[kTextCapacity];
    if (!getConfigWString(pathId, path, kTextCapacity) || !expandVariables(path, kTextCapacity, false)) {
        logTooLong("redirection path");
        return std::wstring();
    }
    if (path[0] == L'$') {
        return path;
    }
    wchar_t full[kTextCapacity];
    return getFullPathW(full, kTextCapacity, path, false, true) ? full : std::wstring();
}

void exitVm(int exitCode)
{
    fflush(stdout);
    fflush(stderr);
    jclass systemClass = mainEnv->FindClass("java/lang/System");
    jmethodID exitMethod = systemClass != nullptr ? mainEnv->GetStaticMethodID(systemClass, "exit", "(I)V") : nullptr;
    if (exitMethod == nullptr) {
        logError("could not find System.exit");
        mainEnv->ExceptionClear();
        return;
    }
    logMessage("System.exit(%d)", exitCode);
    mainEnv->CallStaticVoidMethod(systemClass, exitMethod, static_cast<jint>(exitCode));
    // Only when the exit was refused (a security manager): the caller ends the process.
    logError("System.exit(%d) returned", exitCode);
    if (mainEnv->ExceptionOccurred() != nullptr) {
        mainEnv->ExceptionDescribe();
    }
}

const char* launcherRuntimeClass()
{
    return flavour == 'd' ? "com/deploykit/runtime/launcher/WinLauncher" : "com/quill/runtime/WinLauncher";
}

VmOptionList buildLauncherProperties()
{
    VmOptionList properties;
    if (!instanceSemaphoreName.empty()) {
        properties.push_back(property("quill.semaphoreName", instanceSemaphoreName));
    }
    if (flavour == 'd') {
        properties.push_back("-Dquill.isDeploykit=true");
    }
    if (serviceMode) {
        properties.push_back("-Dquill.isService=true");
    }
    properties.push_back(property("quill.moduleName", getModulePath()));
    properties.push_back(property("sun.java.command", getModulePath()));
    properties.push_back(property("quill.tempDir", launcherTempDir));
    properties.push_back(property("quill.unextractedPosition", std::to_string(static_cast<int32_t>(unextractedPosition))));
    // PATH is read whole: the VM must see every directory on it.
    properties.push_back(property("java.library.path", environmentValue("PATH")));
    if (GetEnvironmentVariableA("MANPATH", nullptr, 0) == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        properties.push_back("-Dquill.consoleCodepage=cp" + std::to_string(GetConsoleOutputCP()));
    }
    addOutputLimitProperties(properties);
    return properties;
}

std::vector<std::wstring> mainArguments(const ArgumentList& arguments)
{
    std::vector<std::wstring> parameters;
    parameters.push_back(getConfigInt(cfg::launcherKind) == 1 ? L"true" : L"false");
    // Whole: a cut class name would be another class.
    parameters.push_back(widenBytes(dupConfigString(cfg::mainClass)));
    parameters.push_back(redirectionPath(cfg::redirectStderr, cfg::stderrFile));
    parameters.push_back(redirectionPath(cfg::redirectStdout, cfg::stdoutFile));
    parameters.push_back(getConfigInt(cfg::redirectAppendFlag) != 0 ? L"true" : L"false");
    if (!arguments.empty()) {
        parameters.push_back(arguments.first());
    }
    wchar_t defaults[kDefaultArgumentsCapacity];
    // A cut command line ends in a cut argument, and loses the ones behind it: none are passed.
    if (getConfigWString(cfg::defaultArguments, defaults, kDefaultArgumentsCapacity) &&
        expandVariables(defaults, kDefaultArgumentsCapacity, false)) {
        ArgumentList split;
        splitCommandLine(defaults, split);
        parameters.insert(parameters.end(), split.items.begin(), split.items.end());
    } else {
        logTooLong("default arguments");
    }
    const bool passJ = getConfigInt(cfg::passJArguments) != 0;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (passJ && argument.compare(0, 2, L"-J") == 0) continue;
        if (argument.compare(0, 29, L"-Dsun.locale.formatasdefault=") == 0) continue;
        parameters.push_back(argument);
    }
    return parameters;
}

VmOptionList buildVmOptions(const ArgumentList& arguments)
{
    VmOptionList options = buildLauncherProperties();
    ClassPathOverrides overrides;
    addConfiguredVmOptions(arguments, options, overrides);
    FILE* file = openDefaultVmOptionsFile();
    logMessage("default vmoptions file: %p", static_cast<void*>(file));
    readVmOptionsFile(nullptr, file, options, overrides);
    options.push_back(buildClassPathOption(overrides));
    if (serviceMode) {
        bool present = false;
        for (const std::string& option : options) {
            if (option == "-Xrs") present = true;
        }
        if (!present) {
            logMessage("service: adding -Xrs");
            options.push_back("-Xrs");
        }
    }
    if (noRedirect) {
        options.push_back("-Ddeploykit.noRedir=true");
    }
    logMessage("vmoption count %d", static_cast<int>(options.size()));
    for (size_t i = 0; i < options.size(); ++i) {
        logMessage("vmoption %d: %s", static_cast<int>(i), options[i].c_str());
    }
    return options;
}

bool runJavaApplication(const ArgumentList& arguments, bool destroyAfterMain)
{
    logMessage("launching program");
    if (!createJavaVm(buildVmOptions(arguments))) {
        logError("could not initialize JVM");
        return false;
    }
    logMessage("JVM created");
    if (getConfigInt(cfg::splashAfterVm) != 0 && getConfigInt(cfg::splashScreen) != 0) {
        handOverSplashSettings();
    }
    if (!invokeLauncherMain(arguments)) {
        logError("could not call main");
        return false;
    }
    if (destroyAfterMain) {
        logMessage("dest JVM");
        javaVm->DestroyJavaVM();
    }
    logMessage("launch done");
    return true;
}
