// Creating the Java VM and calling the launcher runtime class's main method: the
// launcher's own system properties, the VM options, the splash settings, the first-run
// check of the deploykit flavour and the argument array of main.
#pragma once

#include "format/command_line.h"
#include "jvm/launch/vm_options.h"

#include <jni.h>

#include <string>
#include <vector>

extern JavaVM* javaVm;
extern JNIEnv* mainEnv;

// A configured output file for the Java side (the switch record on and its path record):
// expanded, and made absolute unless it still starts with '$' (a variable only the Java
// side knows); "" when the switch is off or the path cannot be read whole.
std::wstring redirectionPath(int switchId, int pathId);

// The whole of it. True when main returned without a pending exception (or the first-run
// check stopped the launch); false when the VM could not be created or main could not
// be called, or main ended with an exception and the VM refused to exit (otherwise the VM
// ends the process with exit code 1).
bool runJavaApplication(const ArgumentList& arguments, bool destroyAfterMain);

// The option that gives the VM the launcher's exit hook (its extraInfo), last of all.
constexpr char kVmExitHookOption[] = "exit";

// Ends the VM as System.exit(exitCode) does: the shutdown hooks run, the application's
// other threads are not waited for, and the VM ends the process after the exit hook has
// removed the temporary directory. Returns only when the VM refused to exit.
void exitVm(int exitCode);

// The launcher's system properties, in their fixed order.
VmOptionList buildLauncherProperties();
// Every VM option, in order: properties, configured and command-line options, the
// vmoptions file, the class path, "-Xrs" for a service, the no-redirection flag.
VmOptionList buildVmOptions(const ArgumentList& arguments);
// The argument array of the launcher runtime class's main method.
std::vector<std::wstring> mainArguments(const ArgumentList& arguments);
// "com/deploykit/runtime/launcher/WinLauncher" or "com/quill/runtime/WinLauncher".
const char* launcherRuntimeClass();
