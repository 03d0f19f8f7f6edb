// The launcher's own variables, which it replaces in configured texts (file names, VM
// options, arguments, environment values) before they are used: the references as they
// are written and what each stands for, in the order the launcher replaces them. The
// packager accepts exactly these in an output file's name. Portable C++.
#pragma once

namespace launchervars {

enum class Meaning {
    launcherDirectory,      // the executable's directory, with its trailing backslash
    launcherTempDirectory,  // the folder of this run's included files
    pathlistSeparator,      // ";"
    jvmHome,                // the chosen runtime's home, once the search has chosen one
    systemTemp,             // the system's temporary directory (every user can write there)
    programData,            // the machine's application-data folder, as the system keeps it
    serviceName,            // the name of the service this run acts for
};

struct Variable {
    const char* reference;
    Meaning meaning;
};

constexpr char kProgramData[] = "${launcher:sys.programData}";
constexpr char kServiceName[] = "${launcher:sys.serviceName}";

// A later entry sees what an earlier one put in, never the other way round. The letter
// case is as written: "%quill_exedir%" is no reference.
constexpr Variable kVariables[] = {
    {"%QUILL_EXEDIR%", Meaning::launcherDirectory},
    {"%DEPLOYKIT_EXEDIR%", Meaning::launcherDirectory},
    {"%QUILL_TEMPDIR%", Meaning::launcherTempDirectory},
    {"%DEPLOYKIT_TEMPDIR%", Meaning::launcherTempDirectory},
    {"%QUILL_PATHLIST_SEPARATOR%", Meaning::pathlistSeparator},
    {"%DEPLOYKIT_PATHLIST_SEPARATOR%", Meaning::pathlistSeparator},
    {"%QUILL_JVM_HOME%", Meaning::jvmHome},
    {"%DEPLOYKIT_JVM_HOME%", Meaning::jvmHome},
    {"${QUILL_EXEDIR}", Meaning::launcherDirectory},
    {"${DEPLOYKIT_EXEDIR}", Meaning::launcherDirectory},
    {"${QUILL_TEMPDIR}", Meaning::launcherTempDirectory},
    {"${DEPLOYKIT_TEMPDIR}", Meaning::launcherTempDirectory},
    {"${QUILL_PATHLIST_SEPARATOR}", Meaning::pathlistSeparator},
    {"${DEPLOYKIT_PATHLIST_SEPARATOR}", Meaning::pathlistSeparator},
    {"${QUILL_JVM_HOME}", Meaning::jvmHome},
    {"${DEPLOYKIT_JVM_HOME}", Meaning::jvmHome},
    {"${launcher:sys.launcherDirectory}", Meaning::launcherDirectory},
    {"${launcher:sys.launcherTempDirectory}", Meaning::launcherTempDirectory},
    {"${launcher:sys.pathlistSeparator}", Meaning::pathlistSeparator},
    {"${launcher:sys.jvmHome}", Meaning::jvmHome},
    {"${launcher:sys.tempDir}", Meaning::systemTemp},
    {kProgramData, Meaning::programData},
    {kServiceName, Meaning::serviceName},
};

} // namespace launchervars
