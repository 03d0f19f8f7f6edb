// Loading the Java VM library of a suitable runtime into the process: the search, the
// Java home it leaves for variable expansion, the VM creation entry point, and the
// messages that tell the user what to do when nothing usable is found.
#pragma once

#include <jni.h>

using CreateJavaVmFunction = jint(JNICALL*)(JavaVM**, void**, void*);
// JNI_CreateJavaVM of the loaded jvm.dll; null until LoadDLL succeeded.
extern CreateJavaVmFunction createJavaVmEntry;

// Finds and loads jvm.dll and resolves JNI_CreateJavaVM. With `reportErrors` the
// configured messages are shown when that fails (1016; or 1020 / 1018, then 1005).
bool LoadDLL(bool reportErrors);
