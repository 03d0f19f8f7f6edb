// Runs the Java application inside this process: for the service's child and for the
// /run modes. Returns only after the application's main method has returned and the VM
// is gone; every failure before that ends the process.
#pragma once

#include "format/command_line.h"

void launchApplication(ArgumentList& arguments, bool serviceChild);
// Puts the application's native library directories (configuration 10004) in front of PATH.
void prependNativeLibraryPath();
