// Test double of a damaged Java runtime's jvm.dll: it loads, but lacks JNI_CreateJavaVM.
// It exports one other JNI entry point, so that the library is a plausible runtime
// library and the linker does not export every symbol on its own.
#include <windows.h>

#define _JNI_IMPLEMENTATION_
#include <jni.h>

extern "C" JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* /*args*/)
{
    return JNI_ERR;
}
