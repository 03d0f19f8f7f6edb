// The search for a Java runtime: the configured search sequence, the location files and
// the fallbacks, each accepted candidate handed to the library load until one loads.
#pragma once

#include "jvm/discovery/java_version.h"

#include <windows.h>

#include <cstddef>

// How the chosen (or last accepted) candidate was found.
enum class JvmSource { None = 0, SearchPath = 1, Directory = 2, EnvironmentVariable = 3, Registry = 4 };

// The loaded jvm.dll of the first accepted candidate that loads, or null. `source` and
// `sourceText` describe the last accepted candidate; `javaExecutable` its executable.
HMODULE findJvm(char* javaExecutable, size_t capacity, JvmSource* source, char* sourceText, size_t sourceCapacity);

// jvm.dll of the runtime of a Java executable, from its bin directory or, failing that,
// from the jre inside a JDK; null when none loads.
HMODULE loadJvmLibrary(const char* javaExecutable);

bool checkJavaHome(char* javaExecutable, size_t capacity, const char* directory, const JavaVersion& minimum,
                   const JavaVersion& maximum, bool skipVersionCheck);
bool checkJavaHomeVariable(char* javaExecutable, size_t capacity, const char* variable, const JavaVersion& minimum,
                           const JavaVersion& maximum);
bool searchPathForJava(char* javaExecutable, size_t capacity, const JavaVersion& minimum, const JavaVersion& maximum);
// The first line of a location file below the installation directory, without its line
// end; false when there is none.
bool readLocationFile(const wchar_t* suffix, char* location, size_t capacity);

// The length of the executable's file name at the end of a path: 9 for "javaw.exe",
// else 8 ("java.exe").
size_t executableNameLength(const char* javaExecutable);
