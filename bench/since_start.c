/* The baseline of the stand-in's "process start to JNI_CreateJavaVM" figure: a program
 * that appends, to the file named by its argument, the microseconds from its process's
 * creation to the start of main, measured the way the stand-in jvm.dll measures, and
 * returns. */
#include <windows.h>
#include <stdio.h>

static long long ticks(const FILETIME *time)
{
    return (long long)(((unsigned long long)time->dwHighDateTime << 32) | time->dwLowDateTime);
}

int main(int argc, char **argv)
{
    FILETIME created, exited, kernel, user, now;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 1;
    GetSystemTimePreciseAsFileTime(&now);
    long long since = (ticks(&now) - ticks(&created)) / 10; /* FILETIME counts 100 ns */
    if (argc < 2) return 2;
    FILE *out = fopen(argv[1], "a");
    if (out == NULL) return 1;
    fprintf(out, "main.sinceProcessStartUs %lld\n", since);
    return fclose(out) == 0 ? 0 : 1;
}
