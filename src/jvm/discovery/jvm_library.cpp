// State of the chosen Java runtime.
#include "jvm/discovery/jvm_library.h"

char jvmHome[kJvmHomeCapacity] = "";
