// Test support: Java runtimes laid out as real ones from the stand-in programs (java.exe,
// javaw.exe, the jvm.dll variants, unpack200.exe), each in a directory of the test's own,
// and what the stand-ins recorded.
#pragma once

#include <string>
#include <vector>

// The directory of the stand-in programs: STANDIN_DIR (a Linux path) in Wine's form;
// empty when the variable is not set.
std::wstring standinDirectory();

// What a stand-in java.exe / javaw.exe does on "-version"; written to "<exe>.cfg".
struct JavaStandinConfig {
    std::string versionLine = "java version \"1.8.0_66\"";
    std::string lineBefore;   // written before the version line when not empty
    int exitCode = 0;
    unsigned sleepMs = 0;     // waited before exiting
    std::string crash;        // "before" or "after" the version text: dies of an access violation
    bool recordStderrSecurity = false;  // each start appends its standard error's access list
                                        // to "<java.exe>.security"
};

struct RuntimeLayout {
    // A development kit: java.exe in bin\ and jre\bin\, lib\tools.jar, and the jvm.dll
    // below jre\bin\. Otherwise a plain runtime with java.exe in bin\ only.
    bool jdk = false;
    bool toolsJar = true;          // with jdk: whether lib\tools.jar is there
    bool javaw = true;             // javaw.exe beside every java.exe
    // A stand-in library of STANDIN_DIR ("jvm.dll", "jvm_noexport.dll", "jvm_initfail.dll",
    // "jvm32.dll") copied as <bin>\<jvmSubdir>\jvm.dll; empty: no jvm.dll.
    std::string jvmDll;
    std::string jvmSubdir = "server";
    bool unpack200 = false;        // <bin>\unpack200.exe from STANDIN_DIR
    std::string release;           // written as <home>\release when not empty
    JavaStandinConfig java;
};

// Lays out a runtime in `home` (created with its parents as needed). Returns the Java
// executable the launcher resolves for that home (jre\bin\java.exe for a JDK, else
// bin\java.exe), or "" when a part could not be made (a missing stand-in, for example).
std::wstring layOutRuntime(const std::wstring& home, const RuntimeLayout& layout);

// Pieces of the above, for layouts that no real runtime has.
bool makeDirectories(const std::wstring& path);
bool copyStandin(const std::string& name, const std::wstring& destination);
bool writeStandinConfig(const std::wstring& executable, const JavaStandinConfig& config);
// java.exe (and javaw.exe) with their configuration into `binDirectory`.
bool placeJavaStandin(const std::wstring& binDirectory, const JavaStandinConfig& config, bool javaw = true);
bool writeTextFile(const std::wstring& path, const std::string& text);

// The command lines with which a stand-in executable was started, oldest first.
std::vector<std::string> standinStarts(const std::wstring& executable);
// Gives a file a last-write time later than the one it has.
bool touchFile(const std::wstring& path);

// A test path in the ANSI code page (the narrow form the launcher works with).
std::string narrowPath(const std::wstring& path);
