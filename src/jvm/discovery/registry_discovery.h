// Java runtimes named in the registry: the keys Java installers write, the runtimes
// located earlier, and earlier installations of the same application.
#pragma once

#include "jvm/discovery/java_version.h"
#include "platform/registry_keys.h"

#include <windows.h>

#include <cstddef>

constexpr char kJavaRuntimeKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
constexpr char kJavaDevelopmentKitKey[] = "SOFTWARE\\JavaSoft\\Java Development Kit";

// The newest acceptable runtime of the JavaSoft keys and the located runtimes.
bool findRegisteredJvm(char* javaExecutable, size_t capacity, const JavaVersion& minimum, const JavaVersion& maximum);

bool findJavaSoftJvm(char* javaExecutable, size_t capacity, char* version, size_t versionCapacity,
                     const JavaVersion& minimum, const JavaVersion& maximum);
bool findCurrentVersionJvm(char* javaExecutable, size_t capacity, char* version, size_t versionCapacity,
                           const JavaVersion& minimum, const JavaVersion& maximum);
bool findEnumeratedJvm(char* javaExecutable, size_t capacity, char* version, size_t versionCapacity,
                       const JavaVersion& minimum, const JavaVersion& maximum, const char* keyPath);
bool findLocatedJvm(char* javaExecutable, size_t capacity, char* version, size_t versionCapacity,
                    const JavaVersion& minimum, const JavaVersion& maximum, bool acceptAllLocated);

// The runtime of an earlier installation of this application (cfg::applicationId) under
// HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE.
bool findPreviousInstallationJvm(HKEY root, char* javaExecutable, size_t capacity, const JavaVersion& minimum,
                                 const JavaVersion& maximum);
