// A Java runtime shipped with its jar files packed ("X.jar.pack"): before the runtime is
// used, its own bin\unpack200.exe restores each jar that is still missing.
#pragma once

// Unpacks the packed jars of "<home>\lib" and "<home>\lib\ext". An unpacker that cannot
// be started ends the launcher (message 1009, "20").
void unpackJre(const char* javaHome);
// One subdirectory; `started` is set once the first file of this start was unpacked.
void unpackJarsIn(const char* javaHome, const char* subdirectory, bool* started);
// Runs the unpacker on one packed file and removes the packed file.
void unpackOneFile(const char* javaHome, const char* packedPath);
