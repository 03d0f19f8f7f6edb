/* Keeps a Wine prefix alive while the bench's services run: Wine ends a prefix's services
 * when its last ordinary process exits. Waits until the file named by its argument
 * exists, for an hour at most, so that nothing outlives an interrupted bench for long. */
#include <windows.h>

int main(int argc, char **argv)
{
    if (argc < 2) return 2;
    for (int waited = 0; waited < 3600 * 10; ++waited) {
        if (GetFileAttributesA(argv[1]) != INVALID_FILE_ATTRIBUTES) return 0;
        Sleep(100);
    }
    return 1;
}
