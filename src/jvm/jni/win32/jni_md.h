/* Machine-dependent JNI types and calling conventions of 64-bit Windows, for the JNI
   header of a Java runtime built for another system. */
#ifndef LAUNCHER_JNI_MD_H
#define LAUNCHER_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

/* Windows keeps long at 32 bits, as JNI's jint must be. */
typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
