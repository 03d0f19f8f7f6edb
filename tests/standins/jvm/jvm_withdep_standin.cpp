// Test double of a runtime's jvm.dll that imports a library of its runtime (jvmdep.dll,
// which a real runtime has in its bin directory): loading it shows where the system
// looked for that library. Like jvm_noexport.dll it creates no VM.
#include <windows.h>

#define _JNI_IMPLEMENTATION_
#include <jni.h>

extern "C" __declspec(dllimport) int standinDependency();

extern "C" JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* /*args*/)
{
    return standinDependency() == 1 ? JNI_ERR : JNI_OK;
}
