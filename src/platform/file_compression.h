// The compression of rolled output files to gzip (model/gzip_stream.h) through the wide
// file functions, on one background thread of the process so that no write waits for it.
// A rolled file is compressed whole into <name>.gz.partial, which then replaces
// <name>.gz; only then does the plain file go. A failure at any point leaves the plain
// file, which the next retention hands over again; a .gz is always complete.
#pragma once

#include <string>

// Compresses one plain rolled file (a full path) now; true when its .gz is complete and
// the plain file removed. A link or directory at any of the three names is never read,
// written or removed.
bool compressRolledFile(const std::wstring& plain);

// Hands the file to the process's compression thread, started with the first file; a file
// already waiting or being compressed is not handed over twice.
void compressInBackground(const std::wstring& plain);

// How a rotating file has its rolled files compressed: compressInBackground, or for a
// test compressRolledFile's like at once.
using CompressionRunner = void (*)(const std::wstring& plain);
