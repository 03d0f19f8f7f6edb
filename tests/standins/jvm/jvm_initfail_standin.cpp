// Test double of a broken Java runtime's jvm.dll whose initialisation fails: it exports
// JNI_CreateJavaVM, but its DllMain refuses to attach, so loading it fails with
// ERROR_DLL_INIT_FAILED before anything of it can run.
#include <windows.h>

#define _JNI_IMPLEMENTATION_
#include <jni.h>

extern "C" JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** /*vm*/, void** /*env*/, void* /*args*/)
{
    return JNI_ERR;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/)
{
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
}
