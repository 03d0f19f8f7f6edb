// Test double of a Java runtime's jvm.dll, for the tests of finding and loading a runtime:
// no Java runtime for Windows exists on the build machine. It exports JNI_CreateJavaVM
// under its plain name, as a real runtime does, records each call and creates no VM.
// Built 64-bit (jvm.dll) and 32-bit (jvm32.dll), so a test can show that the launcher
// loads only a runtime of its own width.
//
// Record file: when the environment variable STANDIN_JVM_RECORD names a file, every call
// appends the line "JNI_CreateJavaVM" to it.
#include <windows.h>

#define _JNI_IMPLEMENTATION_
#include <jni.h>

#include <cstdio>
#include <cstdlib>

extern "C" JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* /*args*/)
{
    if (vm != nullptr) *vm = nullptr;
    if (env != nullptr) *env = nullptr;
    char record[MAX_PATH + 1];
    DWORD n = GetEnvironmentVariableA("STANDIN_JVM_RECORD", record, sizeof record);
    if (n > 0 && n < sizeof record) {
        FILE* file = fopen(record, "a");
        if (file != nullptr) {
            fputs("JNI_CreateJavaVM\n", file);
            fclose(file);
        }
    }
    return JNI_ERR;
}
