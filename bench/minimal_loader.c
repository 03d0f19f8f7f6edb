/* The least any launcher does: load a jvm.dll and call its JNI_CreateJavaVM, here with no
   options. Against the stand-in runtime it gives the floor of a launcher's start: what is
   left above it is the launcher's own work. */
#include <windows.h>

typedef struct {
    int version;
    int nOptions;
    void* options;
    unsigned char ignoreUnrecognized;
} InitArgs;
typedef int(__stdcall* CreateJavaVm)(void**, void**, void*);

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    HMODULE jvm = LoadLibraryA(argv[1]);
    if (jvm == NULL) return 3;
    CreateJavaVm create = (CreateJavaVm)(void*)GetProcAddress(jvm, "JNI_CreateJavaVM");
    if (create == NULL) return 4;
    void* vm = NULL;
    void* env = NULL;
    InitArgs args = {0x00010008, 0, NULL, 1};
    create(&vm, &env, &args);
    return 0;
}
