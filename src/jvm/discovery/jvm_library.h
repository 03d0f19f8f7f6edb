// The Java runtime the launcher has chosen. Empty until a runtime has been found.
#pragma once

constexpr int kJvmHomeCapacity = 6000;
// Directory of the chosen Java executable followed by "..".
extern char jvmHome[kJvmHomeCapacity];
